// Card identity: identification types and their texts, the query buffer and
// the journal record held by the card.
#include "runner/cardinfo.h"

#include <cstring>

#include "common/json_util.h"
#include "storage/transactdb.h"

namespace {

// Request texts accepted for each identification type, compared exactly in
// this order; anything else is a plain card number.
const struct {
    const char* text;
    LoyCardNumberIdent ident;
} kRequestTexts[] = {
    {"CARD", LOY_IDENT_CARD}, {"Lumora", LOY_IDENT_CARD},         {"QR", LOY_IDENT_QR},
    {"QRCode", LOY_IDENT_QR}, {"LumoraMobile", LOY_IDENT_MOBILE}, {"VOV", LOY_IDENT_VOV},
};

// The card type sent to the CRM and the one written in replies.
const struct {
    LoyCardNumberIdent ident;
    const char* soapText;
    const char* replyText;
} kIdentTexts[] = {
    {LOY_IDENT_CARD, "Lumora", "CARD"},
    {LOY_IDENT_MOBILE, "LumoraMobile", "CARD"},
    {LOY_IDENT_QR, "QRCode", "QR"},
    {LOY_IDENT_VOV, "Lumora", "CARD"},
};

}  // namespace

zelvanCardInfo::zelvanCardInfo() = default;
zelvanCardInfo::~zelvanCardInfo() = default;

void zelvanCardInfo::_set_cardIdentTypeValue(const char* text, LoyCardNumberIdent& target) {
    target = LOY_IDENT_CARD;
    if (text == nullptr) return;
    for (const auto& row : kRequestTexts) {
        if (strcmp(row.text, text) == 0) {
            target = row.ident;
            return;
        }
    }
}

const char* zelvanCardInfo::_get_cardIdentTypeSoapStrValue(LoyCardNumberIdent ident) {
    for (const auto& row : kIdentTexts)
        if (row.ident == ident) return row.soapText;
    return kIdentTexts[0].soapText;
}

const char* zelvanCardInfo::_get_cardIdentTypeJsonStrValue(LoyCardNumberIdent ident) {
    for (const auto& row : kIdentTexts)
        if (row.ident == ident) return row.replyText;
    return kIdentTexts[0].replyText;
}

void zelvanCardInfo::saveQueryBuf(const Json::Value& request, const char* key) {
    Json::Value doc;
    if (key != nullptr)
        doc[key] = request;
    else
        doc = request;
    queryBuf_ = JsonOut(doc, false);
}

storage::TransactDB* zelvanCardInfo::TransactDB_new(const storage::TransactDB* source) {
    if (record_)
        record_->clear();
    else
        record_ = std::make_unique<storage::TransactDB>();
    if (source != nullptr) {
        storage::TransactDB& r = *record_;
        r.OperType(source->OperType());
        r.ID(source->ID());
        r.ParentID(source->ParentID());
        r.ChequeID(source->ChequeID());
        r.DateTime(source->DateTime());
        r.DateTimeUTC(source->DateTimeUTC());
        r.LocationID(source->LocationID());
        r.TerminalID(source->TerminalID());
        r.Shift(source->Shift());
        r.Offline(source->Offline());
        r.Request(source->Request());
        r.Response(source->Response());
        r.TimeValue(source->TimeValue());
    }
    return record_.get();
}

void zelvanCardInfo::TransactDB(std::unique_ptr<storage::TransactDB> record) {
    if (record.get() == record_.get())
        (void)record.release();  // already held: keep the one owner
    else
        record_ = std::move(record);
}

void zelvanCardInfo::TransactDB_free() {
    record_.reset();
}
