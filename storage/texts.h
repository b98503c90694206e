// The journal's own texts written to the error stream, in one place. Each is
// followed by the SQLite library's message.
#pragma once

namespace storage::text {

inline constexpr const char kReadError[] = "Ошибка чтения данных: ";
inline constexpr const char kCreateError[] = "Create DataBase Error: ";
inline constexpr const char kUpgradeError[] = "Upgrading DataBase Error: ";
// Frames the statement text of the purchase lookup: " SQL : [ " + sql + " ]".
inline constexpr const char kSqlOpen[] = " SQL : [ ";
inline constexpr const char kSqlClose[] = " ]";

}  // namespace storage::text
