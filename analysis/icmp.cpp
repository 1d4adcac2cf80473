#include "analysis/icmp.h"

#include <array>

#include "analysis/table_index.h"
#include "analysis/text.h"

namespace {

struct TypeRange {
    int first, last;
    uint8_t value;
};
struct NameRange {
    int first, last;
    const char* name;
};

template <size_t N> constexpr std::array<uint8_t, 256> byteTable(const TypeRange (&ranges)[N]) {
    std::array<uint8_t, 256> table{};
    for (const TypeRange& r : ranges)
        for (int t = r.first; t <= r.last; ++t) table[t] = r.value;
    return table;
}

template <size_t N> constexpr std::array<const char*, 256> nameTable(const NameRange (&ranges)[N]) {
    std::array<const char*, 256> table{};
    for (const NameRange& r : ranges)
        for (int t = r.first; t <= r.last; ++t) table[t] = r.name;
    return table;
}

// The types that count as problems; every other type counts as none.
constexpr TypeRange kIcmp4Problems[] = {
    {1, 4, 1}, {8, 8, 1}, {11, 12, 1}, {31, 31, 1}, {42, 42, 1}, {44, 252, 1},
};
constexpr TypeRange kIcmp6Problems[] = {
    {1, 99, 1}, {102, 126, 1}, {128, 128, 1}, {160, 160, 1}, {162, 199, 1},
};

// Two ICMPv4 names end with a space: that is how they are shown.
constexpr NameRange kIcmp4Names[] = {
    {0, 0, "Echo Reply"},
    {1, 2, "Unassigned"},
    {3, 3, "Destination Unreachable"},
    {4, 4, "Source Quench"},
    {5, 5, "Redirect"},
    {6, 6, "Alternate Host Address"},
    {7, 7, "Unassigned"},
    {8, 8, "Echo"},
    {9, 9, "Router Advertisement"},
    {10, 10, "Router Solicitation"},
    {11, 11, "Time Exceeded"},
    {12, 12, "Parameter Problem"},
    {13, 13, "Timestamp"},
    {14, 14, "Timestamp Reply"},
    {15, 15, "Information Request"},
    {16, 16, "Information Reply "},
    {17, 17, "Address Mask Request"},
    {18, 18, "Address Mask Reply "},
    {19, 29, "Reserved"},
    {30, 30, "Traceroute"},
    {31, 31, "Datagram Conversion Error"},
    {32, 32, "Mobile Host Redirect"},
    {33, 33, "IPv6 Where-Are-You"},
    {34, 34, "IPv6 I-Am-Here"},
    {35, 35, "Mobile Registration Request"},
    {36, 36, "Mobile Registration Reply"},
    {37, 37, "Domain Name Request"},
    {38, 38, "Domain Name Reply"},
    {39, 39, "SKIP"},
    {40, 40, "Photuris"},
    {41, 41, "such as Seamoby"},
    {42, 42, "Extended Echo Request"},
    {43, 43, "Extended Echo Reply"},
    {44, 252, "Unassigned"},
    {253, 253, "RFC3692-style Experiment 1"},
    {254, 254, "RFC3692-style Experiment 2"},
    {255, 255, "Reserved"},
};

constexpr NameRange kIcmp6Names[] = {
    {0, 0, "Reserved"},
    {1, 1, "Destination Unreachable"},
    {2, 2, "Packet Too Big"},
    {3, 3, "Time Exceeded"},
    {4, 4, "Parameter Problem"},
    {5, 99, "Unassigned"},
    {100, 101, "Private experimentation"},
    {102, 126, "Unassigned"},
    {127, 127, "Reserved"},
    {128, 128, "Echo Request"},
    {129, 129, "Echo Reply"},
    {130, 130, "Multicast Listener Query"},
    {131, 131, "Multicast Listener Report"},
    {132, 132, "Multicast Listener Done"},
    {133, 133, "Router Solicitation"},
    {134, 134, "Router Advertisement"},
    {135, 135, "Neighbor Solicitation"},
    {136, 136, "Neighbor Advertisement"},
    {137, 137, "Redirect Message"},
    {138, 138, "Router Renumbering"},
    {139, 139, "ICMP Node Information Query"},
    {140, 140, "ICMP Node Information Response"},
    {141, 141, "Inverse Neighbor Discovery Solicitation Message"},
    {142, 142, "Inverse Neighbor Discovery Advertisement Message"},
    {143, 143, "Version 2 Multicast Listener Report"},
    {144, 144, "Home Agent Address Discovery Request Message"},
    {145, 145, "Home Agent Address Discovery Reply Message"},
    {146, 146, "Mobile Prefix Solicitation"},
    {147, 147, "Mobile Prefix Advertisement"},
    {148, 148, "Certification Path Solicitation Message"},
    {149, 149, "Certification Path Advertisement Message"},
    {150, 150, "such as Seamoby"},
    {151, 151, "Multicast Router Advertisement"},
    {152, 152, "Multicast Router Solicitation"},
    {153, 153, "Multicast Router Termination"},
    {154, 154, "FMIPv6 Messages"},
    {155, 155, "RPL Control Message"},
    {156, 156, "ILNPv6 Locator Update Message"},
    {157, 157, "Duplicate Address Request"},
    {158, 158, "Duplicate Address Confirmation"},
    {159, 159, "MPL Control Message"},
    {160, 160, "Extended Echo Request"},
    {161, 161, "Extended Echo Reply"},
    {162, 199, "Unassigned"},
    {200, 201, "Private experimentation"},
    {202, 255, "Reserved"},
};

} // namespace

const std::array<uint8_t, 256> icmp4ProblemTypes = byteTable(kIcmp4Problems);
const std::array<uint8_t, 256> icmp6ProblemTypes = byteTable(kIcmp6Problems);
const std::array<const char*, 256> icmp4TypeNames = nameTable(kIcmp4Names);
const std::array<const char*, 256> icmp6TypeNames = nameTable(kIcmp6Names);

template <class Address, int N, int M>
static void trackIcmpIn(IcmpRecord<Address> (&table)[N], int32_t& next, PairIndex<M>& index,
                        const std::array<uint8_t, 256>& problemTypes, const Address& peer,
                        const Address& reporter, uint8_t type, uint8_t code, int incoming) {
    const uint32_t key = icmpKey(addressKey(peer), addressKey(reporter));
    int i = -1;
    if (!isZeroAddress(peer)) { // a zero peer is never matched again
        i = findKey(index.key, N, key, 0);
        while (i >= 0 &&
               !(sameAddress(table[i].peer, peer) && sameAddress(table[i].reporter, reporter)))
            i = findKey(index.key, N, key, i + 1);
    }
    if (i < 0) {
        i = next;
        next = next + 1 == N ? 0 : next + 1;
        IcmpRecord<Address>& record = table[i];
        record.peer = peer;
        record.reporter = reporter;
        // The name is fixed now; a name learnt later does not reach this record.
        copyText(record.name, lookupName(peer), kNameSize - 1);
        index.key[i] = key;
    }
    IcmpRecord<Address>& record = table[i];
    record.type = type;
    record.code = code;
    record.incoming = uint8_t(incoming);
    record.isProblem = problemTypes[type];
}

void trackIcmp4(Address4 peer, Address4 reporter, uint8_t type, uint8_t code, int incoming) {
    trackIcmpIn(icmpTable4, icmpTable4Next, icmpIndex4, icmp4ProblemTypes, peer, reporter, type,
                code, incoming);
}

void trackIcmp6(const Address6& peer, const Address6& reporter, uint8_t type, uint8_t code,
                int incoming) {
    trackIcmpIn(icmpTable6, icmpTable6Next, icmpIndex6, icmp6ProblemTypes, peer, reporter, type,
                code, incoming);
}
