// Frames from a capture file (pcap or pcapng, Ethernet link type only), read
// through libpcap. Used by the offline analyser, the tests and the benchmarks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using FrameSink = std::function<void(const uint8_t* frame, uint32_t capturedLength)>;

// Calls `sink` for every frame of the file in order. Returns false with a
// one-line reason in `error` when the file cannot be read as a capture, its
// link type is not Ethernet, or it breaks off in the middle (frames before the
// damage have been delivered by then).
bool forEachCaptureFrame(const char* path, const FrameSink& sink, std::string* error);

// All frames of the file, in order.
bool loadCaptureFrames(const char* path, std::vector<std::vector<uint8_t>>* frames,
                       std::string* error);
