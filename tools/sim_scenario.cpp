// Scenario file reading, change detection and the reply sequences.
#include "tools/sim_scenario.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "common/json_util.h"
#include "common/log.h"

namespace sim {

Reply defaultReply() {
    Reply r;
    r.body["ErrorCode"] = "0";
    return r;
}

Reply replyOf(const Json::Value& entry) {
    if (!entry.isObject()) return defaultReply();
    Reply r = defaultReply();  // without "body" the reply says ErrorCode "0"
    if (entry["body"].isObject()) r.body = entry["body"];
    if (entry["header"].isObject()) r.header = entry["header"];
    r.delayMs = std::max(0, Jval2Int(entry["delayMs"]));
    r.drop = entry["drop"].isBool() && entry["drop"].asBool();
    const Json::Value& fault = entry["fault"];
    if (fault.isObject()) {
        r.fault = true;
        if (fault["code"].isString()) r.faultCode = fault["code"].asString();
        r.faultString = Jval2Str(fault["string"]);
        r.faultDetail = Jval2Str(fault["detail"]);
    }
    r.xml = Jval2Str(entry["xml"]);
    return r;
}

bool Scenario::Stamp::operator==(const Stamp& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
}

Scenario::Scenario(std::string path) : path_(std::move(path)) {
    std::lock_guard<std::mutex> lock(mutex_);
    refresh();
}

void Scenario::refresh() {
    if (path_.empty()) return;
    Stamp now;
    struct stat st {};
    if (stat(path_.c_str(), &st) == 0) {
        now.exists = true;
        now.dev = st.st_dev;
        now.ino = st.st_ino;
        now.size = st.st_size;
        now.mtime = st.st_mtim;
    }
    const bool forced = reload_.exchange(false);
    if (loaded_ && !forced && now == stamp_) return;
    if (!now.exists) {
        doc_ = Json::Value(Json::objectValue);
    } else {
        Json::Value doc;
        if (!readJsonConfFile(path_.c_str(), doc) || !doc.isObject()) {
            // Keep the previous scenario; the file is looked at again next time.
            log("zelvan-crm-sim: unreadable scenario " + path_ + ": " + jsonRuntimeError,
                ERR_STREAM, true);
            return;
        }
        doc_ = doc;
    }
    stamp_ = now;
    loaded_ = true;
    used_.clear();
}

Reply Scenario::next(const std::string& operation) {
    std::lock_guard<std::mutex> lock(mutex_);
    refresh();
    const Json::Value& op = doc_[operation];
    if (!op.isObject()) return defaultReply();
    const Json::Value& seq = op["sequence"];
    if (seq.isArray()) {
        Json::ArrayIndex& used = used_[operation];
        if (used < seq.size()) return replyOf(seq[used++]);
    }
    if (op.isMember("reply")) return replyOf(op["reply"]);
    return defaultReply();
}

bool Scenario::down() {
    std::lock_guard<std::mutex> lock(mutex_);
    refresh();
    const Json::Value& d = doc_["down"];
    return d.isBool() && d.asBool();
}

}  // namespace sim
