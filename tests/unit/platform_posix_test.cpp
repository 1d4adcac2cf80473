// The POSIX side of the platform seam: file paths, exclusive files, the
// message box on standard error and the socket owners from /proc.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
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

// The /proc snapshot names this test as the owner of sockets it holds, in the
// right one of the four endpoint tables; a socket on an IPv4-mapped IPv6
// address carries IPv4 traffic and counts as IPv4.
TEST(PlatformSnapshotTest, NamesTheOwnerOfEachSocket) {
    const struct {
        int family, type;
        const char* address;
        EndpointTable table;
    } cases[] = {
        {AF_INET, SOCK_STREAM, "127.0.0.1", EndpointTable::Tcp4},
        {AF_INET6, SOCK_STREAM, "::1", EndpointTable::Tcp6},
        {AF_INET, SOCK_DGRAM, "127.0.0.1", EndpointTable::Udp4},
        {AF_INET6, SOCK_DGRAM, "::1", EndpointTable::Udp6},
        {AF_INET6, SOCK_DGRAM, "::ffff:127.0.0.1", EndpointTable::Udp4},
    };
    int sockets[5], ports[5];
    for (int i = 0; i < 5; ++i) {
        sockaddr_in6 address6{};
        sockaddr_in address4{};
        sockaddr* address = reinterpret_cast<sockaddr*>(&address4);
        socklen_t length = sizeof address4;
        address4.sin_family = AF_INET;
        inet_pton(AF_INET, cases[i].address, &address4.sin_addr);
        if (cases[i].family == AF_INET6) {
            address = reinterpret_cast<sockaddr*>(&address6);
            length = sizeof address6;
            address6.sin6_family = AF_INET6;
            inet_pton(AF_INET6, cases[i].address, &address6.sin6_addr);
        }
        sockets[i] = socket(cases[i].family, cases[i].type, 0);
        ASSERT_GE(sockets[i], 0);
        ASSERT_EQ(bind(sockets[i], address, length), 0) << cases[i].address;
        if (cases[i].type == SOCK_STREAM) listen(sockets[i], 1);
        getsockname(sockets[i], address, &length);
        ports[i] = ntohs(cases[i].family == AF_INET ? address4.sin_port : address6.sin6_port);
    }

    static ProcessEntry processes[1024];
    const int count = systemSnapshotProcesses(processes, 1024);
    ASSERT_GT(count, 0);
    const ProcessEntry* self = nullptr;
    for (int i = 0; i < count; ++i)
        if (processes[i].processId == uint32_t(getpid())) self = &processes[i];
    ASSERT_NE(self, nullptr);
    EXPECT_STREQ(self->exeName, "kestrava-unit-settings");

    std::vector<EndpointRow> rows;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(systemEndpointTable(cases[i].table, &rows));
        bool found = false;
        for (const EndpointRow& row : rows)
            found |= row.localPort == ports[i] && row.owningPid == uint32_t(getpid());
        EXPECT_TRUE(found) << cases[i].address << " port " << ports[i];
        close(sockets[i]);
    }
}
