// Command-name table.
#include "common/commands.h"

#include <cstring>

const CmdName cmdTable[10] = {
    {"Connect", CMD_CONNECT},     {"CardInfo", CMD_CARDINFO},   {"PayBonus", CMD_PAYBONUS},
    {"PayReturn", CMD_PAYRETURN}, {"HoldBonus", CMD_HOLDBONUS}, {"HoldReturn", CMD_HOLDRETURN},
    {"Undo", CMD_UNDO},           {"Flush", CMD_FLUSH},         {"End", CMD_END},
    {"SyncTask", CMD_SYNCTASK},
};

int getCmdCode(const char* name) {
    if (name == nullptr) return CMD_UNKNOWN;
    for (const CmdName& c : cmdTable)
        if (strcmp(c.name, name) == 0) return c.code;
    return CMD_UNKNOWN;
}

int getCmdCode(const std::string& name) {
    // A name with an embedded zero byte is not a command name.
    if (name.empty() || name.find('\0') != std::string::npos) return CMD_UNKNOWN;
    return getCmdCode(name.c_str());
}
