// kestrava-traffic: makes the traffic of the live-capture tests, as a process
// of its own whose name the reports must show beside the hosts it reached.
// The same source builds natively and for Windows (run under Wine).
//
//   kestrava-traffic tcp HOST PORT [COUNT [HOLD_MS]]
//       COUNT connections one after the other (default 1); each sends an HTTP
//       request whose header lines trickle in over HOLD_MS (default 0), so
//       that the connection lives long enough for its owner to be seen, then
//       reads the answer until the server closes. A refused connection is
//       reported and the next one tried.
//   kestrava-traffic udp HOST PORT [COUNT [INTERVAL_MS]]
//       COUNT datagrams (default 1) from one socket, INTERVAL_MS apart.
//
// HOST is an address or a name (resolved by the system). Prints one line per
// connection or datagram; exit status 0 when every step went as planned
// (connections refused count as planned), 1 otherwise, 2 on a usage error.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
static void closeSocket(Socket s) {
    closesocket(s);
}
#else
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
constexpr Socket INVALID_SOCKET = -1;
static void closeSocket(Socket s) {
    close(s);
}
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool sendText(Socket s, const char* text) {
    return send(s, text, int(std::strlen(text)), 0) == int(std::strlen(text));
}

addrinfo* resolve(const char* host, const char* port, int type) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = type;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, port, &hints, &found) != 0) {
        std::printf("%s: not resolved\n", host);
        return nullptr;
    }
    return found;
}

bool tcpConnections(const char* host, const char* port, int count, int holdMs) {
    addrinfo* target = resolve(host, port, SOCK_STREAM);
    if (!target) return false;
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        Socket s = socket(target->ai_family, SOCK_STREAM, 0);
        if (s == INVALID_SOCKET) {
            ok = false;
            break;
        }
        if (connect(s, target->ai_addr, int(target->ai_addrlen)) != 0) {
            std::printf("tcp %s %s: refused\n", host, port);
        } else {
            bool sent = sendText(s, "GET / HTTP/1.0\r\n");
            for (int waited = 0; sent && waited < holdMs; waited += 200) {
                pause(200);
                sent = sendText(s, "X-Kestrava-Test: wait\r\n");
            }
            sent = sent && sendText(s, "\r\n");
            char buffer[4096];
            long total = 0;
            int n;
            while (sent && (n = int(recv(s, buffer, sizeof buffer, 0))) > 0) total += n;
            std::printf("tcp %s %s: %ld bytes answered\n", host, port, total);
            ok = ok && sent && total > 0;
        }
        closeSocket(s);
    }
    freeaddrinfo(target);
    return ok;
}

bool udpDatagrams(const char* host, const char* port, int count, int intervalMs) {
    addrinfo* target = resolve(host, port, SOCK_DGRAM);
    if (!target) return false;
    Socket s = socket(target->ai_family, SOCK_DGRAM, 0);
    bool ok = s != INVALID_SOCKET;
    for (int i = 0; ok && i < count; ++i) {
        if (i > 0) pause(intervalMs);
        ok = sendto(s, "kestrava", 8, 0, target->ai_addr, int(target->ai_addrlen)) == 8;
        std::printf("udp %s %s: datagram %d %s\n", host, port, i + 1, ok ? "sent" : "failed");
    }
    if (s != INVALID_SOCKET) closeSocket(s);
    freeaddrinfo(target);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4 || (std::strcmp(argv[1], "tcp") != 0 && std::strcmp(argv[1], "udp") != 0)) {
        std::fprintf(stderr, "usage: kestrava-traffic tcp|udp HOST PORT [COUNT [MS]]\n");
        return 2;
    }
    const int count = argc > 4 ? std::atoi(argv[4]) : 1;
    const int ms = argc > 5 ? std::atoi(argv[5]) : 0;
#ifdef _WIN32
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const bool ok = argv[1][0] == 't' ? tcpConnections(argv[2], argv[3], count, ms)
                                      : udpDatagrams(argv[2], argv[3], count, ms);
    return ok ? 0 : 1;
}
