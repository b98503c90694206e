// JSON helpers: configuration reader, writers and lenient value readers.
#include "common/json_util.h"

#include <gtest/gtest.h>

#include "tests/support/support.h"

namespace {

Json::Value parse(const std::string& text) {
    Json::Value v;
    EXPECT_TRUE(parseJsonRequest(text, v)) << text;
    return v;
}

}  // namespace

TEST(JsonOut, CompactFormSortsMembersAndEndsWithOneNewline) {
    Json::Value v = parse(R"({"b": [1, 2.5, true, null], "a": {"y": "", "x": -3}})");
    EXPECT_EQ("{\"a\":{\"x\":-3,\"y\":\"\"},\"b\":[1,2.5,true,null]}\n", JsonOut(v, false));
}

TEST(JsonOut, CompactFormEscapesAsRepliesNeedIt) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"Формат запроса задан неверно", "\"Формат запроса задан неверно\""},
        {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001F\x7f\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {"\xff\xfe", "\"\xff\xfe\""},  // bytes that are not UTF-8 pass unchanged
    };
    for (const auto& c : cases) {
        Json::Value v(c.in);
        EXPECT_EQ(c.out + "\n", JsonOut(v, false));
        Json::Value obj;
        obj[c.in] = 1;  // member names are escaped the same way
        EXPECT_EQ("{" + c.out + ":1}\n", JsonOut(obj, false));
    }
}

TEST(JsonOut, ReplyTextsRoundTripThroughTheRequestReader) {
    Json::Value v;
    v["ERROR"]["err"] = "-1";
    v["ERROR"]["errMsg"] = "Формат запроса задан неверно\n\x02";
    std::string text = JsonOut(v, false);
    EXPECT_EQ(1u, std::count(text.begin(), text.end(), '\n'));
    EXPECT_EQ(v, parse(text));
}

TEST(JsonOut, PrettyFormKeepsOrderAndUtf8) {
    Json::Value v = parse(R"({"b": "Код \u0001", "a": 1})");
    std::string text = JsonOut(v, true);
    EXPECT_LT(text.find("\"a\""), text.find("\"b\""));
    EXPECT_NE(std::string::npos, text.find("\"Код \\u0001\""));
    EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_EQ(v, parse(text));
}

TEST(Jval2Str, ConvertsEachTypeAsDocumented) {
    struct Case {
        const char* json;
        const char* text;
    } cases[] = {
        {"5", "5"},
        {"-7", "-7"},
        {"2.5", "2.500000"},
        {"12.0", "12"},
        {"3000000000", "3000000000.000000"},
        {"true", ""},
        {"\"\"", ""},
        {"\"abc\"", "abc"},
        {"null", ""},
        {"[1]", ""},
        {"{\"a\":1}", ""},
    };
    for (const auto& c : cases) {
        Json::Value v = parse(std::string("[") + c.json + "]")[0];
        EXPECT_EQ(c.text, Jval2Str(v)) << c.json;
    }
}

TEST(Jval2Int, ConvertsEachTypeAsDocumented) {
    struct Case {
        const char* json;
        int value;
    } cases[] = {
        {"\"12abc\"", 12}, {"7.9", 7},  {"-7.9", -7},         {"{}", 0},
        {"[]", 0},         {"null", 0}, {"true", 0},          {"\"abc\"", 0},
        {"\" -5\"", -5},   {"42", 42},  {"1e20", 2147483647}, {"\"99999999999\"", 2147483647},
    };
    for (const auto& c : cases) {
        Json::Value v = parse(std::string("[") + c.json + "]")[0];
        EXPECT_EQ(c.value, Jval2Int(v)) << c.json;
    }
}

TEST(JvalAsDouble, ConvertsEachTypeAsDocumented) {
    struct Case {
        const char* json;
        double value;
    } cases[] = {
        {"\"3.5\"", 3.5}, {"\"\"", 0},      {"[1]", 0},
        {"2", 2},         {"-0.25", -0.25}, {"true", 0},
        {"null", 0},      {"\"x\"", 0},     {"\"50.5kg\"", 50.5},
    };
    for (const auto& c : cases) {
        Json::Value v = parse(std::string("[") + c.json + "]")[0];
        EXPECT_DOUBLE_EQ(c.value, JvalAsDouble(v)) << c.json;
    }
}

TEST(ReadJsonConfFile, ReadsCommentsAndReportsBrokenFiles) {
    testsupport::TempDir dir;
    Json::Value v;
    std::string good =
        dir.write("good.conf", "// station\n{ \"Port\": 7000, /* x */ \"Host\": \"h\" }\n");
    EXPECT_TRUE(readJsonConfFile(good.c_str(), v));
    EXPECT_EQ(7000, v["Port"].asInt());
    EXPECT_EQ("h", v["Host"].asString());

    jsonRuntimeError.clear();
    std::string bad = dir.write("bad.conf", "{ \"Port\": 7000\n");
    EXPECT_FALSE(readJsonConfFile(bad.c_str(), v));
    EXPECT_FALSE(jsonRuntimeError.empty());

    jsonRuntimeError.clear();
    EXPECT_FALSE(readJsonConfFile(dir.file("missing.conf").c_str(), v));
    EXPECT_FALSE(jsonRuntimeError.empty());

    Json::Value untouched("keep");
    EXPECT_FALSE(readJsonConfFile(nullptr, untouched));
    EXPECT_EQ("keep", untouched.asString());
}

TEST(ParseJsonRequest, AcceptsCommentsAndIgnoresTextAfterTheValue) {
    Json::Value v;
    EXPECT_TRUE(parseJsonRequest("/* c */ {\"Connect\": {}} {\"End\": {}}\n", v));
    EXPECT_TRUE(v.isMember("Connect"));
    EXPECT_FALSE(v.isMember("End"));
    EXPECT_FALSE(parseJsonRequest("not json", v));
    EXPECT_FALSE(parseJsonRequest("{\"a\": }", v));
}

TEST(FileExists, IsTrueOnlyForReadableFiles) {
    testsupport::TempDir dir;
    EXPECT_TRUE(FileExists(dir.write("f", "x").c_str()));
    EXPECT_FALSE(FileExists(dir.file("none").c_str()));
    EXPECT_FALSE(FileExists(nullptr));
}
