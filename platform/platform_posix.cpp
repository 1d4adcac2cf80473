// The platform seam on Linux: the offline analyser, the terminal view and the tests.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char platformPathSeparator = '/';

bool platformExecutableDirectory(char* out, size_t size) {
    if (size == 0) return false;
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return false;
    path[n] = '\0';
    const char* slash = std::strrchr(path, '/');
    if (!slash) return false;
    size_t length = size_t(slash - path) + 1; // keep the trailing separator
    if (length >= size) return false;
    std::memcpy(out, path, length);
    out[length] = '\0';
    return true;
}

// ---- Files ---------------------------------------------------------------------

PlatformFile platformOpenExisting(const char* path) {
    int fd;
    do {
        fd = open(path, O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? kNoFile : PlatformFile(fd);
}

PlatformFile platformCreateAlways(const char* path) {
    int fd;
    do {
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? kNoFile : PlatformFile(fd);
}

int64_t platformFileSize(PlatformFile file) {
    struct stat st;
    if (file == kNoFile || fstat(int(file), &st) != 0) return -1;
    return int64_t(st.st_size);
}

int platformReadFile(PlatformFile file, void* buffer, int size) {
    if (file == kNoFile || size < 0) return -1;
    char* p = static_cast<char*>(buffer);
    int total = 0;
    while (total < size) {
        ssize_t n = read(int(file), p + total, size_t(size - total));
        if (n < 0) {
            if (errno == EINTR) continue;
            return total > 0 ? total : -1;
        }
        if (n == 0) break; // end of file
        total += int(n);
    }
    return total;
}

bool platformWriteFile(PlatformFile file, const void* data, int size) {
    if (file == kNoFile || size < 0) return false;
    const char* p = static_cast<const char*>(data);
    int done = 0;
    while (done < size) {
        ssize_t n = write(int(file), p + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += int(n);
    }
    return true;
}

void platformCloseFile(PlatformFile file) {
    if (file != kNoFile) close(int(file));
}

// ---- Messages to the user ------------------------------------------------------

static std::atomic<MessageBoxHook> messageBoxHook{nullptr};

void platformSetMessageBoxHook(MessageBoxHook hook) {
    messageBoxHook.store(hook);
}

// ---- Text for the terminal, and from the file system ---------------------------

namespace {

// The character set of the environment's locale, learnt once.
const char* terminalCodeset() {
    static const std::string codeset = [] {
        setlocale(LC_CTYPE, "");
        const char* name = nl_langinfo(CODESET);
        return std::string(name ? name : "");
    }();
    return codeset.c_str();
}

// Converts `length` bytes of `text` with `cd` into `out` (at most `size` - 1
// bytes and a NUL); a byte that does not convert becomes '?', and the text is
// cut where `out` is full. Returns the length written.
size_t convertText(iconv_t cd, const char* text, size_t length, char* out, size_t size) {
    if (size == 0) return 0;
    char* in = const_cast<char*>(text);
    char* dst = out;
    size_t outLeft = size - 1;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (length > 0 && outLeft > 0) {
        if (iconv(cd, &in, &length, &dst, &outLeft) != size_t(-1)) break;
        if (errno == E2BIG) break;
        *dst++ = '?'; // EILSEQ or a sequence cut at the end: skip one byte
        --outLeft;
        ++in;
        --length;
    }
    if (length == 0) iconv(cd, nullptr, nullptr, &dst, &outLeft);
    *dst = '\0';
    return size_t(dst - out);
}

// From code page 932 to the terminal's set; (iconv_t)-1 when there is no such conversion.
iconv_t toTerminal() {
    static const iconv_t cd =
        *terminalCodeset() ? iconv_open(terminalCodeset(), "CP932") : iconv_t(-1);
    return cd;
}

} // namespace

size_t platformTerminalText(const char* text, size_t length, char* out, size_t size) {
    if (toTerminal() != iconv_t(-1)) return convertText(toTerminal(), text, length, out, size);
    if (size == 0) return 0;
    const size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
    return n;
}

bool platformTerminalIsUtf8() {
    return std::strcmp(terminalCodeset(), "UTF-8") == 0;
}

void platformMessageBox(WindowHandle, const char* text, const char* caption, MessageIcon icon) {
    if (MessageBoxHook hook = messageBoxHook.load()) {
        hook(text, caption, icon);
        return;
    }
    const std::string line = std::string(caption) + ": " + text + "\n";
    std::string shown(line.size() * 4 + 1, '\0');
    shown.resize(platformTerminalText(line.data(), line.size(), &shown[0], shown.size()));
    std::fwrite(shown.data(), 1, shown.size(), stderr);
    std::fflush(stderr);
}

// ---- Address text --------------------------------------------------------------

void platformFormatAddress6(const Address6& address, char* out, size_t size) {
    if (size == 0) return;
    if (!inet_ntop(AF_INET6, address.bytes, out, socklen_t(size))) out[0] = '\0';
}

// ---- System snapshots ----------------------------------------------------------
//
// Linux names no owner in its endpoint tables: /proc/net/tcp, tcp6, udp and
// udp6 give each socket's local port and inode, and the owner is the process
// whose /proc/PID/fd holds a link "socket:[inode]". So one process snapshot
// walks /proc once: it reads the four tables, then every process's fd folder,
// and keeps the processes that hold one of those sockets (the snapshot exists
// only to name socket owners). The endpoint tables are then answered from that
// walk, so that rows and processes come from one moment. A process that ends
// mid-walk, or whose fd folder this user may not read (another user's process
// when not running as root), is skipped without an error. User-interface
// thread only.

namespace {

constexpr int kSocketCapacity = 8192; // rows of the four tables kept per walk
constexpr int kTableCount = 4;        // in EndpointTable order
const char* const kTablePaths[kTableCount] = {"/proc/net/tcp", "/proc/net/tcp6", "/proc/net/udp",
                                              "/proc/net/udp6"};

struct SocketRow {
    uint64_t inode; // 0: a socket no process holds (TIME_WAIT)
    uint32_t pid;   // 0: no process of the walk holds it
    uint16_t port;  // local port, host byte order
    uint8_t table;  // EndpointTable
};

SocketRow socketRows[kSocketCapacity];
int socketRowCount;
uint16_t rowsByInode[kSocketCapacity]; // row indices in inode order
bool tableRead[kTableCount];           // the last walk could read the table

// Appends the rows of one /proc/net table. A row of an IPv6 table whose local
// address is an IPv4-mapped one carries IPv4 traffic, so it counts as IPv4.
bool readSocketTable(int table) {
    std::FILE* file = std::fopen(kTablePaths[table], "re");
    if (!file) return false;
    char line[512];
    bool header = true;
    while (std::fgets(line, sizeof line, file)) {
        if (header) {
            header = false;
            continue;
        }
        char local[40];
        unsigned port;
        unsigned long long inode;
        if (std::sscanf(line, " %*s %39[0-9A-Fa-f]:%x %*s %*s %*s %*s %*s %*s %*s %llu", local,
                        &port, &inode) != 3)
            continue;
        if (socketRowCount >= kSocketCapacity) break;
        int rowTable = table;
        if (table % 2 == 1 && std::strncmp(local, "0000000000000000FFFF0000", 24) == 0) --rowTable;
        socketRows[socketRowCount++] = {inode, 0, uint16_t(port), uint8_t(rowTable)};
    }
    std::fclose(file);
    return true;
}

// The row holding socket `inode`, or null.
SocketRow* rowOfInode(uint64_t inode) {
    int low = 0, high = socketRowCount;
    while (low < high) {
        const int mid = (low + high) / 2;
        if (socketRows[rowsByInode[mid]].inode < inode)
            low = mid + 1;
        else
            high = mid;
    }
    if (low < socketRowCount && socketRows[rowsByInode[low]].inode == inode)
        return &socketRows[rowsByInode[low]];
    return nullptr;
}

// Makes process `pid` the owner of the listed sockets it holds that have none
// yet, counting them in `claimed`. False when its fd folder cannot be read.
bool claimSockets(int procFolder, const char* pid, uint32_t pidValue, int* claimed) {
    char path[sizeof(dirent::d_name) + 8];
    std::snprintf(path, sizeof path, "%s/fd", pid);
    const int fdFolder = openat(procFolder, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdFolder < 0) return false;
    DIR* fds = fdopendir(fdFolder);
    if (!fds) {
        close(fdFolder);
        return false;
    }
    *claimed = 0;
    while (dirent* entry = readdir(fds)) {
        char link[64];
        const ssize_t n = readlinkat(fdFolder, entry->d_name, link, sizeof link - 1);
        if (n <= 8 || std::memcmp(link, "socket:[", 8) != 0) continue;
        link[n] = '\0';
        SocketRow* row = rowOfInode(std::strtoull(link + 8, nullptr, 10));
        if (row && row->pid == 0) { // a socket shared after fork keeps its first holder
            row->pid = pidValue;
            ++*claimed;
        }
    }
    closedir(fds);
    return true;
}

// From UTF-8 (file names) to code page 932, like every text of the system.
iconv_t toCodePage932() {
    static const iconv_t cd = iconv_open("CP932", "UTF-8");
    return cd;
}

// The executable's file name of process `pid` (its command name when the
// executable's link cannot be read, as while the process exits), in code page 932.
void processName(int procFolder, const char* pid, char* out) {
    char path[sizeof(dirent::d_name) + 8], name[PATH_MAX];
    std::snprintf(path, sizeof path, "%s/exe", pid);
    ssize_t n = readlinkat(procFolder, path, name, sizeof name - 1);
    const char* base = name;
    if (n > 0) {
        name[n] = '\0';
        const char deleted[] = " (deleted)"; // the executable was replaced since
        const size_t tail = sizeof deleted - 1;
        if (size_t(n) > tail && std::strcmp(name + n - tail, deleted) == 0) name[n - tail] = '\0';
        if (const char* slash = std::strrchr(name, '/')) base = slash + 1;
    } else {
        std::snprintf(path, sizeof path, "%s/comm", pid);
        const int file = openat(procFolder, path, O_RDONLY | O_CLOEXEC);
        n = file < 0 ? -1 : read(file, name, sizeof name - 1);
        if (file >= 0) close(file);
        name[n > 0 ? n : 0] = '\0';
        name[std::strcspn(name, "\n")] = '\0';
    }
    bool ascii = true;
    for (const char* p = base; *p && ascii; ++p) ascii = uint8_t(*p) < 0x80;
    if (ascii || toCodePage932() == iconv_t(-1))
        std::snprintf(out, kExeNameSize, "%s", base);
    else
        convertText(toCodePage932(), base, std::strlen(base), out, kExeNameSize);
}

} // namespace

int systemSnapshotProcesses(ProcessEntry* out, int capacity) {
    socketRowCount = 0;
    for (int table = 0; table < kTableCount; ++table) tableRead[table] = readSocketTable(table);
    for (int i = 0; i < socketRowCount; ++i) rowsByInode[i] = uint16_t(i);
    std::sort(rowsByInode, rowsByInode + socketRowCount,
              [](uint16_t a, uint16_t b) { return socketRows[a].inode < socketRows[b].inode; });

    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    int count = 0;
    while (dirent* entry = readdir(proc)) {
        char* end;
        const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
        if (*end != '\0' || pid == 0) continue; // not a process
        int claimed = 0;
        if (!claimSockets(dirfd(proc), entry->d_name, uint32_t(pid), &claimed) || claimed == 0)
            continue;
        if (count >= capacity) continue; // its sockets stay claimed, unnamed
        out[count].processId = uint32_t(pid);
        processName(dirfd(proc), entry->d_name, out[count].exeName);
        ++count;
    }
    closedir(proc);
    return count;
}

bool systemEndpointTable(EndpointTable table, std::vector<EndpointRow>* rows) {
    rows->clear();
    const int which = int(table);
    if (!tableRead[which]) return false;
    for (int i = 0; i < socketRowCount; ++i)
        if (socketRows[i].table == which) rows->push_back({socketRows[i].pid, socketRows[i].port});
    return true;
}
