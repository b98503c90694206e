// The POS command names and their codes. The journal's operation type is the
// command code.
#pragma once

#include <string>

enum CmdCode {
    CMD_UNKNOWN = -1,
    CMD_CONNECT = 1,
    CMD_CARDINFO = 2,
    CMD_PAYBONUS = 3,
    CMD_PAYRETURN = 4,
    CMD_HOLDBONUS = 5,
    CMD_HOLDRETURN = 6,
    CMD_UNDO = 7,
    CMD_FLUSH = 8,
    CMD_END = 9,
    CMD_SYNCTASK = 10,
};

struct CmdName {
    const char* name;
    CmdCode code;
};

// Every known command, in code order.
extern const CmdName cmdTable[10];

// Exact, case-sensitive, whole-name lookup; -1 for anything else.
int getCmdCode(const char* name);
int getCmdCode(const std::string& name);
