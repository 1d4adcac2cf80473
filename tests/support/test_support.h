// Building frames and messages in tests, and feeding them to the analysis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/addresses.h"
#include "analysis/traffic_tables.h"
#include "capture/owner_table.h"

using Bytes = std::vector<uint8_t>;

// This host's hardware address in tests.
extern const uint8_t kTestLocalMac[6];

Address4 addr4(const char* text); // "192.0.2.1"
Address6 addr6(const char* text); // "2001:db8::1"

// Transport layers.
constexpr uint8_t kFin = 0x01, kSyn = 0x02, kAck = 0x10;
Bytes tcpSegment(uint16_t srcPort, uint16_t dstPort, uint32_t seq, uint8_t flags,
                 const Bytes& payload = {});
Bytes udpDatagram(uint16_t srcPort, uint16_t dstPort, const Bytes& payload = {});
Bytes icmpMessage(uint8_t type, uint8_t code, const Bytes& body = {});

// Network layers: fixed 20-byte IPv4 and 40-byte IPv6 headers.
Bytes ipv4Packet(Address4 src, Address4 dst, uint8_t protocol, const Bytes& payload);
Bytes ipv6Packet(const Address6& src, const Address6& dst, uint8_t nextHeader,
                 const Bytes& payload);

// An Ethernet frame this host sends (source kTestLocalMac) or receives
// (destination kTestLocalMac); the EtherType follows from the IP version.
Bytes outgoing(const Bytes& packet);
Bytes incoming(const Bytes& packet);

// DNS messages. A name is given as dotted text and written as labels; every
// answer record points at the question name.
Bytes dnsQuery(uint16_t id, const std::string& name, uint16_t qtype);
struct DnsAnswer {
    uint16_t type;
    Bytes data;
};
Bytes dnsResponse(uint16_t id, const std::string& name, uint16_t qtype, uint8_t rcode,
                  const std::vector<DnsAnswer>& answers);

// The two IP versions as test parameters: addresses (local() is this host,
// remote(n) distinct non-zero addresses for n >= 1), builders and the tables
// each version writes, so one test body exercises both twins.
struct Ip4 {
    using Address = Address4;
    static constexpr const char* label = "Ip4";
    static constexpr int isIpv4 = 1;
    static constexpr uint16_t qtype = 1; // A
    static constexpr uint8_t icmpProtocol = 1, echoRequest = 8, echoReply = 0, timeExceeded = 11;
    static constexpr uint8_t tcpKind = kEventTcp4, udpKind = kEventUdp4;
    static Address local() { return addr4("192.0.2.10"); }
    static Address remote(int n);
    static Bytes packet(Address src, Address dst, uint8_t protocol, const Bytes& payload) {
        return ipv4Packet(src, dst, protocol, payload);
    }
    static Bytes data(Address a); // as DNS answer data
    static std::string text(Address a);
    static NameRecord4* names() { return nameTable4; }
    static int32_t& namesNext() { return nameTable4Next; }
    static TcpRecord4* tcp() { return tcpTable4; }
    static int32_t& tcpNext() { return tcpTable4Next; }
    static IcmpRecord4* icmp() { return icmpTable4; }
    static int32_t& icmpNext() { return icmpTable4Next; }
    static ProcessAddress4* processes() { return processAddresses4; }
    static int32_t& processesNext() { return processAddresses4Next; }
    static constexpr auto rememberOwner = rememberPortOwner4;
};
struct Ip6 {
    using Address = Address6;
    static constexpr const char* label = "Ip6";
    static constexpr int isIpv4 = 0;
    static constexpr uint16_t qtype = 28; // AAAA
    static constexpr uint8_t icmpProtocol = 58, echoRequest = 128, echoReply = 129,
                             timeExceeded = 3;
    static constexpr uint8_t tcpKind = kEventTcp6, udpKind = kEventUdp6;
    static Address local() { return addr6("2001:db8::10"); }
    static Address remote(int n);
    static Bytes packet(const Address& src, const Address& dst, uint8_t protocol,
                        const Bytes& payload) {
        return ipv6Packet(src, dst, protocol, payload);
    }
    static Bytes data(const Address& a) { return Bytes(a.bytes, a.bytes + 16); }
    static std::string text(const Address& a);
    static NameRecord6* names() { return nameTable6; }
    static int32_t& namesNext() { return nameTable6Next; }
    static TcpRecord6* tcp() { return tcpTable6; }
    static int32_t& tcpNext() { return tcpTable6Next; }
    static IcmpRecord6* icmp() { return icmpTable6; }
    static int32_t& icmpNext() { return icmpTable6Next; }
    static ProcessAddress6* processes() { return processAddresses6; }
    static int32_t& processesNext() { return processAddresses6Next; }
    static constexpr auto rememberOwner = rememberPortOwner6;
};
// Names typed-test instances by version ("Ip4", "Ip6").
struct FamilyName {
    template <class F> static std::string GetName(int) { return F::label; }
};

// Frames of one version: a TCP segment between this host's `localPort` and port
// 80 of remote(n), sent or received; a datagram this host sends from
// `localPort` to port 9 of remote(n); a DNS message received from a server.
template <class F>
Bytes tcpFrame(bool received, uint16_t localPort, uint32_t seq, uint8_t flags, int n = 1) {
    return received ? incoming(F::packet(F::remote(n), F::local(), 6,
                                         tcpSegment(80, localPort, seq, flags)))
                    : outgoing(F::packet(F::local(), F::remote(n), 6,
                                         tcpSegment(localPort, 80, seq, flags)));
}
template <class F> Bytes udpOut(uint16_t localPort, int n) {
    return outgoing(F::packet(F::local(), F::remote(n), 17, udpDatagram(localPort, 9)));
}
template <class F> Bytes dnsIn(const Bytes& message) {
    return incoming(
        F::packet(F::remote(0xfff053), F::local(), 17, udpDatagram(53, 40053, message)));
}

// Sets this host's address to kTestLocalMac and empties every table.
void resetAnalysisForTest();
// Runs one frame through the packet handler.
void feedFrame(const Bytes& frame);

// Path of a file under tests/data.
std::string testDataPath(const std::string& relative);
