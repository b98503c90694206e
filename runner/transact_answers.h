// What the loyalty transactions (purchase, hold, release) answer alike: the
// texts they share, the reply before the call, the texts of a failed
// attempt, the offline answer from the stored request, and the lookup in a
// table of the CRM's codes. (The runner's transactAnswered and
// transactAttemptFailed, defined with them, move its flags as well.)
#pragma once

#include <json/json.h>

#include <cstddef>
#include <string>

class zelvanCardInfo;
namespace hold {
class PointsOutput;
}

extern const char kSuccessText[];       // the CRM's code 0
extern const char kSavedOfflineText[];  // accepted offline although the CRM answered
// Apologies of an operation accepted offline: points credited later, and
// the same because there is no link.
extern const char kLaterInfo[];
extern const char kNoLinkInfo[];

// The reply before the first attempt of a call: "err" "-1" and "errMsg"
// "Отсутствует соединение"; and the operation's waiting line in the log.
void awaitingReply(Json::Value& reply, const char* waitingLine);

// The row of `code` in a table of the CRM's codes; `other` when it has none.
template <class Row, size_t N>
const Row& codeRow(const Row (&table)[N], int code, const Row& other) {
    for (const Row& row : table)
        if (row.code == code) return row;
    return other;
}

// The answer of a failed attempt for one kind of failure: "errMsg" while the
// operation is not accepted (null: left as it is), and "errMsg" and
// "InfoMsg" when it is accepted offline.
struct FailureTexts {
    const char* refused;
    const char* accepted;
    const char* info;
};
// The texts for a failure of the service and, after them, for no connection.
struct FailureAnswer {
    FailureTexts service;
    FailureTexts noLink;
};
// The operations that spend points (purchase, hold): accepted offline when
// they spend none, else the cashier repeats the payment or cancels the
// redemption.
extern const FailureAnswer kSpendingFailure;

// The command `name` of the request stored on the card, when the stored text
// parses and that command is its first member (members in name order): true,
// and `params` its value when that is an object (else left alone).
bool storedCommand(const zelvanCardInfo* card, const char* name, Json::Value& params);

// The texts of an offline answer from the stored request.
struct OfflineTexts {
    const char* command;   // the command the stored request must begin with
    const char* accepted;  // "errMsg" when it does
    const char* info;      // "InfoMsg" then
    const char* logTitle;  // the log line then, before the stored text in quotes
    const char* noCard;    // "errMsg" without a current card
    const char* unusable;  // "errMsg" when the stored request does not do
};
// The texts of the operations that spend points (purchase, hold), whose
// stored request begins with `command`.
OfflineTexts savedOfflineTexts(const char* command);
// The answer of an operation in offline mode, without the CRM: the stored
// command's parameters with "Offline" "1" and "err" the result as text: 0
// ("Status" "A") from a usable stored request, else 1 without a card and 4
// with one ("Status" "R"); the card's QR and contact fields. Returns the
// result.
int offlineAnswer(Json::Value& reply, const zelvanCardInfo* card, const OfflineTexts& texts);

// The members of a hold or release reply: card number and balances, each
// when the CRM sent it non-empty.
void putPointsReply(Json::Value& reply, const hold::PointsOutput& r);
