// The journal report: what an operator needs to know, read in one read
// transaction so that the figures belong together.
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

#include "cli/journal/journal.h"
#include "common/convert.h"

namespace journal {

namespace {

const int kTaskListLimit = 100;  // tasks listed; the count covers them all
const int kBatchListLimit = 5;   // most recent batches listed

bool isInteger(const std::string& text) {
    size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > start && text.size() - start <= 18 &&
           text.find_first_not_of("0123456789", start) == std::string::npos;
}

// A column's value: a JSON integer when the text is a decimal number, else
// the text; null when the column was NULL or is missing.
Json::Value value(const storage::Row& row, const char* name) {
    const std::string* text = storage::column(row, name);
    if (text == nullptr) return Json::Value();
    if (isInteger(*text))
        return Json::Value(static_cast<Json::Int64>(strtoll(text->c_str(), nullptr, 10)));
    return Json::Value(*text);
}

Json::Value textValue(const storage::Row& row, const char* name) {
    const std::string* text = storage::column(row, name);
    return text == nullptr ? Json::Value() : Json::Value(*text);
}

// Seconds since the local date and time "YYYYMMDDhhmmss"; null when the text
// is no such date.
Json::Value ageOf(const std::string& dateTime, time_t now) {
    if (dateTime.size() != 14 || dateTime.find_first_not_of("0123456789") != std::string::npos)
        return Json::Value();
    struct tm tm {};
    auto part = [&](size_t at, size_t len) { return atoi(dateTime.substr(at, len).c_str()); };
    tm.tm_year = part(0, 4) - 1900;
    tm.tm_mon = part(4, 2) - 1;
    tm.tm_mday = part(6, 2);
    tm.tm_hour = part(8, 2);
    tm.tm_min = part(10, 2);
    tm.tm_sec = part(12, 2);
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    if (t == -1) return Json::Value();
    return Json::Value(static_cast<Json::Int64>(now - t));
}

// The local day `back` days before `now`, as "YYYYMMDD".
std::string dayBefore(time_t now, int back) {
    struct tm tm {};
    localtime_r(&now, &tm);
    tm.tm_mday -= back;
    tm.tm_hour = 12;  // clear of the daylight-saving changes around midnight
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    return time2DayStr(&t);
}

// Runs `sql` and hands every row to `onRow`; "" or the error text.
std::string query(const storage::Connection& conn, const std::string& sql,
                  const std::function<void(const storage::Row&)>& onRow,
                  const std::string& from = "") {
    storage::Statement st(conn, sql);
    if (!st.ok()) return conn.errmsg();
    if (!from.empty()) st.bindText(":from", from);
    int rc = st.forEachRow(onRow);
    return rc == SQLITE_OK ? "" : conn.errmsg();
}

std::string readStates(const storage::Connection& conn, Json::Value& report) {
    for (const char* name : {"dbver", "version", "lastdatesync", "lastshiftsync"})
        report[name] = Json::Value();
    if (!hasTable(conn, "STATES")) return "";
    return query(conn, "SELECT name, value FROM STATES", [&](const storage::Row& row) {
        const std::string* name = storage::column(row, "name");
        if (name != nullptr && report.isMember(*name)) report[*name] = textValue(row, "value");
    });
}

std::string readOffline(const storage::Connection& conn, time_t now, Json::Value& report) {
    Json::Value& offline = report["offline"];
    offline["count"] = 0;
    offline["oldest"] = Json::Value();
    std::string err =
        query(conn, "SELECT COUNT(*) AS count FROM OFFLINE",
              [&](const storage::Row& row) { offline["count"] = value(row, "count"); });
    if (!err.empty()) return err;
    return query(conn, "SELECT ID, DateTime, ChequeID FROM OFFLINE ORDER BY DateTime, ID LIMIT 1",
                 [&](const storage::Row& row) {
                     Json::Value oldest(Json::objectValue);
                     oldest["id"] = textValue(row, "id");
                     oldest["dateTime"] = textValue(row, "datetime");
                     oldest["chequeId"] = textValue(row, "chequeid");
                     oldest["ageSeconds"] = ageOf(oldest["dateTime"].asString(), now);
                     offline["oldest"] = oldest;
                 });
}

// In the order the synchronisation takes them: priority, then queue time.
std::string readTasks(const storage::Connection& conn, Json::Value& report) {
    if (!hasTable(conn, "SyncTask")) {
        report["syncTasks"] = Json::Value();
        return "";
    }
    Json::Value& tasks = report["syncTasks"];
    tasks["count"] = 0;
    tasks["tasks"] = Json::Value(Json::arrayValue);
    std::string err = query(conn, "SELECT COUNT(*) AS count FROM SyncTask",
                            [&](const storage::Row& row) { tasks["count"] = value(row, "count"); });
    if (!err.empty()) return err;
    return query(conn,
                 "SELECT ID, Datetime, Shift, Priority, BatchID FROM SyncTask "
                 "ORDER BY Priority, ID LIMIT " +
                     std::to_string(kTaskListLimit),
                 [&](const storage::Row& row) {
                     Json::Value task(Json::objectValue);
                     task["id"] = textValue(row, "id");
                     task["date"] = textValue(row, "datetime");
                     task["shift"] = value(row, "shift");
                     task["priority"] = value(row, "priority");
                     task["batchId"] = value(row, "batchid");
                     tasks["tasks"].append(task);
                 });
}

std::string readBatches(const storage::Connection& conn, const std::string& from,
                        Json::Value& report) {
    report["batchCount"] = Json::Value();
    if (hasTable(conn, "BatchCount")) {
        std::string err =
            query(conn, "SELECT BatchID FROM BatchCount LIMIT 1",
                  [&](const storage::Row& row) { report["batchCount"] = value(row, "batchid"); });
        if (!err.empty()) return err;
    }
    // The batches that carried operations of the days shown (the DateTime
    // index keeps this to those days).
    Json::Value& batches = report["recentBatches"] = Json::Value(Json::arrayValue);
    return query(
        conn,
        "SELECT BatchID, COUNT(*) AS operations FROM ALL_OPERATIONS WHERE DateTime >= :from "
        "AND BatchID IS NOT NULL GROUP BY BatchID ORDER BY BatchID DESC LIMIT " +
            std::to_string(kBatchListLimit),
        [&](const storage::Row& row) {
            Json::Value batch(Json::objectValue);
            batch["batchId"] = value(row, "batchid");
            batch["operations"] = value(row, "operations");
            batches.append(batch);
        },
        from);
}

std::string readDays(const storage::Connection& conn, int days, time_t now, Json::Value& report) {
    Json::Value& list = report["days"] = Json::Value(Json::arrayValue);
    for (int back = 0; back < days; back++) {
        Json::Value day(Json::objectValue);
        day["date"] = dayBefore(now, back);
        for (const char* count : {"operations", "purchases", "reversals", "offline"})
            day[count] = 0;
        list.append(day);
    }
    return query(
        conn,
        "SELECT substr(DateTime, 1, 8) AS day, COUNT(*) AS operations, "
        "SUM(OperType = 3) AS purchases, SUM(OperType = 4) AS reversals, "
        "SUM(Offline = 1) AS offline FROM ALL_OPERATIONS WHERE DateTime >= :from GROUP BY day",
        [&](const storage::Row& row) {
            const std::string* date = storage::column(row, "day");
            for (Json::Value& day : list) {
                if (date == nullptr || day["date"].asString() != *date) continue;
                for (const char* count : {"operations", "purchases", "reversals", "offline"})
                    day[count] = value(row, count);
            }
        },
        list[days - 1]["date"].asString());  // the first day shown
}

}  // namespace

std::string readReport(storage::Connection& conn, int days, time_t now, Json::Value& report) {
    report = Json::Value(Json::objectValue);
    std::string err;
    if (conn.exec("BEGIN", &err) != SQLITE_OK) return err;
    const std::string from = dayBefore(now, days - 1);
    err = readStates(conn, report);
    if (err.empty()) err = readOffline(conn, now, report);
    if (err.empty()) err = readTasks(conn, report);
    if (err.empty()) err = readBatches(conn, from, report);
    if (err.empty()) err = readDays(conn, days, now, report);
    conn.exec("COMMIT");
    return err;
}

}  // namespace journal
