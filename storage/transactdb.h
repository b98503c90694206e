// storage::TransactDB: one journal record (a purchase or a reversal), the
// list type through which lookups hand records to their caller, and the
// journal key rule.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace storage {

// Operation types that are journalled: the command codes of "PayBonus" and
// "PayReturn". Every other value (and -1, "not set") is refused by the writes.
enum OperationType : int {
    OPER_NONE = -1,
    OPER_PURCHASE = 3,  // "PayBonus"
    OPER_REVERSAL = 4,  // "PayReturn"
};

// One record of ALL_OPERATIONS / OFFLINE. String getters return null for an
// empty field (the pointer is valid until that field changes); text setters
// empty the field for null; string setters copy.
class TransactDB {
  public:
    TransactDB() = default;
    virtual ~TransactDB() = default;
    TransactDB(const TransactDB&) = default;
    TransactDB& operator=(const TransactDB&) = default;

    // Journal key (column ID).
    const char* ID() const { return get(id_); }
    void ID(const char* s) { set(id_, s); }
    void ID(const std::string& s) { id_ = s; }
    // For a reversal: the journal key of the purchase it reverses.
    const char* ParentID() const { return get(parentId_); }
    void ParentID(const char* s) { set(parentId_, s); }
    void ParentID(const std::string& s) { parentId_ = s; }
    // Local date and time, 14 digits YYYYMMDDhhmmss.
    const char* DateTime() const { return get(dateTime_); }
    void DateTime(const char* s) { set(dateTime_, s); }
    void DateTime(const std::string& s) { dateTime_ = s; }
    // UTC date and time as text; not stored in the journal.
    const char* DateTimeUTC() const { return get(dateTimeUtc_); }
    void DateTimeUTC(const char* s) { set(dateTimeUtc_, s); }
    void DateTimeUTC(const std::string& s) { dateTimeUtc_ = s; }
    // Operation type (OperationType); -1 until set.
    int OperType() const { return operType_; }
    void OperType(int t) { operType_ = t; }
    // Cheque number (column ChequeID).
    const char* ChequeID() const { return get(chequeId_); }
    void ChequeID(const char* s) { set(chequeId_, s); }
    void ChequeID(const std::string& s) { chequeId_ = s; }
    // POS terminal (column Terminal) and station (column LocationID).
    const char* TerminalID() const { return get(terminalId_); }
    void TerminalID(const char* s) { set(terminalId_, s); }
    void TerminalID(const std::string& s) { terminalId_ = s; }
    const char* LocationID() const { return get(locationId_); }
    void LocationID(const char* s) { set(locationId_, s); }
    void LocationID(const std::string& s) { locationId_ = s; }
    // Shift number as decimal text; journalled as an integer when above 0.
    const char* Shift() const { return get(shift_); }
    void Shift(const char* s) { set(shift_, s); }
    void Shift(const std::string& s) { shift_ = s; }
    // The operation is (or became) offline.
    bool Offline() const { return offline_; }
    void Offline(bool b) { offline_ = b; }
    // Stored request and reply texts (filled when a record is read back).
    const char* Request() const { return get(request_); }
    void Request(const char* s) { set(request_, s); }
    void Request(const std::string& s) { request_ = s; }
    const char* Response() const { return get(response_); }
    void Response(const char* s) { set(response_, s); }
    void Response(const std::string& s) { response_ = s; }
    // POS time value, seconds since 1970 with a fractional part (column TimeVal).
    const char* TimeValue() const { return get(timeValue_); }
    void TimeValue(const char* s) { set(timeValue_, s); }
    void TimeValue(const std::string& s) { timeValue_ = s; }
    // Stores the number with six decimals when it is above 0; else no change.
    void TimeValue(double t);
    // Columns ErrorCode and Status, filled when a record is read back.
    int ErrCode() const { return errCode_; }
    void ErrCode(int c) { errCode_ = c; }
    int Status() const { return status_; }
    void Status(int s) { status_ = s; }

    // Type -1, not offline, every string field empty; ErrCode and Status stay.
    void clear();

  private:
    static const char* get(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }
    static void set(std::string& field, const char* s) { field = s != nullptr ? s : ""; }

    std::string id_;
    std::string parentId_;
    std::string dateTime_;
    std::string dateTimeUtc_;
    int operType_ = OPER_NONE;
    std::string chequeId_;
    std::string terminalId_;
    std::string locationId_;
    std::string shift_;
    bool offline_ = false;
    std::string request_;
    std::string response_;
    std::string timeValue_;
    int errCode_ = 0;
    int status_ = 0;
};

// Records handed out by the lookups. The list owns its records; the caller
// owns the list and empties it with zelvanDb::clear_TransactDB_List (or by
// letting it go out of scope).
using TransactDBList = std::vector<std::unique_ptr<TransactDB>>;

// The journal key of an operation: the first 14 characters of `dateTime`;
// then, when `timeValue` is not empty, its part from the decimal separator
// (the first ".", else the first ","; nothing when it has neither) followed
// by "#"; then `chequeId`, only when something precedes it.
// 20240131120005, 1706692805.123456, 1234 -> 20240131120005.123456#1234.
std::string journalKey(const std::string& dateTime, const std::string& timeValue,
                       const std::string& chequeId);

}  // namespace storage
