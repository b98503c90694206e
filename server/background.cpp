// The background synchronisation worker: its schedule, the daily
// synchronisation tasks, the task pass and the thread that runs them at
// start and then once per interval, restoring a lost CRM connection between
// intervals. Each step that uses the runner or the journal holds the server
// lock from start to end, and the worker checks for a stop under that lock
// before each step; it sleeps without the lock, on a condition variable the
// stop handler wakes.
#include "server/background.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <string>

#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "server/handlers.h"
#include "server/server.h"
#include "storage/schema.h"

namespace {

const int kDaySeconds = 86400;

std::mutex wakeMutex;
std::condition_variable wakeUp;

// The worker's own lines carry its thread prefix.
void logSync(const std::string& msg) {
    log(threadPrefix() + msg, LOG_STREAM, logConsole());
}

void logLine(const std::string& msg) {
    log(msg, LOG_STREAM, logConsole());
}

// Sleeps `seconds` (a wake that is not the stop's does not shorten it);
// false when the server is stopping.
bool sleepUnlessStopped(int seconds) {
    std::unique_lock<std::mutex> lock(wakeMutex);
    return !wakeUp.wait_for(lock, std::chrono::seconds(seconds), [] { return force_exit != 0; });
}

// Runs `step` under the server lock unless the server is stopping; false
// when it is (the stop then ends the process while it holds the lock).
template <class Step>
bool locked(Step step) {
    ServerLock lock;
    if (force_exit != 0) return false;
    step();
    return true;
}

bool network() {
    return pRun->NetStatus();
}

// A stored day that names a real date, as YYYYMMDD.
bool isDay(const std::string& day) {
    if (day.size() != 8) return false;
    const time_t start = str2daysecs(day.c_str());
    return start != -1 && time2DayStr(&start) == day;
}

// The automatic daily tasks: every day that is over, with the delay after
// it, is queued once as a task of its own, from the day after the last one
// queued (STATES lastdatesync) up to yesterday.
class DailyTasks {
  public:
    void run() {
        if (!pRun->isAutosyncDailyEnabled()) return;
        if (!ready_) start();
        const time_t now = time(nullptr) - pRun->AutosyncDelay();
        logSync("[SYNC TASK] Проверка на наличие автоматических заданий сверки за день");
        while (lastDay_ < now - kDaySeconds) {
            logLine("Автоматическое добавление задания синхронизации данных за день");
            Json::Value request(Json::objectValue);
            request["SyncTask"]["Date"] = day_;
            std::string shown = JsonOut(request, false);
            if (!shown.empty() && shown.back() == '\n') shown.pop_back();
            logLine("Добавление задания автосверки : " + shown);
            logSync(syncTaskText(pRun->mkSyncTask(request["SyncTask"])));
            // The day advances whether or not its task was queued.
            lastDay_ += kDaySeconds;
            store(time2DayStr(&lastDay_));
        }
    }

  private:
    // The last day from the journal; a missing or unreadable value is today.
    void start() {
        storage::PairValue pair;
        pRun->Storage().getStatesVal(storage::schema::kStateLastDateSync, &pair);
        const std::string stored = pair.value() != nullptr ? pair.value() : "";
        if (isDay(stored)) {
            day_ = stored;
            pRun->AutosyncLastDayStr(day_.c_str());
        } else {
            store(now2DayStr());
        }
        lastDay_ = str2daysecs(day_.c_str());
        ready_ = true;
    }

    void store(const std::string& day) {
        day_ = day;
        storage::PairValue pair;
        pair.set_name(storage::schema::kStateLastDateSync);
        pair.set_value(day_);
        pRun->Storage().setStatesVal(pair);
        pRun->AutosyncLastDayStr(day_.c_str());
    }

    bool ready_ = false;
    std::string day_;     // lastdatesync
    time_t lastDay_ = 0;  // its start, in seconds
};

class Worker {
  public:
    void run() {
        if (pRun == nullptr) throw zelvanException("Не проинициализирован объект ZelvanCRM");
        const BackgroundSchedule schedule(pRun->getFlushTimeout(), pRun->getOfflineCheckTimeout(),
                                          pRun->isAutosyncDailyEnabled());
        const std::string start = "[SYNC PROC] Процесс проверки offline данных в Background : ";
        if (!schedule.enabled()) {
            logSync(start + "Отключен");
            return;
        }
        logSync(start + "Запущен (Интервал проверки: " + std::to_string(schedule.interval()) +
                " сек.)");
        if (startUpRun()) loop(schedule);
    }

  private:
    // False from each step when the server is stopping.
    bool daily() {
        return locked([this] { daily_.run(); });
    }

    bool offline() {
        set_.release();
        const bool running = locked([this] { backgoundOfflineSync(&set_); });
        set_.release();
        return running;
    }

    bool checkConnection() {
        return locked([] {
            Json::Value discarded;
            pRun->runConnInfoOnce(discarded);
        });
    }

    // The queued tasks, lowest priority first, then oldest, each in a cycle
    // of its own; a task whose cycle failed stays queued and ends the pass,
    // and so does a lost network (logged in a full run).
    bool taskPass(bool fullRun) {
        bool running = true;
        std::string previous;
        while (running) {
            int rc = 0;
            bool sent = false;
            running = locked([&] {
                task_.release();
                set_.release();
                if (pRun->Storage().getNextSyncTask(&task_) != 0 || task_.Id() == nullptr) return;
                // A task whose deletion failed is not sent again in the same pass.
                if (previous == task_.Id()) return;
                previous = task_.Id();
                rc = backgoundDaySync(&set_, &task_);
                sent = true;
            });
            if (!running || !sent) break;
            if (!network()) {
                if (fullRun) logSync("[SYNC PROC] Нет связи");
                break;
            }
            if (rc != 0 && rc != -2) break;
        }
        task_.release();
        set_.release();
        return running;
    }

    bool startUpRun() {
        if (!daily()) return false;
        if (!network()) return true;
        logSync("[SYNC PROC] Проверка на наличие не переданых данных");
        if (!offline()) return false;
        return !network() || taskPass(false);
    }

    void loop(BackgroundSchedule schedule) {
        while (force_exit == 0 && sleepUnlessStopped(schedule.nextSleep())) {
            const bool fullRun = schedule.slept();
            if (fullRun) {
                logSync("[SYNC PROC] Сервер инициализировал проверку в Background");
                if (!daily()) return;
            }
            if (!network()) {
                logSync("[SYNC PROC] Восстановление сетевого соединения");
                if (!checkConnection()) return;
                if (network()) logSync("[SYNC PROC] Cоединение восстановлено");
            }
            if (!network()) {
                logSync("[SYNC PROC] Нет связи");
                if (fullRun) logSync("[SYNC PROC] Сервер завершил проверку в Background");
                continue;
            }
            if (!fullRun) continue;
            if (!offline()) return;
            if (!network()) {
                logSync("[SYNC PROC] Нет связи");
            } else if (!taskPass(true)) {
                return;
            }
            logSync("[SYNC PROC] Сервер завершил проверку в Background");
        }
    }

    DailyTasks daily_;
    storage::TaskSync task_;
    storage::FlushOrderList set_;
};

}  // namespace

BackgroundSchedule::BackgroundSchedule(int flushPeriod, int checkPeriod, bool autosyncDaily) {
    if (flushPeriod > 0)
        interval_ = flushPeriod;
    else if (checkPeriod > 0)
        interval_ = checkPeriod;
    else
        interval_ = autosyncDaily ? 300 : 0;
    tick_ = checkPeriod > 0 && checkPeriod < interval_ ? checkPeriod : interval_;
    sleep_ = tick_;
}

bool BackgroundSchedule::slept() {
    elapsed_ += sleep_;
    if (elapsed_ >= interval_) {
        elapsed_ = 0;
        sleep_ = tick_;
        return true;
    }
    sleep_ = std::min(tick_, interval_ - elapsed_);
    return false;
}

void stopBackground() {
    std::lock_guard<std::mutex> lock(wakeMutex);
    wakeUp.notify_all();
}

void* ServerBackground(void*) {
    pthread_detach(pthread_self());
    try {
        Worker().run();
    } catch (const std::exception& e) {
        // The worker ends; the server goes on serving its clients.
        log(e.what(), LOG_STREAM, logConsole());
        log(e.what(), ERR_STREAM, logConsole());
    }
    return nullptr;
}
