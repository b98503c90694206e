// Socket classes and the line reader.
#include "common/socket.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "tests/support/support.h"

namespace {

int openDescriptorCount() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr) n++;
    closedir(d);
    return n;
}

int connectTo(unsigned short port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    EXPECT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)));
    return fd;
}

struct Pipe {
    int r = -1, w = -1;
    Pipe() {
        int fds[2];
        EXPECT_EQ(0, pipe(fds));
        r = fds[0];
        w = fds[1];
    }
    ~Pipe() {
        readlineForget(r);
        close(r);
        if (w >= 0) close(w);
    }
    void put(const std::string& s) { ASSERT_EQ(ssize_t(s.size()), write(w, s.data(), s.size())); }
    void closeWrite() {
        close(w);
        w = -1;
    }
};

}  // namespace

TEST(SocketException, HasExactlyTheMessageWithoutTheFlag) {
    errno = ENOENT;
    EXPECT_STREQ("Ошибка получения данных", SocketException("Ошибка получения данных").what());
}

TEST(SocketException, AppendsTheSystemTextWithTheFlag) {
    errno = ECONNREFUSED;
    SocketException e("Ошибка отправки данных", true);
    EXPECT_EQ(std::string("Ошибка отправки данных: ") + strerror(ECONNREFUSED), e.what());
}

TEST(TCPServerSocket, PortInUseThrowsTheBindTextAndLeavesNothingOpen) {
    TCPServerSocket first(0, 3);
    unsigned short port = first.getLocalPort();
    int before = openDescriptorCount();
    try {
        TCPServerSocket second(port, 3);
        FAIL() << "binding a port held by a listener must fail";
    } catch (const SocketException& e) {
        EXPECT_EQ(std::string("Ошибка привязки к номеру порта: ") + strerror(EADDRINUSE), e.what());
    }
    EXPECT_EQ(before, openDescriptorCount());
}

TEST(TCPServerSocket, AcceptsAndReportsThePeer) {
    TCPServerSocket server(0, 3);
    int client = connectTo(server.getLocalPort());
    std::unique_ptr<TCPSocket> conn = server.accept();
    EXPECT_EQ("127.0.0.1", conn->getForeignAddress());
    sockaddr_in a{};
    socklen_t len = sizeof(a);
    getsockname(client, reinterpret_cast<sockaddr*>(&a), &len);
    EXPECT_EQ(ntohs(a.sin_port), conn->getForeignPort());
    close(client);
}

TEST(CommunicatingSocket, RecvReturnsZeroAfterThePeerClosed) {
    TCPServerSocket server(0, 3);
    int client = connectTo(server.getLocalPort());
    auto conn = server.accept();
    close(client);
    char buf[16];
    EXPECT_EQ(0, conn->recv(buf, sizeof(buf)));
}

TEST(CommunicatingSocket, SendDeliversABufferLargerThanTheSocketBuffers) {
    TCPServerSocket server(0, 3);
    int client = connectTo(server.getLocalPort());
    auto conn = server.accept();
    std::string big(8 * 1024 * 1024, 'x');
    big.back() = '\n';
    std::string received;
    std::thread reader([&] {
        char buf[65536];
        ssize_t n;
        while ((n = read(client, buf, sizeof(buf))) > 0) received.append(buf, size_t(n));
    });
    conn->send(big.data(), big.size());
    conn->close();
    reader.join();
    close(client);
    EXPECT_EQ(big.size(), received.size());
    EXPECT_EQ(big, received);
}

TEST(Readline, ReturnsLinesThenTheCutLineWithItsZeroThenEnd) {
    Pipe p;
    p.put("ab\ncd");
    p.closeWrite();
    char buf[64];
    memset(buf, 'z', sizeof(buf));
    ASSERT_EQ(3, readline(p.r, buf, sizeof(buf)));
    EXPECT_EQ(0, memcmp(buf, "ab\n\0", 4));
    ASSERT_EQ(3, readline(p.r, buf, sizeof(buf)));  // count includes the zero byte
    EXPECT_EQ(0, memcmp(buf, "cd\0", 3));
    EXPECT_EQ(0, readline(p.r, buf, sizeof(buf)));
    EXPECT_EQ('\0', buf[0]);
}

TEST(Readline, NeverFillsMoreThanMaxlen) {
    Pipe p;
    p.put("abcdef\n");
    char buf[8];
    memset(buf, 'z', sizeof(buf));
    ASSERT_EQ(4, readline(p.r, buf, 4));
    EXPECT_EQ(0, memcmp(buf, "abc\0", 4));
    EXPECT_EQ('z', buf[4]);
    ASSERT_EQ(4, readline(p.r, buf, 8));  // the rest of the line is still there
    EXPECT_STREQ("def\n", buf);
}

TEST(Readline, KeepsOneReadAheadBufferPerDescriptor) {
    Pipe a, b;
    a.put("a1\na2\na3\n");  // one read brings all three lines of a
    b.put("b1\nb2\n");
    char buf[64];
    const char* expected[] = {"a1\n", "b1\n", "a2\n", "b2\n", "a3\n"};
    for (int i = 0; i < 5; i++) {
        int fd = (i % 2 == 0) ? a.r : b.r;
        ASSERT_EQ(3, readline(fd, buf, sizeof(buf)));
        EXPECT_STREQ(expected[i], buf);
    }
}

TEST(Readline, ReportsAReadErrorAsMinusOne) {
    char buf[8];
    int fd = open("/dev/null", O_WRONLY);  // not readable
    EXPECT_EQ(-1, readline(fd, buf, sizeof(buf)));
    EXPECT_EQ(-1, Readline(fd, buf, sizeof(buf)));
    readlineForget(fd);
    close(fd);
}

TEST(Writen, WritesEveryByteOrFails) {
    Pipe p;
    EXPECT_EQ(5, writen(p.w, "hello", 5));
    char buf[8] = {0};
    ASSERT_EQ(5, read(p.r, buf, sizeof(buf)));
    EXPECT_STREQ("hello", buf);
    EXPECT_EQ(-1, writen(-1, "x", 1));
}
