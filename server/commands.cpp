// The dispatch table. The handlers of the CRM operations are filled in here,
// one row each, by the work that builds those operations.
#include "server/commands.h"

#include <exception>

#include "common/commands.h"
#include "server/envelope.h"
#include "server/handlers.h"
#include "server/server.h"

namespace {

const struct {
    int rc;
    const char* text;
} kRequestErrors[] = {
    {-99, "Ошибка чтения номера карты"},
    {-98, "Некорректный QR-код"},
};

// "End": the session closes without a reply; the runner's per-operation
// objects are released.
void cmdEnd(Json::Value&, const std::string&, Json::Value&) {
    pRun->clearConnInfo();
    pRun->clearCardInfo();
    pRun->clearHoldInfo();
    pRun->clearUnHoldInfo();
    pRun->clearOrderInfo();
    pRun->clearStornInfo();
}

// "Connect": the connection check; "err" is the check's result code as text
// (also when the CRM reported an error code of its own).
void cmdConnect(Json::Value&, const std::string& name, Json::Value& reply) {
    pRun->clearConnInfo();
    Json::Value& r = reply[name];
    r["err"] = "0";
    const int rc = pRun->runConnInfo(r);
    r["err"] = std::to_string(rc);
}

// "CardInfo": the card's state for the cheque being rung up.
void cmdCardInfo(Json::Value& commandObject, const std::string& name, Json::Value& reply) {
    Json::Value& r = reply[name];
    r["err"] = "-1";
    pRun->clearCardInfo();
    const int rc = pRun->mkCardRequest(commandObject[name]);
    if (rc == 0)
        pRun->runCardInfo(r);
    else
        r["errMsg"] = requestErrorText(rc);
}

}  // namespace

const char* requestErrorText(int rc) {
    for (const auto& e : kRequestErrors)
        if (e.rc == rc) return e.text;
    return "Ошибка создания запроса";
}

namespace {

void cmdUnknown(Json::Value&, const std::string& name, Json::Value& reply) {
    reply[name] = errorMember("-2", "Тип запроса неизвестен");
}

const CommandRow commandTable[] = {
    {CMD_CONNECT, "Запрос проверки соединения с сервером ZelvanCRM", cmdConnect, true, false},
    {CMD_CARDINFO, "Запрос на получение информации по карте", cmdCardInfo, true, false},
    // The third word begins with a Latin "c": the title is kept as written.
    {CMD_PAYBONUS, "Запрос на cписание/начисление бонусов", cmdPayBonus, true, false},
    {CMD_PAYRETURN, "Запрос на сторнирование покупки", cmdPayReturn, true, false},
    {CMD_HOLDBONUS, "Запрос холдирования бонусов", cmdHoldBonus, true, false},
    {CMD_HOLDRETURN, "Запрос на отмену холдирования бонусов", cmdHoldReturn, true, false},
    {CMD_UNDO, "Запрос на отмену операции", cmdUndo, true, false},
    {CMD_FLUSH, "Запрос на синхронизацию offline транзакций", cmdFlush, true, false},
    {CMD_END, "Инициализирована команда на закрытие сессии", cmdEnd, true, true},
    {CMD_SYNCTASK, "Запрос на добавление задания синхронизации данных", cmdSyncTask, true, false},
};

const CommandRow unknownCommand = {CMD_UNKNOWN, "Получен неизвестный запрос", cmdUnknown, false,
                                   false};

}  // namespace

const CommandRow& commandRow(int code) {
    for (const CommandRow& row : commandTable) {
        if (row.code == code) return row;
    }
    return unknownCommand;
}

void runCommand(const CommandRow& row, Json::Value& commandObject, const std::string& name,
                Json::Value& reply) {
    if (row.handler == nullptr) {
        reply[name] = errorMember("-1", "Ошибка создания запроса");
        return;
    }
    row.handler(commandObject, name, reply);
}

bool dispatchCommand(const CommandRow& row, Json::Value& commandObject, const std::string& name,
                     Json::Value& reply, std::string& failure) {
    try {
        if (row.locked) {
            ServerLock lock;
            runCommand(row, commandObject, name, reply);
        } else {
            runCommand(row, commandObject, name, reply);
        }
        return true;
    } catch (const std::exception& e) {
        failure = e.what();
        reply[name] = errorMember("-1", "Ошибка создания запроса");
        return false;
    }
}
