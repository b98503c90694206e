// Request framing: a small incremental scanner that finds where each JSON
// document of the stream ends (string-aware, skipping white space, zero bytes
// and the // and /* */ comments the request reader allows). The document's
// text is parsed later by the session.
#include "server/framing.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
}

// Characters that can begin a JSON value for the request reader.
bool startsDocument(char c) {
    return c == '{' || c == '[' || c == '"' || c == '-' || (c >= '0' && c <= '9') || c == 't' ||
           c == 'f' || c == 'n';
}

// Characters that continue a bare number or literal (true, false, null).
bool continuesScalar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' ||
           c == '-' || c == '.';
}

}  // namespace

void RequestFramer::feed(const char* data, size_t n) {
    size_t i = 0;
    while (i < n) {
        if (mode_ == Mode::Between) {
            i = between(data, i, n);
            continue;
        }
        char c = data[i];
        if (scalar_ && !continuesScalar(c)) {
            // The delimiter ends a bare scalar and belongs to what follows.
            if (mode_ == Mode::Document)
                finish(Frame::Document);
            else
                reset();
            continue;
        }
        i++;
        if (mode_ == Mode::Document) text_ += c;
        bool ended = inDocument(c);
        if (mode_ == Mode::Document && text_.size() > kMaxRequest) {
            frames_.push_back({Frame::Malformed, std::move(text_)});
            text_.clear();
            mode_ = Mode::Oversize;
        }
        if (ended) {
            if (mode_ == Mode::Document)
                finish(Frame::Document);
            else
                reset();  // the end of an oversized request: already answered
        }
    }
}

// Skips what lies between documents; stops after the first byte of a
// document, or after answering garbage.
size_t RequestFramer::between(const char* data, size_t i, size_t n) {
    while (i < n) {
        char c = data[i];
        const bool afterSlash = comment_ == Comment::Slash;
        if (inComment(c)) {
            i++;
            continue;
        }
        if (!afterSlash) {  // a "/" that opened no comment starts garbage
            if (isBlank(c)) {
                i++;
                continue;
            }
            if (c == '/') {
                comment_ = Comment::Slash;
                i++;
                continue;
            }
            if (startsDocument(c)) {
                reset();
                mode_ = Mode::Document;
                depth_ = (c == '{' || c == '[') ? 1 : 0;
                inString_ = c == '"';
                scalar_ = !inString_ && depth_ == 0;
                text_ += c;
                return i + 1;
            }
        }
        // Garbage: answered at once and discarded up to the next newline, or
        // with every byte of this receive when there is none.
        size_t end = i;
        while (end < n && data[end] != '\n') end++;
        frames_.push_back(
            {Frame::Malformed, (afterSlash ? "/" : "") + std::string(data + i, end - i)});
        return end < n ? end + 1 : n;
    }
    return i;
}

// Advances the comment scanner by one byte; true when the byte belongs to a
// comment or opened one. A "/" followed by anything else leaves no comment
// and the byte is the caller's.
bool RequestFramer::inComment(char c) {
    switch (comment_) {
        case Comment::None:
            return false;
        case Comment::Line:
            if (c == '\n') comment_ = Comment::None;
            return true;
        case Comment::Block:
            if (c == '*') comment_ = Comment::BlockStar;
            return true;
        case Comment::BlockStar:
            comment_ = c == '/' ? Comment::None : c == '*' ? Comment::BlockStar : Comment::Block;
            return true;
        case Comment::Slash:
            comment_ = c == '/' ? Comment::Line : c == '*' ? Comment::Block : Comment::None;
            return comment_ != Comment::None;
    }
    return false;
}

// Follows the structure of a document; true when `c` closed it.
bool RequestFramer::inDocument(char c) {
    if (scalar_) return false;
    if (inString_) {
        if (escape_) {
            escape_ = false;
        } else if (c == '\\') {
            escape_ = true;
        } else if (c == '"') {
            inString_ = false;
            return depth_ == 0;
        }
        return false;
    }
    if (inComment(c)) return false;
    switch (c) {
        case '"':
            inString_ = true;
            break;
        case '{':
        case '[':
            depth_++;
            break;
        case '}':
        case ']':
            return --depth_ <= 0;
        case '/':
            comment_ = Comment::Slash;
            break;
        default:
            break;
    }
    return false;
}

bool RequestFramer::next(Frame& frame) {
    if (frames_.empty()) return false;
    frame = std::move(frames_.front());
    frames_.pop_front();
    return true;
}

bool RequestFramer::pending() const {
    return mode_ != Mode::Between || comment_ != Comment::None;
}

void RequestFramer::expire() {
    if (mode_ == Mode::Document) {
        finish(scalar_ ? Frame::Document : Frame::Malformed);
        return;
    }
    if (mode_ == Mode::Between && comment_ == Comment::Slash)
        frames_.push_back({Frame::Malformed, "/"});
    reset();  // an unfinished comment or the rest of an oversized request
}

void RequestFramer::finish(Frame::Kind kind) {
    frames_.push_back({kind, std::move(text_)});
    reset();
}

void RequestFramer::reset() {
    mode_ = Mode::Between;
    comment_ = Comment::None;
    text_.clear();
    depth_ = 0;
    inString_ = false;
    escape_ = false;
    scalar_ = false;
}
