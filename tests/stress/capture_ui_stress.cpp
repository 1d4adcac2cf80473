// The capture thread and the user-interface thread over the shared tables, as
// in the program: one replays frames through the capture callback; the other
// takes overlay frames, runs the timer's owner refresh and writes the reports.
// ThreadSanitizer ends the run at a data race. A round takes every ring round
// several times; the frames must decide the same tables as on one thread.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/overlay_model.h"
#include "capture/owner_table.h"
#include "capture/packet_callback.h"
#include "reports/reports.h"
#include "support/test_support.h"

namespace {

// Host `id`: its name asked for and answered, a connection to it opened and
// answered, an ICMP message from it (every third a problem), a datagram to it.
template <class F> void addHost(std::vector<Bytes>& out, int id) {
    const typename F::Address remote = F::remote(id + 1);
    const std::string name = "h" + std::to_string(id) + ".stress.test";
    const uint16_t port = uint16_t(40000 + id % 256);
    const uint8_t icmp = id % 3 == 0 ? F::timeExceeded : F::echoReply;
    out.push_back(
        outgoing(F::packet(F::local(), F::remote(0xfff053), 17,
                           udpDatagram(40053, 53, dnsQuery(uint16_t(id), name, F::qtype)))));
    out.push_back(
        dnsIn<F>(dnsResponse(uint16_t(id), name, F::qtype, 0, {{F::qtype, F::data(remote)}})));
    out.push_back(tcpFrame<F>(false, port, uint32_t(id), kSyn, id + 1));
    out.push_back(tcpFrame<F>(true, port, uint32_t(id) * 7, kSyn | kAck, id + 1));
    out.push_back(incoming(F::packet(remote, F::local(), F::icmpProtocol, icmpMessage(icmp, 0))));
    out.push_back(udpOut<F>(port, id + 1));
}

// What the frames alone decide: the name, connection and ICMP tables.
std::string frameDecidedTables() {
    std::string bytes;
    auto add = [&](const auto& t) { bytes.append(reinterpret_cast<const char*>(&t), sizeof t); };
    add(nameTable4), add(nameTable6), add(tcpTable4);
    add(tcpTable6), add(icmpTable4), add(icmpTable6);
    return bytes;
}

TEST(CaptureAndUiThreads, ShareTheTablesWithoutARace) {
    std::vector<Bytes> frames;
    for (int id = 0; id < 4000; ++id) addHost<Ip4>(frames, id), addHost<Ip6>(frames, id);
    const std::string reports = testing::TempDir() + "kestrava-stress";
    std::filesystem::create_directories(reports);
    setFileDirectory(FileRole::Report, reports.c_str());
    applyDefaultSettings();
    resetOverlayState();
    resetAnalysisForTest();
    captureLibraryLoaded = interfaceFound = true;

    // Whole rounds until the other thread did 8 passes, saw a round end and the
    // events' ring read round 3 times (200 passes at most).
    std::atomic<bool> uiDone{false};
    std::atomic<int> rounds{0};
    std::thread capture([&] {
        pcap_pkthdr header{};
        do {
            for (const Bytes& frame : frames) {
                header.caplen = header.len = uint32_t(frame.size());
                handlePacket(nullptr, &header, frame.data());
            }
            ++rounds;
        } while (!uiDone);
    });
    int passes = 0, reportFailures = 0, readWraps = 0;
    static OverlayFrame shown;
    const TimerActions actions = {nullptr, nullptr, refreshOwnerTable, nullptr, nullptr, nullptr};
    for (; passes < 200 && (passes < 8 || rounds == 0 || readWraps < 3); ++passes) {
        settings.hideErrorRates = passes & 1;
        publishTwoLineProcessNames(passes % 3 == 2 ? 0 : 1);
        for (int tick = 0; tick < 4; ++tick) runTimerStep(actions);
        for (int i = 0; i < 50; ++i) {
            const int32_t before = recentReadIndex;
            takeOverlayFrame(&shown);
            readWraps += recentReadIndex < before;
        }
        reportFailures += !writeAllReports(nullptr);
    }
    uiDone = true;
    capture.join();
    const std::string threaded = frameDecidedTables();
    std::filesystem::remove_all(reports);
    EXPECT_GE(readWraps, 3);
    EXPECT_EQ(reportFailures, 0);

    // No frame was lost and the other thread changed nothing the frames decide.
    resetAnalysisForTest();
    for (int round = 0; round < rounds; ++round)
        for (const Bytes& frame : frames) feedFrame(frame);
    EXPECT_TRUE(frameDecidedTables() == threaded) << rounds << " rounds, " << passes << " passes";
}

} // namespace
