#include "capture/capture_session_posix.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "analysis/traffic_tables.h"
#include "app/overlay_model.h"
#include "capture/capture_loop.h"
#include "capture/capture_session.h"

char captureInterfaceName[IF_NAMESIZE];
int lastOpenError;
char lastOpenErrorText[PCAP_ERRBUF_SIZE];
CaptureCounts captureCounts;

namespace {

constexpr int kSnapshotLength = 65536;
// Frames reach the analysis within a few milliseconds: the kernel hands a
// block of the ring over when it is full or when its 1 ms timer fires (a
// scheduler tick at the least), which wakes the capture thread once per block.
// libpcap's immediate mode would wake it for every frame instead; at 140,000
// frames/s on a veth pair that costs more than the analysis and loses frames,
// where blocks lose none at 200,000.
constexpr int kBlockTimeoutMs = 1;
// 8 MiB of blocks hold some 300 ms of a 200,000 frames/s flood of small frames,
// for the moments the capture thread waits for a processor.
constexpr int kCaptureBufferBytes = 8 << 20;

const char kNetworkNotFound[] = "Network not found.";
const char kNetworkNotConnected[] = "Network not connected.";

std::thread captureThread;
std::atomic<bool> captureEnded;

void setStatus(const char* text) {
    std::snprintf(statusMessage, sizeof statusMessage, "%s", text);
}

// An interface request on a socket of this network namespace, kept open.
bool interfaceRequest(unsigned long request, const char* name, ifreq* answer) {
    static const int controlSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::memset(answer, 0, sizeof *answer);
    std::snprintf(answer->ifr_name, sizeof answer->ifr_name, "%s", name);
    return controlSocket >= 0 && ioctl(controlSocket, request, answer) == 0;
}

// Hands every line of a /proc/net route table to `onRoute`.
template <class OnRoute> void forEachRouteLine(const char* path, OnRoute onRoute) {
    std::FILE* file = std::fopen(path, "re");
    if (!file) return;
    char line[512];
    while (std::fgets(line, sizeof line, file)) onRoute(line);
    std::fclose(file);
}

} // namespace

bool findDefaultRouteInterface(char (&out)[IF_NAMESIZE]) {
    constexpr unsigned kRouteUp = 0x1, kRouteReject = 0x200;
    unsigned long best = ~0ul;
    out[0] = '\0';
    // IPv4: destination and mask 0; the lowest metric wins.
    forEachRouteLine("/proc/net/route", [&](const char* line) {
        char name[IF_NAMESIZE];
        unsigned long destination, mask, metric;
        unsigned flags;
        if (std::sscanf(line, "%15s %lx %*x %x %*d %*d %lu %lx", name, &destination, &flags,
                        &metric, &mask) == 5 &&
            destination == 0 && mask == 0 && (flags & kRouteUp) && metric < best) {
            best = metric;
            std::memcpy(out, name, sizeof name);
        }
    });
    if (out[0]) return true;
    // IPv6: ::/0, not a reject route (the kernel's unreachable default on lo).
    forEachRouteLine("/proc/net/ipv6_route", [&](const char* line) {
        char destination[33], name[IF_NAMESIZE];
        unsigned prefix, flags;
        unsigned long metric;
        if (std::sscanf(line, "%32s %x %*s %*x %*s %lx %*x %*x %x %15s", destination, &prefix,
                        &metric, &flags, name) == 5 &&
            prefix == 0 && std::strspn(destination, "0") == 32 && (flags & kRouteUp) &&
            !(flags & kRouteReject) && metric < best) {
            best = metric;
            std::memcpy(out, name, sizeof name);
        }
    });
    return out[0] != '\0';
}

void listInterfaceNames(char* out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    struct if_nameindex* names = if_nameindex();
    if (!names) return;
    size_t used = 0;
    for (struct if_nameindex* n = names; n->if_index != 0 && used < size; ++n) {
        int written = std::snprintf(out + used, size - used, "%s%s", used ? ", " : "", n->if_name);
        if (written > 0) used += size_t(written);
    }
    if_freenameindex(names);
}

InterfaceState interfaceState(const char* name) {
    ifreq request;
    if (!interfaceRequest(SIOCGIFFLAGS, name, &request)) return InterfaceState::Missing;
    const bool usable = (request.ifr_flags & IFF_UP) && (request.ifr_flags & IFF_RUNNING);
    return usable ? InterfaceState::Usable : InterfaceState::Down;
}

bool findLocalMacAddress() {
    ifreq request;
    if (!interfaceRequest(SIOCGIFHWADDR, captureInterfaceName, &request)) return false;
    setLocalMacAddress(reinterpret_cast<const uint8_t*>(request.ifr_hwaddr.sa_data));
    return true;
}

bool openLiveCapture() {
    closeLiveCapture(); // never two captures at once
    interfaceFound = false;
    lastOpenError = 0;
    lastOpenErrorText[0] = '\0';
    const InterfaceState state = interfaceState(captureInterfaceName);
    if (state != InterfaceState::Usable) {
        setStatus(state == InterfaceState::Missing ? kNetworkNotFound : kNetworkNotConnected);
        return false;
    }
    pcap_t* capture = pcap_create(captureInterfaceName, lastOpenErrorText);
    int result = PCAP_ERROR;
    if (capture) {
        pcap_set_snaplen(capture, kSnapshotLength);
        pcap_set_promisc(capture, 1);
        pcap_set_timeout(capture, kBlockTimeoutMs);
        pcap_set_buffer_size(capture, kCaptureBufferBytes);
        result = pcap_activate(capture);
        if (result < 0) {
            std::snprintf(lastOpenErrorText, sizeof lastOpenErrorText, "%s", pcap_geterr(capture));
        } else if (pcap_datalink(capture) != DLT_EN10MB) {
            result = PCAP_ERROR;
            std::snprintf(lastOpenErrorText, sizeof lastOpenErrorText,
                          "%s does not carry Ethernet frames", captureInterfaceName);
        }
    }
    if (result < 0 || !findLocalMacAddress()) {
        lastOpenError = result < 0 ? result : PCAP_ERROR;
        if (capture) pcap_close(capture);
        setStatus(kNetworkNotConnected);
        return false;
    }
    captureHandle = capture;
    captureEnded.store(false);
    // Signals are for the user-interface thread: the capture thread starts
    // with all of them blocked.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    captureThread = std::thread([capture] {
        runCaptureLoop(capture);
        captureEnded.store(true, std::memory_order_release);
    });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    interfaceFound = true;
    setStatus("");
    return true;
}

void superviseLiveCapture() {
    if (!captureHandle) return;
    if (captureEnded.load(std::memory_order_acquire)) {
        closeLiveCapture();
        interfaceFound = false;
        const bool gone = interfaceState(captureInterfaceName) == InterfaceState::Missing;
        setStatus(gone ? kNetworkNotFound : kNetworkNotConnected);
        return;
    }
    const bool up = interfaceState(captureInterfaceName) == InterfaceState::Usable;
    setStatus(up ? "" : kNetworkNotConnected);
}

void closeLiveCapture() {
    if (!captureHandle) return;
    breakCaptureLoop();
    captureThread.join();
    pcap_stat counts{};
    if (captureLibrary.stats(captureHandle, &counts) == 0) {
        captureCounts.received += counts.ps_recv;
        captureCounts.dropped += counts.ps_drop;
        captureCounts.interfaceDropped += counts.ps_ifdrop;
    }
    captureLibrary.close(captureHandle);
    captureHandle = nullptr;
}
