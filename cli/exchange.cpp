// The client's exchange loop: waits on the connection and standard input,
// prints every reply line and sends every input line, re-serialised in the
// compact form for known commands other than "Connect".
#include <sys/select.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/commands.h"
#include "common/json_util.h"
#include "common/log.h"
#include "common/socket.h"

namespace {

const size_t kLineMax = 524288;

// Sends one input line of `n` bytes; true when it was "End".
bool sendLine(int sock, const char* line, size_t n) {
    Json::Value doc;
    bool parsed = false;
    try {
        parsed = parseJsonRequest(line, line + n, doc);
    } catch (const std::exception&) {
        // nested too deeply for the reader: sent as typed
    }
    int code = CMD_UNKNOWN;
    if (parsed && doc.isObject() && !doc.empty()) code = getCmdCode(doc.getMemberNames().front());
    if (code == CMD_UNKNOWN || code == CMD_CONNECT) {
        Writen(sock, line, n);
        return false;
    }
    std::string compact = JsonOut(doc, false);
    Writen(sock, compact.data(), compact.size());
    return code == CMD_END;
}

}  // namespace

int run_cli(int infd, int sock) {
    static std::vector<char> reply(kLineMax);
    static std::vector<char> input(kLineMax);
    bool inputFinished = false;
    while (true) {
        // Lines already read ahead are taken before waiting again.
        bool sockReady = readlineBuffered(sock) > 0;
        bool inReady = !inputFinished && readlineBuffered(infd) > 0;
        if (!sockReady && !inReady) {
            fd_set rset;
            FD_ZERO(&rset);
            FD_SET(sock, &rset);
            if (!inputFinished) FD_SET(infd, &rset);
            int maxfd = sock > infd ? sock : infd;
            if (select(maxfd + 1, &rset, nullptr, nullptr, nullptr) < 0) {
                if (errno == EINTR) continue;
                return -1;
            }
            sockReady = FD_ISSET(sock, &rset);
            inReady = !inputFinished && FD_ISSET(infd, &rset);
        }
        if (sockReady) {
            // 0: the server closed the connection; -1: a read error (already
            // reported), which ends the loop the same way.
            if (Readline(sock, reply.data(), reply.size()) <= 0) {
                if (inputFinished) return 0;
                consoleLine(ERR_STREAM, "server terminated prematurely");
                return -1;
            }
            consoleLine(LOG_STREAM, std::string(reply.data()));
        }
        if (inReady) {
            memset(input.data(), 0, input.size());
            ssize_t n = Readline(infd, input.data(), input.size());
            if (n <= 0) {  // end of input (a read error counts as one)
                inputFinished = true;
                shutdown(sock, SHUT_WR);
                continue;
            }
            if (sendLine(sock, input.data(), static_cast<size_t>(n))) {
                shutdown(sock, SHUT_WR);
                return 1;
            }
        }
    }
}
