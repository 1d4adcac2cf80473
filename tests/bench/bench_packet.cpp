// The packet handler's throughput, in frames per second (items_per_second).
//
// ScenarioReplay: the frames of the workstation scenario capture, replayed in
// a loop from empty tables: the everyday case.
//
// WorstCaseMix: every table full first, then a mix that takes the expensive
// paths on every frame: connections to hosts no name is known for (the name
// look-up scans a full table and misses), from ports whose owner sits at the
// end of a full owner table, to more remote hosts than the TCP, ICMP and
// process-address rings hold (so each new connection misses a full table and
// overwrites its oldest record), with a hundred events always pending (so
// every event scans the whole ring). Each connection is a SYN, the SYN+ACK, an
// ACK and a data segment, a DNS query and its answer for a name that is not
// yet known, and an echo request with its reply; IPv4 and IPv6 alternate.
//
// Both count heap allocations inside the timed loop (allocations_per_frame),
// which must stay 0: the handler never allocates.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "analysis/dns.h"
#include "analysis/icmp.h"
#include "analysis/packet.h"
#include "analysis/tcp.h"
#include "analysis/traffic_tables.h"
#include "capture/capture_file.h"
#include "capture/owner_table.h"
#include "support/test_support.h"

// Every allocation through operator new in this program is counted, so a
// benchmark can tell whether its timed loop allocated.
static std::atomic<uint64_t> allocationCount{0};

// Not inlined: GCC would otherwise see free() meet a pointer from operator new.
[[gnu::noinline]] void* operator new(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// Frames laid end to end in one buffer, as a capture buffer would hold them.
struct FrameList {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> offsets; // offsets[i] to offsets[i + 1] is frame i
    size_t count() const { return offsets.size() - 1; }
};

FrameList frameList(const std::vector<Bytes>& frames) {
    FrameList list;
    list.offsets.push_back(0);
    for (const Bytes& f : frames) {
        list.bytes.insert(list.bytes.end(), f.begin(), f.end());
        list.offsets.push_back(uint32_t(list.bytes.size()));
    }
    return list;
}

void runFrames(benchmark::State& state, const FrameList& list) {
    const uint8_t* base = list.bytes.data();
    const uint32_t* offsets = list.offsets.data();
    const size_t count = list.count();
    // The count must see this program's allocations, or its 0 would say nothing.
    const uint64_t probe = allocationCount.load();
    int* probed = new int(0);
    benchmark::DoNotOptimize(probed);
    delete probed;
    if (allocationCount.load() == probe) {
        state.SkipWithError("operator new is not counted");
        return;
    }
    const uint64_t allocationsBefore = allocationCount.load();
    for (auto _ : state) {
        for (size_t i = 0; i < count; ++i)
            handleFrame(base + offsets[i], offsets[i + 1] - offsets[i]);
        benchmark::ClobberMemory();
    }
    const uint64_t allocations = allocationCount.load() - allocationsBefore;
    const int64_t frames = int64_t(state.iterations()) * int64_t(count);
    state.SetItemsProcessed(frames);
    state.counters["allocations_per_frame"] = frames ? double(allocations) / double(frames) : 0;
    state.counters["frames_per_round"] = double(count);
}

void ScenarioReplay(benchmark::State& state) {
    std::vector<Bytes> frames;
    std::string error;
    const std::string path = testDataPath("workstation-scenario.pcap");
    if (!loadCaptureFrames(path.c_str(), &frames, &error) || frames.empty()) {
        state.SkipWithError(("cannot read " + path + ": " + error).c_str());
        return;
    }
    const FrameList list = frameList(frames);
    resetAnalysisForTest();
    runFrames(state, list);
}
BENCHMARK(ScenarioReplay);

// ---- WorstCaseMix ----------------------------------------------------------

constexpr int kConnections = 1200; // per IP version: more than any ring holds
constexpr int kOwnedPorts = 100;   // local ports used by the mix
constexpr uint16_t kFirstOwnedPort = 40000;

// Address n of a block: IPv4 198.18.0.0/15 (benchmarking range), IPv6
// 2001:db8:<block>::/48.
Address4 address4(int block, int n) {
    const uint8_t b[4] = {198, uint8_t(18 + block / 4), uint8_t((block % 4) * 64 + n / 256),
                          uint8_t(n % 256)};
    Address4 a;
    std::memcpy(&a, b, 4);
    return a;
}
Address6 address6(int block, int n) {
    Address6 a{};
    a.bytes[0] = 0x20;
    a.bytes[1] = 0x01;
    a.bytes[2] = 0x0d;
    a.bytes[3] = 0xb8;
    a.bytes[5] = uint8_t(block);
    a.bytes[14] = uint8_t(n >> 8);
    a.bytes[15] = uint8_t(n);
    return a;
}

// Address blocks: what the tables are filled with, and what the mix uses.
enum Block { kFillNames, kFillTcp, kFillIcmp, kFillProcesses, kMixHosts, kMixAnswers, kDnsServer };

template <class Address> Address blockAddress(int block, int n);
template <> Address4 blockAddress<Address4>(int block, int n) {
    return address4(block, n);
}
template <> Address6 blockAddress<Address6>(int block, int n) {
    return address6(block, n);
}

Bytes ipPacket(Address4 src, Address4 dst, uint8_t protocol, const Bytes& payload) {
    return ipv4Packet(src, dst, protocol, payload);
}
Bytes ipPacket(const Address6& src, const Address6& dst, uint8_t protocol, const Bytes& payload) {
    return ipv6Packet(src, dst, protocol, payload);
}
Bytes addressBytes(Address4 a) {
    Bytes b(4);
    std::memcpy(b.data(), &a, 4);
    return b;
}
Bytes addressBytes(const Address6& a) {
    return Bytes(a.bytes, a.bytes + 16);
}

template <class Address> struct Family;
template <> struct Family<Address4> {
    static constexpr uint8_t icmp = 1, echoRequest = 8, echoReply = 0;
    static constexpr uint16_t qtype = 1;
    static Address4 local() { return address4(kDnsServer, 1); }
    static void rememberName(Address4 a, const char* name) { rememberName4(a, name); }
    static void trackTcp(Address4 a, uint16_t port) { trackTcp4(a, port, 0, kTcpSyn, 0); }
    static void trackIcmp(Address4 a) { trackIcmp4(a, a, 8, 0, 0); }
    static void rememberProcess(Address4 a, const char* p) { rememberProcessAddress4(a, p); }
    static void rememberOwner(const char* p, uint16_t port) { rememberPortOwner4(p, port, 1); }
};
template <> struct Family<Address6> {
    static constexpr uint8_t icmp = 58, echoRequest = 128, echoReply = 129;
    static constexpr uint16_t qtype = 28;
    static Address6 local() { return address6(kDnsServer, 1); }
    static void rememberName(const Address6& a, const char* name) { rememberName6(a, name); }
    static void trackTcp(const Address6& a, uint16_t port) { trackTcp6(a, port, 0, kTcpSyn, 0); }
    static void trackIcmp(const Address6& a) { trackIcmp6(a, a, 128, 0, 0); }
    static void rememberProcess(const Address6& a, const char* p) { rememberProcessAddress6(a, p); }
    static void rememberOwner(const char* p, uint16_t port) { rememberPortOwner6(p, port, 1); }
};

// Fills every table of one version to capacity through the writers.
template <class Address> void fillTables() {
    using F = Family<Address>;
    char text[64];
    {
        TrafficLock lock(trafficMutex);
        for (int i = 0; i < kNameCapacity; ++i) {
            std::snprintf(text, sizeof text, "filler-%d.names.example", i);
            F::rememberName(blockAddress<Address>(kFillNames, i), text);
        }
        for (int i = 0; i < kTcpCapacity; ++i)
            F::trackTcp(blockAddress<Address>(kFillTcp, i), uint16_t(20000 + i));
        for (int i = 0; i < kIcmpCapacity; ++i) F::trackIcmp(blockAddress<Address>(kFillIcmp, i));
        for (int i = 0; i < kProcessAddressCapacity; ++i) {
            std::snprintf(text, sizeof text, "filler-%d.exe", i);
            F::rememberProcess(blockAddress<Address>(kFillProcesses, i), text);
        }
    }
    // The mix's ports come last, so finding their owner passes 900 others.
    for (int i = 0; i < kPortOwnerCapacity - kOwnedPorts; ++i) {
        std::snprintf(text, sizeof text, "service-%d.exe", i);
        F::rememberOwner(text, uint16_t(10000 + i));
    }
    for (int i = 0; i < kOwnedPorts; ++i) {
        std::snprintf(text, sizeof text, "browser-%d.exe", i % 7);
        F::rememberOwner(text, uint16_t(kFirstOwnedPort + i));
    }
}

// The eight frames of connection n of one version.
template <class Address> void addConnection(std::vector<Bytes>& frames, int n) {
    using F = Family<Address>;
    const Address local = F::local();
    const Address host = blockAddress<Address>(kMixHosts, n);
    const Address server = blockAddress<Address>(kDnsServer, 53);
    const uint16_t port = uint16_t(kFirstOwnedPort + n % kOwnedPorts);
    const uint32_t seq = 1000u * uint32_t(n);
    auto out = [&](const Address& to, uint8_t protocol, const Bytes& payload) {
        frames.push_back(outgoing(ipPacket(local, to, protocol, payload)));
    };
    auto in = [&](const Address& from, uint8_t protocol, const Bytes& payload) {
        frames.push_back(incoming(ipPacket(from, local, protocol, payload)));
    };
    out(host, 6, tcpSegment(port, 443, seq, kSyn));
    in(host, 6, tcpSegment(443, port, 7 * seq, kSyn | kAck));
    out(host, 6, tcpSegment(port, 443, seq + 1, kAck));
    out(host, 6, tcpSegment(port, 443, seq + 1, kAck | 0x08, Bytes(64, 0x17)));

    const std::string name = "query-" + std::to_string(n) + ".mix.example";
    const uint16_t id = uint16_t(n);
    out(server, 17, udpDatagram(uint16_t(50000 + n % 1000), 53, dnsQuery(id, name, F::qtype)));
    const Bytes answer = addressBytes(blockAddress<Address>(kMixAnswers, n));
    in(server, 17,
       udpDatagram(53, uint16_t(50000 + n % 1000),
                   dnsResponse(id, name, F::qtype, 0, {{F::qtype, answer}})));

    out(host, F::icmp, icmpMessage(F::echoRequest, 0, Bytes(32, 0x61)));
    in(host, F::icmp, icmpMessage(F::echoReply, 0, Bytes(32, 0x61)));
}

void WorstCaseMix(benchmark::State& state) {
    resetAnalysisForTest();
    fillTables<Address4>();
    fillTables<Address6>();
    {
        TrafficLock lock(trafficMutex);
        char host[32];
        for (int i = 0; i < kRecentEventCapacity; ++i) {
            std::snprintf(host, sizeof host, "pending-%d.example", i);
            enqueueRecentEvent(host, "filler.exe", kEventTcp4);
        }
    }
    std::vector<Bytes> frames;
    for (int n = 0; n < kConnections; ++n) {
        addConnection<Address4>(frames, n);
        addConnection<Address6>(frames, n);
    }
    const FrameList list = frameList(frames);

    // One untimed round brings the rings to where every later round finds
    // them, and tells how many events a round queues.
    const int32_t pendingBefore = pendingEventCount;
    for (size_t i = 0; i < list.count(); ++i)
        handleFrame(list.bytes.data() + list.offsets[i], list.offsets[i + 1] - list.offsets[i]);
    state.counters["events_per_round"] = double(pendingEventCount - pendingBefore);

    runFrames(state, list);
}
BENCHMARK(WorstCaseMix);

} // namespace
