// The handlers of the dispatch table's commands, grouped by source file; the
// table itself is in commands.cpp. Each handler carries out one command's
// runner and journal steps under the server lock (see CommandHandler).
#pragma once

#include <json/json.h>

#include <string>

// The reply text of a request builder's failure: the card number or the QR
// code could not be used, or the request could not be built.
const char* requestErrorText(int rc);

// Purchases and reversals, journalled around their CRM call (purchase_cmds.cpp).
void cmdPayBonus(Json::Value& commandObject, const std::string& name, Json::Value& reply);
void cmdPayReturn(Json::Value& commandObject, const std::string& name, Json::Value& reply);
// Undo journals the reversal it sends itself.
void cmdUndo(Json::Value& commandObject, const std::string& name, Json::Value& reply);

// Synchronisation: "Flush" sends the offline batch, or the batch of a day
// and/or shift through a new task; "SyncTask" queues a task for the
// background worker (sync_cmds.cpp).
void cmdFlush(Json::Value& commandObject, const std::string& name, Json::Value& reply);
void cmdSyncTask(Json::Value& commandObject, const std::string& name, Json::Value& reply);
// The text of a result of queueing a task, as "SyncTask" answers it and the
// background worker logs it.
const char* syncTaskText(int rc);

// Holds and their release, not journalled (hold_cmds.cpp).
void cmdHoldBonus(Json::Value& commandObject, const std::string& name, Json::Value& reply);
void cmdHoldReturn(Json::Value& commandObject, const std::string& name, Json::Value& reply);
