#include "analysis/tcp.h"

#include "analysis/table_index.h"
#include "analysis/text.h"

const char* const tcpStateNames[12] = {
    "SYN-SENT(受信)", "SYN-RECEIVED(送信)", "SYN-SENT(送信)", "SYN-RECEIVED(受信)",
    "ESTABLISHED",    "FIN-WAIT1",          "FIN-WAIT2",      "CLOSING",
    "CLOSE-WAIT",     "LAST-ACK",           "Reset CLOSED",   "CLOSED",
};

// The state after a segment with ACK but neither SYN nor FIN.
static uint8_t afterAck(uint8_t state, bool incoming) {
    switch (state) {
    case kTcpSynReceivedFromRemote:
    case kTcpSynAckSent:
    case kTcpSynSent:
    case kTcpSynAckReceived:
        return kTcpEstablished;
    case kTcpFinWait1:
        return incoming ? kTcpFinWait2 : state;
    case kTcpClosing:
    case kTcpLastAck:
        return incoming ? kTcpClosed : state;
    default:
        return state;
    }
}

// The state after a segment with FIN.
static uint8_t afterFin(uint8_t state, bool incoming, bool ack) {
    switch (state) {
    case kTcpSynReceivedFromRemote:
    case kTcpSynAckSent:
    case kTcpSynSent:
    case kTcpSynAckReceived:
    case kTcpEstablished:
        return incoming ? kTcpCloseWait : kTcpFinWait1;
    case kTcpFinWait1:
        if (!incoming) return state;
        return ack ? kTcpClosed : kTcpClosing;
    case kTcpFinWait2:
        return kTcpClosed;
    case kTcpClosing:
    case kTcpLastAck:
        return incoming ? kTcpClosed : state;
    case kTcpCloseWait:
        return incoming ? state : kTcpLastAck;
    default:
        return state;
    }
}

template <class Address, int N, int M>
static int trackTcpIn(TcpRecord<Address> (&table)[N], int32_t& next, PairIndex<M>& index,
                      const Address& remote, uint16_t port, uint32_t sequence, uint8_t flags,
                      int incoming) {
    const bool syn = flags & kTcpSyn, ack = flags & kTcpAck;
    const uint32_t key = tcpKey(addressKey(remote), port);
    int i = findKey(index.key, N, key, 0);
    while (i >= 0 && !(table[i].port == port && sameAddress(table[i].remote, remote)))
        i = findKey(index.key, N, key, i + 1);

    if (i < 0) {
        // Connections whose opening was not seen are not tracked.
        if (!syn) return kTcpResetClosed;
        TcpRecord<Address>& record = table[next];
        record.state = ack ? (incoming ? kTcpSynAckReceived : kTcpSynAckSent)
                           : (incoming ? kTcpSynReceivedFromRemote : kTcpSynSent);
        record.remote = remote;
        copyText(record.name, lookupName(remote), kNameSize - 1);
        record.port = port;
        record.lastSeq = sequence;
        record.packetCount = 1;
        record.repeatCount = 0;
        index.key[next] = key;
        next = next + 1 == N ? 0 : next + 1;
        return record.state;
    }

    TcpRecord<Address>& record = table[i];
    if (record.lastSeq == sequence && record.state <= kTcpEstablished) ++record.repeatCount;
    ++record.packetCount;
    record.lastSeq = sequence;
    if (flags & kTcpRst) return record.state = kTcpResetClosed;
    if (syn) {
        if (ack) return record.state = incoming ? kTcpSynAckReceived : kTcpSynAckSent;
        if (incoming) return record.state = kTcpSynReceivedFromRemote;
        // A sent SYN without ACK on a known connection goes on like any segment.
    }
    if (!syn && !(flags & kTcpFin) && ack) {
        record.state = afterAck(record.state, incoming);
    } else if (flags & kTcpFin) {
        record.state = afterFin(record.state, incoming, ack);
    }
    return record.state;
}

int trackTcp4(Address4 remote, uint16_t port, uint32_t sequence, uint8_t flags, int incoming) {
    return trackTcpIn(tcpTable4, tcpTable4Next, tcpIndex4, remote, port, sequence, flags, incoming);
}

int trackTcp6(const Address6& remote, uint16_t port, uint32_t sequence, uint8_t flags,
              int incoming) {
    return trackTcpIn(tcpTable6, tcpTable6Next, tcpIndex6, remote, port, sequence, flags, incoming);
}
