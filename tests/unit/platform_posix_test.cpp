// The POSIX side of the platform seam: file paths, exclusive files, the
// message box on standard error and the socket owners from /proc.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

// A role not pointed anywhere, or pointed back with "", lies beside the
// executable (a role pointed at a directory: settings_file_test.cpp).
TEST(PlatformFileTest, FilesLieBesideTheExecutable) {
    char path[1024], exeDir[1024];
    ASSERT_TRUE(platformExecutableDirectory(exeDir, sizeof exeDir));
    EXPECT_EQ(access((std::string(exeDir) + "kestrava-unit-settings").c_str(), X_OK), 0);
    filePathFor(FileRole::Report, "tcp.html", path, sizeof path);
    EXPECT_EQ(path, std::string(exeDir) + "tcp.html");
    setFileDirectory(FileRole::Config, "/tmp/");
    setFileDirectory(FileRole::Config, "");
    filePathFor(FileRole::Config, "setting.ini", path, sizeof path);
    EXPECT_EQ(path, std::string(exeDir) + "setting.ini");
}

// The terminal's encoding is learnt at the first message of the process, so
// this test sets it before anything else can show a message.
TEST(PlatformMessageTest, StandardErrorGetsCaptionAndConvertedText) {
    setenv("LC_ALL", "C.UTF-8", 1);
    testing::internal::CaptureStderr();
    // "エラー" in code page 932.
    platformMessageBox(nullptr, "no file", "\x83\x47\x83\x89\x81\x5B", MessageIcon::Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC: no file\n");
}

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
        {AF_INET6, SOCK_DGRAM, "::ffff:127.0.0.1", EndpointTable::Udp4},
        {AF_INET6, SOCK_DGRAM, "::1", EndpointTable::Udp6},
    };
    int sockets[4];
    uint16_t ports[4];
    for (int i = 0; i < 4; ++i) {
        const bool v4 = cases[i].family == AF_INET;
        sockaddr_in a4{};
        sockaddr_in6 a6{};
        a4.sin_family = AF_INET;
        a6.sin6_family = AF_INET6;
        inet_pton(cases[i].family, cases[i].address,
                  v4 ? static_cast<void*>(&a4.sin_addr) : static_cast<void*>(&a6.sin6_addr));
        sockaddr* address =
            v4 ? reinterpret_cast<sockaddr*>(&a4) : reinterpret_cast<sockaddr*>(&a6);
        socklen_t length = v4 ? sizeof a4 : sizeof a6;
        sockets[i] = socket(cases[i].family, cases[i].type, 0);
        ASSERT_EQ(bind(sockets[i], address, length), 0) << cases[i].address;
        if (cases[i].type == SOCK_STREAM) listen(sockets[i], 1);
        getsockname(sockets[i], address, &length);
        ports[i] = ntohs(v4 ? a4.sin_port : a6.sin6_port);
    }
    static ProcessEntry processes[1024];
    const int count = systemSnapshotProcesses(processes, 1024);
    int self = 0;
    while (self < count && processes[self].processId != uint32_t(getpid())) ++self;
    ASSERT_LT(self, count);
    EXPECT_STREQ(processes[self].exeName, "kestrava-unit-settings");

    std::vector<EndpointRow> rows;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(systemEndpointTable(cases[i].table, &rows));
        bool found = false;
        for (const EndpointRow& row : rows)
            found |= row.localPort == ports[i] && row.owningPid == uint32_t(getpid());
        EXPECT_TRUE(found) << cases[i].address << " port " << ports[i];
        close(sockets[i]);
    }
}

} // namespace
