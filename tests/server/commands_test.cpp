// The dispatch table: a row's title, and the answer of a row whose
// operation is not built yet.
#include "server/commands.h"

#include <gtest/gtest.h>

#include "common/commands.h"
#include "common/json_util.h"

namespace {

TEST(CommandRows, AnswerThatTheRequestCouldNotBeBuiltUntilTheirHandlerExists) {
    const CommandRow row{CMD_FLUSH, "title", nullptr, true, false};
    Json::Value commands;
    commands["Flush"] = Json::objectValue;
    Json::Value reply(Json::objectValue);
    runCommand(row, commands, "Flush", reply);
    EXPECT_EQ("{\"Flush\":{\"err\":\"-1\",\"errMsg\":\"Ошибка создания запроса\"}}\n",
              JsonOut(reply, false));
}

TEST(CommandRows, GiveUnknownNamesTheirOwnRowAndAnswer) {
    const CommandRow& row = commandRow(getCmdCode("connect"));
    EXPECT_STREQ("Получен неизвестный запрос", row.title);
    EXPECT_FALSE(row.locked);
    Json::Value commands;
    Json::Value reply(Json::objectValue);
    runCommand(row, commands, "connect", reply);
    EXPECT_EQ("{\"connect\":{\"err\":\"-2\",\"errMsg\":\"Тип запроса неизвестен\"}}\n",
              JsonOut(reply, false));
}

TEST(CommandRows, ExistForEveryCommandCodeAndOnlyEndClosesTheSession) {
    for (const CmdName& cmd : cmdTable) {
        const CommandRow& row = commandRow(cmd.code);
        EXPECT_EQ(cmd.code, row.code) << cmd.name;
        EXPECT_TRUE(row.locked) << cmd.name;
        EXPECT_EQ(cmd.code == CMD_END, row.endsSession) << cmd.name;
    }
}

}  // namespace
