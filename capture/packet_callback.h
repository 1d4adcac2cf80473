// The capture library's packet callback.
#pragma once

#include <atomic>
#include <cstdint>

#include <pcap/pcap.h>

// Called by the capture loop once per captured frame; hands the captured bytes
// to the analysis. The user data is not used.
void handlePacket(u_char* user, const struct pcap_pkthdr* header, const u_char* bytes);

// Frames handed to handlePacket since the start (whether analysed or not).
// Written by the capture thread only.
extern std::atomic<uint64_t> capturedFrameCount;
