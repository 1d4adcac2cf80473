// The capture session over a stand-in library and hand-built device lists: the
// usable devices, the choice among them, every status text.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
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
const std::string kLongText(300, 'd'); // 255 bytes of it are kept
const Device
    kWired = {"wired", "Wired", kUp, {"v6", "10.0.0.5", "10.0.0.6"}},
    kWifi = {"wifi", "Wi-Fi", PCAP_IF_RUNNING | kConnected, {"192.168.1.9"}},
    kWifi2 = {"wifi2", "Wi-Fi", kUp, {"192.168.2.9"}}, kTunnel = {"tunnel", "Tunnel", kUp, {"v6"}},
    kBare = {"bare", nullptr, kUp, {"10.1.0.1"}},
    kLong = {"long", kLongText.c_str(), kUp, {"10.2.0.1"}},
    // never usable: down, disconnected, not applicable (loopback), no address
    kDown = {"down", "Down", kConnected, {"10.9.0.1"}},
    kOff = {"off", "Off", PCAP_IF_UP | PCAP_IF_CONNECTION_STATUS_DISCONNECTED, {"10.9.0.2"}},
    kLo = {"lo", "Lo", PCAP_IF_UP | PCAP_IF_CONNECTION_STATUS_NOT_APPLICABLE, {"127.0.0.1"}},
    kEmpty = {"empty", "Empty", kUp, {}};

// What the dialog does when shown (kBusy: another dialog is open), or what
// goes wrong in the library.
enum Twist { kCancel, kPick, kVanish, kAgain, kBusy, kBadInit, kNoInit, kNoList, kNoOpen, kNoMac };

// What the stand-ins were asked and told to do.
struct StandIn {
    std::vector<Device> devices;
    Twist twist = kCancel;
    bool busyDuringDialog = false;
    int enumerations = 0, releases = 0, opens = 0, dialogs = 0, threads = 0, saves = 0;
    std::string opened, saved;
} s;

// The enumeration; the dialog's refresh enumerates while the first is held.
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

void setUp() {
    applyDefaultSettings();
    resetOverlayState();
    resetTrafficTables();
    s = StandIn{};
    captureLibrary = CaptureLibrary{};
    captureLibrary.init = [](unsigned options, char*) {
        return options == PCAP_CHAR_ENC_LOCAL ? 0 : PCAP_ERROR;
    };
    captureLibrary.findAllDevicesEx = [](const char* source, pcap_rmtauth* auth, pcap_if_t** all,
                                         char*) {
        if (s.twist == kNoList || std::strcmp(source, "rpcap://") != 0 || auth) return -1;
        *all = buildList();
        s.enumerations += *all != nullptr; // an empty enumeration has nothing to release
        return 0;
    };
    captureLibrary.freeAllDevices = [](pcap_if_t*) { ++s.releases; };
    captureLibrary.open = [](const char* name, int snapshot, int flags, int timeout, pcap_rmtauth*,
                             char*) {
        ++s.opens;
        s.opened = name;
        const bool asked =
            snapshot == 65536 && flags == PCAP_OPENFLAG_PROMISCUOUS && timeout == 1000;
        return s.twist == kNoOpen || !asked ? nullptr : reinterpret_cast<pcap_t*>(&s);
    };
    captureSessionActions = {
        nullptr,
        [](WindowHandle) {
            ++s.dialogs;
            s.busyDuringDialog = uiBusy == 1;
            if (s.twist == kPick) selectedDeviceIndex = 1;
            if (s.twist == kVanish) { // refresh with nothing left, OK, then Cancel
                s.devices.clear();
                refreshDeviceList();
                selectedDeviceIndex = -1;
            }
            if (s.twist == kAgain) { // the timer's retry while the dialog is open
                EXPECT_EQ(openCaptureSession(nullptr), 0);
            }
        },
        [] { return ++s.threads > 0; },
        [] { return s.twist != kNoMac; },
        [](WindowHandle) { return s.saved = settings.selectedInterface, ++s.saves, 0; },
    };
    captureHandle = nullptr;
    deviceList = nullptr;
    captureIpv4Address = 0;
    std::strcpy(statusMessage, "Npcap not found.");
}

TEST(CaptureSessionTest, ChoosesOpensAndReportsEachOutcome) {
    const std::string kept = "long " + std::string(255, 'd') + " 10.2.0.1|111|111|0";
    // After one opening: "device description address" after a start, else the
    // status; interfaceFound, localAddressesLoaded, the list held; the opens,
    // saves, threads; the dialogs shown.
    const struct {
        std::vector<Device> devices;
        const char* saved; // selectedInterface before
        Twist twist;
        std::string state;
    } cases[] = {
        // the only usable one; the saved one; the later of two saved; none saved
        // (letter case counts): asked; cancelled: the first; another dialog
        // open: not asked; the timer's retry from inside starts nothing
        {{kLo, kWired, kDown}, "Wi-Fi", kCancel, "wired Wired 10.0.0.6|111|111|0"},
        {{kWired, kWifi}, "Wi-Fi", kCancel, "wifi Wi-Fi 192.168.1.9|111|111|0"},
        {{kWifi, kWired, kWifi2}, "Wi-Fi", kCancel, "wifi2 Wi-Fi 192.168.2.9|111|111|0"},
        {{kWired, kWifi}, "wi-fi", kPick, "wifi Wi-Fi 192.168.1.9|111|111|1"},
        {{kWired, kOff, kWifi}, "", kCancel, "wired Wired 10.0.0.6|111|111|1"},
        {{kWired, kWifi}, "", kBusy, "wired Wired 10.0.0.6|111|111|0"},
        {{kWired, kWifi}, "", kAgain, "wired Wired 10.0.0.6|111|111|1"},
        {{kTunnel}, "", kCancel, "tunnel Tunnel 0.0.0.0|111|111|0"},
        {{kLong}, "", kCancel, kept},
        {{kDown, kOff, kLo, kEmpty}, "Down", kCancel, "Network not found.|000|000|0"},
        {{kBare}, "", kCancel, "Network not connected.|000|000|0"},
        {{kWired, kWifi}, "", kVanish, "Network not connected.|000|000|1"},
        // a failed open is not retried (the device counts as found); without the
        // adapter's address the capture runs, analysis waits
        {{kWired}, "", kBadInit, "Npcap init error.|000|000|0"},
        {{kWired}, "", kNoInit, "wired Wired 10.0.0.6|111|111|0"},
        {{kWired}, "", kNoList, "Device not found.|000|000|0"},
        {{kWired}, "", kNoOpen, "|100|100|0"},
        {{kWired}, "", kNoMac, "wired Wired 10.0.0.6|101|111|0"},
    };
    for (const auto& c : cases) {
        setUp();
        s.devices = c.devices;
        s.twist = c.twist;
        std::strcpy(settings.selectedInterface, c.saved);
        uiBusy = c.twist == kBusy;
        if (c.twist == kBadInit) captureLibrary.init = [](unsigned, char*) { return PCAP_ERROR; };
        if (c.twist == kNoInit) captureLibrary.init = nullptr;
        const bool started = openCaptureSession(nullptr) == 1;
        char state[kStatusMessageSize + 32];
        std::snprintf(state, sizeof state, "%s|%d%d%d|%d%d%d|%d", statusMessage, interfaceFound,
                      localAddressesLoaded.load(), deviceList != nullptr, s.opens, s.saves,
                      s.threads, s.dialogs);
        char address[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &captureIpv4Address, address, sizeof address);
        EXPECT_EQ((started ? s.opened + " " + settings.selectedInterface + " " + address : "") +
                      state,
                  c.state);
        // The dialog runs with uiBusy set; a start saves the new description;
        // a device not found keeps the old one; a list not held is released.
        EXPECT_EQ(s.busyDuringDialog, s.dialogs > 0) << c.state;
        EXPECT_EQ(uiBusy, c.twist == kBusy) << c.state;
        EXPECT_EQ(s.saved, started ? settings.selectedInterface : "") << c.state;
        if (!interfaceFound) {
            EXPECT_STREQ(settings.selectedInterface, c.saved) << c.state;
        }
        EXPECT_EQ(s.releases, s.enumerations - (deviceList != nullptr)) << c.state;
    }
}

// The capture loop: a pcap_loop that fails before its first frame gives way to
// pcap_next_ex (read timeouts skipped) until the break; one that fails after a
// frame, or is broken, ends the loop as it is.
int loopFrames, loopResult, nextExCalls;
TEST(CaptureLoop, FallsBackToNextExOnlyWhenLoopFailsAtOnce) {
    static const u_char frame[60] = {};
    static pcap_pkthdr header = {{0, 0}, sizeof frame, sizeof frame};
    captureLibrary.loop = [](pcap_t*, int, pcap_handler handler, u_char*) {
        for (int i = 0; i < loopFrames; ++i) handler(nullptr, &header, frame);
        return loopResult;
    };
    captureLibrary.nextEx = [](pcap_t*, pcap_pkthdr** h, const u_char** bytes) {
        *h = &header, *bytes = frame;
        return std::array{1, 0, 1, PCAP_ERROR_BREAK}[nextExCalls++];
    };
    // pcap_loop's frames and result; then the loop's result, frames, pcap_next_ex calls
    for (auto [frames, result, ends, analysed, calls] :
         {std::array{0, PCAP_ERROR, PCAP_ERROR_BREAK, 2, 4},
          {1, PCAP_ERROR, PCAP_ERROR, 1, 0},
          {0, PCAP_ERROR_BREAK, PCAP_ERROR_BREAK, 0, 0}}) {
        loopFrames = frames, loopResult = result, nextExCalls = 0;
        const uint64_t before = capturedFrameCount;
        EXPECT_EQ(runCaptureLoop(nullptr), ends);
        EXPECT_EQ(std::pair(int(capturedFrameCount - before), nextExCalls),
                  std::pair(analysed, calls));
    }
}

} // namespace
