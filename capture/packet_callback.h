// The capture library's packet callback.
#pragma once

#include <pcap/pcap.h>

// Called by pcap_loop once per captured frame; hands the captured bytes to the
// analysis. The user data is not used.
void handlePacket(u_char* user, const struct pcap_pkthdr* header, const u_char* bytes);
