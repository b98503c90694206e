// Purchases and reversals journalled as the commands journal them.
#include "tests/storage/journal_ops.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/json_util.h"

namespace journaltest {

namespace {

Json::Value parsed(const std::string& text) {
    Json::Value v;
    if (!parseJsonRequest(text, v)) throw std::runtime_error("bad test JSON: " + text);
    return v;
}

void fill(storage::TransactDB& rec, int type, const std::string& cheque,
          const std::string& dateTime, const std::string& timeValue, int shift,
          const std::string& terminal, const std::string& location) {
    rec.OperType(type);
    rec.ChequeID(cheque);
    rec.DateTime(dateTime);
    rec.TimeValue(timeValue);
    rec.Shift(std::to_string(shift));
    rec.TerminalID(terminal);
    rec.LocationID(location);
    rec.ID(storage::journalKey(dateTime, timeValue, cheque));
}

}  // namespace

Operation payBonus(const PurchaseSpec& p) {
    Operation op;
    fill(op.record, storage::OPER_PURCHASE, p.cheque, p.dateTime, p.timeValue, p.shift, p.terminal,
         p.location);
    Json::Value& pay = op.request["PayBonus"];
    pay["CardNum"] = p.card;
    pay["CardType"] = p.cardType;
    pay["RequestCardNum"] = p.card;
    pay["RequestCardType"] = p.cardType;
    pay["CheckNum"] = p.cheque;
    pay["Check"] = parsed(p.lines);
    Json::Value& t = pay["Transact"];
    t["ID"] = p.cheque;
    t["DateTime"] = p.dateTime;
    t["DateTimeUTC"] = p.dateTimeUTC;
    t["TimeValue"] = p.timeValue;
    t["incomeDateTime"] = p.dateTime;
    t["Location"] = p.location;
    t["Terminal"] = p.terminal;
    t["shift"] = p.shift;
    t["operID"] = "17";
    t["operFIO"] = "Иванова";
    return op;
}

Operation payReturn(const Operation& purchase, const ReversalSpec& r) {
    Operation op;
    fill(op.record, storage::OPER_REVERSAL, r.cheque, r.dateTime, r.timeValue, r.shift, r.terminal,
         r.location);
    op.record.ParentID(purchase.record.ID());
    Json::Value& ret = op.request["PayReturn"];
    ret["CheckNum"] = r.cheque;
    ret["Check"] = parsed(r.lines);
    Json::Value& t = ret["Transact"];
    t["ID"] = r.cheque;
    t["DateTime"] = r.dateTime;
    t["DateTimeUTC"] = r.dateTimeUTC;
    t["TimeValue"] = r.timeValue;
    t["Location"] = r.location;
    t["Terminal"] = r.terminal;
    t["shift"] = r.shift;
    t["operID"] = "18";
    t["operFIO"] = "Петров";
    const Json::Value& bought = purchase.request["PayBonus"]["Transact"];
    Json::Value& o = ret["OrigTransact"];
    for (const char* key : {"ID", "DateTime", "TimeValue", "Location", "Terminal", "shift"})
        o[key] = bought[key];
    return op;
}

void journal(storage::zelvanDb& db, Operation op, Outcome outcome) {
    ASSERT_EQ(db.InsRequest(&op.record, op.request), storage::DB_DONE);
    if (outcome == Outcome::Interrupted) return;
    op.record.Offline(outcome == Outcome::Offline);
    const char* command = op.record.OperType() == storage::OPER_PURCHASE ? "PayBonus" : "PayReturn";
    Json::Value reply;
    reply[command]["err"] = outcome == Outcome::Offline ? "28" : "0";
    ASSERT_EQ(db.UpdRespond(&op.record, reply, outcome == Outcome::Offline ? 28 : 0),
              storage::DB_DONE);
}

void journal(const std::string& path, const Operation& op, Outcome outcome) {
    storage::zelvanDb db(path.c_str());
    ASSERT_EQ(db.open(), storage::DB_OK) << path;
    journal(db, op, outcome);
}

}  // namespace journaltest
