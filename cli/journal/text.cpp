// The report's text form for a person at the station's console.
#include <string>
#include <vector>

#include "cli/journal/journal.h"

namespace journal {

namespace {

// "-" for a missing value, otherwise the value as text.
std::string str(const Json::Value& v) {
    return v.isNull() ? "-" : v.asString();
}

// "YYYYMMDD" and "YYYYMMDDhhmmss" with their separators; other texts as they are.
std::string readableDate(const Json::Value& v) {
    std::string t = str(v);
    if (t.find_first_not_of("0123456789") != std::string::npos) return t;
    if (t.size() != 8 && t.size() != 14) return t;
    std::string out = t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2);
    if (t.size() == 14) out += " " + t.substr(8, 2) + ":" + t.substr(10, 2) + ":" + t.substr(12, 2);
    return out;
}

std::string readableAge(const Json::Value& v) {
    if (!v.isIntegral()) return "возраст неизвестен";
    long long s = v.asInt64();
    if (s < 0) return "в будущем";
    if (s < 60) return std::to_string(s) + " с назад";
    std::string out;
    if (s >= 86400) out += std::to_string(s / 86400) + " д ";
    if (s >= 3600) out += std::to_string(s % 86400 / 3600) + " ч ";
    return out + std::to_string(s % 3600 / 60) + " мин назад";
}

// Columns of `widths` characters (UTF-8 characters, not bytes), two blanks apart.
std::string row(const std::vector<std::string>& cells, const std::vector<size_t>& widths) {
    std::string line = " ";
    for (size_t i = 0; i < cells.size(); i++) {
        size_t chars = 0;
        for (unsigned char c : cells[i]) chars += (c & 0xC0) != 0x80;
        line += " " + cells[i];
        if (i + 1 < cells.size())
            line += std::string(widths[i] > chars ? widths[i] - chars : 0, ' ') + " ";
    }
    return line + "\n";
}

}  // namespace

std::string textReport(const Json::Value& r) {
    std::string out = "Журнал: " + str(r["journal"]) + "\n";
    out +=
        "Режим журнала: " + std::string(r["journalMode"].asString() == "wal" ? "WAL" : "rollback") +
        ", схема: " + str(r["dbver"]) + ", версия сервера: " + str(r["version"]) + "\n";

    const Json::Value& offline = r["offline"];
    out += "Ожидают отправки (OFFLINE): " + str(offline["count"]) + "\n";
    const Json::Value& oldest = offline["oldest"];
    if (oldest.isObject())
        out += "  старейшая: " + readableDate(oldest["dateTime"]) + ", " +
               readableAge(oldest["ageSeconds"]) + " (ID " + str(oldest["id"]) + ", чек " +
               str(oldest["chequeId"]) + ")\n";

    const Json::Value& tasks = r["syncTasks"];
    if (tasks.isNull()) {
        out += "Задания синхронизации: в журнале нет таблицы SyncTask\n";
    } else {
        out += "Задания синхронизации в очереди (SyncTask): " + str(tasks["count"]) + "\n";
        const std::vector<size_t> widths = {10, 5, 9, 10};
        if (!tasks["tasks"].empty()) out += row({"дата", "смена", "приоритет", "пакет"}, widths);
        for (const Json::Value& t : tasks["tasks"])
            out += row(
                {readableDate(t["date"]), str(t["shift"]), str(t["priority"]), str(t["batchId"])},
                widths);
        Json::Int64 more =
            tasks["count"].asInt64() - static_cast<Json::Int64>(tasks["tasks"].size());
        if (more > 0) out += "  ... и ещё " + std::to_string(more) + "\n";
    }

    out +=
        "Последняя дневная синхронизация (lastdatesync): " + readableDate(r["lastdatesync"]) + "\n";
    out += "Номер последнего пакета (BatchCount): " + str(r["batchCount"]) + "\n";
    std::string batches;
    for (const Json::Value& b : r["recentBatches"])
        batches += (batches.empty() ? "" : ", ") + str(b["batchId"]) + " (" + str(b["operations"]) +
                   " опер.)";
    out += "Пакеты операций этих дней: " + (batches.empty() ? std::string("-") : batches) + "\n";

    out += "Операции по дням:\n";
    const std::vector<size_t> widths = {10, 5, 7, 8, 6};
    out += row({"дата", "всего", "покупки", "возвраты", "офлайн"}, widths);
    for (const Json::Value& d : r["days"])
        out += row({readableDate(d["date"]), str(d["operations"]), str(d["purchases"]),
                    str(d["reversals"]), str(d["offline"])},
                   widths);
    return out;
}

}  // namespace journal
