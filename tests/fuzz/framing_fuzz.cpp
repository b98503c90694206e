// Fuzz target: the request framing and envelope of a session. The input is
// a byte stream; it is cut into receives (sizes taken from the stream's
// first byte) and fed to the framer as a session does, every document found
// is read as a request envelope, and every answer is written as a reply
// line. The documents found must not depend on how the stream was cut,
// unless something in it was answered as malformed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/json_util.h"
#include "server/envelope.h"
#include "server/framing.h"
#include "server/server.h"
#include "tests/fuzz/fuzz_runner.h"

namespace {

struct Cut {
    std::vector<std::string> documents;
    bool malformed = false;
};

void check(bool ok) {
    if (!ok) abort();
}

void answer(const Frame& frame) {
    if (frame.kind == Frame::Malformed) {
        envelopeErrorReply(EnvelopeError::BadFormat);
        return;
    }
    Json::Value request;
    EnvelopeError error;
    Json::Value* commands = commandObjectOf(frame.text, *pRun, request, error);
    if (commands == nullptr) {
        check(!envelopeErrorReply(error).empty());
        return;
    }
    const std::string line = replyLine(*commands, pRun->useJsonRoot(), pRun->JsonRoot());
    check(!line.empty() && line.back() == '\n' && line.find('\n') == line.size() - 1);
}

void drain(RequestFramer& framer, Cut& cut) {
    Frame frame;
    while (framer.next(frame)) {
        answer(frame);
        if (frame.kind == Frame::Malformed) {
            cut.malformed = true;
        } else {
            check(!frame.text.empty() && frame.text.size() <= RequestFramer::kMaxRequest);
            cut.documents.push_back(frame.text);
        }
    }
}

// Feeds the stream in receives of at most `chunk` bytes (0: all at once),
// then as a client that went quiet.
Cut feed(const uint8_t* data, size_t size, size_t chunk) {
    RequestFramer framer;
    Cut cut;
    const char* bytes = reinterpret_cast<const char*>(data);
    for (size_t at = 0; at < size;) {
        const size_t n = chunk == 0 ? size - at : std::min(chunk, size - at);
        framer.feed(bytes + at, n);
        drain(framer, cut);
        at += n;
    }
    framer.expire();
    drain(framer, cut);
    check(!framer.pending());
    return cut;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::useRunner(fuzzsupport::RunnerState::CrmUnreachable);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t chunk = 1 + data[0] % 16;
    Cut whole = feed(data + 1, size - 1, 0);
    Cut pieces = feed(data + 1, size - 1, chunk);
    if (!whole.malformed && !pieces.malformed) check(whole.documents == pieces.documents);
    return 0;
}
