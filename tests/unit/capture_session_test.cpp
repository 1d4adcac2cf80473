// Opening the capture session over a stand-in capture library and hand-built
// device lists: which device is usable, the choice among them (the only one,
// the saved description, the dialog, a dialog already open), every status
// text, the failed open that is not retried, no second start from inside the
// dialog; and the capture thread's loop.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "analysis/traffic_tables.h"
#include "app/overlay_model.h"
#include "capture/capture_loop.h"
#include "capture/capture_session.h"
#include "capture/packet_callback.h"

namespace {

// A device of the stand-in enumeration; "v6" stands for an IPv6 address.
struct Device {
    const char* name;
    const char* description; // null: none
    bpf_u_int32 flags;
    std::vector<const char*> addresses;
};
constexpr bpf_u_int32 kConnected = PCAP_IF_CONNECTION_STATUS_CONNECTED;
constexpr bpf_u_int32 kUp = PCAP_IF_UP | PCAP_IF_RUNNING | kConnected;
const Device kWired = {"wired", "Wired", kUp, {"v6", "10.0.0.5", "10.0.0.6"}};
const Device kWifi = {"wifi", "Wi-Fi", PCAP_IF_RUNNING | kConnected, {"192.168.1.9"}};
const Device kWifi2 = {"wifi2", "Wi-Fi", kUp, {"192.168.2.9"}};
const Device kTunnel = {"tunnel", "Tunnel", kUp, {"v6"}};
const Device kBare = {"bare", nullptr, kUp, {"10.1.0.1"}};
const std::string kLongText(300, 'd'); // 255 bytes of it are kept
const Device kLong = {"long", kLongText.c_str(), kUp, {"10.2.0.1"}};
// never usable: down, disconnected, not applicable (loopback), no address
const Device kDown = {"down", "Down", kConnected, {"10.9.0.1"}};
const Device kOff = {
    "off", "Off", PCAP_IF_UP | PCAP_IF_CONNECTION_STATUS_DISCONNECTED, {"10.9.0.2"}};
const Device kLo = {
    "lo", "Lo", PCAP_IF_UP | PCAP_IF_CONNECTION_STATUS_NOT_APPLICABLE, {"127.0.0.1"}};
const Device kEmpty = {"empty", "Empty", kUp, {}};

// What the dialog does when it is shown; kOtherDialog: another dialog is open.
enum Dialog { kCancel, kPickSecond, kAllVanish, kOpenAgain, kOtherDialog };

// What the stand-ins were asked and told to do.
struct StandIn {
    std::vector<Device> devices;
    Dialog dialog = kCancel;
    bool enumerationFails = false, openFails = false, macFound = true, busyDuringDialog = false;
    int enumerations = 0, releases = 0, opens = 0, dialogs = 0, threads = 0, saves = 0;
    std::string opened, saved;
} s;

// The enumeration as the library hands it out. The dialog's refresh
// enumerates while the first list is still held, so two lists are kept.
pcap_if_t* buildList() {
    static struct List {
        pcap_if_t devices[8];
        pcap_addr addresses[8];
        sockaddr_in6 storage[8];
    } lists[2];
    List& l = lists[s.enumerations % 2];
    l = List{};
    for (size_t i = 0, a = 0; i < s.devices.size(); ++i) {
        const Device& from = s.devices[i];
        pcap_if_t& d = l.devices[i];
        d = {i + 1 < s.devices.size() ? &d + 1 : nullptr, const_cast<char*>(from.name),
             const_cast<char*>(from.description), nullptr, from.flags};
        for (size_t k = from.addresses.size(); k-- > 0; ++a) { // linked from the last
            auto* in = reinterpret_cast<sockaddr_in*>(&l.storage[a]);
            l.storage[a].sin6_family = AF_INET6;
            if (std::strcmp(from.addresses[k], "v6") != 0) {
                in->sin_family = AF_INET;
                inet_pton(AF_INET, from.addresses[k], &in->sin_addr);
            }
            l.addresses[a] = {d.addresses, reinterpret_cast<sockaddr*>(in), nullptr, nullptr,
                              nullptr};
            d.addresses = &l.addresses[a];
        }
    }
    return s.devices.empty() ? nullptr : l.devices;
}

class CaptureSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        applyDefaultSettings();
        resetOverlayState();
        resetTrafficTables();
        s = StandIn{};
        captureLibrary = CaptureLibrary{};
        captureLibrary.init = [](unsigned options, char*) {
            return options == PCAP_CHAR_ENC_LOCAL ? 0 : PCAP_ERROR;
        };
        captureLibrary.findAllDevicesEx = [](const char* source, pcap_rmtauth* auth,
                                             pcap_if_t** all, char*) {
            if (s.enumerationFails || std::strcmp(source, "rpcap://") != 0 || auth) return -1;
            *all = buildList();
            s.enumerations += *all != nullptr; // an empty enumeration has nothing to release
            return 0;
        };
        captureLibrary.freeAllDevices = [](pcap_if_t*) { ++s.releases; };
        captureLibrary.open = [](const char* name, int snapshot, int flags, int timeout,
                                 pcap_rmtauth*, char*) {
            ++s.opens;
            s.opened = name;
            const bool asked =
                snapshot == 65536 && flags == PCAP_OPENFLAG_PROMISCUOUS && timeout == 1000;
            return s.openFails || !asked ? nullptr : reinterpret_cast<pcap_t*>(&s);
        };
        captureSessionActions = {
            nullptr,
            [](WindowHandle) {
                ++s.dialogs;
                s.busyDuringDialog = uiBusy == 1;
                if (s.dialog == kPickSecond) selectedDeviceIndex = 1;
                if (s.dialog == kAllVanish) { // refresh with nothing left, OK, then Cancel
                    s.devices.clear();
                    refreshDeviceList();
                    selectedDeviceIndex = -1;
                }
                if (s.dialog == kOpenAgain) { // the timer's retry while the dialog is open
                    EXPECT_EQ(openCaptureSession(nullptr), 0);
                }
            },
            [] { return ++s.threads > 0; },
            [] { return s.macFound; },
            [](WindowHandle) { return s.saved = settings.selectedInterface, ++s.saves, 0; },
        };
        captureHandle = nullptr;
        deviceList = nullptr;
        captureIpv4Address = 0;
        std::strcpy(statusMessage, "Npcap not found.");
    }
};

TEST_F(CaptureSessionTest, ChoosesOpensAndReportsEachOutcome) {
    const std::string kept = "long " + std::string(255, 'd') + " 10.2.0.1";
    const struct {
        std::vector<Device> devices;
        const char* saved; // selectedInterface before
        Dialog dialog;
        std::string outcome; // "device description address", or the status text
        int dialogs;
    } cases[] = {
        {{kLo, kWired, kDown}, "Wi-Fi", kCancel, "wired Wired 10.0.0.6", 0}, // the only usable one
        {{kWired, kWifi}, "Wi-Fi", kCancel, "wifi Wi-Fi 192.168.1.9", 0},    // the saved one
        {{kWifi, kWired, kWifi2}, "Wi-Fi", kCancel, "wifi2 Wi-Fi 192.168.2.9", 0}, // the later
        {{kWired, kWifi}, "wi-fi", kPickSecond, "wifi Wi-Fi 192.168.1.9", 1}, // none saved: asked
        {{kWired, kOff, kWifi}, "undefined", kCancel, "wired Wired 10.0.0.6", 1}, // cancelled
        {{kWired, kWifi}, "undefined", kOtherDialog, "wired Wired 10.0.0.6", 0},  // not asked
        {{kWired, kWifi}, "undefined", kOpenAgain, "wired Wired 10.0.0.6", 1},
        {{kTunnel}, "undefined", kCancel, "tunnel Tunnel 0.0.0.0", 0},
        {{kLong}, "undefined", kCancel, kept, 0},
        {{kDown, kOff, kLo, kEmpty}, "Down", kCancel, "Network not found.", 0},
        {{kBare}, "undefined", kCancel, "Network not connected.", 0},
        {{kWired, kWifi}, "undefined", kAllVanish, "Network not connected.", 1},
    };
    for (const auto& c : cases) {
        SetUp();
        s.devices = c.devices;
        s.dialog = c.dialog;
        std::strcpy(settings.selectedInterface, c.saved);
        uiBusy = c.dialog == kOtherDialog;
        const bool started = openCaptureSession(nullptr) == 1;
        char address[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &captureIpv4Address, address, sizeof address);
        EXPECT_EQ(started ? s.opened + " " + settings.selectedInterface + " " + address
                          : statusMessage,
                  c.outcome);
        EXPECT_EQ(s.dialogs, c.dialogs) << c.outcome;
        EXPECT_EQ(s.busyDuringDialog, s.dialogs > 0) << c.outcome;
        EXPECT_EQ(uiBusy, c.dialog == kOtherDialog) << c.outcome;
        // After a start: one open, the status text gone, saved with the new
        // description, one thread, the adapter address looked up, the device
        // list held. Else nothing opened or saved, the saved description kept,
        // the list released, the next attempt left to the timer.
        EXPECT_EQ(s.opens + s.saves + s.threads, started ? 3 : 0) << c.outcome;
        EXPECT_STREQ(started ? statusMessage : settings.selectedInterface, started ? "" : c.saved);
        EXPECT_EQ(s.saved, started ? settings.selectedInterface : "") << c.outcome;
        const char held[] = {char('0' + interfaceFound), char('0' + localAddressesLoaded),
                             char('0' + (deviceList != nullptr)), '\0'};
        EXPECT_STREQ(held, started ? "111" : "000") << c.outcome;
        EXPECT_EQ(s.releases, s.enumerations - started) << c.outcome;
    }
}

TEST_F(CaptureSessionTest, LibraryFailuresAndAFailedOpen) {
    s.devices = {kWired};
    captureLibrary.init = [](unsigned, char*) { return PCAP_ERROR; };
    EXPECT_EQ(openCaptureSession(nullptr), 0);
    EXPECT_STREQ(statusMessage, "Npcap init error.");
    EXPECT_EQ(s.enumerations, 0);
    captureLibrary.init = nullptr; // nothing to initialise
    EXPECT_EQ(openCaptureSession(nullptr), 1);

    s.enumerationFails = true;
    EXPECT_EQ(openCaptureSession(nullptr), 0);
    EXPECT_STREQ(statusMessage, "Device not found.");
    EXPECT_FALSE(interfaceFound);

    // A failed open is not retried: the interface counts as found, no status
    // text, nothing saved or started, the list released.
    SetUp();
    s.devices = {kWired};
    s.openFails = true;
    EXPECT_EQ(openCaptureSession(nullptr), 0);
    EXPECT_STREQ(statusMessage, "");
    EXPECT_TRUE(interfaceFound);
    EXPECT_EQ(deviceList, nullptr);
    EXPECT_EQ(s.releases + s.saves + s.threads, 1);

    // The adapter address not found yet: the capture runs, analysis waits.
    SetUp();
    s.devices = {kWired};
    s.macFound = false;
    EXPECT_EQ(openCaptureSession(nullptr), 1);
    EXPECT_FALSE(localAddressesLoaded.load());
}

// The capture thread's loop: pcap_loop when it works, the pcap_next_ex loop
// when pcap_loop fails before its first frame.
int loopResult, loopFrames;   // what the stand-in pcap_loop delivers, then returns
std::vector<int> nextResults; // what successive pcap_next_ex calls return
size_t nextCalls;

TEST(CaptureLoopTest, FallsBackToNextExOnlyWhenTheLoopFailsAtOnce) {
    static const u_char frame[1] = {0};
    static pcap_pkthdr header = {{0, 0}, 1, 1};
    captureLibrary.loop = [](pcap_t*, int, pcap_handler callback, u_char* user) {
        for (int i = 0; i < loopFrames; ++i) callback(user, &header, frame);
        return loopResult;
    };
    captureLibrary.nextEx = [](pcap_t*, pcap_pkthdr** h, const u_char** bytes) {
        *h = &header, *bytes = frame;
        return nextResults.at(nextCalls++);
    };
    const struct {
        int loop, frames;
        std::vector<int> nexts;
        int ended, handled;
    } cases[] = {
        // Wine: pcap_loop fails at once; frames and read timeouts until the break
        {PCAP_ERROR, 0, {1, 0, 1, PCAP_ERROR_BREAK}, PCAP_ERROR_BREAK, 2},
        {PCAP_ERROR, 0, {1, PCAP_ERROR}, PCAP_ERROR, 1},
        // a capture error after frames, or a break, ends the loop for good
        {PCAP_ERROR, 3, {}, PCAP_ERROR, 3},
        {PCAP_ERROR_BREAK, 0, {}, PCAP_ERROR_BREAK, 0},
    };
    for (const auto& c : cases) {
        loopResult = c.loop, loopFrames = c.frames, nextResults = c.nexts, nextCalls = 0;
        const uint64_t before = capturedFrameCount.load();
        EXPECT_EQ(runCaptureLoop(nullptr), c.ended);
        EXPECT_EQ(capturedFrameCount.load() - before, uint64_t(c.handled));
        EXPECT_EQ(nextCalls, c.nexts.size());
    }
}

} // namespace
