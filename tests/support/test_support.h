// Building frames and messages in tests, and feeding them to the analysis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/addresses.h"

using Bytes = std::vector<uint8_t>;

// This host's hardware address in tests, and a neighbour's.
extern const uint8_t kTestLocalMac[6];
extern const uint8_t kTestPeerMac[6];

Address4 addr4(const char* text); // "192.0.2.1"
Address6 addr6(const char* text); // "2001:db8::1"

// Transport layers.
constexpr uint8_t kFin = 0x01, kSyn = 0x02, kRst = 0x04, kAck = 0x10;
Bytes tcpSegment(uint16_t srcPort, uint16_t dstPort, uint32_t seq, uint8_t flags,
                 const Bytes& payload = {});
Bytes udpDatagram(uint16_t srcPort, uint16_t dstPort, const Bytes& payload = {});
Bytes icmpMessage(uint8_t type, uint8_t code, const Bytes& body = {});

// Network layers: fixed 20-byte IPv4 and 40-byte IPv6 headers.
Bytes ipv4Packet(Address4 src, Address4 dst, uint8_t protocol, const Bytes& payload);
Bytes ipv6Packet(const Address6& src, const Address6& dst, uint8_t nextHeader,
                 const Bytes& payload);

// Ethernet II. EtherType follows from the packet's version unless given.
Bytes ethernetFrame(const uint8_t dst[6], const uint8_t src[6], const Bytes& packet,
                    int etherType = -1);
// A frame this host sends (source = kTestLocalMac) or receives (destination = kTestLocalMac).
Bytes outgoing(const Bytes& packet);
Bytes incoming(const Bytes& packet);

// DNS messages. A name is given as dotted text and written as labels.
Bytes dnsName(const std::string& dotted);
Bytes dnsQuery(uint16_t id, const std::string& name, uint16_t qtype);
struct DnsAnswer {
    uint16_t type;
    Bytes data;
    Bytes owner = {0xC0, 0x0C}; // a pointer to the question name
};
Bytes dnsResponse(uint16_t id, const std::string& name, uint16_t qtype, uint8_t rcode,
                  const std::vector<DnsAnswer>& answers);

// Sets this host's address to kTestLocalMac and empties every table.
void resetAnalysisForTest();
// Runs one frame through the packet handler.
void feedFrame(const Bytes& frame);

// Path of a file under tests/data.
std::string testDataPath(const std::string& relative);
