// kestrava-watch: Kestrava's live view natively on Linux. Captures one
// interface through the same capture loop and packet handler as the Windows
// program, names the owner of each connection from /proc, and shows in the
// terminal what the overlay would show, refreshed by the same 200 ms timer.
// The reports are those of the program, written on a key and at exit.
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "analysis/text.h"
#include "analysis/traffic_tables.h"
#include "app/overlay_model.h"
#include "app/terminal_view_posix.h"
#include "capture/capture_library.h"
#include "capture/capture_session_posix.h"
#include "capture/owner_table.h"
#include "reports/reports.h"
#include "settings/settings.h"

namespace {

constexpr std::chrono::milliseconds kTimerPeriod{200};

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] = "usage: kestrava-watch [--interface IFACE] [--config DIR] [--out DIR]\n";

const char kHelp[] =
    "Watches the traffic of one network interface live and shows, in the terminal,\n"
    "what the Kestrava overlay shows: the latest remote host this machine\n"
    "contacted, with the process that owns the connection, or the three rates\n"
    "(DNS names never answered, failed or repeated TCP traffic, ICMP problems),\n"
    "each with its bar, in the colours of setting.ini.\n"
    "\n"
    "  --interface IFACE  the interface to capture (default: the one of the\n"
    "                     default route)\n"
    "  --config DIR       the directory of setting.ini and safelist.txt, the same\n"
    "                     files as the Windows program's (default:\n"
    "                     ~/.config/kestrava, created with the default settings)\n"
    "  --out DIR          where dns.html, tcp.html, icmp.html and process.html are\n"
    "                     written (default: the current directory)\n"
    "  --help             this text\n"
    "\n"
    "Keys: r writes the four reports, q or Ctrl-C quits; the reports are written\n"
    "once more at exit. When standard output is not a terminal, one line is\n"
    "written per change of the view instead, for logs.\n"
    "\n"
    "Capturing needs root, or once: sudo setcap cap_net_raw,cap_net_admin+eip\n"
    "kestrava-watch. kestrava-replay writes the same reports from a capture file.\n"
    "\n"
    "Exit status: 0 done; 1 the interface, the directories or the right to\n"
    "capture are missing, or the reports could not be written; 2 wrong command\n"
    "line.\n";

struct Options {
    const char* interface = nullptr;
    std::string configDir;
    const char* outDir = ".";
};

volatile sig_atomic_t quitRequested;
volatile sig_atomic_t resized;

void onQuitSignal(int) {
    quitRequested = 1;
}
void onResize(int) {
    resized = 1;
}

// Returns -1 when the options are complete, else the exit status.
int parseOptions(int argc, char** argv, Options* options) {
    static const option kOptions[] = {{"interface", required_argument, nullptr, 'i'},
                                      {"config", required_argument, nullptr, 'c'},
                                      {"out", required_argument, nullptr, 'o'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {}};
    for (int c; (c = getopt_long(argc, argv, "h", kOptions, nullptr)) != -1;) {
        switch (c) {
        case 'i':
            options->interface = optarg;
            break;
        case 'c':
            options->configDir = optarg;
            break;
        case 'o':
            options->outDir = optarg;
            break;
        case 'h':
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return kExitOk;
        default: // getopt_long has said what is wrong
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "kestrava-watch: unexpected argument: %s\n%s", argv[optind], kUsage);
        return kExitUsage;
    }
    return -1;
}

bool isDirectory(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// ~/.config/kestrava, made (with ~/.config) when missing.
bool defaultConfigDir(std::string* dir) {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return false;
    const std::string config = std::string(home) + "/.config";
    *dir = config + "/kestrava";
    mkdir(config.c_str(), 0755);
    return (mkdir(dir->c_str(), 0755) == 0 || errno == EEXIST) && isDirectory(dir->c_str());
}

// Chooses the interface and checks that it exists; prints why not.
bool chooseInterface(const char* wanted) {
    char names[1024];
    listInterfaceNames(names, sizeof names);
    if (!wanted) {
        if (!findDefaultRouteInterface(captureInterfaceName)) {
            std::fprintf(stderr,
                         "kestrava-watch: no default route, so no interface to watch; choose "
                         "one with --interface (there are: %s)\n",
                         names);
            return false;
        }
        return true;
    }
    std::snprintf(captureInterfaceName, sizeof captureInterfaceName, "%s", wanted);
    if (std::strlen(wanted) >= sizeof captureInterfaceName ||
        interfaceState(captureInterfaceName) == InterfaceState::Missing) {
        std::fprintf(stderr, "kestrava-watch: there is no interface %s (there are: %s)\n", wanted,
                     names);
        return false;
    }
    return true;
}

// Why the first opening failed, when waiting would not help; false otherwise.
bool explainOpenFailure() {
    if (lastOpenError == 0) return false; // down or without link: retried
    if (lastOpenError == PCAP_ERROR_PERM_DENIED) {
        char self[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        self[n > 0 ? n : 0] = '\0';
        std::fprintf(stderr,
                     "kestrava-watch: no right to capture on %s: run it as root, or allow it "
                     "once with: sudo setcap cap_net_raw,cap_net_admin+eip %s\n",
                     captureInterfaceName, n > 0 ? self : "kestrava-watch");
    } else {
        std::fprintf(stderr, "kestrava-watch: cannot capture on %s: %s\n", captureInterfaceName,
                     lastOpenErrorText);
    }
    return true;
}

// ---- The view ------------------------------------------------------------------

bool onScreen;      // the view's own screen; else one log line per change
bool keysRead;      // single keys from standard input
bool trueColor;     // the terminal says it shows 24-bit colour
bool repaintWanted; // the timer invalidated the view
char reportDir[PATH_MAX];
char footerMessage[512]; // the last message, under the box
char shownStatus[kStatusMessageSize];
OverlayFrame frame; // the last frame, shown again after a resize
char screen[64 * 1024];
char lastLogLine[kNameSize + kRowTwoSize + 64];

void requestRepaint() {
    repaintWanted = true;
}

void showFrame() {
    if (onScreen) {
        char footer[sizeof footerMessage + 64];
        std::snprintf(footer, sizeof footer, "%s  r: reports  q: quit  %s", captureInterfaceName,
                      footerMessage);
        const TerminalView view = {terminalColumns(), trueColor, platformTerminalIsUtf8()};
        std::fwrite(screen, 1, renderTerminalFrame(frame, view, footer, screen, sizeof screen),
                    stdout);
        std::fflush(stdout);
        return;
    }
    char line[sizeof lastLogLine];
    renderLogLine(frame, line, sizeof line);
    if (std::strcmp(line, lastLogLine) == 0) return;
    std::memcpy(lastLogLine, line, sizeof line);
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    std::printf("%s %s\n", stamp, line);
    std::fflush(stdout);
}

void paint() {
    takeOverlayFrame(&frame);
    std::memcpy(shownStatus, statusMessage, sizeof shownStatus);
    showFrame();
}

// Tells the user, under the box, or on standard error without a screen.
void say(const char* text) {
    if (!onScreen) {
        std::fprintf(stderr, "kestrava-watch: %s\n", text);
        return;
    }
    copyText(footerMessage, text, sizeof footerMessage - 1);
    showFrame();
}

// The report writers tell of a file they cannot create in a message box.
void onReportMessage(const char* text, const char* caption, MessageIcon) {
    char line[sizeof footerMessage];
    std::snprintf(line, sizeof line, "%s: %s", caption, text);
    char converted[sizeof footerMessage];
    platformTerminalText(line, std::strlen(line), converted, sizeof converted);
    say(converted);
}

void onKey(char key) {
    if (key == 'q' || key == 'Q') {
        quitRequested = 1;
    } else if ((key == 'r' || key == 'R') && writeAllReports(nullptr)) {
        char text[sizeof reportDir + 64];
        std::snprintf(text, sizeof text, "reports written into %s", reportDir);
        say(text);
    }
}

const TimerActions kWatchActions = {
    nullptr,             // applyLayout: a terminal has no window to place
    requestRepaint,      // invalidate
    refreshOwnerTable,   // refreshOwners
    loadCaptureLibrary,  // loadCaptureLibrary
    openLiveCapture,     // openCaptureSession
    findLocalMacAddress, // findLocalMacAddress
};

// One 200 ms tick: the capture's health, the timer step, and a paint when the
// timer asked for one or the status text changed.
void tick() {
    superviseLiveCapture();
    runTimerStep(kWatchActions);
    if (std::strcmp(statusMessage, shownStatus) != 0) repaintWanted = true;
    if (!repaintWanted) return;
    repaintWanted = false;
    paint();
}

void runView() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point next = Clock::now() + kTimerPeriod;
    paint();
    while (!quitRequested) {
        // rounded up: a wait cut to 0 ms would spin until the tick
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
        pollfd input = {STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, keysRead ? 1 : 0, wait.count() > 0 ? int(wait.count()) : 0);
        if (ready > 0 && (input.revents & POLLIN)) {
            char keys[16];
            const ssize_t n = read(STDIN_FILENO, keys, sizeof keys);
            for (ssize_t i = 0; i < n; ++i) onKey(keys[i]);
        } else if (ready > 0) {
            keysRead = false; // the terminal hung up
        }
        if (resized) {
            resized = 0;
            if (onScreen) std::fputs("\x1b[2J", stdout);
            showFrame();
        }
        const Clock::time_point now = Clock::now();
        if (now < next) continue;
        next += kTimerPeriod;
        if (next < now) next = now + kTimerPeriod; // the machine was busy: no catching up
        tick();
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    const int status = parseOptions(argc, argv, &options);
    if (status >= 0) return status;

    if (options.configDir.empty() && !defaultConfigDir(&options.configDir)) {
        std::fprintf(stderr, "kestrava-watch: cannot make ~/.config/kestrava; give --config\n");
        return kExitFailure;
    }
    if (!isDirectory(options.configDir.c_str())) {
        std::fprintf(stderr, "kestrava-watch: no directory %s for the settings\n",
                     options.configDir.c_str());
        return kExitFailure;
    }
    if (!isDirectory(options.outDir) || access(options.outDir, W_OK | X_OK) != 0 ||
        !realpath(options.outDir, reportDir)) {
        std::fprintf(stderr, "kestrava-watch: cannot write reports into %s\n", options.outDir);
        return kExitFailure;
    }
    if (!chooseInterface(options.interface)) return kExitFailure;

    // The start of the program: settings, safe list, empty tables, then the
    // first capture attempt.
    resetOverlayState();
    screenWidth = kScreenlessWidth;
    screenHeight = kScreenlessHeight;
    setFileDirectory(FileRole::Config, options.configDir.c_str());
    setFileDirectory(FileRole::Report, reportDir);
    startAnalysis(nullptr);
    captureLibraryLoaded = loadCaptureLibrary();
    if (!openLiveCapture() && explainOpenFailure()) return kExitFailure;

    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
    action.sa_handler = onResize;
    sigaction(SIGWINCH, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const char* colorTerm = std::getenv("COLORTERM");
    trueColor = colorTerm &&
                (std::strcmp(colorTerm, "truecolor") == 0 || std::strcmp(colorTerm, "24bit") == 0);
    onScreen = enterViewScreen();
    keysRead = enterKeyMode();
    if (onScreen) {
        platformSetMessageBoxHook(onReportMessage);
    } else {
        // A link that is down at the start has told no hardware address yet.
        char address[40] = "not known while the link is down";
        if (localAddressesLoaded.load()) formatMacAddress(localMacAddress, address);
        std::fprintf(stderr, "kestrava-watch: watching %s (%s), reports into %s\n",
                     captureInterfaceName, address, reportDir);
    }

    runView();

    closeLiveCapture();
    const bool written = writeAllReports(nullptr);
    platformSetMessageBoxHook(nullptr);
    leaveTerminal();
    if (written) std::fprintf(stderr, "kestrava-watch: reports written into %s\n", reportDir);
    std::fprintf(stderr,
                 "kestrava-watch: libpcap received %llu frames, dropped %llu (%llu by the "
                 "interface)\n",
                 (unsigned long long)captureCounts.received,
                 (unsigned long long)captureCounts.dropped,
                 (unsigned long long)captureCounts.interfaceDropped);
    return written ? kExitOk : kExitFailure;
}
