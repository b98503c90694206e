// storage::PairValue: name and optional value of one STATES row.
#include "storage/pairvalue.h"

namespace storage {

void PairValue::set_name(const char* text) {
    name_.clear();
    if (text != nullptr) name_ = text;
}

void PairValue::set_value(const char* text) {
    value_.reset();
    if (text != nullptr) value_ = text;
}

void PairValue::release() {
    name_.clear();
    value_.reset();
}

}  // namespace storage
