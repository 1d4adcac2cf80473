#include "capture/capture_loop.h"

#include "capture/packet_callback.h"

CaptureLibrary captureLibrary;

int runCaptureLoop(pcap_t* capture) {
    const uint64_t before = capturedFrameCount.load(std::memory_order_relaxed);
    int result = captureLibrary.loop(capture, 0, handlePacket, nullptr);
    const bool failedAtOnce =
        result == PCAP_ERROR && capturedFrameCount.load(std::memory_order_relaxed) == before;
    if (!failedAtOnce || !captureLibrary.nextEx) return result;
    for (;;) {
        pcap_pkthdr* header = nullptr;
        const u_char* bytes = nullptr;
        result = captureLibrary.nextEx(capture, &header, &bytes);
        if (result == 1)
            handlePacket(nullptr, header, bytes);
        else if (result != 0) // 0: the read timeout passed without a frame
            return result;
    }
}
