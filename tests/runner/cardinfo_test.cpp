// Card identity: identification types, optional fields and the held record.
#include "runner/cardinfo.h"

#include <gtest/gtest.h>

#include "storage/transactdb.h"

TEST(CardIdent, RequestTextsMapToTypesAndTheirSoapAndReplyTexts) {
    struct Case {
        const char* request;
        int ident;
        const char* soap;
        const char* reply;
    } cases[] = {
        {"CARD", 0, "Lumora", "CARD"},
        {"Lumora", 0, "Lumora", "CARD"},
        {"QR", 2, "QRCode", "QR"},
        {"QRCode", 2, "QRCode", "QR"},
        {"LumoraMobile", 1, "LumoraMobile", "CARD"},
        {"VOV", 3, "Lumora", "CARD"},
        {"qr", 0, "Lumora", "CARD"},
        {"", 0, "Lumora", "CARD"},
        {"Mobile", 0, "Lumora", "CARD"},
        {nullptr, 0, "Lumora", "CARD"},
    };
    for (const auto& c : cases) {
        zelvanCardInfo card;
        card.setCardNumberIdent(LOY_IDENT_QR);  // the conversion replaces any earlier type
        card.setCardNumberIdent(c.request);
        SCOPED_TRACE(c.request ? c.request : "(null)");
        EXPECT_EQ(c.ident, card.getCardNumberIdentCode());
        EXPECT_STREQ(c.soap, card.getCardNumberIdent());
        EXPECT_STREQ(c.reply, card.getCardNumberIdentJSResponse());
    }
}

TEST(CardIdent, ConvertsIntoAnotherVariableWithoutTouchingTheCard) {
    zelvanCardInfo card;
    LoyCardNumberIdent other = LOY_IDENT_CARD;
    card.setCardNumberIdentVar("LumoraMobile", other);
    EXPECT_EQ(LOY_IDENT_MOBILE, other);
    EXPECT_EQ(0, card.getCardNumberIdentCode());
}

TEST(CardInfo, OptionalFieldsReadAsNullWhenAbsentOrEmpty) {
    zelvanCardInfo card;
    EXPECT_EQ(nullptr, card.getClntTelNo());
    card.setClntTelNo("+79990000000");
    EXPECT_STREQ("+79990000000", card.getClntTelNo());
    EXPECT_EQ(nullptr, card.getClntEmail());
    card.setClntEmail("a@b.ru");
    card.setClntEmail(nullptr);
    EXPECT_EQ(nullptr, card.getClntEmail());
    card.setClntEReceipt("");
    EXPECT_EQ(nullptr, card.getClntEReceipt());
    card.setCardNum("7001");
    card.setCardNum(nullptr);
    EXPECT_EQ(nullptr, card.getCardNum());
}

TEST(CardInfo, StartsSelfOwnedWithUnknownBalances) {
    zelvanCardInfo card;
    EXPECT_TRUE(card.self_owned());
    EXPECT_DOUBLE_EQ(-0.1, card.ScorePoints());
    EXPECT_DOUBLE_EQ(-0.1, card.ScorePoints_ClntCurrency());
    EXPECT_DOUBLE_EQ(0.0, card.Points());
    EXPECT_EQ(PROC_STATE_INITIAL, card.getRunState());
    card.addPoints(100);
    card.addPoints(50.5);
    EXPECT_DOUBLE_EQ(150.5, card.Points());
}

TEST(CardInfo, QueryBufferIsTheOneLineRequest) {
    zelvanCardInfo card;
    Json::Value req;
    req["PayBonus"]["CheckNum"] = "Чек 1";
    card.saveQueryBuf(req);
    EXPECT_EQ("{\"PayBonus\":{\"CheckNum\":\"Чек 1\"}}\n", card.getQueryBuf());
    card.saveQueryBuf(req["PayBonus"], "HoldReturn");
    EXPECT_EQ("{\"HoldReturn\":{\"CheckNum\":\"Чек 1\"}}\n", card.getQueryBuf());
}

TEST(CardInfo, TransactDBNewReusesTheHeldRecordAndCopiesTheSource) {
    zelvanCardInfo card;
    EXPECT_EQ(nullptr, card.TransactDB());
    storage::TransactDB* first = card.TransactDB_new();
    first->ChequeID("1234");
    first->OperType(storage::OPER_PURCHASE);
    EXPECT_EQ(first, card.TransactDB_new());  // the same record, cleared
    EXPECT_EQ(nullptr, first->ChequeID());
    EXPECT_EQ(-1, first->OperType());

    storage::TransactDB src;
    src.OperType(storage::OPER_REVERSAL);
    src.ID("20240131120005.123456#1234");
    src.ParentID("p");
    src.ChequeID("1234");
    src.DateTime("20240131120005");
    src.DateTimeUTC("01/31/2024 09:00:05");
    src.LocationID("77");
    src.TerminalID("T1");
    src.Shift("5");
    src.Offline(true);
    src.Request("{}");
    src.Response("{\"r\":1}");
    src.TimeValue("1706692805.123456");
    src.ErrCode(28);
    storage::TransactDB* copy = card.TransactDB_new(&src);
    EXPECT_EQ(first, copy);
    EXPECT_EQ(4, copy->OperType());
    EXPECT_STREQ("20240131120005.123456#1234", copy->ID());
    EXPECT_STREQ("p", copy->ParentID());
    EXPECT_STREQ("01/31/2024 09:00:05", copy->DateTimeUTC());
    EXPECT_STREQ("T1", copy->TerminalID());
    EXPECT_STREQ("5", copy->Shift());
    EXPECT_TRUE(copy->Offline());
    EXPECT_STREQ("{\"r\":1}", copy->Response());
    EXPECT_STREQ("1706692805.123456", copy->TimeValue());
    EXPECT_EQ(0, copy->ErrCode());  // outcome codes are not part of the copy

    card.TransactDB_free();
    EXPECT_EQ(nullptr, card.TransactDB());
    card.TransactDB(std::make_unique<storage::TransactDB>());
    EXPECT_NE(nullptr, card.TransactDB());
}
