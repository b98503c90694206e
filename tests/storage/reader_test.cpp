// The journal beside a reader: another program (the operator's journal view)
// holding a read lock for a moment makes the server's writes wait, not fail.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "storage/pairvalue.h"
#include "tests/storage/journal_fixture.h"

namespace {

using journaltest::JournalTest;

TEST_F(JournalTest, WriteWaitsForAReaderInsteadOfFailing) {
    sqlite3* reader = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(path().c_str(), &reader, SQLITE_OPEN_READONLY, nullptr));
    // A read transaction holds the file's shared lock until it ends.
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM STATES", nullptr,
                                      nullptr, nullptr));
    std::thread release([reader] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the reader's moment
        sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    });
    storage::PairValue version;
    version.set_name("version");
    version.set_value("9.9.9");
    EXPECT_EQ(SQLITE_DONE, db_.setStatesVal(version));
    release.join();
    sqlite3_close(reader);
    EXPECT_EQ("9.9.9",
              journaltest::valueRaw(path(), "SELECT value FROM STATES WHERE name='version'"));
}

}  // namespace
