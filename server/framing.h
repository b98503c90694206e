// Request framing: the byte stream of one client session cut into JSON
// documents. Bytes are buffered per session; every complete document is one
// request, in arrival order, so a request split over several receives is
// handled once and requests that arrive together are all handled.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

// What the framer found in the stream.
struct Frame {
    enum Kind {
        Document,   // the text of one complete JSON document, to be parsed
        Malformed,  // bytes that cannot be a request: answered as a bad format
    };
    Kind kind;
    std::string text;  // the document, or the discarded bytes (for the log)
};

class RequestFramer {
  public:
    // The largest request: a document that grows past it is answered as
    // malformed once and skipped up to its end.
    static const size_t kMaxRequest = 524288;

    // Takes the bytes of one receive and cuts out what is complete.
    void feed(const char* data, size_t n);
    // The next frame found, oldest first; false when there is none.
    bool next(Frame& frame);
    // True while an unfinished document (or comment) is buffered.
    bool pending() const;
    // No more bytes will come for the unfinished document (the client was
    // idle for a while, or closed): a bare scalar is taken as complete,
    // anything else unfinished is answered as malformed.
    void expire();

  private:
    enum class Mode { Between, Document, Oversize };
    enum class Comment { None, Slash, Line, Block, BlockStar };

    size_t between(const char* data, size_t i, size_t n);
    bool inComment(char c);   // true when c belongs to a comment
    bool inDocument(char c);  // true when c ended the document
    void finish(Frame::Kind kind);
    void reset();

    std::deque<Frame> frames_;
    Mode mode_ = Mode::Between;
    Comment comment_ = Comment::None;
    std::string text_;
    int depth_ = 0;
    bool inString_ = false;
    bool escape_ = false;
    bool scalar_ = false;
};
