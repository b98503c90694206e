// Test helpers for the journal: a database file in a fresh directory, a
// second raw connection to look at (or tamper with) the file, and capture
// of the error stream.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/row.h"
#include "storage/zelvandb.h"
#include "tests/support/support.h"

namespace journaltest {

// Creates a new file and runs `sql` on it.
void createRaw(const std::string& path, const std::string& sql);
// Runs `sql` on the file through a connection of its own; fails the test on
// an error.
void execRaw(const std::string& path, const std::string& sql);
// The rows of a query on the file (column names lower-cased, NULLs absent).
std::vector<storage::Row> queryRaw(const std::string& path, const std::string& sql);
// The single value of a one-column query; "<none>" without a row, "<null>"
// for NULL.
std::string valueRaw(const std::string& path, const std::string& sql);
int countRaw(const std::string& path, const std::string& table);

// A journal created with the full schema in a temporary directory.
class JournalTest : public ::testing::Test {
  protected:
    void SetUp() override;
    std::string path() const { return dir_.file("zelvan.db3"); }

    testsupport::TempDir dir_;
    storage::zelvanDb db_;
};

// A purchase record as the request builder leaves it.
storage::TransactDB purchase(const std::string& cheque, const std::string& dateTime,
                             const std::string& timeValue = "1706692805.123456");

}  // namespace journaltest
