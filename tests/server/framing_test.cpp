// Request framing: where documents of the byte stream begin and end.
#include "server/framing.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Frames = std::vector<std::pair<Frame::Kind, std::string>>;
const Frame::Kind D = Frame::Document;
const Frame::Kind M = Frame::Malformed;

Frames cut(const std::vector<std::string>& chunks, bool expire) {
    RequestFramer framer;
    Frames out;
    Frame f;
    for (const std::string& c : chunks) {
        framer.feed(c.data(), c.size());
        while (framer.next(f)) out.emplace_back(f.kind, f.text);
    }
    if (expire) framer.expire();
    while (framer.next(f)) out.emplace_back(f.kind, f.text);
    return out;
}

struct FramingCase {
    const char* name;
    std::vector<std::string> chunks;  // one receive each
    bool expire;                      // the client then goes idle
    Frames frames;
};

const FramingCase framingCases[] = {
    {"one object", {"{\"a\":1}\n"}, false, {{D, "{\"a\":1}"}}},
    {"split over two receives",
     {"{\"AZS\":{\"Con", "nect\":{}}}"},
     false,
     {{D, "{\"AZS\":{\"Connect\":{}}}"}}},
    {"split byte by byte", {"{", "\"", "a", "\"", ":", "[", "]", "}"}, false, {{D, "{\"a\":[]}"}}},
    {"back to back",
     {"{\"a\":1}{\"b\":2}\n[3]"},
     false,
     {{D, "{\"a\":1}"}, {D, "{\"b\":2}"}, {D, "[3]"}}},
    {"brackets inside strings",
     {"{\"a\":\"}{][\\\"}\"} {}"},
     false,
     {{D, "{\"a\":\"}{][\\\"}\"}"}, {D, "{}"}}},
    {"escaped backslash ends the string", {"{\"a\":\"\\\\\"}"}, false, {{D, "{\"a\":\"\\\\\"}"}}},
    {"comments between and inside documents",
     {"// {\n/* { */ {\"a\": /* } */ 1 // }\n}"},
     false,
     {{D, "{\"a\": /* } */ 1 // }\n}"}}},
    {"zero bytes and white space are skipped",
     {std::string("\0\r\n\t {}\0", 8)},
     false,
     {{D, "{}"}}},
    {"garbage up to the newline",
     {"hello {x}\n{\"a\":1}"},
     false,
     {{M, "hello {x}"}, {D, "{\"a\":1}"}}},
    {"garbage without a newline takes the whole receive",
     {"xyz{\"a\":1}", "{}"},
     false,
     {{M, "xyz{\"a\":1}"}, {D, "{}"}}},
    {"a slash that starts no comment", {"/x\n{}"}, false, {{M, "/x"}, {D, "{}"}}},
    {"a bare number waits for its delimiter", {"12", "34", " "}, false, {{D, "1234"}}},
    {"a bare number is complete after the idle time", {"12"}, true, {{D, "12"}}},
    {"a delimiter ends a literal", {"true{}"}, false, {{D, "true"}, {D, "{}"}}},
    {"a top-level string", {"\"a{b\""}, false, {{D, "\"a{b\""}}},
    {"an unfinished object is malformed after the idle time", {"{\"a\":"}, true, {{M, "{\"a\":"}}},
    {"an unfinished comment ends silently after the idle time", {"/* {"}, true, {}},
    {"an unfinished comment then a document", {"/* {", " */{}"}, false, {{D, "{}"}}},
    {"a mismatched bracket ends the document", {"{\"a\":1]"}, false, {{D, "{\"a\":1]"}}},
};

TEST(RequestFramer, CutsTheStreamIntoDocuments) {
    for (const FramingCase& c : framingCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.frames, cut(c.chunks, c.expire));
    }
}

TEST(RequestFramer, ReportsWhatIsPending) {
    RequestFramer framer;
    EXPECT_FALSE(framer.pending());
    framer.feed("{\"a\"", 4);
    EXPECT_TRUE(framer.pending());
    framer.feed(":1}", 3);
    EXPECT_FALSE(framer.pending());
    framer.feed("// note", 7);
    EXPECT_TRUE(framer.pending());
    framer.expire();
    EXPECT_FALSE(framer.pending());
}

// A document of `size` bytes: {"a":"xxx..."}.
std::string documentOfSize(size_t size) {
    return "{\"a\":\"" + std::string(size - 8, 'x') + "\"}";
}

TEST(RequestFramer, KeepsARequestOfTheLimitWhole) {
    std::string doc = documentOfSize(RequestFramer::kMaxRequest);
    Frames frames = cut({doc.substr(0, 1000), doc.substr(1000)}, false);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(D, frames[0].first);
    EXPECT_EQ(doc, frames[0].second);
}

TEST(RequestFramer, AnswersARequestOneByteOverTheLimitAsMalformed) {
    std::string doc = documentOfSize(RequestFramer::kMaxRequest + 1);
    Frames frames = cut({doc + "{}"}, false);
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(M, frames[0].first);
    EXPECT_EQ(doc, frames[0].second);
    EXPECT_EQ(std::make_pair(D, std::string("{}")), frames[1]);
}

TEST(RequestFramer, AnswersAnOversizedRequestOnceAndSkipsToItsEnd) {
    std::string doc = documentOfSize(RequestFramer::kMaxRequest + 1);
    // Braces and quotes inside the skipped part still count.
    doc.insert(10, "\\\"}}");
    Frames frames = cut({doc.substr(0, 300000), doc.substr(300000) + "{\"b\":2}"}, false);
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(M, frames[0].first);
    EXPECT_EQ(RequestFramer::kMaxRequest + 1, frames[0].second.size());
    EXPECT_EQ(std::make_pair(D, std::string("{\"b\":2}")), frames[1]);
}

TEST(RequestFramer, SkipsAnOversizedBareNumberToItsDelimiter) {
    std::string number(RequestFramer::kMaxRequest + 10, '7');
    Frames frames = cut({number + "{}"}, false);
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(M, frames[0].first);
    EXPECT_EQ(std::make_pair(D, std::string("{}")), frames[1]);
}

}  // namespace
