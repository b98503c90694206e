// Opening the journal read-only. SQLite would still create the -wal and -shm
// files of a WAL journal when they are missing (files owned by whoever runs
// the view, which a server running under its own user could then no longer
// open), so the file's header is read first and the open is chosen from it.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "cli/journal/journal.h"

namespace journal {

namespace {

// A path as an SQLite URI ("file:" form): the characters that URIs give a
// meaning are escaped.
std::string uriOf(const std::string& path) {
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static const char hex[] = "0123456789abcdef";
            uri += '%';
            uri += hex[static_cast<unsigned char>(c) >> 4];
            uri += hex[static_cast<unsigned char>(c) & 15];
        } else {
            uri += c;
        }
    }
    return uri;
}

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

bool hasTable(const storage::Connection& conn, const char* name) {
    storage::Statement st(conn,
                          "SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                          "UPPER(name) = UPPER(:name)");
    st.bindText(":name", name);
    return st.step() == SQLITE_ROW;
}

std::string openReadOnly(const std::string& path, storage::Connection& conn, std::string& mode) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        int err = errno;
        if (err == ENOENT) return "Файл журнала не найден: " + path;
        return "Нет доступа к файлу журнала: " + path + " (" + strerror(err) + ")";
    }
    if (!S_ISREG(st.st_mode)) return "Не является файлом журнала: " + path;
    std::ifstream in(path, std::ios::binary);
    if (!in) return "Нет доступа к файлу журнала: " + path + " (" + strerror(errno) + ")";

    // The header: 16 bytes of magic text, then the write version at offset 18
    // (1 rollback journal, 2 write-ahead log).
    char header[20] = {0};
    in.read(header, sizeof(header));
    if (in.gcount() < static_cast<std::streamsize>(sizeof(header)) ||
        memcmp(header, "SQLite format 3", 16) != 0)
        return "Файл не является журналом zelvan (это не база SQLite): " + path;
    const bool wal = header[18] == 2;
    mode = wal ? "wal" : "rollback";

    // A WAL journal without its -wal file has everything in the main file and
    // no writer (a writer keeps the -wal file): it is read as it stands.
    std::string uri = uriOf(path) + "?mode=ro";
    if (wal) uri += exists(path + "-wal") ? "&readonly_shm=1" : "&immutable=1";
    int rc = conn.open(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    if (rc != SQLITE_OK)
        return "Ошибка открытия журнала: " + path + " (" + sqlite3_errstr(rc) + ")";

    storage::Statement probe(conn, "SELECT COUNT(*) FROM sqlite_master");
    if (probe.step() != SQLITE_ROW)
        return "Файл не является журналом zelvan: " + path + " (" + conn.errmsg() + ")";
    for (const char* table : {"ALL_OPERATIONS", "OFFLINE"}) {
        if (!hasTable(conn, table))
            return "Файл не является журналом zelvan: " + path + " (нет таблицы " + table + ")";
    }
    return "";
}

}  // namespace journal
