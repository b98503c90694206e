// Fuzz target: a parsed request run through the dispatch table as a
// session runs it, with the runner not initialised (ZELVAN_FUZZ_CRM 0) or
// started against a CRM that refuses every connection (ZELVAN_FUZZ_CRM 1).
// The input is either the text of a whole command object (it begins with
// "{"), or one byte that picks a command from the table of command names
// (or a name outside it) followed by the text of its parameters. Every
// command the table knows is reached, those added later too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/commands.h"
#include "common/json_util.h"
#include "server/commands.h"
#include "server/envelope.h"
#include "server/server.h"
#include "tests/fuzz/fuzz_runner.h"

namespace {

const size_t kNames = sizeof(cmdTable) / sizeof(cmdTable[0]);

// The parameters: the JSON value of the text, else the text itself.
Json::Value parameters(const std::string& text) {
    Json::Value value;
    try {
        if (parseJsonRequest(text, value)) return value;
    } catch (const std::exception&) {
        // nested too deeply: taken as text
    }
    return Json::Value(text);
}

bool commandObject(const std::string& input, Json::Value& commands) {
    if (input[0] == '{') {
        try {
            return parseJsonRequest(input, commands) && commands.isObject();
        } catch (const std::exception&) {
            return false;
        }
    }
    const size_t pick = static_cast<unsigned char>(input[0]) % (kNames + 1);
    const std::string name = pick < kNames ? cmdTable[pick].name : "Fuzz";
    commands = Json::Value(Json::objectValue);
    commands[name] = parameters(input.substr(1));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::useRunner(ZELVAN_FUZZ_CRM ? fuzzsupport::RunnerState::CrmUnreachable
                                           : fuzzsupport::RunnerState::NotInitialised);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The session hands on only requests that are UTF-8 text.
    Json::Value commands;
    if (input.empty() || !isRequestText(input) || !commandObject(input, commands)) return 0;
    Json::Value reply(Json::objectValue);
    for (const std::string& name : commands.getMemberNames()) {
        const CommandRow& row = commandRow(getCmdCode(name));
        std::string failure;
        dispatchCommand(row, commands, name, reply, failure);
        if (row.endsSession) break;
        const std::string line = replyLine(reply, true, "AZS");
        if (line.empty() || line.find('\n') != line.size() - 1) abort();
    }
    return 0;
}
