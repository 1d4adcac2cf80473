// The capture thread and the user-interface thread over the shared tables, as
// in the program. One thread replays captures through the capture callback as
// fast as it can; the other meanwhile does what the user-interface thread
// does: takes overlay frames (consuming recent events, with hideErrorRates on
// and off), computes the rates, runs the timer step that rebuilds the owner
// tables from the snapshot hooks (so that findPortOwner on the capture thread
// meets the refresh), and writes the four reports. Built with ThreadSanitizer,
// a data race or a lock-order inversion ends the run with a report.
//
// The run takes every ring round several times, and proves it: each thread
// counts the cursors it writes going back towards 0. The captures alone reach
// too few hosts to fill the tables, so every round adds a block of hosts of
// its own. At the end, what the frames alone decide must equal what the same
// frames leave on one thread.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "analysis/traffic_tables.h"
#include "app/overlay_model.h"
#include "app/rates.h"
#include "capture/capture_file.h"
#include "capture/owner_table.h"
#include "capture/packet_callback.h"
#include "platform/platform.h"
#include "reports/reports.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using Frames = std::vector<Bytes>;

constexpr int kBlocks = 80;        // distinct blocks of made-up hosts, one per round
constexpr int kHostsPerBlock = 50; // per IP version
constexpr int kMinWraps = 3;       // times every ring must go round
constexpr int kMinUiPasses = 8;    // passes of the user-interface thread's work
constexpr int kEventsPerPass = 50; // overlay frames taken per pass
constexpr uint16_t kFirstOwnedPort = 40000;
constexpr int kOwnedPorts = 256; // local ports the fake endpoint tables own
constexpr int kProcesses = 8;
// Beyond this the run stops short and the coverage checks below fail.
constexpr auto kTimeLimit = std::chrono::seconds(40);

// Real captures, each rewritten from its own host's hardware address to the
// test host's, so that every one of them is analysed.
struct Capture {
    const char* file;
    uint8_t mac[6];
};
const Capture kCaptures[] = {
    {"workstation-scenario.pcap", {0x02, 0x77, 0x00, 0x00, 0x00, 0x01}},
    {"cs_http_ip4and6.pcapng", {0x00, 0x0c, 0x29, 0xd3, 0x46, 0xdd}},
    {"cs_icmp_traceroute.pcapng", {0x00, 0x16, 0xd4, 0xb8, 0x59, 0xb1}},
    {"cs_tcp_refuseconnection.pcapng", {0x00, 0x16, 0xd4, 0xb8, 0x59, 0xb1}},
    {"ark_dns-wiresharkrepo.pcap", {0x00, 0xe0, 0x18, 0xb1, 0x0c, 0xad}},
};

Frames loadCaptures() {
    Frames frames;
    for (const Capture& capture : kCaptures) {
        Frames file;
        std::string error;
        EXPECT_TRUE(loadCaptureFrames(testDataPath(capture.file).c_str(), &file, &error)) << error;
        for (Bytes& frame : file) {
            for (size_t at : {0, 6})
                if (frame.size() >= at + 6 && std::memcmp(&frame[at], capture.mac, 6) == 0)
                    std::memcpy(&frame[at], kTestLocalMac, 6);
            frames.push_back(std::move(frame));
        }
    }
    return frames;
}

// Host `id` of one IP version: its name asked for and answered, a connection
// to it opened and answered, an ICMP message from it (every third one a
// problem), a datagram to it. Local ports go round the owned range.
template <class F> void addHost(Frames& out, int id) {
    const typename F::Address remote = F::remote(id + 1);
    const std::string name = "h" + std::to_string(id) + ".stress.test";
    const uint16_t port = uint16_t(kFirstOwnedPort + id % kOwnedPorts);
    out.push_back(
        outgoing(F::packet(F::local(), F::remote(0xfff053), 17,
                           udpDatagram(40053, 53, dnsQuery(uint16_t(id), name, F::qtype)))));
    out.push_back(
        dnsIn<F>(dnsResponse(uint16_t(id), name, F::qtype, 0, {{F::qtype, F::data(remote)}})));
    out.push_back(tcpFrame<F>(false, port, uint32_t(id), kSyn, id + 1));
    out.push_back(tcpFrame<F>(true, port, uint32_t(id) * 7, kSyn | kAck, id + 1));
    const uint8_t type = id % 3 == 0 ? F::timeExceeded : F::echoReply;
    out.push_back(incoming(F::packet(remote, F::local(), F::icmpProtocol, icmpMessage(type, 0))));
    out.push_back(udpOut<F>(port, id + 1));
}

std::vector<Frames> makeBlocks() {
    std::vector<Frames> blocks(kBlocks);
    for (int b = 0; b < kBlocks; ++b)
        for (int h = 0; h < kHostsPerBlock; ++h) {
            addHost<Ip4>(blocks[b], b * kHostsPerBlock + h);
            addHost<Ip6>(blocks[b], b * kHostsPerBlock + h);
        }
    return blocks;
}

// The rings the capture thread writes, watched through their cursors.
struct Ring {
    const char* name;
    const int32_t* cursor;
};
const Ring kRings[] = {
    {"nameTable4", &nameTable4Next},
    {"nameTable6", &nameTable6Next},
    {"tcpTable4", &tcpTable4Next},
    {"tcpTable6", &tcpTable6Next},
    {"icmpTable4", &icmpTable4Next},
    {"icmpTable6", &icmpTable6Next},
    {"processAddresses4", &processAddresses4Next},
    {"processAddresses6", &processAddresses6Next},
    {"recentEvents (written)", &recentWriteIndex},
};
constexpr int kRingCount = int(sizeof kRings / sizeof kRings[0]);

// Counts a cursor's trips round its ring from successive looks at it.
struct WrapCounter {
    int32_t last = 0;
    int wraps = 0;
    void see(int32_t now) {
        if (now < last) ++wraps;
        last = now;
    }
};

// A digest of what the frames alone decide, whatever the other thread does
// meanwhile: the name, connection and ICMP tables with their cursors.
uint64_t frameDecidedDigest() {
    uint64_t h = 14695981039346656037u;
    auto add = [&h](const void* data, size_t size) {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 1099511628211u;
    };
    add(nameTable4, sizeof nameTable4);
    add(nameTable6, sizeof nameTable6);
    add(tcpTable4, sizeof tcpTable4);
    add(tcpTable6, sizeof tcpTable6);
    add(icmpTable4, sizeof icmpTable4);
    add(icmpTable6, sizeof icmpTable6);
    for (int i = 0; i < 6; ++i) add(kRings[i].cursor, sizeof(int32_t)); // those six tables'
    return h;
}

struct CaptureRun {
    uint64_t frames = 0;
    int rounds = 0;
    WrapCounter rings[kRingCount];
    uint64_t digest = 0; // frameDecidedDigest after the first kBlocks rounds
};

// One round: the captures, then the round's block of hosts.
template <class Feed>
void replayRound(int round, const Frames& captures, const std::vector<Frames>& blocks, Feed feed) {
    for (const Bytes& frame : captures) feed(frame);
    for (const Bytes& frame : blocks[size_t(round % kBlocks)]) feed(frame);
}

// The capture thread: waits for the adapter's address as the program's does
// (frames before it are ignored anyway), then replays rounds until it did all
// blocks and the other thread did its passes, or the time is up.
void captureThread(CaptureRun& run, const Frames& captures, const std::vector<Frames>& blocks,
                   const std::atomic<int>& uiPasses, std::atomic<bool>& done,
                   Clock::time_point deadline) {
    while (!localAddressesLoaded.load(std::memory_order_acquire)) std::this_thread::yield();
    pcap_pkthdr header{};
    auto feed = [&](const Bytes& frame) {
        header.caplen = header.len = uint32_t(frame.size());
        handlePacket(nullptr, &header, frame.data());
        ++run.frames;
        // This thread writes every cursor itself, so it reads them without the lock.
        for (int i = 0; i < kRingCount; ++i) run.rings[i].see(*kRings[i].cursor);
    };
    while ((run.rounds < kBlocks || uiPasses.load() < kMinUiPasses) && Clock::now() < deadline) {
        replayRound(run.rounds++, captures, blocks, feed);
        // This thread is the only writer of those tables.
        if (run.rounds == kBlocks) run.digest = frameDecidedDigest();
    }
    done.store(true);
}

// The user-interface thread's side; only that thread touches these.
int snapshotCount;
int reportFailures;
WrapCounter readIndex, owners4, owners6;

// The system's process list and endpoint tables as the owner refresh sees
// them: every listed port owned by one of a few processes whose names change
// with every snapshot, so that every refresh stores 512 new owners in each
// owner table and those rings go round too.
int fakeProcesses(ProcessEntry* out, int) {
    ++snapshotCount;
    for (int i = 0; i < kProcesses; ++i) {
        out[i].processId = uint32_t(100 + i);
        std::snprintf(out[i].exeName, sizeof out[i].exeName, "stress%d-%d.exe", snapshotCount, i);
    }
    return kProcesses;
}

bool fakeEndpoints(EndpointTable, std::vector<EndpointRow>* rows) {
    rows->clear();
    for (int p = 0; p < kOwnedPorts; ++p)
        rows->push_back({uint32_t(100 + p % kProcesses), uint16_t(kFirstOwnedPort + p)});
    return true;
}

void refreshOwners() {
    refreshOwnerTable();
    owners4.see(portOwners4Next);
    owners6.see(portOwners6Next);
}

// One pass of the user-interface thread: a refresh pass of the timer (which
// rebuilds the owner tables when a frame came since the last one) and one
// more rebuild, overlay frames, the rates and the four reports.
void uiPass(int pass) {
    static const TimerActions actions = {nullptr, nullptr, refreshOwners,
                                         nullptr, nullptr, nullptr};
    static OverlayFrame frame;
    settings.hideErrorRates = pass & 1;
    publishTwoLineProcessNames(pass % 3 == 2 ? 0 : 1);
    for (int tick = 0; tick < 4; ++tick) runTimerStep(actions);
    refreshOwners();
    for (int i = 0; i < kEventsPerPass; ++i) {
        takeOverlayFrame(&frame);
        readIndex.see(recentReadIndex);
    }
    computeRates();
    for (auto write : {writeDnsReport, writeTcpReport, writeIcmpReport, writeProcessReport})
        if (write(nullptr) != 0) ++reportFailures;
}

TEST(CaptureAndUiThreads, ShareTheTablesWithoutARace) {
    const Frames captures = loadCaptures();
    const std::vector<Frames> blocks = makeBlocks();
    char reportDirectory[] = "/tmp/kestrava-stress-XXXXXX";
    ASSERT_NE(mkdtemp(reportDirectory), nullptr);
    setFileDirectory(FileRole::Report, reportDirectory);
    const SnapshotHooks hooks = {fakeProcesses, fakeEndpoints};
    platformSetSnapshotHooks(&hooks);

    // What the frames decide, from the same rounds on one thread.
    resetTrafficTables();
    setLocalMacAddress(kTestLocalMac);
    for (int round = 0; round < kBlocks; ++round)
        replayRound(round, captures, blocks, [](const Bytes& frame) { feedFrame(frame); });
    const uint64_t alone = frameDecidedDigest();

    // Start-up as in the program: settings, empty tables, then the capture
    // thread, which ignores frames until the adapter's address is known.
    applyDefaultSettings();
    resetOverlayState();
    resetTrafficTables();
    resetOwnerTables();
    captureLibraryLoaded = interfaceFound = true;

    CaptureRun capture;
    std::atomic<int> uiPasses{0};
    std::atomic<bool> captureDone{false};
    const Clock::time_point start = Clock::now();
    std::thread thread(captureThread, std::ref(capture), std::cref(captures), std::cref(blocks),
                       std::cref(uiPasses), std::ref(captureDone), start + kTimeLimit);
    setLocalMacAddress(kTestLocalMac);
    while (!captureDone.load()) {
        uiPass(uiPasses.load());
        uiPasses.fetch_add(1);
    }
    thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    platformSetSnapshotHooks(nullptr);
    setFileDirectory(FileRole::Report, nullptr);
    std::filesystem::remove_all(reportDirectory);

    std::printf("%.1f s: %llu frames in %d rounds; %d passes of the other thread, %d owner "
                "snapshots\nrings gone round:",
                seconds, (unsigned long long)capture.frames, capture.rounds, uiPasses.load(),
                snapshotCount);
    for (int i = 0; i < kRingCount; ++i)
        std::printf(" %s %d,", kRings[i].name, capture.rings[i].wraps);
    std::printf(" recentEvents (read) %d, portOwners4 %d, portOwners6 %d\n", readIndex.wraps,
                owners4.wraps, owners6.wraps);

    // The run did what it set out to do: the time limit did not cut it short,
    // and every ring went round often enough.
    EXPECT_GE(capture.rounds, kBlocks);
    EXPECT_GE(uiPasses.load(), kMinUiPasses);
    EXPECT_EQ(reportFailures, 0);
    for (int i = 0; i < kRingCount; ++i)
        EXPECT_GE(capture.rings[i].wraps, kMinWraps) << kRings[i].name;
    EXPECT_GE(readIndex.wraps, kMinWraps);
    EXPECT_GE(owners4.wraps, kMinWraps);
    EXPECT_GE(owners6.wraps, kMinWraps);

    // The other thread changed nothing the frames decide, and no frame was
    // lost: the same rounds left the same names, connections and ICMP records
    // as on one thread.
    EXPECT_EQ(capture.digest, alone);
}

} // namespace
