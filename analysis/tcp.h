// TCP connection tracking, one record per (remote address, local port).
#pragma once

#include <cstdint>

#include "analysis/addresses.h"

// Connection states, 0 to 11; the record's `state` field holds one.
using TcpState = uint8_t;
constexpr TcpState kTcpSynReceivedFromRemote = 0; // a SYN without ACK received
constexpr TcpState kTcpSynAckSent = 1;            // a SYN+ACK sent by this host
constexpr TcpState kTcpSynSent = 2;               // a SYN without ACK sent (new record only)
constexpr TcpState kTcpSynAckReceived = 3;        // a SYN+ACK received
constexpr TcpState kTcpEstablished = 4;
constexpr TcpState kTcpFinWait1 = 5;
constexpr TcpState kTcpFinWait2 = 6;
constexpr TcpState kTcpClosing = 7;
constexpr TcpState kTcpCloseWait = 8;
constexpr TcpState kTcpLastAck = 9;
constexpr TcpState kTcpResetClosed = 10;
constexpr TcpState kTcpClosed = 11;

// The texts shown for each state, indexed by TcpState.
extern const char* const tcpStateNames[12];

constexpr uint8_t kTcpFin = 0x01, kTcpSyn = 0x02, kTcpRst = 0x04, kTcpAck = 0x10;

// Updates or creates the record of (remote, local port) for one segment and
// returns its state afterwards; 10 when no record exists and none was made
// (a connection whose opening was not seen). `sequence` is the 4 raw sequence
// bytes; incoming: 1 received, 0 sent. The caller holds trafficMutex.
int trackTcp4(Address4 remote, uint16_t port, uint32_t sequence, uint8_t flags, int incoming);
int trackTcp6(const Address6& remote, uint16_t port, uint32_t sequence, uint8_t flags,
              int incoming);
