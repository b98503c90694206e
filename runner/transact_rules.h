// Request rules shared by the builders of the loyalty transactions (purchase,
// hold, release, reversal, undo): the offline request flag, the card number
// check, the card number and hash taken from the request or the current card,
// the client contact fields, the server's clock, and the CRM's date-time form.
#pragma once

#include <json/json.h>

#include <string>

class zelvanCardInfo;

// The text of a request member (lenient: "" when the request is not an object
// or the member is missing or not a text or number).
std::string memberText(const Json::Value& request, const char* name);
// The member itself; null when the request is not an object.
const Json::Value& memberOf(const Json::Value& request, const char* name);

// The JSON types a transaction request's members may have: texts are
// strings or numbers, numbers are numbers or numeric strings, "Check" is an
// array of line objects, "Transact" / "OrigTransact" objects; any member may
// be null or missing. Unknown members are not looked at.
enum class MemberKind { Text, Number, Lines, Object };
struct MemberRule {
    const char* name;
    MemberKind kind;
    const MemberRule* children = nullptr;  // Lines, Object: the rules of their members
    size_t childCount = 0;
};
template <size_t N>
constexpr MemberRule linesRule(const char* name, const MemberRule (&lines)[N]) {
    return {name, MemberKind::Lines, lines, N};
}
template <size_t N>
constexpr MemberRule objectRule(const char* name, const MemberRule (&members)[N]) {
    return {name, MemberKind::Object, members, N};
}
// The request builders' result for a request with members of wrong types.
constexpr int kBadRequest = -2;
// True when `request` is an object whose members have the types of `rules`.
bool wellTyped(const Json::Value& request, const MemberRule* rules, size_t count);
template <size_t N>
bool wellTyped(const Json::Value& request, const MemberRule (&rules)[N]) {
    return wellTyped(request, rules, N);
}

// True when a transaction request's members have their types: those every
// transaction has (card, contact fields, offline flag, cheque) and `rules`.
bool transactWellTyped(const Json::Value& request, const MemberRule* rules, size_t count);

// An "Offline" value that asks for offline handling: after upper-casing its
// ASCII letters it is "1" or "TRUE", or begins with "Y" or with the Cyrillic
// capital "Д" (so "да" in lower case is not one).
bool isOfflineYes(std::string value);

// "Y" when the flag upper-cased is "Y", else "N".
const char* yesNo(std::string flag);

// The client contact fields of the request onto the card: a non-empty "Email"
// and "TelNo" set the e-mail and phone and ask for an electronic receipt; a
// non-empty "EReceiptFlag" then decides it ("Y" or "N").
void takeContactFields(zelvanCardInfo& card, const Json::Value& request);
// The card's e-mail, phone and receipt flag, those that are set, into a reply
// (or a request being rewritten).
void putContactFields(Json::Value& obj, const zelvanCardInfo* card);
// The card number and QR text of a QR card, as replies show them.
void putQrCardFields(Json::Value& obj, const zelvanCardInfo* card);

// The correlation shared by purchases and holds, on the command's member:
// "CardNum" and "CardType" kept as "RequestCardNum" and "RequestCardType";
// with a current card, the contact fields taken and written back; for a card
// first identified by a QR code, "CardNum" and "CardType" replaced by the
// card's QR text and type.
void correlateCardFields(Json::Value& member, zelvanCardInfo* card);

// A non-empty "CardType" sets the card's type; a non-empty "CardNum" must be
// usable: -98 when it fails the QR-text check on a QR card, -99 when it fails
// it otherwise or is a plain card number longer than 20 characters; else 0.
int checkCardNumber(zelvanCardInfo& card, const Json::Value& request);

// The card number sent to the CRM: "CardNum", else the card's QR text (QR
// card) or number. A non-empty one becomes the card's number (for a QR code
// also its QR text, and the card number taken out of it when it holds one).
std::string takeCardNumber(zelvanCardInfo& card, const Json::Value& request);

// The card hash sent to the CRM: "Card", else the card's stored hash, else
// "HASH" followed by the card number; it becomes the card's hash.
std::string takeCardHash(zelvanCardInfo& card, const Json::Value& request);

// The order number of a transaction: "Transact"."ID", else "CheckNum" (""
// when neither is given); it becomes the card's cheque number, and a
// non-empty "CheckId" the card's cheque id.
std::string takeOrderNumber(zelvanCardInfo& card, const Json::Value& request);

// A local date-time of 14 digits (year first; shorter texts are padded with
// "0") in the CRM's form MM/DD/YYYY hh:mm:ss.
std::string crmDateTime(std::string dateTime);
// "DateTime" as the transactions read it: "" when it has 7 characters or
// fewer, else padded with "0" to 14 characters.
std::string paddedDateTime(const std::string& dateTime);

// One reading of a time: the time value (seconds since the epoch with six
// decimals) and the local and UTC date-times of its whole second.
struct ClockReading {
    std::string timeValue;
    std::string local;  // %Y%m%d%H%M%S
    std::string utc;    // %m/%d/%Y %H:%M:%S
};
// The server's clock now.
ClockReading readClock();
// The date-times of a time value's whole seconds (the current time when they
// are not a number); the time value is kept as given.
ClockReading clockAt(const std::string& timeValue);

// Copies a member the client filled (non-empty as text) to another name.
void keepAs(Json::Value& obj, const char* from, const char* to);
