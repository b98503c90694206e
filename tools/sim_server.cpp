// The simulator's listener, TLS set-up and the per-connection serve loop.
#include "tools/sim_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// Receives through gSOAP's own function and keeps a copy of the bytes.
size_t captureRecv(struct soap* ctx, char* buf, size_t len) {
    auto* ex = static_cast<Exchange*>(ctx->user);
    const size_t n = ex->recv(ctx, buf, len);
    ex->raw.append(buf, n);
    return n;
}

int keyPassword(char* buf, int size, int, void* userdata) {
    const std::string& pw = *static_cast<const std::string*>(userdata);
    const int n = static_cast<int>(pw.size()) < size ? static_cast<int>(pw.size()) : size;
    pw.copy(buf, static_cast<size_t>(n));
    return n;
}

std::string sslError(const std::string& what) {
    char text[256] = "";
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    return what + ": " + text;
}

// Writes the port through a temporary file and a rename, so that a reader
// never sees a partial number.
bool writePortFile(const std::string& path, int port) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << port << "\n";
        if (!out) return false;
    }
    return rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

Server::Server(const ServerOptions& options, Scenario& scenario, Recorder& recorder,
               const std::atomic<bool>& stop)
    : options_(options), scenario_(scenario), handler_(scenario, recorder, stop), stop_(stop) {}

Server::~Server() {
    reap(true);
}

bool Server::start(std::string& error) {
    master_ = crm::newContext(SOAP_IO_KEEPALIVE | SOAP_C_UTFSTRING);
    if (!master_) {
        error = "cannot create the SOAP context";
        return false;
    }
    struct soap* m = master_.get();
    m->bind_flags = SO_REUSEADDR;  // a restarted simulator gets its port back
    m->accept_timeout = -200000;   // 200 ms: the stop flag is looked at in between
    m->send_timeout = m->recv_timeout = 30;
    if (!options_.certFile.empty()) {
        if (soap_ssl_server_context(m, SOAP_SSL_DEFAULT, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, "zelvan-crm-sim") != SOAP_OK ||
            m->ctx == nullptr) {
            error = "cannot set up TLS: " + crm::faultString(m);
            return false;
        }
        SSL_CTX* tls = m->ctx;
        if (SSL_CTX_use_certificate_chain_file(tls, options_.certFile.c_str()) != 1) {
            error = sslError("cannot read the certificate " + options_.certFile);
            return false;
        }
        SSL_CTX_set_default_passwd_cb(tls, keyPassword);
        SSL_CTX_set_default_passwd_cb_userdata(tls, &options_.keyPassword);
        const std::string& key = options_.keyFile.empty() ? options_.certFile : options_.keyFile;
        if (SSL_CTX_use_PrivateKey_file(tls, key.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(tls) != 1) {
            error = sslError("cannot use the key " + key);
            return false;
        }
    }
    if (!soap_valid_socket(soap_bind(m, options_.host.c_str(), options_.port, 64))) {
        error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port) + ": " +
                crm::faultString(m);
        return false;
    }
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(m->master, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port_ = addr.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                    : ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    }
    if (!options_.portFile.empty() && !writePortFile(options_.portFile, port_)) {
        error = "cannot write the port file " + options_.portFile;
        return false;
    }
    return true;
}

void Server::reap(bool all) {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (all || (*it)->done) {
            if ((*it)->thread.joinable()) (*it)->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void Server::run() {
    struct soap* m = master_.get();
    while (!stop_) {
        reap(false);
        if (static_cast<int>(connections_.size()) >= options_.maxConnections) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        if (!soap_valid_socket(soap_accept(m))) {
            // A time-out comes back with no system error; anything else
            // (for example no file descriptors left) is waited out.
            if (m->errnum != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        crm::SoapPtr ctx = crm::copyContext(m);
        if (!ctx) {
            soap_force_closesock(m);
            continue;
        }
        m->socket = SOAP_INVALID_SOCKET;  // the copy owns the connection now
        if (scenario_.down()) {
            soap_force_closesock(ctx.get());
            continue;
        }
        auto c = std::make_unique<Connection>();
        Connection* conn = c.get();
        const unsigned number = ++accepted_;
        conn->thread = std::thread([this, conn, number, ctx = std::move(ctx)]() mutable {
            serve(ctx.get(), number);
            ctx.reset();
            conn->done = true;
        });
        connections_.push_back(std::move(c));
    }
    reap(true);
}

bool Server::waitForRequest(struct soap* ctx) {
    const auto idleUntil = Clock::now() + std::chrono::seconds(options_.idleSeconds);
    while (!stop_ && Clock::now() < idleUntil) {
        if (ctx->ssl != nullptr && SSL_pending(ctx->ssl) > 0) return true;
        pollfd p{ctx->socket, POLLIN, 0};
        const int r = poll(&p, 1, 200);
        if (r > 0) return true;  // data, or the peer closed: gSOAP will see which
        if (r < 0 && errno != EINTR) return false;
    }
    return false;
}

void Server::serve(struct soap* ctx, unsigned connection) {
    Exchange ex;
    ex.connection = connection;
    ctx->user = &ex;
    ex.recv = ctx->frecv;
    ctx->frecv = captureRecv;
    if (ctx->ctx != nullptr && soap_ssl_accept(ctx) != SOAP_OK) {
        soap_force_closesock(ctx);
        return;
    }
    Services services(ctx, handler_, ex);
    ctx->keep_alive = ctx->max_keep_alive + 1;
    do {
        if (ctx->keep_alive > 0 && ctx->max_keep_alive > 0) ctx->keep_alive--;
        if (!waitForRequest(ctx) || scenario_.down()) break;
        ex.raw.clear();
        ex.drop = false;
        // Read the envelope with every prefix known; the service that takes
        // the request switches to its own table.
        soap_set_namespaces(ctx, allNamespaces());
        if (soap_begin_serve(ctx) != SOAP_OK) break;
        const int rc = services.dispatch();
        if (ex.drop) break;
        if (rc == SOAP_NO_METHOD) {
            handler_.recordUnknown(ctx, ex);
            ctx->header = nullptr;
            soap_send_fault(ctx);
        } else if (rc != SOAP_OK && rc < SOAP_STOP) {
            soap_send_fault(ctx);
        }
        soap_destroy(ctx);
        soap_end(ctx);
        ex.arena.clear();
    } while (ctx->keep_alive && !stop_);
    soap_destroy(ctx);
    soap_end(ctx);
    ex.arena.clear();
    soap_force_closesock(ctx);
    ctx->user = nullptr;
}

}  // namespace sim
