// Socket classes and the descriptor-level read/write routines.
#include "common/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "common/log.h"

SocketException::SocketException(const std::string& message, bool incSysMsg) : message_(message) {
    if (incSysMsg) {
        message_.append(": ");
        message_.append(strerror(errno));
    }
}

Socket::Socket(int type, int protocol) {
    sockDesc = ::socket(PF_INET, type, protocol);
    if (sockDesc < 0) throw SocketException("Ошибка создания сокета", true);
}

Socket::Socket(int desc) : sockDesc(desc) {}

Socket::~Socket() {
    close();
}

void Socket::close() {
    if (sockDesc >= 0) ::close(sockDesc);
    sockDesc = -1;
}

void Socket::setLocalPort(unsigned short localPort) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(localPort);
    if (::bind(sockDesc, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) < 0)
        throw SocketException("Ошибка привязки к номеру порта", true);
}

unsigned short Socket::getLocalPort() {
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    if (getsockname(sockDesc, reinterpret_cast<sockaddr*>(&addr), &len) < 0)
        throw SocketException("Ошибка получения порта подключения", true);
    return ntohs(addr.sin_port);
}

void CommunicatingSocket::send(const void* buffer, size_t bufferLen) {
    const char* p = static_cast<const char*>(buffer);
    while (bufferLen > 0) {
        ssize_t n = ::send(sockDesc, p, bufferLen, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw SocketException("Ошибка отправки данных", true);
        }
        p += n;
        bufferLen -= static_cast<size_t>(n);
    }
}

ssize_t CommunicatingSocket::recv(void* buffer, size_t bufferLen) {
    ssize_t rtn = ::recv(sockDesc, buffer, bufferLen, 0);
    if (rtn < 0) throw SocketException("Ошибка получения данных", false);
    return rtn;
}

std::string CommunicatingSocket::getForeignAddress() {
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    if (getpeername(sockDesc, reinterpret_cast<sockaddr*>(&addr), &len) < 0)
        throw SocketException("Ошибка получения адреса подключения", true);
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &addr.sin_addr, text, sizeof(text));
    return text;
}

unsigned short CommunicatingSocket::getForeignPort() {
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    if (getpeername(sockDesc, reinterpret_cast<sockaddr*>(&addr), &len) < 0)
        throw SocketException("Ошибка получения порта подключения", true);
    return ntohs(addr.sin_port);
}

TCPServerSocket::TCPServerSocket(unsigned short localPort, int queueLen)
    : Socket(SOCK_STREAM, IPPROTO_TCP) {
    try {
        int on = 1;
        setsockopt(sockDesc, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        setLocalPort(localPort);
        setListen(queueLen);
    } catch (...) {
        close();  // nothing is left open after a failed constructor
        throw;
    }
}

void TCPServerSocket::setListen(int queueLen) {
    if (::listen(sockDesc, queueLen) < 0)
        throw SocketException("Ошибка установки ожидания соединений", true);
}

std::unique_ptr<TCPSocket> TCPServerSocket::accept() {
    int newConnSD;
    do {
        newConnSD = ::accept(sockDesc, nullptr, nullptr);
    } while (newConnSD < 0 && errno == EINTR);
    if (newConnSD < 0) throw SocketException("Ошибка принятия поключения к сокету", true);
    return std::make_unique<TCPSocket>(newConnSD);
}

ssize_t writen(int fd, const void* vptr, size_t n) {
    const char* ptr = static_cast<const char*>(vptr);
    size_t nleft = n;
    while (nleft > 0) {
        ssize_t nwritten = ::write(fd, ptr, nleft);
        if (nwritten <= 0) {
            if (nwritten < 0 && errno == EINTR) continue;
            return -1;
        }
        nleft -= static_cast<size_t>(nwritten);
        ptr += nwritten;
    }
    return static_cast<ssize_t>(n);
}

void Writen(int fd, const void* ptr, size_t nbytes) {
    if (writen(fd, ptr, nbytes) != static_cast<ssize_t>(nbytes)) consoleLine(1, "Ошибка записи");
}

namespace {

struct ReadAhead {
    int count = 0;
    const char* ptr = nullptr;
    char buf[4096];
};

// One read-ahead buffer per descriptor. The map is guarded only for lookups;
// a descriptor itself is read by one thread at a time.
std::mutex readAheadLock;
std::map<int, ReadAhead>& readAheadBuffers() {
    static std::map<int, ReadAhead> buffers;
    return buffers;
}

ReadAhead& readAheadFor(int fd) {
    std::lock_guard<std::mutex> guard(readAheadLock);
    return readAheadBuffers()[fd];
}

ssize_t readOneByte(int fd, ReadAhead& ra, char* out) {
    if (ra.count <= 0) {
        ssize_t n;
        do {
            n = ::read(fd, ra.buf, sizeof(ra.buf));
        } while (n < 0 && errno == EINTR);
        if (n < 0) return -1;
        if (n == 0) return 0;
        ra.count = static_cast<int>(n);
        ra.ptr = ra.buf;
    }
    ra.count--;
    *out = *ra.ptr++;
    return 1;
}

}  // namespace

ssize_t readline(int fd, void* vptr, size_t maxlen) {
    ReadAhead& ra = readAheadFor(fd);
    char* ptr = static_cast<char*>(vptr);
    if (maxlen == 0) return 0;
    size_t n;
    for (n = 1; n < maxlen; n++) {
        char c;
        ssize_t rc = readOneByte(fd, ra, &c);
        if (rc == 1) {
            *ptr++ = c;
            if (c == '\n') {
                *ptr = 0;
                return static_cast<ssize_t>(n);
            }
        } else if (rc == 0) {
            if (n == 1) {
                *ptr = 0;
                return 0;
            }
            break;
        } else {
            return -1;
        }
    }
    *ptr = 0;
    return static_cast<ssize_t>(n);
}

ssize_t Readline(int fd, void* ptr, size_t maxlen) {
    ssize_t n = readline(fd, ptr, maxlen);
    if (n < 0) {
        consoleLine(1, "Ошибка считывания строки");
        return -1;
    }
    return n;
}

void readlineForget(int fd) {
    std::lock_guard<std::mutex> guard(readAheadLock);
    readAheadBuffers().erase(fd);
}

size_t readlineBuffered(int fd) {
    std::lock_guard<std::mutex> guard(readAheadLock);
    auto it = readAheadBuffers().find(fd);
    return it == readAheadBuffers().end() || it->second.count <= 0
               ? 0
               : static_cast<size_t>(it->second.count);
}
