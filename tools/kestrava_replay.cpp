// kestrava-replay: the offline analyser. Feeds every frame of a capture file to
// the same packet handler the program runs live, then writes the four reports
// and prints the three rate texts (or one JSON object with the counts behind
// them).
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/packet.h"
#include "analysis/traffic_tables.h"
#include "app/overlay_model.h"
#include "capture/capture_file.h"
#include "reports/reports.h"
#include "settings/settings.h"

namespace {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // the capture or a file could not be used
constexpr int kExitUsage = 2;   // the command line is wrong
constexpr int kExitDamaged = 3; // analysed as far as the capture could be read

const char kUsage[] = "usage: kestrava-replay [--mac XX:XX:XX:XX:XX:XX] [--config DIR] [--out DIR] "
                      "[--json] CAPTURE\n";

const char kHelp[] =
    "Analyses a capture file offline, exactly as Kestrava analyses live traffic,\n"
    "then writes the four reports and prints the three rates.\n"
    "\n"
    "  CAPTURE        a pcap or pcapng file of Ethernet frames or of a Linux cooked\n"
    "                 capture (LINUX_SLL, LINUX_SLL2: tcpdump -i any); '-' reads\n"
    "                 standard input, e.g. tcpdump -w - | kestrava-replay -\n"
    "                 (without --mac a pipe is copied into a temporary file in\n"
    "                 $TMPDIR or /tmp as it is read, in case it must be read again)\n"
    "  --mac ADDRESS  this host's hardware address, six hex pairs joined by ':'\n"
    "                 (or '-'). Frames from it are outgoing, frames to it (or to\n"
    "                 broadcast or multicast) incoming; all others are ignored.\n"
    "                 Without --mac the Ethernet source address seen most often\n"
    "                 in the capture is taken (the first of equals) and named on\n"
    "                 standard error. A cooked capture says the direction of each\n"
    "                 frame itself: --mac is ignored there, with a warning.\n"
    "  --config DIR   the directory of setting.ini and safelist.txt (default: the\n"
    "                 directory of this executable). A missing setting.ini is\n"
    "                 written there with the default settings, as the program does\n"
    "                 at start; the defaults assume a 1920x1080 screen. A missing\n"
    "                 safelist.txt means an empty safe list.\n"
    "  --out DIR      where dns.html, tcp.html, icmp.html and process.html are\n"
    "                 written (default: the current directory). Existing reports\n"
    "                 are overwritten.\n"
    "  --json         print one JSON object with the rates and the counts behind\n"
    "                 them instead of the three rate texts\n"
    "  --help         this text\n"
    "\n"
    "Standard output gets the three rate texts, one per line, as the overlay\n"
    "shows them: \"DNS %3d%%\" (names asked for and never answered), \"TCP %3d%%\"\n"
    "(failed or repeated TCP segments) and \"ICMP %3d%%\" (ICMP peers whose last\n"
    "message is a problem). Hosts on the safe list are left out of every rate.\n"
    "The reports and texts are code page 932 (Shift_JIS), like the program's.\n"
    "\n"
    "There is no process information offline, so the Process columns stay empty\n"
    "and process.html lists no rows.\n"
    "\n"
    "A capture that breaks off (cut short, or damaged further on) is analysed up\n"
    "to the damage; standard error names the frame and byte offset where it\n"
    "begins, and why. When standard error is a terminal and the capture takes\n"
    "more than about two seconds, a progress line shows while it is read.\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  no result: the capture cannot be read or is not Ethernet or\n"
    "     Linux cooked, it has no frame to choose this host's address from,\n"
    "     standard input cannot be kept for a second reading, the configuration\n"
    "     directory is missing, or the reports cannot be written\n"
    "  2  wrong command line\n"
    "  3  the capture is damaged: everything before the damage was analysed and\n"
    "     the reports and rates were written as for a whole capture\n";

// One line on standard error.
[[gnu::format(printf, 1, 2)]] void say(const char* format, ...) {
    std::fputs("kestrava-replay: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

struct Options {
    const char* capture = nullptr;
    const char* configDir = nullptr;
    const char* outDir = ".";
    bool json = false;
    bool haveMac = false;
    uint8_t mac[6] = {};
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Six pairs of hex digits separated by ':' or '-' (one kind throughout).
bool parseMac(const char* text, uint8_t mac[6]) {
    if (std::strlen(text) != 17) return false;
    char separator = text[2];
    if (separator != ':' && separator != '-') return false;
    for (int i = 0; i < 6; ++i) {
        const char* p = text + 3 * i;
        int high = hexDigit(p[0]), low = hexDigit(p[1]);
        if (high < 0 || low < 0) return false;
        if (i < 5 && p[2] != separator) return false;
        mac[i] = uint8_t(high << 4 | low);
    }
    return true;
}

int usageError(const char* what, const char* value) {
    say("%s%s%s", what, value ? ": " : "", value ? value : "");
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// Returns -1 when the options are complete, else the exit status.
int parseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return kExitOk;
        }
        if (std::strcmp(arg, "--json") == 0) {
            options->json = true;
            continue;
        }
        bool takesValue = std::strcmp(arg, "--mac") == 0 || std::strcmp(arg, "--config") == 0 ||
                          std::strcmp(arg, "--out") == 0;
        if (takesValue) {
            if (i + 1 >= argc) return usageError("missing value after", arg);
            const char* value = argv[++i];
            if (std::strcmp(arg, "--mac") == 0) {
                if (!parseMac(value, options->mac))
                    return usageError("malformed hardware address (want XX:XX:XX:XX:XX:XX)", value);
                options->haveMac = true;
            } else if (std::strcmp(arg, "--config") == 0) {
                options->configDir = value;
            } else {
                options->outDir = value;
            }
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return usageError("unknown option", arg);
        } else if (options->capture) {
            return usageError("more than one capture file given", arg);
        } else {
            options->capture = arg;
        }
    }
    if (!options->capture) return usageError("no capture file given", nullptr);
    return -1;
}

bool isDirectory(const char* path, std::string* reason) {
    struct stat st;
    if (stat(path, &st) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *reason = "not a directory";
        return false;
    }
    return true;
}

bool isWritableDirectory(const char* path, std::string* reason) {
    if (!isDirectory(path, reason)) return false;
    if (access(path, W_OK | X_OK) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    return true;
}

// Ethernet source addresses and how often each was seen, in a fixed
// open-addressed table, so memory stays the same whatever the capture holds.
// Once it holds kSourceLimit addresses new ones are no longer counted: a
// capture with that many senders says little about which one is this host.
constexpr uint32_t kSourceSlots = 1 << 15, kSourceLimit = kSourceSlots / 4 * 3;
struct SourceCount {
    uint64_t mac; // the six bytes, plus 1 << 48 to tell a used slot
    uint64_t count;
    uint64_t firstFrame;
};
SourceCount sourceCounts[kSourceSlots];
uint32_t sourcesUsed;

void countSource(const uint8_t* frame, uint32_t length, uint64_t frameNumber) {
    if (length < 12) return;
    uint64_t mac = uint64_t(1) << 48;
    for (int i = 0; i < 6; ++i) mac |= uint64_t(frame[6 + i]) << (8 * i);
    uint32_t slot = uint32_t((mac * 0x9E3779B97F4A7C15u) >> 49); // 15 bits
    while (sourceCounts[slot].mac != 0 && sourceCounts[slot].mac != mac)
        slot = (slot + 1) & (kSourceSlots - 1);
    SourceCount& s = sourceCounts[slot];
    if (s.mac == 0) {
        if (sourcesUsed == kSourceLimit) return;
        ++sourcesUsed;
        s.mac = mac;
        s.firstFrame = frameNumber;
    }
    ++s.count;
}

// The source seen most often; the first seen wins a tie.
bool chooseLocalMac(uint8_t mac[6], uint64_t* frames) {
    const SourceCount* best = nullptr;
    for (const SourceCount& s : sourceCounts) {
        if (s.mac == 0) continue;
        if (!best || s.count > best->count ||
            (s.count == best->count && s.firstFrame < best->firstFrame))
            best = &s;
    }
    if (!best) return false;
    for (int i = 0; i < 6; ++i) mac[i] = uint8_t(best->mac >> (8 * i));
    *frames = best->count;
    return true;
}

void clearSourceCounts() {
    std::memset(sourceCounts, 0, sizeof sourceCounts);
    sourcesUsed = 0;
}

// The one-line progress indicator on a terminal: shown once a reading pass
// has taken half a second and looks like taking more than two in all, or has
// taken two already when the size of the input is not known.
struct Progress {
    bool terminal;
    bool shown;
    double passStart; // seconds, monotonic
    double nextDraw;
};

double now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void startPass(Progress& p) {
    p.passStart = now();
    p.nextDraw = p.passStart + 0.5;
}

void drawProgress(Progress& p, const CaptureFile& capture) {
    const double t = now();
    if (t < p.nextDraw) return;
    p.nextDraw = t + 0.2;
    const double elapsed = t - p.passStart;
    const double done = double(capture.frameEnd);
    if (!p.shown) {
        const bool longRun = capture.size > 0 && done > 0
                                 ? elapsed * double(capture.size) / done > 2.0
                                 : elapsed >= 2.0;
        if (!longRun) return;
        p.shown = true;
    }
    char percent[16] = "";
    if (capture.size > 0)
        std::snprintf(percent, sizeof percent, ", %d%%", int(done * 100 / double(capture.size)));
    std::fprintf(stderr, "\ranalysing %s: %" PRIu64 " frames, %.1f MB%s\033[K", capture.name,
                 capture.frames, done / 1e6, percent);
}

void clearProgress(Progress& p) {
    if (p.shown) std::fputs("\r\033[K", stderr);
    p.shown = false;
}

// A text as a JSON string.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

void printJson(const RateCounts& c, const Rates& rates, const CaptureFile& capture,
               uint64_t analysed) {
    const int64_t unanswered = c.names > c.answeredNames ? c.names - c.answeredNames : 0;
    std::string damage = "null";
    if (capture.damaged)
        damage = "{\"frame\":" + std::to_string(capture.frames + 1) +
                 ",\"offset\":" + std::to_string(capture.frameEnd) +
                 ",\"reason\":" + jsonString(capture.damage) + "}";
    std::printf("{\"dns\":{\"percent\":%d,\"names\":%" PRId64 ",\"unanswered\":%" PRId64 "},"
                "\"tcp\":{\"percent\":%d,\"segments\":%" PRId64 ",\"failedOrRepeated\":%" PRId64
                "},"
                "\"icmp\":{\"percent\":%d,\"peers\":%" PRId64 ",\"problemPeers\":%" PRId64 "},"
                "\"frames\":{\"read\":%" PRIu64 ",\"analysed\":%" PRIu64 "},\"damage\":%s}\n",
                100 - int(rates.dnsResolvedPercent), c.names, unanswered,
                int(rates.tcpErrorPercent), c.tcpPackets, c.tcpErrors, int(rates.icmpErrorPercent),
                c.icmpPeers, c.icmpProblems, capture.frames, analysed, damage.c_str());
}

void reportDamage(const CaptureFile& capture) {
    say("%s is damaged at frame %" PRIu64 " (byte offset %" PRIu64
        "): %s; only the frames before it were analysed",
        capture.name, capture.frames + 1, capture.frameEnd, capture.damage.c_str());
}

bool sameMac(const uint8_t a[6], const uint8_t b[6]) {
    return std::memcmp(a, b, 6) == 0;
}

// The frames this host's address is first guessed from.
constexpr uint64_t kGuessFrames = 10000;

// One reading of the capture through the analysis, from empty tables, with
// the address of this host in `mac` (Ethernet). With `countSources` the
// Ethernet sources are counted as well. Returns the frames analysed.
uint64_t analyse(CaptureFile& capture, const uint8_t mac[6], bool countSources,
                 Progress& progress) {
    resetTrafficTables();
    setLocalMacAddress(mac);
    bool (*const handle)(const uint8_t*, uint32_t) =
        capture.linkLayer == LinkLayer::Ethernet      ? handleFrame
        : capture.linkLayer == LinkLayer::LinuxCooked ? handleLinuxCookedFrame
                                                      : handleLinuxCooked2Frame;
    startPass(progress);
    uint64_t analysed = 0;
    const uint8_t* frame;
    uint32_t length;
    while (nextFrame(capture, &frame, &length)) {
        analysed += handle(frame, length);
        if (countSources) countSource(frame, length, capture.frames);
        if (progress.terminal && (capture.frames & 4095) == 0) drawProgress(progress, capture);
    }
    clearProgress(progress);
    return analysed;
}

// A pipe whose copy could not be written was not read to its end.
bool copyLost(const CaptureFile& capture) {
    if (capture.copyError.empty()) return false;
    say("cannot keep a copy of %s: %s; give --mac", capture.name, capture.copyError.c_str());
    return true;
}

// Analyses the open capture, writes the reports and prints the rates; the exit
// status.
int analyseCapture(CaptureFile& capture, Options& options) {
    const bool ethernet = capture.linkLayer == LinkLayer::Ethernet;
    if (!ethernet) {
        keepNoCopy(capture);
        if (options.haveMac)
            say("--mac is ignored: a Linux cooked capture says of every frame whether this "
                "host sent or received it");
    }

    // Settings and safe list, as the program reads them at start.
    setFileDirectory(FileRole::Config, options.configDir);
    setFileDirectory(FileRole::Report, options.outDir);
    screenWidth = kScreenlessWidth;
    screenHeight = kScreenlessHeight;
    startAnalysis(nullptr);

    // Offline there is no process information: this machine's sockets are not
    // the capture's, so the TCP report must not name their owners.
    const SnapshotHooks noSnapshots = {
        [](ProcessEntry*, int) { return -1; },
        [](EndpointTable, std::vector<EndpointRow>*) { return false; }};
    platformSetSnapshotHooks(&noSnapshots);

    Progress progress{isatty(STDERR_FILENO) == 1, false, 0, 0};
    uint64_t analysed;
    if (ethernet && !options.haveMac) {
        // This host is the Ethernet source seen most often in the whole
        // capture. Guess it from the first frames, analyse with the guess
        // while counting every frame's source, and analyse again in the rare
        // case that the whole capture names another.
        const uint8_t* frame;
        uint32_t length;
        while (capture.frames < kGuessFrames && nextFrame(capture, &frame, &length))
            countSource(frame, length, capture.frames);
        if (copyLost(capture)) return kExitFailure;
        uint64_t seen = 0;
        uint8_t guess[6];
        if (!chooseLocalMac(guess, &seen)) {
            if (capture.damaged) reportDamage(capture);
            say("%s holds no Ethernet frame to take this host's address from; give --mac",
                capture.name);
            return kExitFailure;
        }
        clearSourceCounts();
        std::string reason;
        if (!rewindCapture(capture, &reason)) {
            say("%s", reason.c_str());
            return kExitFailure;
        }
        analysed = analyse(capture, guess, true, progress);
        chooseLocalMac(options.mac, &seen);
        if (!sameMac(options.mac, guess)) {
            if (!rewindCapture(capture, &reason)) {
                say("%s", reason.c_str());
                return kExitFailure;
            }
            analysed = analyse(capture, options.mac, false, progress);
        }
        char text[18];
        formatMacAddress(options.mac, text);
        say("this host is %s (the source of %" PRIu64 " of %" PRIu64
            " frames); use --mac to choose another",
            text, seen, capture.frames);
    } else {
        analysed = analyse(capture, options.mac, false, progress);
    }

    if (copyLost(capture)) return kExitFailure;

    if (!writeAllReports(nullptr)) {
        say("the reports could not all be written into %s", options.outDir);
        return kExitFailure;
    }

    const RateCounts counts = computeRateCounts();
    const Rates rates = ratesOf(counts);
    if (options.json) {
        printJson(counts, rates, capture, analysed);
    } else {
        RateTexts texts = formatRateTexts(rates);
        std::printf("%s\n%s\n%s\n", texts.dns, texts.tcp, texts.icmp);
    }
    if (capture.damaged) reportDamage(capture);
    return capture.damaged ? kExitDamaged : kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    int status = parseOptions(argc, argv, &options);
    if (status >= 0) return status;

    std::string reason;
    if (!isWritableDirectory(options.outDir, &reason)) {
        say("cannot write reports into %s: %s", options.outDir, reason.c_str());
        return kExitFailure;
    }
    if (options.configDir && !isDirectory(options.configDir, &reason)) {
        say("cannot read the configuration in %s: %s", options.configDir, reason.c_str());
        return kExitFailure;
    }

    // Without --mac a pipe is copied as it is read, for it may have to be read
    // again (below).
    CaptureFile capture;
    if (!openCapture(options.capture, !options.haveMac, &capture, &reason)) {
        say("%s", reason.c_str());
        return kExitFailure;
    }
    status = analyseCapture(capture, options);
    closeCapture(capture);
    return status;
}
