// The simulator's scenario: what it answers, read from a JSON file that is
// read again whenever it changed (checked on every request and connection;
// writers replace it by rename) and on SIGHUP. Thread-safe.
#pragma once

#include <json/json.h>
#include <sys/types.h>

#include <atomic>
#include <ctime>
#include <map>
#include <mutex>
#include <string>

namespace sim {

// One answer to one request.
struct Reply {
    Json::Value body;    // elements of the reply element (sim_fields.h form);
                         // {"ErrorCode": "0"} when the entry has no "body"
    Json::Value header;  // reply header fields, e.g. {"SessionToken": "..."}; null: none
    int delayMs = 0;     // wait before answering
    bool drop = false;   // close the connection instead of answering
    bool fault = false;  // answer with a SOAP fault instead of the body
    std::string faultCode = "Server";  // "Server" or "Client"
    std::string faultString;
    std::string faultDetail;
    std::string xml;  // non-empty: sent as the whole envelope, as is
};

// The reply used for an operation the scenario does not mention.
Reply defaultReply();
// Reads one reply entry of the scenario file.
Reply replyOf(const Json::Value& entry);

class Scenario {
  public:
    // An empty path: no file, every operation answers defaultReply().
    explicit Scenario(std::string path);

    // The reply to the next request of `operation`: the next unused entry of
    // its "sequence", else its "reply", else defaultReply().
    Reply next(const std::string& operation);
    // The "down" switch: every connection is closed at once.
    bool down();
    // Makes the next look re-read the file (signal-safe).
    void requestReload() { reload_ = true; }

  private:
    struct Stamp {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = -1;
        timespec mtime{};
        bool exists = false;
        bool operator==(const Stamp& o) const;
    };
    void refresh();  // with mutex_ held

    std::string path_;
    std::mutex mutex_;
    Json::Value doc_{Json::objectValue};
    Stamp stamp_;
    bool loaded_ = false;
    std::map<std::string, Json::ArrayIndex> used_;  // sequence entries used per operation
    std::atomic<bool> reload_{false};
};

}  // namespace sim
