// The dispatch table of the client session: one row per command code with
// its log title and its handler.
#pragma once

#include <json/json.h>

#include <string>

// Carries out one command's runner and journal steps. `commandObject` is the
// whole command object of the request (a handler may rewrite it), its member
// `name` holds the command's parameters; the handler writes its reply into
// the member `name` of `reply`, the reply object of the request, which it may
// also read whole. The session holds the server lock around the call.
using CommandHandler = void (*)(Json::Value& commandObject, const std::string& name,
                                Json::Value& reply);

struct CommandRow {
    int code;                // command code (CmdCode); -1 for an unknown name
    const char* title;       // the log line written before the command is handled
    CommandHandler handler;  // null until the command's operation is built
    bool locked;             // the handler runs under the server lock
    bool endsSession;        // no reply; the session closes after the handler
};

// The row of a command code; the row of unknown commands for any other code.
const CommandRow& commandRow(int code);

// Runs the row's handler; a row without a handler answers that the request
// could not be built.
void runCommand(const CommandRow& row, Json::Value& commandObject, const std::string& name,
                Json::Value& reply);

// Handles one command as a session does: runCommand, under the server lock
// when the row says so. A handler that throws is answered as a request that
// could not be built; the exception's text is returned in `failure` (for the
// error log) and the result is false.
bool dispatchCommand(const CommandRow& row, Json::Value& commandObject, const std::string& name,
                     Json::Value& reply, std::string& failure);
