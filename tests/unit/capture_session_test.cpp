// Opening the capture session over a stand-in capture library and hand-built
// device lists: which device is usable, the choice among them (the only one,
// the saved description, the dialog, a dialog already open), every status
// text, the failed open that is not retried, and a second start from inside
// the dialog.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <string>
#include <vector>

#include "analysis/traffic_tables.h"
#include "app/overlay_model.h"
#include "capture/capture_session.h"
#include "settings/settings.h"

namespace {

// A device of the stand-in enumeration: flags and addresses, "v6" standing
// for an IPv6 address.
struct Device {
    const char* name;
    const char* description; // null: none
    bpf_u_int32 flags;
    std::vector<const char*> addresses;
};

constexpr bpf_u_int32 kUp = PCAP_IF_UP | PCAP_IF_RUNNING | PCAP_IF_CONNECTION_STATUS_CONNECTED;
constexpr bpf_u_int32 kRunning = PCAP_IF_RUNNING | PCAP_IF_CONNECTION_STATUS_CONNECTED;
const Device kWired = {"dev-wired", "Wired", kUp, {"v6", "10.0.0.5", "10.0.0.6"}};
const Device kWifi = {"dev-wifi", "Wi-Fi", kRunning, {"192.168.1.9"}};
const Device kSecondWifi = {"dev-wifi2", "Wi-Fi", kUp, {"192.168.2.9"}};
const Device kNoDescription = {"dev-bare", nullptr, kUp, {"10.1.0.1"}};
const Device kOnlyIpv6 = {"dev-v6", "Tunnel", kUp, {"v6"}};
// never usable: down, disconnected, not applicable (loopback), no address
const Device kDown = {"dev-down", "Down", PCAP_IF_CONNECTION_STATUS_CONNECTED, {"10.9.0.1"}};
const Device kUnplugged = {
    "dev-off", "Off", PCAP_IF_UP | PCAP_IF_CONNECTION_STATUS_DISCONNECTED, {"10.9.0.2"}};
const Device kLoopback = {
    "lo", "Lo", PCAP_IF_UP | PCAP_IF_CONNECTION_STATUS_NOT_APPLICABLE, {"127.0.0.1"}};
const Device kNoAddress = {"dev-empty", "Empty", kUp, {}};

// What the stand-in dialog does.
enum class Dialog { PickSecond, Cancel, AllVanish, OpenAgain };

std::vector<Device> enumeration;
int enumerations, releases, openCalls, dialogs, threads, saves;
bool enumerationFails, openFails, macFound, busyDuringDialog;
Dialog dialogAction;
std::string openedName, savedInterface;
int reentered = -1;
int fakeHandle;

// The enumeration as the library hands it out. A case enumerates at most
// twice (the dialog's refresh), so two lists are kept alive.
pcap_if_t* buildList(const std::vector<Device>& from) {
    static std::vector<pcap_if_t> devices[2];
    static std::vector<pcap_addr> addresses[2];
    static std::vector<sockaddr_in6> storage[2];
    const int k = enumerations % 2;
    devices[k].assign(from.size(), pcap_if_t{});
    size_t count = 0;
    for (const Device& d : from) count += d.addresses.size();
    addresses[k].assign(count, pcap_addr{});
    storage[k].assign(count, sockaddr_in6{});
    pcap_addr* address = addresses[k].data();
    for (size_t i = 0; i < from.size(); ++i) {
        pcap_if_t& device = devices[k][i];
        device.next = i + 1 < from.size() ? &devices[k][i + 1] : nullptr;
        device.name = const_cast<char*>(from[i].name);
        device.description = const_cast<char*>(from[i].description);
        device.flags = from[i].flags;
        pcap_addr** link = &device.addresses;
        for (const char* text : from[i].addresses) {
            sockaddr_in6& in6 = storage[k][address - addresses[k].data()];
            auto* in = reinterpret_cast<sockaddr_in*>(&in6);
            in6.sin6_family = AF_INET6;
            if (std::strcmp(text, "v6") != 0) {
                in->sin_family = AF_INET;
                inet_pton(AF_INET, text, &in->sin_addr);
            }
            address->addr = reinterpret_cast<sockaddr*>(&in6);
            *link = address;
            link = &address->next;
            ++address;
        }
    }
    return from.empty() ? nullptr : devices[k].data();
}

int fakeFindAll(const char* source, pcap_rmtauth* auth, pcap_if_t** all, char*) {
    EXPECT_STREQ(source, "rpcap://");
    EXPECT_EQ(auth, nullptr);
    if (enumerationFails) return PCAP_ERROR;
    *all = buildList(enumeration);
    if (*all) ++enumerations; // an empty enumeration has nothing to release
    return 0;
}

void fakeFree(pcap_if_t*) {
    ++releases;
}

pcap_t* fakeOpen(const char* name, int snapshot, int flags, int timeout, pcap_rmtauth*, char*) {
    ++openCalls;
    openedName = name;
    EXPECT_EQ(snapshot, 65536);
    EXPECT_EQ(flags, PCAP_OPENFLAG_PROMISCUOUS);
    EXPECT_EQ(timeout, 1000);
    return openFails ? nullptr : reinterpret_cast<pcap_t*>(&fakeHandle);
}

const CaptureSessionActions kActions = {
    nullptr,
    [](WindowHandle) {
        ++dialogs;
        busyDuringDialog = uiBusy == 1;
        switch (dialogAction) {
        case Dialog::PickSecond:
            selectedDeviceIndex = 1;
            break;
        case Dialog::Cancel:
            break;
        case Dialog::AllVanish: // refresh with nothing left, OK, then Cancel
            enumeration.clear();
            refreshDeviceList();
            selectedDeviceIndex = -1;
            break;
        case Dialog::OpenAgain: // the timer's retry while the dialog is open
            reentered = openCaptureSession(nullptr);
            break;
        }
    },
    [] {
        ++threads;
        return true;
    },
    [] { return macFound; },
    [](WindowHandle) {
        ++saves;
        savedInterface = settings.selectedInterface;
        return 0;
    },
};

struct Case {
    const char* what;
    std::vector<Device> devices;
    const char* saved; // selectedInterface before
    int32_t busy;      // uiBusy before
    Dialog dialog;     // what the dialog does when it is shown
    bool initMissing;  // a library without pcap_init
    int expectResult;
    const char* expectStatus;
    bool expectFound;         // interfaceFound after
    const char* expectOpened; // device opened, "" when none
    int expectDialogs;
    const char* expectInterface; // selectedInterface after
    const char* expectIpv4;      // captureIpv4Address, "0.0.0.0" when none
};

const char* kOldStatus = "Npcap not found.";

class CaptureSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        applyDefaultSettings();
        resetOverlayState();
        resetTrafficTables();
        captureLibrary = CaptureLibrary{};
        captureLibrary.init = [](unsigned int options, char*) {
            EXPECT_EQ(options, unsigned(PCAP_CHAR_ENC_LOCAL));
            return 0;
        };
        captureLibrary.findAllDevicesEx = fakeFindAll;
        captureLibrary.freeAllDevices = fakeFree;
        captureLibrary.open = fakeOpen;
        captureSessionActions = kActions;
        captureHandle = nullptr;
        deviceList = nullptr;
        captureIpv4Address = 0;
        enumerations = releases = openCalls = dialogs = threads = saves = 0;
        enumerationFails = openFails = busyDuringDialog = false;
        macFound = true;
        reentered = -1;
        openedName.clear();
        savedInterface.clear();
        std::strcpy(statusMessage, kOldStatus);
    }
};

std::string addressText(uint32_t address) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

TEST_F(CaptureSessionTest, ChoosesOpensAndReportsEachOutcome) {
    const std::vector<Device> unusable = {kDown, kUnplugged, kLoopback, kNoAddress};
    // clang-format off
    const Case cases[] = {
        {"one usable network, whatever was saved", {kLoopback, kWired, kDown}, "Wi-Fi", 0,
         Dialog::Cancel, true, 1, "", true, "dev-wired", 0, "Wired", "10.0.0.6"},
        {"the saved one of two", {kWired, kWifi}, "Wi-Fi", 0,
         Dialog::Cancel, false, 1, "", true, "dev-wifi", 0, "Wi-Fi", "192.168.1.9"},
        {"the later of two with the saved description", {kWifi, kWired, kSecondWifi}, "Wi-Fi", 0,
         Dialog::Cancel, false, 1, "", true, "dev-wifi2", 0, "Wi-Fi", "192.168.2.9"},
        {"two, saved in another letter case: asked, second picked", {kWired, kWifi}, "wi-fi", 0,
         Dialog::PickSecond, false, 1, "", true, "dev-wifi", 1, "Wi-Fi", "192.168.1.9"},
        {"two, none saved, dialog cancelled: the first", {kWired, kUnplugged, kWifi}, "undefined", 0,
         Dialog::Cancel, false, 1, "", true, "dev-wired", 1, "Wired", "10.0.0.6"},
        {"two, another dialog open: the first without asking", {kWired, kWifi}, "undefined", 1,
         Dialog::PickSecond, false, 1, "", true, "dev-wired", 0, "Wired", "10.0.0.6"},
        {"only IPv6 addresses", {kOnlyIpv6}, "undefined", 0,
         Dialog::Cancel, false, 1, "", true, "dev-v6", 0, "Tunnel", "0.0.0.0"},
        {"no usable network", unusable, "Down", 0,
         Dialog::Cancel, false, 0, "Network not found.", false, "", 0, "Down", "0.0.0.0"},
        {"the chosen one has no description", {kNoDescription}, "undefined", 0,
         Dialog::Cancel, false, 0, "Network not connected.", false, "", 0, "undefined", "0.0.0.0"},
        {"all networks vanished while the dialog was open", {kWired, kWifi}, "undefined", 0,
         Dialog::AllVanish, false, 0, "Network not connected.", false, "", 1, "undefined", "0.0.0.0"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        enumeration = c.devices;
        std::strcpy(settings.selectedInterface, c.saved);
        uiBusy = c.busy;
        dialogAction = c.dialog;
        if (c.initMissing) captureLibrary.init = nullptr;

        EXPECT_EQ(openCaptureSession(nullptr), c.expectResult);
        EXPECT_STREQ(statusMessage, c.expectStatus);
        EXPECT_EQ(interfaceFound, c.expectFound);
        EXPECT_EQ(openedName, c.expectOpened);
        EXPECT_EQ(dialogs, c.expectDialogs);
        EXPECT_EQ(busyDuringDialog, dialogs > 0);
        EXPECT_EQ(uiBusy, c.busy);
        EXPECT_STREQ(settings.selectedInterface, c.expectInterface);
        EXPECT_EQ(addressText(captureIpv4Address), c.expectIpv4);
        const bool started = c.expectResult == 1;
        // after a start: saved with the new description, one thread, the
        // adapter address looked up, the device list held; else released
        EXPECT_EQ(saves, started ? 1 : 0);
        EXPECT_EQ(savedInterface, started ? c.expectInterface : "");
        EXPECT_EQ(threads, started ? 1 : 0);
        EXPECT_EQ(localAddressesLoaded.load(), started);
        EXPECT_EQ(deviceList != nullptr, started);
        EXPECT_EQ(releases, enumerations - (started ? 1 : 0));
    }
}

TEST_F(CaptureSessionTest, LibraryFailuresAndAFailedOpen) {
    // pcap_init fails: nothing is enumerated
    captureLibrary.init = [](unsigned int, char*) { return PCAP_ERROR; };
    enumeration = {kWired};
    EXPECT_EQ(openCaptureSession(nullptr), 0);
    EXPECT_STREQ(statusMessage, "Npcap init error.");
    EXPECT_EQ(enumerations, 0);

    SetUp();
    enumerationFails = true;
    EXPECT_EQ(openCaptureSession(nullptr), 0);
    EXPECT_STREQ(statusMessage, "Device not found.");
    EXPECT_FALSE(interfaceFound);

    // A failed open is not retried: the interface counts as found, no status
    // text, nothing saved or started, the list released.
    SetUp();
    enumeration = {kWired};
    openFails = true;
    EXPECT_EQ(openCaptureSession(nullptr), 0);
    EXPECT_STREQ(statusMessage, "");
    EXPECT_TRUE(interfaceFound);
    EXPECT_EQ(deviceList, nullptr);
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(saves + threads, 0);

    // The adapter address not found yet: the capture runs, analysis waits.
    SetUp();
    enumeration = {kWired};
    macFound = false;
    EXPECT_EQ(openCaptureSession(nullptr), 1);
    EXPECT_FALSE(localAddressesLoaded.load());
}

TEST_F(CaptureSessionTest, NoSecondStartWhileTheDialogIsOpen) {
    enumeration = {kWired, kWifi};
    dialogAction = Dialog::OpenAgain;
    EXPECT_EQ(openCaptureSession(nullptr), 1);
    EXPECT_EQ(reentered, 0);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(enumerations, 1);
    EXPECT_EQ(openCalls, 1);
    EXPECT_EQ(threads, 1);
    EXPECT_STREQ(settings.selectedInterface, "Wired");
}

} // namespace
