// kestrava-replay: the offline analyser. Feeds every frame of a capture file to
// the same packet handler the program runs live, then writes the four reports
// and prints the three rate texts.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/packet.h"
#include "analysis/traffic_tables.h"
#include "app/rates.h"
#include "capture/capture_file.h"
#include "capture/owner_table.h"
#include "reports/reports.h"
#include "settings/safe_list.h"
#include "settings/settings.h"

namespace {

// The screen the defaults and the range rules of setting.ini assume offline.
constexpr int32_t kOfflineScreenWidth = 1920;
constexpr int32_t kOfflineScreenHeight = 1080;

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // the capture or a file could not be used
constexpr int kExitUsage = 2;   // the command line is wrong

const char kUsage[] =
    "usage: kestrava-replay [--mac XX:XX:XX:XX:XX:XX] [--config DIR] [--out DIR] CAPTURE\n";

const char kHelp[] =
    "Analyses a capture file offline, exactly as Kestrava analyses live traffic,\n"
    "then writes the four reports and prints the three rates.\n"
    "\n"
    "  CAPTURE        a pcap or pcapng file with Ethernet frames\n"
    "  --mac ADDRESS  this host's hardware address, six hex pairs joined by ':'\n"
    "                 (or '-'). Frames from it are outgoing, frames to it (or to\n"
    "                 broadcast or multicast) incoming; all others are ignored.\n"
    "                 Without --mac the Ethernet source address seen most often\n"
    "                 in the file is taken (the first of equals) and named on\n"
    "                 standard error.\n"
    "  --config DIR   the directory of setting.ini and safelist.txt (default: the\n"
    "                 directory of this executable). A missing setting.ini is\n"
    "                 written there with the default settings, as the program does\n"
    "                 at start; the defaults assume a 1920x1080 screen. A missing\n"
    "                 safelist.txt means an empty safe list.\n"
    "  --out DIR      where dns.html, tcp.html, icmp.html and process.html are\n"
    "                 written (default: the current directory). Existing reports\n"
    "                 are overwritten.\n"
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
    "Exit status: 0 done; 1 the capture could not be read, is not Ethernet, has\n"
    "no frames to choose an address from, the configuration directory is\n"
    "missing, or the reports could not be written; 2 wrong command line.\n";

struct Options {
    const char* capture = nullptr;
    const char* configDir = nullptr;
    const char* outDir = ".";
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

void formatMac(const uint8_t mac[6], char out[18]) {
    std::snprintf(out, 18, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
}

int usageError(const char* what, const char* value) {
    std::fprintf(stderr, "kestrava-replay: %s%s%s\n%s", what, value ? ": " : "", value ? value : "",
                 kUsage);
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

// The Ethernet source address seen most often; the first seen wins a tie.
struct MacCount {
    uint8_t mac[6];
    long count;
};

bool chooseLocalMac(const std::vector<MacCount>& counts, uint8_t mac[6], long* frames) {
    const MacCount* best = nullptr;
    for (const MacCount& c : counts)
        if (!best || c.count > best->count) best = &c;
    if (!best) return false;
    std::memcpy(mac, best->mac, 6);
    *frames = best->count;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    int status = parseOptions(argc, argv, &options);
    if (status >= 0) return status;

    std::string reason;
    if (!isWritableDirectory(options.outDir, &reason)) {
        std::fprintf(stderr, "kestrava-replay: cannot write reports into %s: %s\n", options.outDir,
                     reason.c_str());
        return kExitFailure;
    }
    if (options.configDir && !isDirectory(options.configDir, &reason)) {
        std::fprintf(stderr, "kestrava-replay: cannot read the configuration in %s: %s\n",
                     options.configDir, reason.c_str());
        return kExitFailure;
    }

    // First pass: the whole file must read cleanly before anything is written,
    // and without --mac it tells which address sent the most frames.
    std::vector<MacCount> sources;
    long frameCount = 0;
    std::string error;
    bool readable = forEachCaptureFrame(
        options.capture,
        [&](const uint8_t* frame, uint32_t length) {
            ++frameCount;
            if (options.haveMac || length < 12) return;
            for (MacCount& c : sources) {
                if (std::memcmp(c.mac, frame + 6, 6) == 0) {
                    ++c.count;
                    return;
                }
            }
            MacCount c;
            std::memcpy(c.mac, frame + 6, 6);
            c.count = 1;
            sources.push_back(c);
        },
        &error);
    if (!readable) {
        std::fprintf(stderr, "kestrava-replay: %s\n", error.c_str());
        return kExitFailure;
    }
    if (!options.haveMac) {
        long seen = 0;
        if (!chooseLocalMac(sources, options.mac, &seen)) {
            std::fprintf(stderr,
                         "kestrava-replay: %s holds no Ethernet frame to take this host's "
                         "address from; give --mac\n",
                         options.capture);
            return kExitFailure;
        }
        char text[18];
        formatMac(options.mac, text);
        std::fprintf(stderr,
                     "kestrava-replay: this host is %s (the source of %ld of %ld frames); "
                     "use --mac to choose another\n",
                     text, seen, frameCount);
    }

    // Settings and safe list, as the program reads them at start.
    setFileDirectory(FileRole::Config, options.configDir);
    setFileDirectory(FileRole::Report, options.outDir);
    screenWidth = kOfflineScreenWidth;
    screenHeight = kOfflineScreenHeight;
    applyDefaultSettings();
    loadSettings(nullptr);
    useSafeListCount(loadSafeList(nullptr));
    publishTwoLineProcessNames(settings.twoLineProcessNames);

    resetTrafficTables();
    resetOwnerTables();
    setLocalMacAddress(options.mac);

    readable = forEachCaptureFrame(
        options.capture, [](const uint8_t* frame, uint32_t length) { handleFrame(frame, length); },
        &error);
    if (!readable) { // the file changed since the first pass
        std::fprintf(stderr, "kestrava-replay: %s\n", error.c_str());
        return kExitFailure;
    }

    int failed = 0;
    failed |= writeDnsReport(nullptr) != 0;
    failed |= writeTcpReport(nullptr) != 0;
    failed |= writeIcmpReport(nullptr) != 0;
    failed |= writeProcessReport(nullptr) != 0;
    if (failed) {
        std::fprintf(stderr, "kestrava-replay: the reports could not all be written into %s\n",
                     options.outDir);
        return kExitFailure;
    }

    RateTexts texts = formatRateTexts(computeRates());
    std::printf("%s\n%s\n%s\n", texts.dns, texts.tcp, texts.icmp);
    return kExitOk;
}
