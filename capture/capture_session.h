// The capture session: which network interface to watch, opening it, and the
// start of the capture thread.
//
// The decisions live here and reach the capture library only through
// `captureLibrary`; what only the operating system can do (the selection
// dialog, starting the thread, the adapter's hardware address) comes through
// `captureSessionActions`, so that all of it is tested natively with a
// stand-in library and a hand-built device list. User-interface thread only:
// the capture thread sees nothing of this but `captureHandle`, which is set
// before the thread starts.
#pragma once

#include <cstdint>

#include "capture/capture_library.h"
#include "platform/platform.h"

extern pcap_t* captureHandle;       // the open live capture, null until opened
extern pcap_if_t* deviceList;       // the last enumeration, held while the capture runs
extern int32_t selectedDeviceIndex; // index among the usable devices, -1 when none
extern uint32_t captureIpv4Address; // an IPv4 address of the opened device, wire order; 0: none

// What opening a session needs from the operating system. A null member means
// there is nothing to do for that step (natively the library is linked in).
struct CaptureSessionActions {
    bool (*bindLibrary)();                          // fills captureLibrary; false: unusable
    void (*runInterfaceDialog)(WindowHandle owner); // modal; leaves selectedDeviceIndex
    bool (*startCaptureThread)();                   // runs the packet loop on captureHandle
    bool (*findLocalMacAddress)();                  // true: the adapter's address is known
    int (*saveSettings)(WindowHandle owner);
};
extern CaptureSessionActions captureSessionActions;

// Up or running, connected, and with at least one address: only such a device
// is offered, counted and opened.
bool isUsableDevice(const pcap_if_t* device);

// The first usable device from `device` on (following `next`), or null.
const pcap_if_t* nextUsableDevice(const pcap_if_t* device);

// Enumerates the local devices again into deviceList (the previous list is
// released first). A failed enumeration leaves an empty list.
void refreshDeviceList();

// Releases deviceList and forgets it, so that nothing releases it twice.
void releaseDeviceList();

// Chooses the interface (the saved description, the only usable one, or the
// user's pick in the selection dialog), opens it and starts the capture
// thread. Returns 1 when the capture started, else 0 with the reason in
// statusMessage. interfaceFound tells the timer whether to try again: it stays
// true after a failed open, which is not retried.
int openCaptureSession(WindowHandle owner);

// At exit: makes the capture thread's loop return. The thread is not waited
// for; it parks until the process ends.
void breakCaptureLoop();
