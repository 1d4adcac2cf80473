// The capture library: the libpcap calls the system makes, as one table of
// function pointers.
//
// On Windows the library is Npcap's wpcap.dll, which lies in the folder Npcap
// below the system directory, where the normal DLL search does not look: the
// table is filled at run time (LoadLibraryA and GetProcAddress) once
// loadCaptureLibrary has pointed the DLL search there. Natively on Linux the
// table holds libpcap's own functions. Either way the capture code calls only
// through `captureLibrary`, so no capture call can be made before the library
// was found, and tests can put their own functions in.
#pragma once

#include <pcap/pcap.h>

struct CaptureLibrary {
    // Null when the library has nothing to initialise (older capture
    // libraries and Wine's have no pcap_init).
    decltype(&pcap_init) init;
    decltype(&pcap_findalldevs_ex) findAllDevicesEx;
    decltype(&pcap_freealldevs) freeAllDevices;
    decltype(&pcap_open) open;
    decltype(&pcap_loop) loop;
    decltype(&pcap_next_ex) nextEx;
    decltype(&pcap_breakloop) breakLoop;
    decltype(&pcap_stats) stats;
    decltype(&pcap_close) close;
};

extern CaptureLibrary captureLibrary;

// Windows: points the DLL search path at the Npcap folder and checks that
// wpcap.dll is there. On failure statusMessage holds "Get system directory
// error.", "Set DLL directory error." or "Npcap not found."; on success it is
// empty. No capture call may be made before this returned true; the timer
// retries it. Linux: fills the table from the linked libpcap; always true.
bool loadCaptureLibrary();

// Loads wpcap.dll through the search path that loadCaptureLibrary set and
// fills captureLibrary from it, once. A missing pcap_init leaves `init` null;
// any other missing call makes the library unusable (false). Windows only.
bool bindCaptureLibrary();
