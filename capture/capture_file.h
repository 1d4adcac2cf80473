// Frames from a capture file or stream (pcap or pcapng), read through libpcap.
// Used by the offline analyser, the tests and the benchmarks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct pcap;

// The link layers the analysis reads.
enum class LinkLayer : uint8_t {
    Ethernet,
    LinuxCooked,  // LINUX_SLL, as `tcpdump -i any` writes it
    LinuxCooked2, // LINUX_SLL2
};

// One capture being read. libpcap reads it through a stream of our own over
// the file descriptor, with a large buffer, which tells how far libpcap got
// (to say where damage begins). A pipe that is to be read more than once is
// copied into an unlinked temporary file as it is read; a later reading takes
// the copy first and then goes on with the pipe.
struct CaptureFile {
    pcap* reader = nullptr;
    FILE* stream = nullptr; // what libpcap reads
    int fd = -1;            // the file or standard input
    bool ownsFd = false;
    int copyFd = -1;       // the copy of a pipe, when one is kept
    uint64_t copied = 0;   // bytes in the copy
    std::string copyError; // why the copy could not be written: reading stopped there
    int64_t start = 0;     // where the capture begins in `fd` (a file)
    uint64_t pulled = 0;   // bytes of the capture read into the stream so far
    uint64_t size = 0;     // the capture's size in bytes when known in advance, else 0
    const char* name = ""; // the path, or "standard input"
    LinkLayer linkLayer = LinkLayer::Ethernet;

    // How far reading got.
    uint64_t frames = 0;   // frames delivered
    uint64_t frameEnd = 0; // byte offset just past the last frame delivered
    bool damaged = false;  // reading stopped before the end of the capture (not for copyError)
    std::string damage;    // why, as libpcap says it
};

// Opens `path` ("-": standard input) as a capture. With `rewindable`, a pipe is
// copied as it is read so that rewindCapture can start it again. False with a
// one-line reason when it cannot be read as a capture or holds a link layer the
// analysis does not read (nothing is left open then). Otherwise closeCapture
// ends the reading.
bool openCapture(const char* path, bool rewindable, CaptureFile* capture, std::string* error);

// Stops copying a pipe that will not be read again after all.
void keepNoCopy(CaptureFile& capture);

// The next frame; false at the end of the capture or where it is damaged
// (capture.damaged then says so and why).
bool nextFrame(CaptureFile& capture, const uint8_t** frame, uint32_t* capturedLength);

// Starts again from the first frame. False with a reason when the input
// cannot be read again.
bool rewindCapture(CaptureFile& capture, std::string* error);

void closeCapture(CaptureFile& capture);

// All frames of an Ethernet capture, in order. False with a reason when it
// cannot be read whole or is not Ethernet.
bool loadCaptureFrames(const char* path, std::vector<std::vector<uint8_t>>* frames,
                       std::string* error);
