// kestrava-traffic: the traffic of the live-capture tests, from a process whose
// name the reports must show beside the hosts it reached; built natively and
// for Windows (run under Wine).
//
//   kestrava-traffic tcp HOST PORT [COUNT [HOLD_MS]]: COUNT connections, each an
//       HTTP request whose header lines trickle in over HOLD_MS (so that its
//       owner can be seen), the answer read until the server closes; a refused
//       one is reported and the next tried
//   kestrava-traffic udp HOST PORT [COUNT [INTERVAL_MS]]: COUNT datagrams
//
// Exit status 0 when all went as planned (refused ones too), else 1; 2 on misuse.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
#else
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
constexpr Socket INVALID_SOCKET = -1;
#define closesocket close
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

bool sendText(Socket s, const char* text) {
    return send(s, text, int(std::strlen(text)), 0) == int(std::strlen(text));
}

bool tcpConnections(const addrinfo* target, int count, int holdMs) {
    bool ok = true;
    for (int i = 0; ok && i < count; ++i) {
        Socket s = socket(target->ai_family, SOCK_STREAM, 0);
        ok = s != INVALID_SOCKET;
        if (ok && connect(s, target->ai_addr, int(target->ai_addrlen)) != 0) {
            std::printf("connection %d refused\n", i + 1);
        } else if (ok) {
            bool sent = sendText(s, "GET / HTTP/1.0\r\n");
            for (int waited = 0; sent && waited < holdMs; waited += 200) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                sent = sendText(s, "X-Kestrava-Test: wait\r\n");
            }
            sent = sent && sendText(s, "\r\n");
            char buffer[4096];
            long total = 0, n;
            while (sent && (n = recv(s, buffer, sizeof buffer, 0)) > 0) total += n;
            std::printf("connection %d: %ld bytes answered\n", i + 1, total);
            ok = sent && total > 0;
        }
        if (s != INVALID_SOCKET) closesocket(s);
    }
    return ok;
}

bool udpDatagrams(const addrinfo* target, int count, int intervalMs) {
    Socket s = socket(target->ai_family, SOCK_DGRAM, 0);
    bool ok = s != INVALID_SOCKET;
    for (int i = 0; ok && i < count; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
        ok = sendto(s, "kestrava", 8, 0, target->ai_addr, int(target->ai_addrlen)) == 8;
    }
    if (s != INVALID_SOCKET) closesocket(s);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const bool tcp = argc >= 4 && !std::strcmp(argv[1], "tcp");
    if (argc < 4 || (!tcp && std::strcmp(argv[1], "udp"))) return 2;
#ifdef _WIN32
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    addrinfo hints{}, *target = nullptr;
    hints.ai_socktype = tcp ? SOCK_STREAM : SOCK_DGRAM;
    if (getaddrinfo(argv[2], argv[3], &hints, &target) != 0) {
        std::printf("%s: not resolved\n", argv[2]);
        return 1;
    }
    const int count = argc > 4 ? std::atoi(argv[4]) : 1, ms = argc > 5 ? std::atoi(argv[5]) : 0;
    const bool ok = tcp ? tcpConnections(target, count, ms) : udpDatagrams(target, count, ms);
    freeaddrinfo(target);
    return ok ? 0 : 1;
}
