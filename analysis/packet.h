// The packet handler: every captured frame enters the analysis here.
#pragma once

#include <cstdint>

#include "analysis/addresses.h"

// Decodes one Ethernet frame of `capturedLength` bytes and updates the traffic
// tables. The Ethernet addresses against localMacAddress decide whether the
// frame concerns this host and which way it went; the rest of the frame then
// goes to handleDirectedFrame. Frames that are not to or from this host, too
// short, of another EtherType or IP version, or of an unhandled protocol
// change nothing. Returns whether the frame reached the IP analysis (to or
// from this host, IPv4 or IPv6 with a whole fixed header).
// Capture thread only; takes trafficMutex for the frame.
bool handleFrame(const uint8_t* frame, uint32_t capturedLength);

// The analysis of a frame whose direction is already decided: `etherType`
// names the network layer that starts at `packet`. Only 0x0800 and 0x86DD are
// read, and then the version nibble decides. The result and the lock are as
// for handleFrame; localAddressesLoaded is not consulted.
bool handleDirectedFrame(uint16_t etherType, const uint8_t* packet, uint32_t capturedLength,
                         bool outgoing);

// A frame of a Linux cooked capture (the 16-byte LINUX_SLL or the 20-byte
// LINUX_SLL2 header), whose packet type says the direction: sent by this host
// is outgoing; to this host, broadcast or multicast is incoming; any other
// type is ignored. The frame then takes the same road as an Ethernet frame.
bool handleLinuxCookedFrame(const uint8_t* frame, uint32_t capturedLength);
bool handleLinuxCooked2Frame(const uint8_t* frame, uint32_t capturedLength);

// Adds a (remote address, process) record unless the same pair is stored.
// The caller holds trafficMutex.
void rememberProcessAddress4(Address4 address, const char* process);
void rememberProcessAddress6(const Address6& address, const char* process);

// Queues a host for the overlay unless it is pending already, was shown last,
// or its process is unknown while process names are shown on a second line.
// The caller holds trafficMutex.
void enqueueRecentEvent(const char* host, const char* process, uint8_t kind);
