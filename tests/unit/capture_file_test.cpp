// All frames of a capture at once, as the stress test and the benchmarks take
// them: only Ethernet captures, and only whole ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture_file.h"
#include "support/test_support.h"

TEST(CaptureFileTest, LoadsEveryFrameOfAWholeEthernetCapture) {
    std::vector<std::vector<uint8_t>> frames;
    std::string error;
    ASSERT_TRUE(loadCaptureFrames(testDataPath("edge-cases.pcap").c_str(), &frames, &error));
    ASSERT_EQ(frames.size(), 126u);
    EXPECT_EQ(frames[68].size(), 14u); // the frame of the Ethernet header alone

    const struct {
        const char* file;
        std::string error;
    } refused[] = {
        {"workstation-scenario-sll.pcap", "PATH is not an Ethernet capture"},
        {"pcapfix_test_damaged.pcap",
         "PATH: truncated dump file; tried to read 16896 captured bytes, only got 8756"},
    };
    for (auto c : refused) {
        const std::string path = testDataPath(c.file);
        EXPECT_FALSE(loadCaptureFrames(path.c_str(), &frames, &error));
        EXPECT_EQ(error, c.error.replace(c.error.find("PATH"), 4, path));
    }
}
