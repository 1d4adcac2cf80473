// The POSIX side of the platform seam: file paths, exclusive files, address
// text and the message box on standard error.
#include <arpa/inet.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "settings_test_dir.h"

namespace {

using PlatformFileTest = ConfigDirTest;

TEST_F(PlatformFileTest, PathsForPointedAndDefaultRoles) {
    char path[1024];
    filePathFor(FileRole::Config, "setting.ini", path, sizeof path);
    EXPECT_EQ(std::string(path), dir_ + "/setting.ini");

    setFileDirectory(FileRole::Config, (dir_ + "/").c_str());
    filePathFor(FileRole::Config, "safelist.txt", path, sizeof path);
    EXPECT_EQ(std::string(path), dir_ + "/safelist.txt");

    // Reports were not pointed anywhere: they lie beside the test executable.
    char exeDir[1024];
    ASSERT_TRUE(platformExecutableDirectory(exeDir, sizeof exeDir));
    ASSERT_EQ(exeDir[std::strlen(exeDir) - 1], '/');
    EXPECT_EQ(access((std::string(exeDir) + "kestrava-unit-settings").c_str(), X_OK), 0);
    filePathFor(FileRole::Report, "tcp.html", path, sizeof path);
    EXPECT_EQ(std::string(path), std::string(exeDir) + "tcp.html");

    // Null and "" go back to beside the executable.
    setFileDirectory(FileRole::Config, "");
    filePathFor(FileRole::Config, "setting.ini", path, sizeof path);
    EXPECT_EQ(std::string(path), std::string(exeDir) + "setting.ini");
}

TEST_F(PlatformFileTest, OpenExistingNeverCreates) {
    const std::string path = pathOf("absent.txt");
    EXPECT_EQ(platformOpenExisting(path.c_str()), kNoFile);
    EXPECT_FALSE(fileExists("absent.txt"));
    EXPECT_EQ(platformOpenExisting(dir_.c_str()), kNoFile); // a directory is no file
}

TEST_F(PlatformFileTest, CreateWriteReadAndTruncate) {
    const std::string path = pathOf("data.bin");
    PlatformFile f = platformCreateAlways(path.c_str());
    ASSERT_NE(f, kNoFile);
    ASSERT_TRUE(platformWriteFile(f, "0123456789", 10));
    platformCloseFile(f);

    f = platformOpenExisting(path.c_str());
    ASSERT_NE(f, kNoFile);
    EXPECT_EQ(platformFileSize(f), 10);
    char buffer[16] = {};
    EXPECT_EQ(platformReadFile(f, buffer, 4), 4);
    EXPECT_EQ(platformReadFile(f, buffer + 4, 16), 6); // stops at the end
    EXPECT_EQ(std::string(buffer), "0123456789");
    EXPECT_EQ(platformReadFile(f, buffer, 16), 0);
    // Opened for writing too.
    EXPECT_TRUE(platformWriteFile(f, "ab", 2));
    platformCloseFile(f);
    EXPECT_EQ(readFile("data.bin"), "0123456789ab");

    f = platformCreateAlways(path.c_str());
    ASSERT_NE(f, kNoFile);
    EXPECT_EQ(platformFileSize(f), 0);
    platformCloseFile(f);
    EXPECT_EQ(readFile("data.bin"), "");
}

TEST_F(PlatformFileTest, ReadOnlyFileIsNotOpened) {
    if (geteuid() == 0) GTEST_SKIP() << "root may open a read-only file for writing";
    writeFile("ro.txt", "x");
    ASSERT_EQ(chmod(pathOf("ro.txt").c_str(), 0444), 0);
    EXPECT_EQ(platformOpenExisting(pathOf("ro.txt").c_str()), kNoFile);
}

TEST(PlatformAddressTest, Address6Text) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"2001:0db8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
        {"0:0:0:0:0:0:0:0", "::"},
        {"0:0:0:0:0:ffff:c000:0201", "::ffff:192.0.2.1"}, // IPv4-mapped
    };
    for (const auto& c : cases) {
        Address6 a;
        ASSERT_EQ(inet_pton(AF_INET6, c.in, a.bytes), 1) << c.in;
        char out[kAddress6TextSize];
        platformFormatAddress6(a, out, sizeof out);
        EXPECT_STREQ(out, c.out);
    }
    // Too small a buffer gives an empty text, never an unterminated one.
    Address6 a;
    ASSERT_EQ(inet_pton(AF_INET6, "2001:db8:1:2:3:4:5:6", a.bytes), 1);
    char small[8];
    std::memset(small, 'x', sizeof small);
    platformFormatAddress6(a, small, sizeof small);
    EXPECT_STREQ(small, "");
}

MessageIcon lastIcon;
std::string lastText;
void remember(const char* text, const char*, MessageIcon icon) {
    lastText = text;
    lastIcon = icon;
}

TEST(PlatformMessageTest, HookReceivesTheMessageInsteadOfStandardError) {
    platformSetMessageBoxHook(remember);
    testing::internal::CaptureStderr();
    platformMessageBox(nullptr, "text", "CAPTION", MessageIcon::Exclamation);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(lastText, "text");
    EXPECT_EQ(lastIcon, MessageIcon::Exclamation);
    platformSetMessageBoxHook(nullptr);
}

// The terminal's encoding is learnt at the first message of the process, so
// this test sets it before anything else can show a message.
TEST(PlatformMessageTest, StandardErrorGetsCaptionAndConvertedText) {
    setenv("LC_ALL", "C.UTF-8", 1);
    platformSetMessageBoxHook(nullptr);
    testing::internal::CaptureStderr();
    // "エラー" in code page 932.
    platformMessageBox(nullptr, "no file", "\x83\x47\x83\x89\x81\x5B", MessageIcon::Error);
    platformMessageBox(nullptr, "/tmp/x/", "OPEN ERROR", MessageIcon::Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC: no file\n"
              "OPEN ERROR: /tmp/x/\n");
}

} // namespace
