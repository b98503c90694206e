// "Flush" and "SyncTask". The session holds the server lock for the whole
// command, so a Flush's batch cycle (collect, send, release, drop the
// temporary table) never overlaps another one.
#include "server/handlers.h"
#include "server/server.h"

namespace {

// The "SyncTask" reply text of each result; any other result gets
// "Ошибка добавления задания синхронизации".
const struct {
    int rc;
    const char* text;
} kSyncTaskTexts[] = {
    {0, "Успешное добавление задания"},
    {7, "Ошибка выделения памяти"},
    {16, "Не заданы параметры задания"},
    {-1, "Отсутствует управляющий процесс"},
};

const char* syncTaskText(int rc) {
    for (const auto& t : kSyncTaskTexts)
        if (t.rc == rc) return t.text;
    return "Ошибка добавления задания синхронизации";
}

}  // namespace

void cmdFlush(Json::Value& commandObject, const std::string& name, Json::Value& reply) {
    storage::TaskSync task;
    task.Prior(5);
    pRun->clearBatchInfo();
    Json::Value& r = reply[name];
    r["err"] = "-1";
    const int rc = pRun->mkBatchRequest(commandObject[name], &task);
    // The batch is a task's when the request queued one.
    const bool taskBatch = task.Id() != nullptr;
    bool release = false;
    if (rc == -2) {
        r["err"] = "0";
        r["errMsg"] = "Нет данных для синхронизации";
        release = true;
    } else if (rc != 0) {
        r["errMsg"] = "Ошибка создания запроса";
    } else {
        release = pRun->runBatchInfo(r, taskBatch) == 0;
    }
    storage::zelvanDb& db = pRun->Storage();
    if (release) {
        if (taskBatch)
            db.releaseDaySyncTask(&task);
        else
            db.releaseOfflineSyncTask();
    }
    if (taskBatch)
        db.clearDaySyncTemp();
    else
        db.clearOfflineSyncTemp();
}

void cmdSyncTask(Json::Value& commandObject, const std::string& name, Json::Value& reply) {
    Json::Value& r = reply[name];
    r["err"] = "-1";
    const int rc = pRun->mkSyncTask(commandObject[name]);
    r["err"] = std::to_string(rc);
    r["errMsg"] = syncTaskText(rc);
}
