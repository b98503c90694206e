// The record file writer.
#include "tools/sim_record.h"

#include <stdexcept>

#include "common/json_util.h"

namespace sim {

Recorder::Recorder(const std::string& path) {
    if (path.empty()) return;
    file_.reset(fopen(path.c_str(), "a"));
    if (!file_) throw std::runtime_error("cannot open the record file " + path);
}

void Recorder::write(const Json::Value& line) {
    if (!file_) return;
    const std::string text = JsonOut(line, false);  // one line with its "\n"
    std::lock_guard<std::mutex> lock(mutex_);
    fwrite(text.data(), 1, text.size(), file_.get());
    fflush(file_.get());
}

}  // namespace sim
