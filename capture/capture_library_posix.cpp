// The capture library natively on Linux: libpcap itself, linked in. There is
// nothing to find first; the table only needs what the capture loop and the
// session use. Debian's libpcap has no remote-capable pcap_findalldevs_ex or
// pcap_open, so those stay null and capture_session_posix.cpp opens the
// interface with pcap_create and pcap_activate.
#include "capture/capture_library.h"

bool loadCaptureLibrary() {
    captureLibrary = CaptureLibrary{};
    captureLibrary.loop = pcap_loop;
    captureLibrary.nextEx = pcap_next_ex;
    captureLibrary.breakLoop = pcap_breakloop;
    captureLibrary.stats = pcap_stats;
    captureLibrary.close = pcap_close;
    return true;
}
