// Text, number and time conversions.
#include "common/convert.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

namespace {

// Sets TZ for one test and restores it afterwards.
class ScopedTZ {
  public:
    explicit ScopedTZ(const char* tz) {
        const char* old = getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTZ() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    bool had_ = false;
    std::string old_;
};

}  // namespace

TEST(Ltrim, RemovesLeadingCharactersDownToTheKeepCount) {
    struct Case {
        const char* in;
        size_t keep;
        const char* out;
    } cases[] = {
        {"007", 1, "7"},   {"000", 1, "0"}, {"000", 3, "000"}, {"000", 0, "0"},
        {"0000", 2, "00"}, {"", 1, ""},     {"100", 1, "100"}, {"0a0", 1, "a0"},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        ltrim(s, c.keep, '0');
        EXPECT_EQ(c.out, s) << c.in << " keep " << c.keep;
    }
}

TEST(StrLeftFill, PrependsUpToTheWidthCappedAt4096) {
    EXPECT_EQ("007", str_left_fill("7", 3, '0'));
    EXPECT_EQ("abcdef", str_left_fill("abcdef", 5, '0'));
    EXPECT_EQ("abc", str_left_fill("abc", 3, '0'));
    EXPECT_EQ(4096u, str_left_fill("1", 100000, '0').size());
}

TEST(CaseHelpers, ChangeOnlyAsciiLettersInUtf8) {
    std::string s = "qr-Код";
    toUpper(s);
    EXPECT_EQ("QR-Код", s);
    toLower(s);
    EXPECT_EQ("qr-Код", s);
}

TEST(NumberText, FormatsLikeTheDefaultAndFixedStreams) {
    EXPECT_EQ("-42", n2str(-42));
    EXPECT_EQ("12.5", n2str(12.5));
    EXPECT_EQ("1e+07", n2str(10000000.0));
    EXPECT_EQ("1200", n2str(1200.0));
    EXPECT_EQ("12.50", dbl2str(12.5, 2));
    EXPECT_EQ("13", dbl2str(12.6, 0));
    EXPECT_EQ("2.000000", dbl2str(2, 6));
}

TEST(StrDoubleSplit, SplitsAtTheFirstPointOrComma) {
    struct Case {
        const char* in;
        const char* whole;
        const char* frac;
    } cases[] = {
        {"12.50", "12", ".50"}, {"3,75", "3", ",75"},   {"7", "", ""},
        {"", "", ""},           {"1,2.3", "1,2", ".3"}, {".5", "", ".5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.whole, strDoubleSplit(c.in, false)) << c.in;
        EXPECT_EQ(c.frac, strDoubleSplit(c.in, true)) << c.in;
    }
}

TEST(Str2bool, IsTrueForTextsBeginningWithAYesWord) {
    for (const char* t : {"yes", "TRUE", "On", "onion", "enable", "enabled", "1", "1000"})
        EXPECT_TRUE(str2bool(t)) << t;
    for (const char* t : {"", "no", "0", "false", "y", "off", " 1"}) EXPECT_FALSE(str2bool(t)) << t;
}

TEST(StatusConversions, ReportNoNumberOutOfRangeAndSuccess) {
    int i = 99;
    EXPECT_EQ(0, _stoi("42abc", i));
    EXPECT_EQ(42, i);
    i = 99;
    EXPECT_EQ(-1, _stoi("abc", i));
    EXPECT_EQ(-2, _stoi("99999999999", i));
    EXPECT_EQ(99, i);
    size_t pos = 0;
    EXPECT_EQ(0, _stoi("ff", i, &pos, 16));
    EXPECT_EQ(255, i);
    EXPECT_EQ(2u, pos);
    long l = 0;
    EXPECT_EQ(0, _stol("-9000000000", l));
    EXPECT_EQ(-9000000000L, l);
    EXPECT_EQ(-1, _stol("", l));
    double d = 0;
    EXPECT_EQ(0, _stod("3.5", d));
    EXPECT_DOUBLE_EQ(3.5, d);
    EXPECT_EQ(-1, _stod("x", d));
    EXPECT_EQ(-2, _stod("1e999", d));
}

TEST(TimeText, FormatsLocalAndUtcTimes) {
    ScopedTZ tz("Europe/Moscow");  // UTC+3, no daylight saving
    time_t t = 1615115109;         // 2021-03-07 11:05:09 UTC
    EXPECT_EQ("20210307140509", time2DateTimeStr(&t));
    EXPECT_EQ("20210307", time2DayStr(&t));
    EXPECT_EQ("03/07/2021 14:05:09", DayTime_string(&t));
    EXPECT_EQ("03/07/2021 11:05:09", DayTimeUTC_string(&t));
    EXPECT_EQ("20210307140509", nowDateTime2Str(&t));
}

TEST(TimeText, NullAndMinusOneGiveEmptyTextOrNow) {
    time_t minusOne = -1, zero = 0;
    EXPECT_EQ("", time2DateTimeStr(nullptr));
    EXPECT_EQ("", time2DateTimeStr(&minusOne));
    EXPECT_EQ("", time2DayStr(nullptr));
    EXPECT_EQ("", time2DayStr(&minusOne));
    time_t now = time(nullptr);
    // "now" forms: compare the date part only, to stay clear of a second change.
    EXPECT_EQ(time2DayStr(&now), now2DayStr());
    EXPECT_EQ(DayTime_string(&now).substr(0, 10), DayTime_string(&zero).substr(0, 10));
    EXPECT_EQ(DayTime_string(&now).substr(0, 10), DayTime_string(nullptr).substr(0, 10));
    EXPECT_EQ(time2DateTimeStr(&now).substr(0, 8), nowDateTime2Str(&zero).substr(0, 8));
    EXPECT_NEAR(double(now), timePoint(), 2.0);
}

TEST(Str2daysecs, GivesLocalMidnightAndRoundTrips) {
    for (const char* zone : {"Europe/Moscow", "UTC", "Asia/Yekaterinburg"}) {
        ScopedTZ tz(zone);
        time_t t = str2daysecs("20210307");
        struct tm tmv {};
        localtime_r(&t, &tmv);
        EXPECT_EQ(0, tmv.tm_hour) << zone;
        EXPECT_EQ(0, tmv.tm_min) << zone;
        EXPECT_EQ(0, tmv.tm_sec) << zone;
        EXPECT_EQ("20210307", time2DayStr(&t)) << zone;
    }
    ScopedTZ utc("UTC");
    EXPECT_EQ(1615075200, str2daysecs("20210307"));
    EXPECT_EQ(-1, str2daysecs("2021-03-07"));
    EXPECT_EQ(-1, str2daysecs(nullptr));
    EXPECT_EQ(-1, str2daysecs("abc"));
}

TEST(TextBuffers, CopyAndConvertTexts) {
    setlocale(LC_CTYPE, "C.UTF-8");
    wchar_t* w = str2wc("Код");
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(std::wstring(L"Код"), std::wstring(w));
    wfree(w);
    char* c = str2cbuf(std::string("ab\0cd", 5));
    EXPECT_STREQ("ab", c);
    cfree(c);
}
