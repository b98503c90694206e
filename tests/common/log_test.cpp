// Log line format and destinations.
#include "common/log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "tests/support/support.h"

namespace {

// Captures what is written to standard output and standard error.
class Capture {
  public:
    Capture() {
        fflush(stdout);
        fflush(stderr);
        savedOut_ = dup(1);
        savedErr_ = dup(2);
        int o = open(dir_.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(dir_.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        close(o);
        close(e);
    }
    ~Capture() { restore(); }
    void restore() {
        if (savedOut_ < 0) return;
        fflush(stdout);
        fflush(stderr);
        dup2(savedOut_, 1);
        dup2(savedErr_, 2);
        close(savedOut_);
        close(savedErr_);
        savedOut_ = savedErr_ = -1;
    }
    std::string out() { return testsupport::readFile(dir_.file("out")); }
    std::string err() { return testsupport::readFile(dir_.file("err")); }

  private:
    testsupport::TempDir dir_;
    int savedOut_ = -1, savedErr_ = -1;
};

const std::regex kLine(R"(\(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\): (.*)\n)");

}  // namespace

TEST(Log, WritesOneLineWithTheTimePrefixToTheChosenStream) {
    for (bool console : {true, false}) {
        Capture cap;
        log("Сервер инициализирован и готов к принятию соединений на порту 54121", LOG_STREAM,
            console);
        log(std::string("ошибка"), ERR_STREAM, console);
        cap.restore();
        std::smatch m;
        std::string out = cap.out(), err = cap.err();
        ASSERT_TRUE(std::regex_match(out, m, kLine)) << out;
        EXPECT_EQ("Сервер инициализирован и готов к принятию соединений на порту 54121", m[1]);
        ASSERT_TRUE(std::regex_match(err, m, kLine)) << err;
        EXPECT_EQ("ошибка", m[1]);
    }
}

TEST(Log, UsesTheCurrentLocalTime) {
    Capture cap;
    time_t before = time(nullptr);
    log("x", LOG_STREAM, false);
    time_t after = time(nullptr);
    cap.restore();
    struct tm tmv {};
    std::string candidates;
    for (time_t t = before; t <= after; t++) {
        localtime_r(&t, &tmv);
        char buf[32];
        strftime(buf, sizeof(buf), "(%Y-%m-%d %H:%M:%S): x\n", &tmv);
        candidates += buf;
        if (cap.out() == buf) return;
    }
    FAIL() << cap.out() << " is none of " << candidates;
}

TEST(Log, WritesNothingForANullMessageOrAnotherDestination) {
    Capture cap;
    log(static_cast<const char*>(nullptr), LOG_STREAM, true);
    log("x", 2, true);
    log("x", -1, false);
    cap.restore();
    EXPECT_EQ("", cap.out());
    EXPECT_EQ("", cap.err());
}

TEST(ThreadPrefix, IsTheThreadIdInBrackets) {
    EXPECT_EQ("[" + std::to_string(static_cast<unsigned long>(pthread_self())) + "] : ",
              threadPrefix());
}
