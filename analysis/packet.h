// The packet handler: every captured frame enters the analysis here.
#pragma once

#include <cstdint>

#include "analysis/addresses.h"

// Decodes one Ethernet frame of `capturedLength` bytes and updates the traffic
// tables. Frames that are not to or from this host, too short, of another
// EtherType or IP version, or of an unhandled protocol change nothing.
// Capture thread only; takes trafficMutex for the frame.
void handleFrame(const uint8_t* frame, uint32_t capturedLength);

// Adds a (remote address, process) record unless the same pair is stored.
// The caller holds trafficMutex.
void rememberProcessAddress4(Address4 address, const char* process);
void rememberProcessAddress6(const Address6& address, const char* process);

// Queues a host for the overlay unless it is pending already, was shown last,
// or its process is unknown while process names are shown on a second line.
// The caller holds trafficMutex.
void enqueueRecentEvent(const char* host, const char* process, uint8_t kind);
