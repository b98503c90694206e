// The sample configuration of the package against the key tables: every key
// the runner, the server and the client read is there with its default and a
// comment, and nothing else is.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/json_util.h"
#include "common/project.h"
#include "runner/config.h"
#include "tests/support/support.h"

namespace {

// What the sample must hold: the runner's keys with their defaults, the
// journal at the server's default path, the server's "Port" and the
// client's "Host".
Json::Value expectedSample() {
    Json::Value doc = runnerConfigDefaults();
    doc["DBPath"] = szDefaultDbFile;
    doc["Port"] = kDefaultPort;
    doc["Host"] = "127.0.0.1";
    return doc;
}

TEST(SampleConfig, HoldsEveryKeyWithItsDefault) {
    Json::Value sample;
    ASSERT_TRUE(readJsonConfFile(ZELVAN_SAMPLE_CONFIG, sample)) << jsonRuntimeError;
    ASSERT_TRUE(sample.isObject());
    const Json::Value expected = expectedSample();
    for (const std::string& key : expected.getMemberNames()) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(sample.isMember(key)) << "missing from the sample";
        EXPECT_EQ(expected[key], sample[key]);
    }
    for (const std::string& key : sample.getMemberNames())
        EXPECT_TRUE(expected.isMember(key)) << key << ": no program reads it";
}

TEST(SampleConfig, GivesEveryKeyOneCommentedLine) {
    std::set<std::string> seen;
    for (const std::string& line : testsupport::readLines(ZELVAN_SAMPLE_CONFIG)) {
        size_t quote = line.find('"');
        if (quote == std::string::npos || line.find("//") < quote) continue;
        std::string key = line.substr(quote + 1, line.find('"', quote + 1) - quote - 1);
        SCOPED_TRACE(key);
        EXPECT_TRUE(seen.insert(key).second) << "given twice";
        size_t comment = line.find("//");
        ASSERT_NE(std::string::npos, comment) << "no comment";
        EXPECT_GT(line.find_first_not_of(" /", comment), comment + 2) << "empty comment";
    }
    EXPECT_EQ(expectedSample().getMemberNames().size(), seen.size());
}

}  // namespace
