// storage::PairValue: a name with an optional value, the shape of one row of
// the STATES table.
#pragma once

#include <optional>
#include <string>

namespace storage {

class PairValue {
  public:
    PairValue() = default;

    // The name, or null when it is empty. Valid until the name changes.
    const char* name() const { return name_.empty() ? nullptr : name_.c_str(); }
    // The value, or null when there is none. Valid until the value changes.
    const char* value() const { return value_ ? value_->c_str() : nullptr; }

    // Empties the name, then copies `text` when it is not null.
    void set_name(const char* text);
    // Replaces the value by a copy of `text`; null only drops the old value.
    void set_value(const char* text);
    void set_value(const std::string& text) { value_ = text; }
    // Empties the name and drops the value.
    void release();

  private:
    std::string name_;
    std::optional<std::string> value_;
};

}  // namespace storage
