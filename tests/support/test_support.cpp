#include "support/test_support.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "analysis/packet.h"
#include "analysis/traffic_tables.h"
#include "capture/owner_table.h"

const uint8_t kTestLocalMac[6] = {0x02, 0x77, 0x00, 0x00, 0x00, 0x01};
const uint8_t kTestPeerMac[6] = {0x02, 0x77, 0x00, 0x00, 0x00, 0x02};

Address4 addr4(const char* text) {
    Address4 a = 0;
    if (inet_pton(AF_INET, text, &a) != 1) throw std::invalid_argument(text);
    return a;
}

Address6 addr6(const char* text) {
    Address6 a{};
    if (inet_pton(AF_INET6, text, a.bytes) != 1) throw std::invalid_argument(text);
    return a;
}

static void put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

static void put32(Bytes& b, uint32_t v) {
    put16(b, uint16_t(v >> 16));
    put16(b, uint16_t(v));
}

static void append(Bytes& b, const Bytes& tail) {
    b.insert(b.end(), tail.begin(), tail.end());
}

Bytes tcpSegment(uint16_t srcPort, uint16_t dstPort, uint32_t seq, uint8_t flags,
                 const Bytes& payload) {
    Bytes b;
    put16(b, srcPort);
    put16(b, dstPort);
    put32(b, seq);
    put32(b, 0);       // acknowledgement number
    b.push_back(0x50); // data offset 5 words
    b.push_back(flags);
    put16(b, 65535); // window
    put16(b, 0);     // checksum
    put16(b, 0);     // urgent pointer
    append(b, payload);
    return b;
}

Bytes udpDatagram(uint16_t srcPort, uint16_t dstPort, const Bytes& payload) {
    Bytes b;
    put16(b, srcPort);
    put16(b, dstPort);
    put16(b, uint16_t(8 + payload.size()));
    put16(b, 0);
    append(b, payload);
    return b;
}

Bytes icmpMessage(uint8_t type, uint8_t code, const Bytes& body) {
    Bytes b = {type, code, 0, 0, 0, 0, 0, 0};
    append(b, body);
    return b;
}

Bytes ipv4Packet(Address4 src, Address4 dst, uint8_t protocol, const Bytes& payload) {
    Bytes b = {0x45, 0};
    put16(b, uint16_t(20 + payload.size()));
    put32(b, 0);     // identification, fragment fields
    b.push_back(64); // TTL
    b.push_back(protocol);
    put16(b, 0); // checksum
    const uint8_t* s = reinterpret_cast<const uint8_t*>(&src);
    const uint8_t* d = reinterpret_cast<const uint8_t*>(&dst);
    b.insert(b.end(), s, s + 4);
    b.insert(b.end(), d, d + 4);
    append(b, payload);
    return b;
}

Bytes ipv6Packet(const Address6& src, const Address6& dst, uint8_t nextHeader,
                 const Bytes& payload) {
    Bytes b = {0x60, 0, 0, 0};
    put16(b, uint16_t(payload.size()));
    b.push_back(nextHeader);
    b.push_back(64); // hop limit
    b.insert(b.end(), src.bytes, src.bytes + 16);
    b.insert(b.end(), dst.bytes, dst.bytes + 16);
    append(b, payload);
    return b;
}

Bytes ethernetFrame(const uint8_t dst[6], const uint8_t src[6], const Bytes& packet,
                    int etherType) {
    Bytes b(dst, dst + 6);
    b.insert(b.end(), src, src + 6);
    if (etherType < 0) etherType = (!packet.empty() && (packet[0] >> 4) == 6) ? 0x86DD : 0x0800;
    put16(b, uint16_t(etherType));
    append(b, packet);
    return b;
}

Bytes outgoing(const Bytes& packet) {
    return ethernetFrame(kTestPeerMac, kTestLocalMac, packet);
}
Bytes incoming(const Bytes& packet) {
    return ethernetFrame(kTestLocalMac, kTestPeerMac, packet);
}

Bytes dnsName(const std::string& dotted) {
    Bytes b;
    size_t start = 0;
    while (start < dotted.size()) {
        size_t dot = dotted.find('.', start);
        if (dot == std::string::npos) dot = dotted.size();
        b.push_back(uint8_t(dot - start));
        b.insert(b.end(), dotted.begin() + start, dotted.begin() + dot);
        start = dot + 1;
    }
    b.push_back(0);
    return b;
}

Bytes dnsQuery(uint16_t id, const std::string& name, uint16_t qtype) {
    Bytes b;
    put16(b, id);
    put16(b, 0x0100); // standard query, recursion desired
    put16(b, 1);      // QDCOUNT
    put16(b, 0);
    put16(b, 0);
    put16(b, 0);
    append(b, dnsName(name));
    put16(b, qtype);
    put16(b, 1); // class IN
    return b;
}

Bytes dnsResponse(uint16_t id, const std::string& name, uint16_t qtype, uint8_t rcode,
                  const std::vector<DnsAnswer>& answers) {
    Bytes b;
    put16(b, id);
    put16(b, uint16_t(0x8180 | (rcode & 0x0F)));
    put16(b, 1);
    put16(b, uint16_t(answers.size()));
    put16(b, 0);
    put16(b, 0);
    append(b, dnsName(name));
    put16(b, qtype);
    put16(b, 1);
    for (const DnsAnswer& a : answers) {
        append(b, a.owner);
        put16(b, a.type);
        put16(b, 1);   // class IN
        put32(b, 300); // TTL
        put16(b, uint16_t(a.data.size()));
        append(b, a.data);
    }
    return b;
}

Bytes be16(uint16_t v) {
    Bytes b;
    put16(b, v);
    return b;
}
Bytes be32(uint32_t v) {
    Bytes b;
    put32(b, v);
    return b;
}

Bytes messageHeader(uint16_t flags, uint16_t questions, uint16_t answers) {
    return cat({be16(0), be16(flags), be16(questions), be16(answers), be16(0), be16(0)});
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) append(b, p);
    return b;
}

Bytes firstBytes(const Bytes& b, size_t length) {
    return Bytes(b.begin(), b.begin() + std::min(length, b.size()));
}

Bytes netbiosName(const std::string& name, uint8_t suffix, const std::string& scope) {
    std::string padded = name;
    padded.resize(15, ' ');
    padded.push_back(char(suffix));
    Bytes b = {32};
    for (char c : padded) {
        b.push_back(uint8_t('A' + (uint8_t(c) >> 4)));
        b.push_back(uint8_t('A' + (uint8_t(c) & 0x0F)));
    }
    if (scope.empty()) {
        b.push_back(0);
    } else {
        append(b, dnsName(scope));
    }
    return b;
}

Address4 Ip4::local() {
    return addr4("192.0.2.10");
}
Address4 Ip4::remote(int n) {
    Address4 a;
    const uint8_t bytes[4] = {10, uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    std::memcpy(&a, bytes, 4);
    return a;
}
Address4 Ip4::llmnrGroup() {
    return addr4("224.0.0.252");
}
Bytes Ip4::packet(Address4 src, Address4 dst, uint8_t protocol, const Bytes& payload) {
    return ipv4Packet(src, dst, protocol, payload);
}
Bytes Ip4::data(Address4 a) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&a);
    return Bytes(p, p + 4);
}
std::string Ip4::text(Address4 a) {
    char out[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &a, out, sizeof out);
}
void Ip4::rememberOwner(const char* process, uint16_t port, uint8_t isTcp) {
    rememberPortOwner4(process, port, isTcp);
}

Address6 Ip6::local() {
    return addr6("2001:db8::10");
}
Address6 Ip6::remote(int n) {
    Address6 a = addr6("2001:db8:1::");
    a.bytes[13] = uint8_t(n >> 16);
    a.bytes[14] = uint8_t(n >> 8);
    a.bytes[15] = uint8_t(n);
    return a;
}
Address6 Ip6::llmnrGroup() {
    return addr6("ff02::1:3");
}
Bytes Ip6::packet(const Address6& src, const Address6& dst, uint8_t protocol,
                  const Bytes& payload) {
    return ipv6Packet(src, dst, protocol, payload);
}
Bytes Ip6::data(const Address6& a) {
    return Bytes(a.bytes, a.bytes + 16);
}
std::string Ip6::text(const Address6& a) {
    char out[INET6_ADDRSTRLEN];
    return inet_ntop(AF_INET6, a.bytes, out, sizeof out);
}
void Ip6::rememberOwner(const char* process, uint16_t port, uint8_t isTcp) {
    rememberPortOwner6(process, port, isTcp);
}

void resetAnalysisForTest() {
    resetTrafficTables();
    resetOwnerTables();
    setLocalMacAddress(kTestLocalMac);
    publishTwoLineProcessNames(1);
}

void feedFrame(const Bytes& frame) {
    handleFrame(frame.data(), uint32_t(frame.size()));
}

std::string testDataPath(const std::string& relative) {
    return std::string(KESTRAVA_TEST_DATA) + "/" + relative;
}
