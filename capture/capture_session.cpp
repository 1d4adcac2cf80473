#include "capture/capture_session.h"

#include <cstring>

#include "analysis/text.h"
#include "analysis/traffic_tables.h"
#include "app/overlay_model.h"
#include "settings/settings.h"

pcap_t* captureHandle;
pcap_if_t* deviceList;
int32_t selectedDeviceIndex = -1;
uint32_t captureIpv4Address;
CaptureSessionActions captureSessionActions;

namespace {

constexpr int kSnapshotLength = 65536;
constexpr int kReadTimeoutMs = 1000;
constexpr bpf_u_int32 kUpOrRunning = PCAP_IF_UP | PCAP_IF_RUNNING;
constexpr char kLocalDevices[] = "rpcap://";

// True while a session is being opened. The selection dialog is modal but
// keeps dispatching messages, so the timer's retry can call
// openCaptureSession again from inside it; that inner call would open the
// first device and start a second thread on the shared handle and device list.
// It returns at once instead, and the timer keeps retrying until the outer
// call has decided.
bool sessionOpening;

// Replaces deviceList with a fresh enumeration of the local devices; false,
// with an empty list, when the enumeration fails.
bool enumerateDevices() {
    releaseDeviceList();
    char error[PCAP_ERRBUF_SIZE];
    if (captureLibrary.findAllDevicesEx(kLocalDevices, nullptr, &deviceList, error) == 0)
        return true;
    deviceList = nullptr;
    return false;
}

void setStatus(const char* text) {
    copyText(statusMessage, text, kStatusMessageSize - 1);
}

// The usable device whose usable index is `index`, or null.
const pcap_if_t* usableDeviceAt(int32_t index) {
    const pcap_if_t* device = nextUsableDevice(deviceList);
    for (int32_t i = 0; device && i < index; ++i) device = nextUsableDevice(device->next);
    return index < 0 ? nullptr : device;
}

// The last IPv4 address in the device's address list, wire order; 0: none.
uint32_t lastIpv4Address(const pcap_if_t* device) {
    uint32_t found = 0;
    for (const pcap_addr* entry = device->addresses; entry; entry = entry->next) {
        if (!entry->addr || entry->addr->sa_family != AF_INET) continue;
        std::memcpy(&found, &reinterpret_cast<const sockaddr_in*>(entry->addr)->sin_addr, 4);
    }
    return found;
}

// Picks selectedDeviceIndex among `usableCount` usable devices: the only one,
// the saved one, or the user's choice.
void chooseDevice(WindowHandle owner, int32_t usableCount, int32_t savedIndex) {
    if (usableCount == 1 || savedIndex >= 0) {
        selectedDeviceIndex = usableCount == 1 ? 0 : savedIndex;
        return;
    }
    // Several networks and none saved: ask, unless another dialog is open, in
    // which case the first network is taken without asking.
    selectedDeviceIndex = 0;
    if (uiBusy != 0 || !captureSessionActions.runInterfaceDialog) return;
    uiBusy = 1;
    captureSessionActions.runInterfaceDialog(owner);
    uiBusy = 0;
}

int openChosenDevice(WindowHandle owner) {
    interfaceFound = false;
    // A library that cannot be loaded is as unusable as one that cannot
    // initialise.
    if (captureSessionActions.bindLibrary && !captureSessionActions.bindLibrary()) {
        setStatus("Npcap init error.");
        return 0;
    }
    char error[PCAP_ERRBUF_SIZE]; // the library's texts are not shown anywhere
    if (captureLibrary.init && captureLibrary.init(PCAP_CHAR_ENC_LOCAL, error) == PCAP_ERROR) {
        setStatus("Npcap init error.");
        return 0;
    }
    if (!enumerateDevices()) {
        setStatus("Device not found.");
        return 0;
    }

    int32_t usableCount = 0;
    int32_t savedIndex = -1;
    for (const pcap_if_t* d = nextUsableDevice(deviceList); d; d = nextUsableDevice(d->next)) {
        // a later device with the same description wins
        if (d->description && std::strcmp(d->description, settings.selectedInterface) == 0)
            savedIndex = usableCount;
        ++usableCount;
    }
    if (usableCount == 0) {
        setStatus("Network not found.");
        releaseDeviceList();
        return 0;
    }
    chooseDevice(owner, usableCount, savedIndex);

    // The dialog's refresh may have replaced deviceList, and an exit while the
    // dialog was open has released it.
    const pcap_if_t* chosen = usableDeviceAt(selectedDeviceIndex);
    if (!chosen || !chosen->description) {
        setStatus("Network not connected.");
        releaseDeviceList();
        return 0;
    }
    copyText(settings.selectedInterface, chosen->description, kSelectedInterfaceSize - 1);
    statusMessage[0] = '\0';
    interfaceFound = true;

    captureHandle = captureLibrary.open(chosen->name, kSnapshotLength, PCAP_OPENFLAG_PROMISCUOUS,
                                        kReadTimeoutMs, nullptr, error);
    if (!captureHandle) {
        // Not retried: interfaceFound stays true and the status text empty.
        releaseDeviceList();
        return 0;
    }
    captureIpv4Address = lastIpv4Address(chosen);
    if (captureSessionActions.saveSettings) captureSessionActions.saveSettings(owner);
    if (captureSessionActions.startCaptureThread) captureSessionActions.startCaptureThread();
    if (captureSessionActions.findLocalMacAddress && captureSessionActions.findLocalMacAddress())
        localAddressesLoaded.store(true);
    return 1;
}

} // namespace

bool isUsableDevice(const pcap_if_t* device) {
    return (device->flags & kUpOrRunning) != 0 &&
           (device->flags & PCAP_IF_CONNECTION_STATUS) == PCAP_IF_CONNECTION_STATUS_CONNECTED &&
           device->addresses != nullptr;
}

const pcap_if_t* nextUsableDevice(const pcap_if_t* device) {
    while (device && !isUsableDevice(device)) device = device->next;
    return device;
}

void releaseDeviceList() {
    if (deviceList) captureLibrary.freeAllDevices(deviceList);
    deviceList = nullptr;
}

void refreshDeviceList() {
    enumerateDevices();
}

int openCaptureSession(WindowHandle owner) {
    if (sessionOpening) return 0;
    sessionOpening = true;
    const int opened = openChosenDevice(owner);
    sessionOpening = false;
    return opened;
}

void breakCaptureLoop() {
    if (captureHandle) captureLibrary.breakLoop(captureHandle);
}
