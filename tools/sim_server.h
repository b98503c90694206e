// The simulator's listener: binds (HTTP, or HTTPS with a certificate), writes
// the port file, accepts connections and serves each on its own thread
// (bounded), with HTTP keep-alive, until the stop flag is set.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "tools/sim_record.h"
#include "tools/sim_scenario.h"
#include "tools/sim_services.h"

namespace sim {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 0;  // 0: an ephemeral port
    std::string portFile;
    std::string certFile, keyFile, keyPassword;  // HTTPS when certFile is set
    int maxConnections = 16;
    int idleSeconds = 60;  // a keep-alive connection idle this long is closed
};

class Server {
  public:
    Server(const ServerOptions& options, Scenario& scenario, Recorder& recorder,
           const std::atomic<bool>& stop);
    ~Server();  // ends and joins every connection thread
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and prepares TLS; false with `error` set on failure.
    bool start(std::string& error);
    int port() const { return port_; }
    // Accepts and serves until the stop flag is set.
    void run();

  private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void serve(struct soap* ctx, unsigned connection);
    bool waitForRequest(struct soap* ctx);
    void reap(bool all);

    ServerOptions options_;
    Scenario& scenario_;
    Handler handler_;
    const std::atomic<bool>& stop_;
    crm::SoapPtr master_;
    int port_ = 0;
    unsigned accepted_ = 0;
    std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace sim
