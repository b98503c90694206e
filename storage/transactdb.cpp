// storage::TransactDB and the journal key rule.
#include "storage/transactdb.h"

#include "common/convert.h"

namespace storage {

void TransactDB::TimeValue(double t) {
    if (t > 0) timeValue_ = dbl2str(t, 6);
}

void TransactDB::clear() {
    for (std::string* s : {&id_, &parentId_, &dateTime_, &dateTimeUtc_, &chequeId_, &terminalId_,
                           &locationId_, &shift_, &request_, &response_, &timeValue_})
        s->clear();
    operType_ = OPER_NONE;
    offline_ = false;
}

std::string journalKey(const std::string& dateTime, const std::string& timeValue,
                       const std::string& chequeId) {
    std::string key = dateTime.substr(0, 14);
    if (!timeValue.empty()) key += strDoubleSplit(timeValue, true) + "#";
    if (!key.empty()) key += chequeId;
    return key;
}

}  // namespace storage
