// The background synchronisation worker (background.cpp) and the batch
// cycles it runs (sync_cycles.cpp), whose ending "Flush" shares.
#pragma once

#include "storage/flushorder.h"
#include "storage/tasksync.h"

// The worker thread: started once after the listening socket, it queues the
// daily synchronisation tasks, sends the offline batch and then the queued
// tasks, at start and once per interval, and between intervals restores a
// lost CRM connection. The argument is not used. It takes the server lock
// for each of its steps (a whole batch cycle, the daily tasks, a connection
// check) and never while it sleeps.
void* ServerBackground(void* arg);
// Wakes the worker from its sleep; the stop handler calls it after setting
// force_exit, so that the worker ends instead of starting another step.
void stopBackground();

// When the worker wakes: a full run every `interval` seconds of sleep and a
// wake (with a connection check while the CRM is unreachable) at most
// `tick` seconds apart, so that every interval ends exactly on a wake.
class BackgroundSchedule {
  public:
    // Interval: the flush period when above 0, else the check period when
    // above 0, else 300 with daily synchronisation on, else 0 (disabled).
    // Tick: the check period when above 0 and below the interval, else the
    // interval.
    BackgroundSchedule(int flushPeriod, int checkPeriod, bool autosyncDaily);

    bool enabled() const { return interval_ > 0; }
    int interval() const { return interval_; }
    int tick() const { return tick_; }
    // Seconds of the next sleep.
    int nextSleep() const { return sleep_; }
    // Counts the next sleep as slept; true when it completes an interval,
    // that is, when this wake is a full run.
    bool slept();

  private:
    int interval_ = 0;
    int tick_ = 0;
    int elapsed_ = 0;
    int sleep_ = 0;
};

// One offline batch cycle (the caller holds the server lock): collect
// OFFLINE, build, send, on delivery release the rows, drop the temporary
// table. 7 without a set, -2 nothing to send (the empty batch is released),
// else the code of the last step (0: delivered).
int backgoundOfflineSync(storage::FlushOrderList* set);
// One task batch cycle for `task` (the caller holds the server lock): on
// delivery, or with nothing to send, the task leaves the queue. 7 without a
// set or task, 12 for a task without Id, -2 nothing to send, else the code
// of the last step (0: delivered).
int backgoundDaySync(storage::FlushOrderList* set, storage::TaskSync* task);

// The end of every batch cycle, the worker's and "Flush"'s: when the CRM
// received the batch (or it was empty) the set is released (the task
// deleted; for the offline batch, `task` null or without Id, the rows leave
// OFFLINE); in every case the batch request is freed and the temporary
// table dropped.
void endBatchCycle(const storage::TaskSync* task, bool delivered);
