// The capture thread's loop over a stand-in capture library: pcap_loop when it
// works, the pcap_next_ex loop when pcap_loop fails before its first frame.
#include <gtest/gtest.h>

#include "capture/capture_loop.h"
#include "capture/packet_callback.h"

namespace {

int loopResult;     // what the stand-in pcap_loop returns after its frames
int loopFrames;     // frames it delivers first
int nextResults[8]; // what successive pcap_next_ex calls return
int nextCalls;
const u_char kFrame[1] = {0};
pcap_pkthdr kHeader = {{0, 0}, 1, 1};

int fakeLoop(pcap_t*, int, pcap_handler callback, u_char* user) {
    for (int i = 0; i < loopFrames; ++i) callback(user, &kHeader, kFrame);
    return loopResult;
}

int fakeNextEx(pcap_t*, pcap_pkthdr** header, const u_char** bytes) {
    *header = &kHeader;
    *bytes = kFrame;
    return nextResults[nextCalls++];
}

uint64_t framesOf(int result, int frames, std::initializer_list<int> nexts, int* ended) {
    captureLibrary.loop = fakeLoop;
    captureLibrary.nextEx = fakeNextEx;
    loopResult = result;
    loopFrames = frames;
    std::copy(nexts.begin(), nexts.end(), nextResults);
    nextCalls = 0;
    const uint64_t before = capturedFrameCount.load();
    *ended = runCaptureLoop(nullptr);
    return capturedFrameCount.load() - before;
}

TEST(CaptureLoopTest, FallsBackToNextExOnlyWhenTheLoopFailsAtOnce) {
    int ended = 0;
    // Wine: pcap_loop fails at once; frames and read timeouts until the break
    EXPECT_EQ(framesOf(PCAP_ERROR, 0, {1, 0, 1, PCAP_ERROR_BREAK}, &ended), 2u);
    EXPECT_EQ(ended, PCAP_ERROR_BREAK);
    EXPECT_EQ(framesOf(PCAP_ERROR, 0, {1, PCAP_ERROR}, &ended), 1u);
    EXPECT_EQ(ended, PCAP_ERROR);
    // a capture error after frames, or a break, ends the loop for good
    EXPECT_EQ(framesOf(PCAP_ERROR, 3, {1, 1}, &ended), 3u);
    EXPECT_EQ(nextCalls, 0);
    EXPECT_EQ(framesOf(PCAP_ERROR_BREAK, 0, {1, 1}, &ended), 0u);
    EXPECT_EQ(ended, PCAP_ERROR_BREAK);
    EXPECT_EQ(nextCalls, 0);
}

} // namespace
