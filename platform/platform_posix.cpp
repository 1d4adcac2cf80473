// The platform seam on Linux: the offline analyser and the tests.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
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

// The terminal's character set, learnt once from the environment's locale.
static const char* terminalCodeset() {
    static const std::string codeset = [] {
        setlocale(LC_CTYPE, "");
        const char* name = nl_langinfo(CODESET);
        return std::string(name ? name : "");
    }();
    return codeset.c_str();
}

// The CP932 `text` in the terminal's character set; false when it cannot be converted.
static bool fromCodePage932(const std::string& text, std::string* out) {
    const char* codeset = terminalCodeset();
    if (!*codeset) return false;
    iconv_t cd = iconv_open(codeset, "CP932");
    if (cd == iconv_t(-1)) return false;
    out->assign(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* dst = &(*out)[0];
    size_t outLeft = out->size();
    bool ok = iconv(cd, &in, &inLeft, &dst, &outLeft) != size_t(-1) &&
              iconv(cd, nullptr, nullptr, &dst, &outLeft) != size_t(-1);
    iconv_close(cd);
    if (!ok) return false;
    out->resize(out->size() - outLeft);
    return true;
}

void platformMessageBox(WindowHandle, const char* text, const char* caption, MessageIcon icon) {
    if (MessageBoxHook hook = messageBoxHook.load()) {
        hook(text, caption, icon);
        return;
    }
    std::string line = std::string(caption) + ": " + text + "\n";
    std::string converted;
    const std::string& shown = fromCodePage932(line, &converted) ? converted : line;
    std::fwrite(shown.data(), 1, shown.size(), stderr);
    std::fflush(stderr);
}

// ---- Address text --------------------------------------------------------------

void platformFormatAddress6(const Address6& address, char* out, size_t size) {
    if (size == 0) return;
    if (!inet_ntop(AF_INET6, address.bytes, out, socklen_t(size))) out[0] = '\0';
}

// ---- System snapshots ----------------------------------------------------------

// Linux has neither a Toolhelp snapshot nor the owner-process endpoint tables;
// the offline analyser and the tests run without them.
int systemSnapshotProcesses(ProcessEntry*, int) {
    return -1;
}

bool systemEndpointTable(EndpointTable, std::vector<EndpointRow>* rows) {
    if (rows) rows->clear();
    return false;
}
