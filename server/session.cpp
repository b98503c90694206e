// The client session: one thread per accepted connection. It reads requests
// (one JSON document each, cut out of the byte stream by the framer), checks
// the envelope, handles the commands of each request in ascending name order
// under the server lock, and sends one reply per command.
#include <poll.h>

#include <cerrno>
#include <memory>
#include <string>

#include "common/commands.h"
#include "common/json_util.h"
#include "common/log.h"
#include "common/socket.h"
#include "server/commands.h"
#include "server/envelope.h"
#include "server/framing.h"
#include "server/server.h"

namespace {

// How long an unfinished request may wait for its next bytes.
const int kIdleMillis = 1000;
// Bytes taken per receive. The request limit is the framer's: it buffers an
// unfinished request as it grows, so an idle session holds only this much.
const size_t kReceiveChunk = 16384;

class Session {
  public:
    explicit Session(std::unique_ptr<TCPSocket> socket)
        : socket_(std::move(socket)), prefix_(threadPrefix()) {}

    void run();

  private:
    void requestLoop();
    // Waits until the socket is readable; false when an unfinished request
    // has waited for its next bytes for too long.
    bool waitReadable();
    void handleFrames();
    void handleDocument(const std::string& text);
    void handleCommand(const std::string& name, Json::Value& commandObject, Json::Value& reply,
                       const std::string& requestText, bool first);
    void answerEnvelopeError(const std::string& requestText, EnvelopeError error);
    void send(const std::string& line);
    void logLine(const std::string& msg) { log(msg, LOG_STREAM, !detach); }
    void logRequest(const std::string& text) { logLine(prefix_ + " => " + text); }

    std::unique_ptr<TCPSocket> socket_;
    std::string prefix_;
    std::string root_;
    bool useRoot_ = false;
    bool closed_ = false;
    RequestFramer framer_;
    // Not initialised: only the bytes a receive writes are ever touched.
    char buffer_[kReceiveChunk];
};

void Session::run() {
    std::string address;
    unsigned short port = 0;
    const char* failure = "Ошибка получения адреса клиента";
    try {
        address = socket_->getForeignAddress();
        failure = "Ошибка получения порта клиента";
        port = socket_->getForeignPort();
    } catch (const SocketException&) {
        log(failure, ERR_STREAM, !detach);
        logLine(failure);
        return;
    }
    logLine("Подключение клиента " + address + ":" + std::to_string(port) + " в потоке " +
            std::to_string(static_cast<unsigned long>(pthread_self())));
    root_ = pRun->JsonRoot();
    useRoot_ = pRun->useJsonRoot();
    logLine(std::string("Online State  : [") + (pRun->isOnline() ? "ONLINE" : "OFFLINE") + "][" +
            (pRun->NetStatus() ? "1" : "0") + "]");
    try {
        requestLoop();
    } catch (const SocketException& e) {
        log(e.what(), ERR_STREAM, !detach);
        logLine(e.what());
    }
}

void Session::requestLoop() {
    while (!closed_) {
        if (!waitReadable()) {
            framer_.expire();
            handleFrames();
            continue;
        }
        ssize_t n = socket_->recv(buffer_, sizeof buffer_);
        if (n == 0) {
            // The peer has closed (or half-closed) the connection: what it
            // sent last is still answered, then the session ends.
            framer_.expire();
            handleFrames();
            return;
        }
        framer_.feed(buffer_, static_cast<size_t>(n));
        handleFrames();
    }
}

bool Session::waitReadable() {
    pollfd p{socket_->descriptor(), POLLIN, 0};
    while (true) {
        int r = poll(&p, 1, framer_.pending() ? kIdleMillis : -1);
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return true;  // the receive reports the failure
    }
}

void Session::handleFrames() {
    Frame frame;
    while (!closed_ && framer_.next(frame)) {
        if (frame.kind == Frame::Malformed)
            answerEnvelopeError(frame.text, EnvelopeError::BadFormat);
        else
            handleDocument(frame.text);
    }
}

void Session::handleDocument(const std::string& text) {
    Json::Value request;
    EnvelopeError error;
    Json::Value* commandObject = commandObjectOf(text, *pRun, request, error);
    if (commandObject == nullptr) return answerEnvelopeError(text, error);

    Json::Value reply(Json::objectValue);
    bool first = true;
    for (const std::string& name : commandObject->getMemberNames()) {
        handleCommand(name, *commandObject, reply, text, first);
        first = false;
        if (closed_) return;  // "End": later commands are not handled
    }
}

void Session::handleCommand(const std::string& name, Json::Value& commandObject, Json::Value& reply,
                            const std::string& requestText, bool first) {
    const CommandRow& row = commandRow(getCmdCode(name));
    logLine(row.title);
    if (first) logRequest(requestText);
    std::string failure;
    // A command that fails this way is answered as not built; the session
    // and the server go on.
    if (!dispatchCommand(row, commandObject, name, reply, failure))
        log(prefix_ + failure, ERR_STREAM, !detach);
    if (row.endsSession) {
        closed_ = true;
        return;
    }
    send(replyLine(reply, useRoot_, root_));
}

void Session::answerEnvelopeError(const std::string& requestText, EnvelopeError error) {
    logRequest(requestText);
    send(envelopeErrorReply(error));
}

void Session::send(const std::string& line) {
    socket_->send(line.data(), line.size());
    // The reply line ends with its newline; the log line adds its own.
    logLine(prefix_ + " <= " + line.substr(0, line.size() - 1));
}

}  // namespace

void* HandleTCPClient(void* arg) {
    pthread_detach(pthread_self());
    std::unique_ptr<TCPSocket> socket(static_cast<TCPSocket*>(arg));
    Session(std::move(socket)).run();
    return nullptr;
}
