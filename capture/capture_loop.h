// The capture thread's loop: every frame of an open live capture goes to
// handlePacket until the loop is broken (pcap_breakloop from the
// user-interface thread at exit) or the capture fails. Shared by Kestrava.exe
// and the native Linux view.
#pragma once

#include "capture/capture_library.h"

// Runs the packet loop of `capture` through captureLibrary. Returns how it
// ended: PCAP_ERROR_BREAK after pcap_breakloop, PCAP_ERROR after a capture
// error (the interface went away, say).
//
// Some capture libraries export pcap_loop without implementing it (Wine's
// returns PCAP_ERROR at once and delivers nothing). When pcap_loop fails
// before delivering a single frame, the same callback is driven from a
// pcap_next_ex loop instead, which ends the same two ways. On a quiet link
// pcap_next_ex may wait for the read timeout before it sees the break, so
// whoever breaks the loop must not wait for the thread.
int runCaptureLoop(pcap_t* capture);
