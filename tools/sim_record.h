// The record file: one JSON line per request received, flushed at once, so
// that tests can read what the simulator was sent. Thread-safe.
#pragma once

#include <json/json.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace sim {

class Recorder {
  public:
    // An empty path records nothing. Throws std::runtime_error when the file
    // cannot be opened for appending.
    explicit Recorder(const std::string& path);
    void write(const Json::Value& line);

  private:
    struct Closer {
        void operator()(FILE* f) const {
            if (f != nullptr) fclose(f);
        }
    };
    std::mutex mutex_;
    std::unique_ptr<FILE, Closer> file_;
};

}  // namespace sim
