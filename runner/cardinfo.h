// zelvanCardInfo: what the request in progress is about (card, cheque,
// customer), carried from the request builder to the CRM call and on to the
// journal; and the card identification types and execution states.
#pragma once

#include <json/json.h>

#include <memory>
#include <string>

namespace storage {
class TransactDB;
}

// How the customer identified himself.
enum LoyCardNumberIdent : int32_t {
    LOY_IDENT_CARD = 0,    // loyalty card number
    LOY_IDENT_MOBILE = 1,  // mobile application card
    LOY_IDENT_QR = 2,      // QR code
    LOY_IDENT_VOV = 3,     // VOV card
};

// How far the transaction of the current card has got.
enum __ProcExecState : int32_t {
    PROC_STATE_INITIAL = 0,
    PROC_STATE_HOLD_IN_PROGRESS = 1,
    PROC_STATE_POINTS_HELD = 2,
    PROC_STATE_HOLD_RELEASED = 3,
    PROC_STATE_PURCHASE_COMPLETED = 4,
    PROC_STATE_CANCELLED = 5,
};

class zelvanCardInfo {
  public:
    zelvanCardInfo();
    ~zelvanCardInfo();
    zelvanCardInfo(const zelvanCardInfo&) = delete;
    zelvanCardInfo& operator=(const zelvanCardInfo&) = delete;

    // String getters return a null pointer for an empty or absent value.
    const char* getCardId() const { return cstr(cardId_); }
    const char* getCardNum() const { return cstr(cardNum_); }
    const char* getPan4() const { return cstr(pan4_); }
    const char* getChequeId() const { return cstr(chequeId_); }
    const char* getChequeNum() const { return cstr(chequeNum_); }
    const char* getCardNumQR() const { return cstr(cardNumQR_); }
    const char* getClntTelNo() const { return cstr(telNo_); }
    const char* getClntEmail() const { return cstr(email_); }
    const char* getClntEReceipt() const { return cstr(eReceipt_); }
    const char* getClntCurrency() const { return cstr(currency_); }

    void setCardId(const char* v) { assign(cardId_, v); }
    void setCardNum(const char* v) { assign(cardNum_, v); }
    void setPan4(const char* v) { assign(pan4_, v); }
    void setChequeId(const char* v) { assign(chequeId_, v); }
    void setChequeNum(const char* v) { assign(chequeNum_, v); }
    // Optional values: a null argument leaves the value absent (an absent
    // value and an empty one read the same: a null pointer).
    void setCardNumQR(const char* v) { assign(cardNumQR_, v); }
    void setClntTelNo(const char* v) { assign(telNo_, v); }
    void setClntEmail(const char* v) { assign(email_, v); }
    void setClntEReceipt(const char* v) { assign(eReceipt_, v); }
    void setClntCurrency(const char* v) { assign(currency_, v); }
    void setCardIdType(const char*) { cardIdType_ = 0; }  // kept at 0

    // true: whoever created the card deletes it; false: the runner does.
    bool self_owned() const { return selfOwned_; }
    void _change_own_state(bool selfOwned) { selfOwned_ = selfOwned; }

    void setPoints(double x) { points_ = x; }
    void addPoints(double x) { points_ += x; }
    double Points() const { return points_; }
    void setScorePoints(double x) { scorePoints_ = x; }
    double ScorePoints() const { return scorePoints_; }  // -0.1: unknown
    void setScorePoints_ClntCurrency(double x) { scorePointsClntCurrency_ = x; }
    double ScorePoints_ClntCurrency() const { return scorePointsClntCurrency_; }

    void setCardNumberIdent(const char* requestText) {
        setCardNumberIdentVar(requestText, cardNumberIdent_);
    }
    void setCardNumberIdent(LoyCardNumberIdent v) { cardNumberIdent_ = v; }
    void setInitCardNumberIdent(LoyCardNumberIdent v) { initCardNumberIdent_ = v; }
    int getInitCardNumberIdentCode() const { return initCardNumberIdent_; }
    int getCardNumberIdentCode() const { return cardNumberIdent_; }
    LoyCardNumberIdent cardNumberIdent() const { return cardNumberIdent_; }
    // The card type sent to the CRM, and the one written in replies.
    const char* getCardNumberIdent() const {
        return _get_cardIdentTypeSoapStrValue(cardNumberIdent_);
    }
    const char* getCardNumberIdentJSResponse() const {
        return _get_cardIdentTypeJsonStrValue(cardNumberIdent_);
    }
    // Converts a request text into `target` (not the card's own ident).
    void setCardNumberIdentVar(const char* text, LoyCardNumberIdent& target) const {
        _set_cardIdentTypeValue(text, target);
    }
    static void _set_cardIdentTypeValue(const char* text, LoyCardNumberIdent& target);
    static const char* _get_cardIdentTypeSoapStrValue(LoyCardNumberIdent ident);
    static const char* _get_cardIdentTypeJsonStrValue(LoyCardNumberIdent ident);

    void setRunState(__ProcExecState s) { runState_ = s; }
    __ProcExecState getRunState() const { return runState_; }

    // Stores the one-line form of the request (wrapped as {key: request} when
    // a key is given) as the query buffer kept for the journal.
    void saveQueryBuf(const Json::Value& request, const char* key = nullptr);
    void saveQueryBuf(const std::string& text) { queryBuf_ = text; }
    const std::string& getQueryBuf() const { return queryBuf_; }

    // The journal record of the current operation (owned by the card).
    // TransactDB_new makes the card hold a fresh record (the held one
    // cleared, or a new one) and copies `source` into it when given.
    storage::TransactDB* TransactDB_new(const storage::TransactDB* source = nullptr);
    // Holds `record` from now on (the card takes ownership); a different
    // record held before is deleted first.
    void TransactDB(std::unique_ptr<storage::TransactDB> record);
    storage::TransactDB* TransactDB() const { return record_.get(); }
    void TransactDB_free();

  private:
    static const char* cstr(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }
    static void assign(std::string& m, const char* v) {
        m.clear();
        if (v != nullptr) m = v;
    }

    bool selfOwned_ = true;
    std::string cardId_;
    std::string cardNum_;
    std::string cardNumQR_;
    std::string pan4_;
    std::string chequeId_;
    std::string chequeNum_;
    std::string queryBuf_;
    std::string telNo_;
    std::string email_;
    std::string eReceipt_;
    std::string currency_;
    std::unique_ptr<storage::TransactDB> record_;
    __ProcExecState runState_ = PROC_STATE_INITIAL;
    double points_ = 0.0;
    double scorePoints_ = -0.1;
    double scorePointsClntCurrency_ = -0.1;
    int cardIdType_ = 0;
    LoyCardNumberIdent cardNumberIdent_ = LOY_IDENT_CARD;
    LoyCardNumberIdent initCardNumberIdent_ = LOY_IDENT_CARD;
};
