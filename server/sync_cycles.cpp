// The batch cycles of the background worker: the offline batch and one task
// batch, each collected, built, sent, released on delivery and ended with its
// temporary table dropped; and that ending, which "Flush" shares. The caller
// holds the server lock for the whole cycle, so that a worker cycle and a
// client's "Flush" never work on the same temporary table at once.
#include "common/json_util.h"
#include "common/log.h"
#include "server/background.h"
#include "server/server.h"

namespace {

void logLine(const std::string& msg) {
    log(msg, LOG_STREAM, logConsole());
}

void logBoth(const std::string& msg) {
    log(msg, LOG_STREAM, logConsole());
    log(msg, ERR_STREAM, logConsole());
}

// What tells the two kinds of cycle apart in their log lines.
struct CycleTexts {
    const char* delivered;  // after the CRM received the batch
    const char* finished;   // the cycle's last line
};
const CycleTexts kOfflineTexts = {"Синхронизация offlinе данных успешна",
                                  "Завершение проверки offline данных синхронизации"};
const CycleTexts kTaskTexts = {"Синхронизация данных за день успешна",
                               "Завершение проверки данных синхронизации за день"};

// The cycle after its collection, whose result is `collected`.
int sendCollected(int collected, storage::FlushOrderList& set, const storage::TaskSync* task) {
    const bool taskBatch = task != nullptr;
    const CycleTexts& texts = taskBatch ? kTaskTexts : kOfflineTexts;
    int rc = collected;
    if (rc != 0) {
        logBoth("Ошибка получения данных синхронизации");
    } else if (set.empty()) {
        logLine("Данные для синхронизации отсутствуют");
        endBatchCycle(task, true);
        logLine(texts.finished);
        return -2;
    } else if ((rc = pRun->genServiceBatchRequest(&set, taskBatch)) != 0) {
        logBoth("Ошибка формирования данных синхронизации [ err: " + std::to_string(rc) + "]");
    } else {
        Json::Value reply(Json::objectValue);
        reply["Flush"]["err"] = "-1";
        rc = pRun->runBatchInfo(reply["Flush"], taskBatch);
        if (rc != 0)
            logBoth("Ошибка синхронизации данных [ err : " + std::to_string(rc) +
                    "] : " + Jval2Str(reply["Flush"]["errMsg"]));
        else
            logLine(texts.delivered);
    }
    endBatchCycle(task, rc == 0);
    logLine(texts.finished);
    return rc;
}

}  // namespace

void endBatchCycle(const storage::TaskSync* task, bool delivered) {
    storage::zelvanDb& db = pRun->Storage();
    const bool taskBatch = task != nullptr && task->Id() != nullptr;
    if (delivered) {
        if (taskBatch)
            db.releaseDaySyncTask(task);
        else
            db.releaseOfflineSyncTask();
    }
    pRun->clearBatchInfo();
    if (taskBatch)
        db.clearDaySyncTemp();
    else
        db.clearOfflineSyncTemp();
}

int backgoundOfflineSync(storage::FlushOrderList* set) {
    if (set == nullptr) return 7;
    logLine("Проверка offline данных синхронизации ");
    return sendCollected(pRun->Storage().getOfflineOrders(set), *set, nullptr);
}

int backgoundDaySync(storage::FlushOrderList* set, storage::TaskSync* task) {
    if (set == nullptr || task == nullptr) return 7;
    if (task->Id() == nullptr) {
        logLine("Отсутствует задание синхронизации за день");
        return 12;
    }
    const char* batch = task->getBatchId();
    logLine(
        std::string("Проверка данных синхронизации за день [") +
        (batch != nullptr ? std::string("BatchID : ") + batch : std::string("ID : ") + task->Id()) +
        "]");
    if (task->getDate() == nullptr && task->getShift() == nullptr) {
        // Nothing can ever be collected for a task without day and shift:
        // it leaves the queue instead of stopping every later pass.
        logBoth("Ошибка получения данных синхронизации");
        pRun->Storage().releaseDaySyncTask(task);
        logLine("Завершение проверки данных синхронизации за день");
        return 7;
    }
    return sendCollected(pRun->Storage().getDaySyncOrders(set, task), *set, task);
}
