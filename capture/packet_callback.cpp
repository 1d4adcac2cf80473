#include "capture/packet_callback.h"

#include "analysis/packet.h"

void handlePacket(u_char*, const struct pcap_pkthdr* header, const u_char* bytes) {
    handleFrame(bytes, header->caplen);
}
