// The POSIX side of the platform seam: file paths, exclusive files and the
// message box on standard error.
#include <unistd.h>

#include <cstring>

#include "settings_test_dir.h"

namespace {

using PlatformFileTest = ConfigDirTest;

TEST_F(PlatformFileTest, PathsForPointedAndDefaultRoles) {
    char path[1024], exeDir[1024];
    setFileDirectory(FileRole::Config, (dir_ + "/").c_str());
    filePathFor(FileRole::Config, "safelist.txt", path, sizeof path);
    EXPECT_EQ(std::string(path), dir_ + "/safelist.txt");
    // Reports were not pointed anywhere: they lie beside the test executable.
    ASSERT_TRUE(platformExecutableDirectory(exeDir, sizeof exeDir));
    EXPECT_EQ(access((std::string(exeDir) + "kestrava-unit-settings").c_str(), X_OK), 0);
    filePathFor(FileRole::Report, "tcp.html", path, sizeof path);
    EXPECT_EQ(std::string(path), std::string(exeDir) + "tcp.html");
    setFileDirectory(FileRole::Config, ""); // back beside the executable
    filePathFor(FileRole::Config, "setting.ini", path, sizeof path);
    EXPECT_EQ(std::string(path), std::string(exeDir) + "setting.ini");
}

TEST_F(PlatformFileTest, OpenNeverCreatesAndCreateTruncates) {
    const std::string path = pathOf("data.bin");
    EXPECT_EQ(platformOpenExisting(path.c_str()), kNoFile);
    EXPECT_EQ(platformOpenExisting(dir_.c_str()), kNoFile); // a directory is no file
    PlatformFile f = platformCreateAlways(path.c_str());
    ASSERT_NE(f, kNoFile);
    ASSERT_TRUE(platformWriteFile(f, "0123456789", 10));
    platformCloseFile(f);

    f = platformOpenExisting(path.c_str());
    ASSERT_NE(f, kNoFile);
    EXPECT_EQ(platformFileSize(f), 10);
    char buffer[16] = {};
    EXPECT_EQ(platformReadFile(f, buffer, 16), 10);
    EXPECT_TRUE(platformWriteFile(f, "ab", 2)); // opened for writing too
    platformCloseFile(f);
    EXPECT_EQ(readFile("data.bin"), "0123456789ab");

    platformCloseFile(platformCreateAlways(path.c_str()));
    EXPECT_EQ(readFile("data.bin"), "");
}

// The terminal's encoding is learnt at the first message of the process, so
// this test sets it before anything else can show a message.
TEST(PlatformMessageTest, StandardErrorGetsCaptionAndConvertedText) {
    setenv("LC_ALL", "C.UTF-8", 1);
    platformSetMessageBoxHook(nullptr);
    testing::internal::CaptureStderr();
    // "エラー" in code page 932.
    platformMessageBox(nullptr, "no file", "\x83\x47\x83\x89\x81\x5B", MessageIcon::Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC: no file\n");
}

} // namespace
