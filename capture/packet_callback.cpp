#include "capture/packet_callback.h"

#include "analysis/packet.h"

std::atomic<uint64_t> capturedFrameCount{0};

void handlePacket(u_char*, const struct pcap_pkthdr* header, const u_char* bytes) {
    // only this thread writes it: a relaxed load and store, no locked add
    capturedFrameCount.store(capturedFrameCount.load(std::memory_order_relaxed) + 1,
                             std::memory_order_relaxed);
    handleFrame(bytes, header->caplen);
}
