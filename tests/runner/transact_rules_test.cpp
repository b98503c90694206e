// The request rules of the transactions: the offline request flag, member
// types, the card number check and the card fields taken from the request or
// the card, and the CRM's date-time form.
#include "runner/transact_rules.h"

#include <gtest/gtest.h>

#include "common/json_util.h"
#include "runner/cardinfo.h"

namespace {

Json::Value json(const std::string& text) {
    Json::Value v;
    EXPECT_TRUE(parseJsonRequest(text, v)) << text;
    return v;
}

}  // namespace

TEST(OfflineFlag, AcceptsOneTrueAndTextsBeginningWithYesInEitherAlphabet) {
    for (const char* yes : {"1", "TRUE", "true", "y", "Yes", "Да", "Дa", "ДА"})
        EXPECT_TRUE(isOfflineYes(yes)) << yes;
    // Cyrillic letters are not upper-cased, so a lower-case "да" is not one.
    for (const char* no : {"", "0", "no", "да", "10", "TRUE ", " 1", "нет", "false"})
        EXPECT_FALSE(isOfflineYes(no)) << no;
}

TEST(MemberTypes, RefuseObjectsArraysAndBooleansWhereTextIsExpected) {
    using K = MemberKind;
    const MemberRule line[] = {{"art", K::Text}, {"points", K::Number}};
    const MemberRule transact[] = {{"ID", K::Text}};
    const MemberRule rules[] = {
        {"CardNum", K::Text}, linesRule("Check", line), objectRule("Transact", transact)};
    const struct {
        const char* request;
        bool ok;
    } cases[] = {
        {R"({})", true},
        {R"({"CardNum": 7001, "Other": [1], "Check": null, "Transact": null})", true},
        {R"({"Check": [null, {"art": "95", "points": 1.5}, {"points": "2"}]})", true},
        {R"({"Transact": {"ID": "T1", "Extra": {}}})", true},
        {R"({"CardNum": ["7001"]})", false},
        {R"({"CardNum": true})", false},
        {R"({"Check": {"art": "95"}})", false},
        {R"({"Check": [{"points": [1]}]})", false},
        {R"({"Check": ["95"]})", false},
        {R"({"Transact": "T1"})", false},
        {R"({"Transact": {"ID": {"x": 1}}})", false},
        {R"("PayBonus")", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.ok, wellTyped(json(c.request), rules)) << c.request;
}

TEST(CardNumber, PlainNumbersUpToTwentyCharactersAndValidQrTexts) {
    const struct {
        const char* request;
        int result;
    } cases[] = {
        {R"({"CardNum": "70010000000000000001"})", 0},
        {R"({"CardNum": "700100000000000000012"})", -99},
        {R"({"CardType": "LumoraMobile", "CardNum": "700100000000000000012"})", 0},
        {R"({"CardType": "QR", "CardNum": "700100000000000000012"})", 0},
        {R"({"CardNum": "7001 0001"})", -99},
        {R"({"CardType": "QR", "CardNum": "1234/ABC"})", -98},
        {R"({"CardType": "QRCode", "CardNum": ""})", 0},
    };
    for (const auto& c : cases) {
        zelvanCardInfo card;
        EXPECT_EQ(c.result, checkCardNumber(card, json(c.request))) << c.request;
    }
}

TEST(CardNumber, FallsBackToTheCardsOwnAndTakesTheNumberOutOfAQrText) {
    zelvanCardInfo card;
    card.setCardNumberIdent(LOY_IDENT_QR);
    card.setCardNumQR("12345678901234567/ABC");
    EXPECT_EQ("12345678901234567/ABC", takeCardNumber(card, json("{}")));
    EXPECT_STREQ("12345678901234567", card.getCardNum());
    EXPECT_EQ("HASH12345678901234567", takeCardHash(card, json("{}")));
    // The stored hash is kept for later requests of the same card.
    EXPECT_EQ("HASH12345678901234567", takeCardHash(card, json(R"({"CardNum": "9"})")));
    EXPECT_EQ("H-1", takeCardHash(card, json(R"({"Card": "H-1"})")));

    zelvanCardInfo plain;
    EXPECT_EQ("", takeCardNumber(plain, json("{}")));
    EXPECT_EQ("HASH", takeCardHash(plain, json("{}")));
}

TEST(Correlation, KeepsTheClientsCardFieldsAndWritesTheContactFieldsBack) {
    zelvanCardInfo card;
    card.setClntTelNo("+7900");
    Json::Value member = json(R"({"CardNum": "7001", "CardType": "CARD", "Email": "a@b.ru"})");
    correlateCardFields(member, &card);
    EXPECT_EQ(json(R"({"CardNum": "7001", "CardType": "CARD", "RequestCardNum": "7001",
                       "RequestCardType": "CARD", "Email": "a@b.ru", "TelNo": "+7900",
                       "EReceiptFlag": "Y"})"),
              member);

    // A card first identified by its QR code keeps being sent by it.
    card.setInitCardNumberIdent(LOY_IDENT_QR);
    card.setCardNumberIdent(LOY_IDENT_QR);
    card.setCardNumQR("12345678901234567/ABC");
    member = json(R"({"CardNum": "7001", "EReceiptFlag": "n"})");
    correlateCardFields(member, &card);
    EXPECT_EQ("12345678901234567/ABC", member["CardNum"].asString());
    EXPECT_EQ("QR", member["CardType"].asString());
    EXPECT_EQ("N", member["EReceiptFlag"].asString());
    EXPECT_EQ("7001", member["RequestCardNum"].asString());
    EXPECT_FALSE(member.isMember("RequestCardType"));
}

TEST(CrmDateTime, RebuildsFourteenDigitsAndPadsShorterTexts) {
    EXPECT_EQ("01/31/2024 23:59:59", crmDateTime("20240131235959"));
    EXPECT_EQ("01/31/2024 12:00:00", crmDateTime(paddedDateTime("2024013112")));
    EXPECT_EQ("", paddedDateTime("2024013"));
    EXPECT_EQ("20240131235959", paddedDateTime("2024013123595999"));
}
