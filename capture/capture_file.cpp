#include "capture/capture_file.h"

#include <fcntl.h>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// libpcap asks for a few bytes at a time (a record header, then its frame);
// one large buffer turns that into one system call per 256 KiB.
constexpr size_t kStreamBuffer = 256 * 1024;

ssize_t readSome(int fd, char* buffer, size_t size) {
    ssize_t n;
    do {
        n = read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool copyAt(int fd, const char* bytes, size_t count, uint64_t offset) {
    while (count > 0) {
        ssize_t n = pwrite(fd, bytes, count, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

ssize_t streamRead(void* cookie, char* buffer, size_t size) {
    CaptureFile& c = *static_cast<CaptureFile*>(cookie);
    ssize_t n;
    if (c.copyFd < 0) {
        n = readSome(c.fd, buffer, size);
    } else if (c.pulled < c.copied) { // what an earlier reading took from the pipe
        const uint64_t left = c.copied - c.pulled;
        n = pread(c.copyFd, buffer, left < size ? size_t(left) : size, off_t(c.pulled));
    } else {
        n = readSome(c.fd, buffer, size);
        if (n > 0) {
            if (!copyAt(c.copyFd, buffer, size_t(n), c.copied)) {
                c.copyError = std::strerror(errno);
                return -1;
            }
            c.copied += uint64_t(n);
        }
    }
    if (n > 0) c.pulled += uint64_t(n);
    return n;
}

// Only the question "where are we" (offset 0 from here), which ftello asks:
// the bytes read, less what the stream still buffers, is how far libpcap got.
int streamSeek(void* cookie, off64_t* offset, int whence) {
    if (whence != SEEK_CUR || *offset != 0) {
        errno = ESPIPE;
        return -1;
    }
    *offset = off64_t(static_cast<CaptureFile*>(cookie)->pulled);
    return 0;
}

// How far libpcap has read: the bytes read into the stream less those the
// stream still buffers. Asked once a frame, so on glibc the buffered bytes are
// taken from where glibc keeps them (as gnulib's freadahead does); ftello
// gives the same through streamSeek, at the cost of a few calls.
uint64_t bytesTaken(const CaptureFile& c) {
#ifdef __GLIBC__
    return c.pulled - uint64_t(c.stream->_IO_read_end - c.stream->_IO_read_ptr);
#else
    return uint64_t(ftello(c.stream));
#endif
}

int streamClose(void*) {
    return 0; // the descriptors are closeCapture's
}

std::string linkTypeText(int linkType) {
    const char* name = pcap_datalink_val_to_name(linkType);
    return name ? name : "number " + std::to_string(linkType);
}

// Puts libpcap on the stream from the capture's current start.
bool startReader(CaptureFile& c, std::string* error) {
    c.pulled = 0;
    c.frames = 0;
    c.damaged = false;
    c.damage.clear();
    cookie_io_functions_t io = {streamRead, nullptr, streamSeek, streamClose};
    c.stream = fopencookie(&c, "r", io);
    if (!c.stream || setvbuf(c.stream, nullptr, _IOFBF, kStreamBuffer) != 0) {
        *error = std::string("cannot read ") + c.name + ": " + std::strerror(errno);
        return false;
    }
    char pcapError[PCAP_ERRBUF_SIZE] = {};
    c.reader = pcap_fopen_offline(c.stream, pcapError);
    if (!c.reader) {
        std::fclose(c.stream); // libpcap leaves a stream it refused open
        c.stream = nullptr;
        *error = !c.copyError.empty()
                     ? std::string("cannot keep a copy of ") + c.name + ": " + c.copyError
                     : std::string("cannot read ") + c.name + " as a capture file: " + pcapError;
        return false;
    }
    const int linkType = pcap_datalink(c.reader);
    if (linkType == DLT_EN10MB) {
        c.linkLayer = LinkLayer::Ethernet;
    } else if (linkType == DLT_LINUX_SLL) {
        c.linkLayer = LinkLayer::LinuxCooked;
    } else if (linkType == DLT_LINUX_SLL2) {
        c.linkLayer = LinkLayer::LinuxCooked2;
    } else {
        *error = std::string(c.name) + ": link type " + linkTypeText(linkType) +
                 " is neither Ethernet nor Linux cooked";
        return false;
    }
    c.frameEnd = bytesTaken(c);
    return true;
}

void stopReader(CaptureFile& c) {
    if (c.reader)
        pcap_close(c.reader); // closes the stream too
    else if (c.stream)
        std::fclose(c.stream);
    c.reader = nullptr;
    c.stream = nullptr;
}

// An unlinked temporary file for the copy of a pipe.
int temporaryFile() {
    const char* directory = std::getenv("TMPDIR");
    std::string path =
        std::string(directory && *directory ? directory : "/tmp") + "/kestrava-replay-XXXXXX";
    int fd = mkstemp(&path[0]);
    if (fd >= 0) unlink(path.c_str());
    return fd;
}

} // namespace

bool openCapture(const char* path, bool rewindable, CaptureFile* capture, std::string* error) {
    CaptureFile& c = *capture;
    const bool standardInput = std::strcmp(path, "-") == 0;
    c.name = standardInput ? "standard input" : path;
    c.fd = standardInput ? STDIN_FILENO : open(path, O_RDONLY | O_CLOEXEC);
    c.ownsFd = !standardInput;
    struct stat st;
    if (c.fd < 0 || fstat(c.fd, &st) != 0) {
        *error = std::string("cannot read ") + c.name + ": " + std::strerror(errno);
        closeCapture(c);
        return false;
    }
    if (S_ISREG(st.st_mode)) {
        c.start = lseek(c.fd, 0, SEEK_CUR); // standard input may be a file read in part
        c.size = uint64_t(st.st_size - c.start);
    } else if (rewindable) {
        c.copyFd = temporaryFile();
        if (c.copyFd < 0) {
            *error = std::string("cannot keep a copy of ") + c.name + ": " + std::strerror(errno);
            closeCapture(c);
            return false;
        }
    }
    if (startReader(c, error)) return true;
    closeCapture(c);
    return false;
}

void keepNoCopy(CaptureFile& c) {
    if (c.copyFd >= 0 && c.pulled == c.copied) { // everything read came from the pipe
        close(c.copyFd);
        c.copyFd = -1;
    }
}

bool nextFrame(CaptureFile& c, const uint8_t** frame, uint32_t* capturedLength) {
    pcap_pkthdr* header = nullptr;
    const u_char* bytes = nullptr;
    const int result = pcap_next_ex(c.reader, &header, &bytes);
    if (result == 1) {
        ++c.frames;
        c.frameEnd = bytesTaken(c);
        *frame = bytes;
        *capturedLength = header->caplen;
        return true;
    }
    if (result != PCAP_ERROR_BREAK && c.copyError.empty()) { // not the end of the file
        c.damaged = true;
        c.damage = pcap_geterr(c.reader);
    }
    return false;
}

bool rewindCapture(CaptureFile& c, std::string* error) {
    stopReader(c);
    if (!c.copyError.empty()) {
        *error = std::string("cannot keep a copy of ") + c.name + ": " + c.copyError;
        return false;
    }
    if (c.copyFd < 0 && lseek(c.fd, c.start, SEEK_SET) != c.start) {
        *error = std::string("cannot read ") + c.name + " again: " + std::strerror(errno);
        return false;
    }
    return startReader(c, error);
}

void closeCapture(CaptureFile& c) {
    stopReader(c);
    if (c.ownsFd && c.fd >= 0) close(c.fd);
    if (c.copyFd >= 0) close(c.copyFd);
    c.fd = c.copyFd = -1;
}

bool loadCaptureFrames(const char* path, std::vector<std::vector<uint8_t>>* frames,
                       std::string* error) {
    CaptureFile capture;
    bool ok = openCapture(path, false, &capture, error);
    if (ok && capture.linkLayer != LinkLayer::Ethernet) {
        *error = std::string(path) + " is not an Ethernet capture";
        ok = false;
    }
    const uint8_t* frame;
    uint32_t length;
    while (ok && nextFrame(capture, &frame, &length)) frames->emplace_back(frame, frame + length);
    if (ok && capture.damaged) {
        *error = std::string(path) + ": " + capture.damage;
        ok = false;
    }
    closeCapture(capture);
    return ok;
}
