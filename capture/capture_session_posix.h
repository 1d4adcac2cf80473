// The Linux half of the capture session (kestrava-watch): the interface is
// named, not chosen among devices, and opened with libpcap's pcap_create,
// promiscuous, frames delivered within a few milliseconds, into the shared
// captureHandle; a capture thread runs the shared capture loop. Everything
// here runs on the user-interface thread but the loop itself.
#pragma once

#include <net/if.h>
#include <pcap/pcap.h>

#include <cstddef>
#include <cstdint>

// The interface to capture; set before the first opening.
extern char captureInterfaceName[IF_NAMESIZE];

// The interface of the default route (IPv4 first, then IPv6) into `out`;
// false when there is no default route.
bool findDefaultRouteInterface(char (&out)[IF_NAMESIZE]);

// The names of the interfaces there are, joined by ", ".
void listInterfaceNames(char* out, size_t size);

enum class InterfaceState { Missing, Down, Usable }; // Down: not up, or no link
InterfaceState interfaceState(const char* name);

// Opens captureInterfaceName, learns its hardware address and only then starts
// the capture thread, so frames are analysed from the first one. Sets
// interfaceFound and statusMessage: "" when capturing, "Network not found."
// when there is no such interface, "Network not connected." when it is down or
// libpcap would not open it (lastOpenError says why). The timer retries.
bool openLiveCapture();

// pcap_activate's failure of the last opening (0: none) and libpcap's text.
extern int lastOpenError;
extern char lastOpenErrorText[PCAP_ERRBUF_SIZE];

// The interface's hardware address into localMacAddress, which lets the
// analysis take frames (localAddressesLoaded). False when it cannot be read.
bool findLocalMacAddress();

// Once per timer tick, while a capture is open: a capture that ended by itself
// (the interface disappeared) is closed and interfaceFound cleared, so the
// timer opens it again; a link that went down shows "Network not connected."
// until it is back.
void superviseLiveCapture();

// Breaks the capture loop, waits for the thread, adds libpcap's counts to
// captureCounts and closes the capture. Nothing when none is open.
void closeLiveCapture();

// libpcap's counts over every capture closed so far.
struct CaptureCounts {
    uint64_t received; // frames that reached the capture (with those dropped)
    uint64_t dropped;  // dropped because the capture's buffer was full
    uint64_t interfaceDropped;
};
extern CaptureCounts captureCounts;
