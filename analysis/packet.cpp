#include "analysis/packet.h"

#include <cstring>

#include "analysis/dns.h"
#include "analysis/icmp.h"
#include "analysis/netbios.h"
#include "analysis/table_index.h"
#include "analysis/tcp.h"
#include "analysis/text.h"
#include "analysis/traffic_tables.h"
#include "capture/owner_table.h"
#include "platform/platform.h"

namespace {

// Fixed layout: a 14-byte Ethernet header, then a 20-byte IPv4 header (options
// are not skipped) or the 40-byte IPv6 header (extension headers are not
// followed).
constexpr uint32_t kEthernetHeader = 14;
constexpr uint32_t kIpv4Header = 20;
constexpr uint32_t kIpv6Header = 40;
constexpr uint32_t kTcpHeader = 20; // the data offset is not consulted
constexpr uint32_t kUdpHeader = 8;
constexpr uint32_t kIcmpHeader = 8;

constexpr uint8_t kProtocolIcmp = 1, kProtocolTcp = 6, kProtocolUdp = 17, kProtocolIcmp6 = 58;
constexpr uint16_t kPortDns = 53, kPortNetbiosName = 137, kPortLlmnr = 5355;

uint16_t be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

// The decoded network layer of one frame.
template <class Address> struct IpPacket {
    Address source;
    Address destination;
    const uint8_t* transport; // the transport header
    uint32_t transportLength; // captured bytes from the transport header on
    uint8_t protocol;
    bool outgoing;
};

bool isLlmnrGroup(Address4 a) {
    static const uint8_t group[4] = {224, 0, 0, 252};
    return std::memcmp(&a, group, 4) == 0;
}

// ff02::1:3, or ff02::fb.
bool isLlmnrGroup(const Address6& a) {
    static const uint8_t prefix[12] = {0xff, 0x02};
    static const uint8_t tail13[4] = {0, 1, 0, 3};
    static const uint8_t tailFb[4] = {0, 0, 0, 0xfb};
    return std::memcmp(a.bytes, prefix, 12) == 0 &&
           (std::memcmp(a.bytes + 12, tail13, 4) == 0 || std::memcmp(a.bytes + 12, tailFb, 4) == 0);
}

int versionFlag(Address4) {
    return 1;
}
int versionFlag(const Address6&) {
    return 0;
}

void rememberProcessAddress(Address4 a, const char* process) {
    rememberProcessAddress4(a, process);
}
void rememberProcessAddress(const Address6& a, const char* process) {
    rememberProcessAddress6(a, process);
}

int trackTcp(Address4 remote, uint16_t port, uint32_t seq, uint8_t flags, int incoming) {
    return trackTcp4(remote, port, seq, flags, incoming);
}
int trackTcp(const Address6& remote, uint16_t port, uint32_t seq, uint8_t flags, int incoming) {
    return trackTcp6(remote, port, seq, flags, incoming);
}

void trackIcmp(Address4 peer, Address4 reporter, uint8_t type, uint8_t code, int incoming) {
    trackIcmp4(peer, reporter, type, code, incoming);
}
void trackIcmp(const Address6& peer, const Address6& reporter, uint8_t type, uint8_t code,
               int incoming) {
    trackIcmp6(peer, reporter, type, code, incoming);
}

// The host text of a remote: its learnt name, else its address as text.
template <class Address> void hostText(const Address& address, char* out) {
    const char* name = lookupName(address);
    if (std::strcmp(name, kNotFound) != 0) {
        copyText(out, name, kNameSize - 1);
    } else {
        addressText(address, out);
    }
}

// An ICMP or ICMPv6 message. An error about a packet this host sent is filed
// under that packet's destination, with the sender of the error as reporter.
template <class Address> void handleIcmp(const IpPacket<Address>& ip) {
    constexpr uint32_t embeddedHeader = sizeof(Address) == 4 ? kIpv4Header : kIpv6Header;
    constexpr uint32_t embeddedSource = sizeof(Address) == 4 ? 12 : 8;
    constexpr uint32_t embeddedDestination = sizeof(Address) == 4 ? 16 : 24;
    if (ip.transportLength < kIcmpHeader) return;
    const uint8_t type = ip.transport[0], code = ip.transport[1];
    if (ip.outgoing) {
        trackIcmp(ip.destination, ip.destination, type, code, 0);
        return;
    }
    if (ip.transportLength >= kIcmpHeader + embeddedHeader) {
        const uint8_t* embedded = ip.transport + kIcmpHeader;
        Address source, destination;
        std::memcpy(&source, embedded + embeddedSource, sizeof(Address));
        std::memcpy(&destination, embedded + embeddedDestination, sizeof(Address));
        if (sameAddress(source, ip.destination)) {
            trackIcmp(destination, ip.source, type, code, 1);
            return;
        }
    }
    trackIcmp(ip.source, ip.source, type, code, 1);
}

constexpr uint8_t eventKind(const Address4&, bool tcp) {
    return tcp ? kEventTcp4 : kEventUdp4;
}
constexpr uint8_t eventKind(const Address6&, bool tcp) {
    return tcp ? kEventTcp6 : kEventUdp6;
}

// A TCP segment or UDP datagram that is none of the name services.
template <class Address>
void handleConnection(const IpPacket<Address>& ip, uint16_t sourcePort, uint16_t destinationPort,
                      bool tcp) {
    uint32_t sequence = 0;
    uint8_t flags = 0;
    if (tcp) {
        std::memcpy(&sequence, ip.transport + 4, 4); // raw header bytes
        flags = ip.transport[13];
    }
    if (!ip.outgoing) {
        if (tcp) trackTcp(ip.source, destinationPort, sequence, flags, 1);
        return; // incoming datagrams end here
    }

    char process[kOwnerNameMax + 1];
    findPortOwner(process, sourcePort, tcp ? 1 : 0, versionFlag(ip.source));
    if (std::strcmp(process, kNotFound) != 0) rememberProcessAddress(ip.destination, process);
    if (tcp) {
        int state = trackTcp(ip.destination, sourcePort, sequence, flags, 0);
        if (state >= kTcpFinWait1) return; // closing connections queue no event
    }
    char host[kNameSize];
    hostText(ip.destination, host);
    enqueueRecentEvent(host, process, eventKind(ip.destination, tcp));
}

template <class Address> void handleTransport(const IpPacket<Address>& ip) {
    constexpr bool isIpv4 = sizeof(Address) == 4;
    const bool tcp = ip.protocol == kProtocolTcp;
    if (ip.protocol == (isIpv4 ? kProtocolIcmp : kProtocolIcmp6)) {
        handleIcmp(ip);
        return;
    }
    if (!tcp && ip.protocol != kProtocolUdp) return;
    const uint32_t header = tcp ? kTcpHeader : kUdpHeader;
    if (ip.transportLength < header) return;

    const uint16_t sourcePort = be16(ip.transport), destinationPort = be16(ip.transport + 2);
    const uint8_t* payload = ip.transport + header;
    const uint32_t payloadLength = ip.transportLength - header;
    if (sourcePort == kPortDns || destinationPort == kPortDns) {
        parseDnsMessage(payload, payloadLength);
    } else if ((destinationPort == kPortLlmnr && isLlmnrGroup(ip.destination)) ||
               sourcePort == kPortLlmnr) {
        parseDnsMessage(payload, payloadLength);
    } else if (isIpv4 && (sourcePort == kPortNetbiosName || destinationPort == kPortNetbiosName)) {
        parseNetbiosMessage(payload, payloadLength);
    } else {
        handleConnection(ip, sourcePort, destinationPort, tcp);
    }
}

// The fixed IPv4 (20 bytes) or IPv6 (40 bytes) header, then the transport.
template <class Address>
bool handleIp(const uint8_t* ipHeader, uint32_t capturedLength, bool outgoing) {
    constexpr bool isIpv4 = sizeof(Address) == 4;
    constexpr uint32_t header = isIpv4 ? kIpv4Header : kIpv6Header;
    constexpr uint32_t protocolAt = isIpv4 ? 9 : 6, sourceAt = isIpv4 ? 12 : 8;
    constexpr uint32_t destinationAt = isIpv4 ? 16 : 24;
    if (capturedLength < header) return false;
    ownerRefreshPending.store(1, std::memory_order_relaxed);
    IpPacket<Address> ip;
    std::memcpy(&ip.source, ipHeader + sourceAt, sizeof(Address));
    std::memcpy(&ip.destination, ipHeader + destinationAt, sizeof(Address));
    ip.transport = ipHeader + header;
    ip.transportLength = capturedLength - header;
    ip.protocol = ipHeader[protocolAt];
    ip.outgoing = outgoing;
    handleTransport(ip);
    return true;
}

} // namespace

bool handleFrame(const uint8_t* frame, uint32_t capturedLength) {
    if (!localAddressesLoaded.load(std::memory_order_acquire)) return false;
    if (capturedLength <= kEthernetHeader) return false; // needs the version byte too

    bool outgoing;
    if (std::memcmp(frame + 6, localMacAddress, 6) == 0) {
        outgoing = true; // the source test comes first: broadcasts we send are outgoing
    } else if (std::memcmp(frame, localMacAddress, 6) == 0) {
        outgoing = false;
    } else {
        static const uint8_t broadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
        static const uint8_t multicast4[3] = {0x01, 0x00, 0x5e};
        static const uint8_t multicast6[2] = {0x33, 0x33};
        if (std::memcmp(frame, broadcast, 6) != 0 && std::memcmp(frame, multicast4, 3) != 0 &&
            std::memcmp(frame, multicast6, 2) != 0)
            return false; // traffic between other hosts
        outgoing = false;
    }
    return handleDirectedFrame(be16(frame + 12), frame + kEthernetHeader,
                               capturedLength - kEthernetHeader, outgoing);
}

bool handleDirectedFrame(uint16_t etherType, const uint8_t* packet, uint32_t capturedLength,
                         bool outgoing) {
    if (etherType != 0x0800 && etherType != 0x86DD) return false;
    if (capturedLength == 0) return false;
    TrafficLock lock(trafficMutex);
    // The version nibble decides, whatever the EtherType said.
    if (packet[0] >> 4 == 4) return handleIp<Address4>(packet, capturedLength, outgoing);
    if (packet[0] >> 4 == 6) return handleIp<Address6>(packet, capturedLength, outgoing);
    return false;
}

namespace {

// The packet types of a cooked header that concern this host.
constexpr uint16_t kToHost = 0, kBroadcast = 1, kMulticast = 2, kFromHost = 4;
constexpr uint32_t kCookedHeader = 16, kCooked2Header = 20;

bool handleCooked(uint16_t packetType, uint16_t etherType, const uint8_t* packet,
                  uint32_t capturedLength) {
    if (packetType != kFromHost && packetType != kToHost && packetType != kBroadcast &&
        packetType != kMulticast)
        return false; // another host's traffic, or a kernel-internal copy
    return handleDirectedFrame(etherType, packet, capturedLength, packetType == kFromHost);
}

} // namespace

// Packet type (2 bytes), hardware type (2), address length (2), 8 address
// bytes, protocol (2).
bool handleLinuxCookedFrame(const uint8_t* frame, uint32_t capturedLength) {
    if (capturedLength <= kCookedHeader) return false;
    return handleCooked(be16(frame), be16(frame + 14), frame + kCookedHeader,
                        capturedLength - kCookedHeader);
}

// Protocol (2 bytes), reserved (2), interface index (4), hardware type (2),
// packet type (1), address length (1), 8 address bytes.
bool handleLinuxCooked2Frame(const uint8_t* frame, uint32_t capturedLength) {
    if (capturedLength <= kCooked2Header) return false;
    return handleCooked(frame[10], be16(frame), frame + kCooked2Header,
                        capturedLength - kCooked2Header);
}

template <class Address, int N, int M>
static void rememberProcessAddressIn(ProcessAddress<Address> (&table)[N], int32_t& next,
                                     PairIndex<M>& index, const Address& address,
                                     const char* process) {
    const uint32_t key = processAddressKey(addressKey(address), textKey(process));
    for (int i = findKey(index.key, N, key, 0); i >= 0; i = findKey(index.key, N, key, i + 1)) {
        if (sameAddress(table[i].address, address) && std::strcmp(table[i].process, process) == 0)
            return;
    }
    ProcessAddress<Address>& slot = table[next];
    copyText(slot.process, process, kProcessNameSize - 2);
    slot.address = address;
    index.key[next] = processAddressKey(addressKey(address), textKey(slot.process));
    next = next + 1 == N ? 0 : next + 1;
}

void rememberProcessAddress4(Address4 address, const char* process) {
    rememberProcessAddressIn(processAddresses4, processAddresses4Next, processIndex4, address,
                             process);
}
void rememberProcessAddress6(const Address6& address, const char* process) {
    rememberProcessAddressIn(processAddresses6, processAddresses6Next, processIndex6, address,
                             process);
}

void enqueueRecentEvent(const char* host, const char* process, uint8_t kind) {
    // Pending events are the pendingEventCount slots from recentReadIndex on;
    // with more than 100 pending every slot is looked at once.
    const uint32_t key = textKey(host);
    int pending =
        pendingEventCount < kRecentEventCapacity ? pendingEventCount : kRecentEventCapacity;
    int slot = recentReadIndex;
    for (int n = 0; n < pending; ++n) {
        if (slot < 0 || slot >= kRecentEventCapacity) slot = 0;
        if (recentHostIndex.key[slot] == key && std::strcmp(recentEvents[slot].host, host) == 0)
            return; // already waiting
        ++slot;
    }
    if (publishedTwoLineProcessNames() != 0 && std::strcmp(process, kNotFound) == 0) return;
    if (std::strcmp(host, lastShownHost) == 0) return;

    ++pendingEventCount;
    if (++recentWriteIndex >= kRecentEventCapacity) recentWriteIndex = 0;
    RecentEvent& event = recentEvents[recentWriteIndex];
    copyText(event.host, host, kNameSize - 1);
    copyText(event.process, process, kProcessNameSize - 1);
    event.kind = kind;
    recentHostIndex.key[recentWriteIndex] = textKey(event.host);
}
