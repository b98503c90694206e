// storage::TaskSync: one synchronisation task of the SyncTask queue, a day
// and/or a POS shift whose operations are to be sent again as one batch.
#pragma once

#include <optional>
#include <string>

namespace storage {

class TaskSync {
  public:
    // Priority of a new task: smaller runs first.
    static constexpr int kDefaultPriority = 20;

    // Task identifier; null when the task has none (not queued).
    const char* Id() const { return id_.empty() ? nullptr : id_.c_str(); }
    void Id(const char* text) { id_ = text != nullptr ? text : ""; }
    void Id(const std::string& text) { id_ = text; }

    // Optional values. Getters are null when absent or empty; a text setter
    // stores a copy and null removes the value; a string setter stores the
    // value but does not create an absent value from an empty string.
    // The day as YYYYMMDD.
    const char* getDate() const { return get(date_); }
    void setDate(const char* text) { set(date_, text); }
    void setDate(const std::string& text) { set(date_, text); }
    // The POS shift number, decimal.
    const char* getShift() const { return get(shift_); }
    void setShift(const char* text) { set(shift_, text); }
    void setShift(const std::string& text) { set(shift_, text); }
    // The batch number given to the task, decimal.
    const char* getBatchId() const { return get(batchId_); }
    void setBatchId(const char* text) { set(batchId_, text); }
    void setBatchId(const std::string& text) { set(batchId_, text); }

    int Prior() const { return prior_; }
    void Prior(int priority) { prior_ = priority; }

    // Empties everything; the priority returns to the default.
    void release() {
        id_.clear();
        date_.reset();
        shift_.reset();
        batchId_.reset();
        prior_ = kDefaultPriority;
    }

  private:
    static const char* get(const std::optional<std::string>& v) {
        return v && !v->empty() ? v->c_str() : nullptr;
    }
    static void set(std::optional<std::string>& v, const char* text) {
        if (text != nullptr)
            v = text;
        else
            v.reset();
    }
    static void set(std::optional<std::string>& v, const std::string& text) {
        if (v || !text.empty()) v = text;
    }

    std::string id_;
    std::optional<std::string> date_;
    std::optional<std::string> shift_;
    std::optional<std::string> batchId_;
    int prior_ = kDefaultPriority;
};

}  // namespace storage
