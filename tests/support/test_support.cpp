#include "support/test_support.h"

#include <arpa/inet.h>

#include <cstring>
#include <initializer_list>
#include <sstream>
#include <stdexcept>

#include "analysis/packet.h"

const uint8_t kTestLocalMac[6] = {0x02, 0x77, 0x00, 0x00, 0x00, 0x01};
static const uint8_t kTestPeerMac[6] = {0x02, 0x77, 0x00, 0x00, 0x00, 0x02};

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

static Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

static Bytes be16(uint16_t v) {
    return {uint8_t(v >> 8), uint8_t(v)};
}
static Bytes be32(uint32_t v) {
    return cat({be16(uint16_t(v >> 16)), be16(uint16_t(v))});
}

Bytes tcpSegment(uint16_t srcPort, uint16_t dstPort, uint32_t seq, uint8_t flags,
                 const Bytes& payload) {
    // Acknowledgement number 0, data offset 5 words, window 65535, checksum and
    // urgent pointer 0.
    const Bytes rest = {0x50, flags, 0xff, 0xff, 0, 0, 0, 0};
    return cat({be16(srcPort), be16(dstPort), be32(seq), be32(0), rest, payload});
}

Bytes udpDatagram(uint16_t srcPort, uint16_t dstPort, const Bytes& payload) {
    return cat(
        {be16(srcPort), be16(dstPort), be16(uint16_t(8 + payload.size())), be16(0), payload});
}

Bytes icmpMessage(uint8_t type, uint8_t code, const Bytes& body) {
    return cat({{type, code, 0, 0, 0, 0, 0, 0}, body});
}

Bytes ipv4Packet(Address4 src, Address4 dst, uint8_t protocol, const Bytes& payload) {
    // Identification, fragment fields and checksum 0, TTL 64.
    const Bytes length = be16(uint16_t(20 + payload.size())), ttl = {64, protocol, 0, 0};
    return cat({{0x45, 0}, length, be32(0), ttl, Ip4::data(src), Ip4::data(dst), payload});
}

Bytes ipv6Packet(const Address6& src, const Address6& dst, uint8_t nextHeader,
                 const Bytes& payload) {
    const Bytes length = be16(uint16_t(payload.size())), hops = {nextHeader, 64};
    return cat({{0x60, 0, 0, 0}, length, hops, Ip6::data(src), Ip6::data(dst), payload});
}

static Bytes ethernetFrame(const uint8_t dst[6], const uint8_t src[6], const Bytes& packet) {
    const uint16_t etherType = (packet[0] >> 4) == 6 ? 0x86DD : 0x0800;
    return cat({Bytes(dst, dst + 6), Bytes(src, src + 6), be16(etherType), packet});
}

Bytes outgoing(const Bytes& packet) {
    return ethernetFrame(kTestPeerMac, kTestLocalMac, packet);
}
Bytes incoming(const Bytes& packet) {
    return ethernetFrame(kTestLocalMac, kTestPeerMac, packet);
}

static Bytes dnsName(const std::string& dotted) {
    Bytes b;
    std::istringstream labels(dotted);
    for (std::string label; std::getline(labels, label, '.');) {
        b.push_back(uint8_t(label.size()));
        b.insert(b.end(), label.begin(), label.end());
    }
    b.push_back(0);
    return b;
}

// The 12-byte header with no authority or additional records.
static Bytes header(uint16_t id, uint16_t flags, uint16_t questions, uint16_t answers) {
    return cat({be16(id), be16(flags), be16(questions), be16(answers), be32(0)});
}

Bytes dnsQuery(uint16_t id, const std::string& name, uint16_t qtype) {
    // A standard query with recursion desired; class IN.
    return cat({header(id, 0x0100, 1, 0), dnsName(name), be16(qtype), be16(1)});
}

Bytes dnsResponse(uint16_t id, const std::string& name, uint16_t qtype, uint8_t rcode,
                  const std::vector<DnsAnswer>& answers) {
    Bytes b = cat({header(id, uint16_t(0x8180 | (rcode & 0x0F)), 1, uint16_t(answers.size())),
                   dnsName(name), be16(qtype), be16(1)});
    for (const DnsAnswer& a : answers) { // a pointer to the question name, class IN, TTL 300
        const Bytes owner = {0xC0, 0x0C};
        b = cat(
            {b, owner, be16(a.type), be16(1), be32(300), be16(uint16_t(a.data.size())), a.data});
    }
    return b;
}

Address4 Ip4::remote(int n) {
    Address4 a;
    const uint8_t bytes[4] = {10, uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    std::memcpy(&a, bytes, 4);
    return a;
}
Bytes Ip4::data(Address4 a) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&a);
    return Bytes(p, p + 4);
}
std::string Ip4::text(Address4 a) {
    char out[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &a, out, sizeof out);
}

Address6 Ip6::remote(int n) {
    Address6 a = addr6("2001:db8:1::");
    for (int i = 0; i < 3; ++i) a.bytes[15 - i] = uint8_t(n >> 8 * i);
    return a;
}
std::string Ip6::text(const Address6& a) {
    char out[INET6_ADDRSTRLEN];
    return inet_ntop(AF_INET6, a.bytes, out, sizeof out);
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
