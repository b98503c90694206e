// IPv4 TCP socket classes with one exception type, and the descriptor-level
// byte-stream routines (write all bytes, read one line) used by the client.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

// Error of any socket operation. The text is the message, optionally followed
// by ": " and the system's text for the errno current at construction.
class SocketException : public std::exception {
  public:
    SocketException(const std::string& message, bool incSysMsg = false);
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string message_;
};

// Owns one socket descriptor; the destructor closes it. Not copyable.
class Socket {
  public:
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket();

    // Binds to all local IPv4 addresses and `localPort`.
    void setLocalPort(unsigned short localPort);
    // Port the socket is bound to (useful after binding port 0).
    unsigned short getLocalPort();
    int descriptor() const { return sockDesc; }
    // Closes the descriptor now (idempotent).
    void close();

  protected:
    Socket(int type, int protocol);  // throws "Ошибка создания сокета"
    explicit Socket(int sockDesc);   // adopts an existing descriptor

    int sockDesc;
};

// A connected socket.
class CommunicatingSocket : public Socket {
  public:
    // Sends the whole buffer: partial sends are continued and EINTR retried.
    void send(const void* buffer, size_t bufferLen);
    // One receive of at most bufferLen bytes; 0 when the peer has closed.
    ssize_t recv(void* buffer, size_t bufferLen);
    std::string getForeignAddress();
    unsigned short getForeignPort();

  protected:
    CommunicatingSocket(int type, int protocol) : Socket(type, protocol) {}
    explicit CommunicatingSocket(int newConnSD) : Socket(newConnSD) {}
};

// A connected TCP socket, made from an accepted descriptor.
class TCPSocket : public CommunicatingSocket {
  public:
    explicit TCPSocket(int newConnSD) : CommunicatingSocket(newConnSD) {}
};

// A listening TCP socket. SO_REUSEADDR is set so that a restarted server can
// bind while old connections linger in TIME_WAIT; a port held by another
// listener still fails to bind.
class TCPServerSocket : public Socket {
  public:
    TCPServerSocket(unsigned short localPort, int queueLen = 5);
    // Waits for one connection; the caller owns the returned socket.
    std::unique_ptr<TCPSocket> accept();

  private:
    void setListen(int queueLen);
};

// Writes all `n` bytes, repeating writes interrupted by signals; -1 on error.
ssize_t writen(int fd, const void* vptr, size_t n);
// writen; a short result writes "Ошибка записи" to standard error.
void Writen(int fd, const void* ptr, size_t nbytes);
// Reads one line through a per-descriptor 4096-byte read-ahead buffer.
// Returns the line length with its newline, 0 at end of input before any
// byte, -1 on error; when the line is cut (maxlen - 1 bytes, or end of input
// after a partial line) the count includes the terminating zero byte.
ssize_t readline(int fd, void* vptr, size_t maxlen);
// readline; a negative result writes "Ошибка считывания строки" to standard
// error and returns -1.
ssize_t Readline(int fd, void* ptr, size_t maxlen);
// Drops the read-ahead bytes kept for `fd` (call when the descriptor closes).
void readlineForget(int fd);
// How many bytes readline has read ahead from `fd` and not yet returned (a
// caller waiting with select must take those lines before waiting again).
size_t readlineBuffered(int fd);
