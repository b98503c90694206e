// The journal's own texts written to the error stream, in one place. Each is
// followed by the SQLite library's message.
#pragma once

namespace storage::text {

inline constexpr const char kReadError[] = "Ошибка чтения данных: ";
inline constexpr const char kCreateError[] = "Create DataBase Error: ";
inline constexpr const char kUpgradeError[] = "Upgrading DataBase Error: ";
// Synchronisation sets and tasks.
inline constexpr const char kTempTableError[] = "Ошибка создания временной таблицы: ";
inline constexpr const char kTempDropError[] = "Ошибка удаления временной таблицы: ";
inline constexpr const char kReleaseError[] = "Ошибка обновления данных синзронизации: ";
inline constexpr const char kTaskAddError[] = "Ошибка добавления задания синхронизации: ";
inline constexpr const char kTaskReadError[] = "Ошибка получения задания из таблицы: ";
// "cинхронизации" begins with a Latin "c": the text is kept as written.
inline constexpr const char kTaskDeleteError[] =
    "Ошибка удаления задания cинхронизации из таблицы заданий: ";
// Frames the statement text of the purchase lookup: " SQL : [ " + sql + " ]".
inline constexpr const char kSqlOpen[] = " SQL : [ ";
inline constexpr const char kSqlClose[] = " ]";

}  // namespace storage::text
