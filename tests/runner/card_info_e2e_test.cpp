// "CardInfo" through the real server and the CRM simulator: the Get_Info
// request, the reply mapping with its code table and card-status rules, QR
// codes, refused card numbers, the offline answers, retries and tokens.
#include <gtest/gtest.h>

#include <regex>

#include "tests/runner/gateway.h"

using namespace gatewaytest;

namespace {

Json::Value cardReply(const std::string& reply) {
    return json(R"({"Get_Info": {"reply": )" + reply + "}}");
}

// The card request's reply member.
Json::Value cardInfo(Gateway& gw, const std::string& request) {
    return gw.send("\"CardInfo\": " + request)["CardInfo"];
}

}  // namespace

TEST(CardInfo, SendsTheGetInfoRequestBuiltFromTheCommand) {
    Gateway gw(Json::Value(Json::objectValue),
               R"("Location": "77", "ProductIdZeros": true, "ProductIdLength": 6)");
    cardInfo(gw, R"({"CardNum": "7001", "Terminal": "T9", "Location": "", "shift": 3,
                     "operID": "17", "operFIO": "Иванова",
                     "Check": [null, {"art": "95"},
                               {"intid": "A1", "art": "0012", "cnt": "2", "price": 50.5}]})");
    auto sent = gw.records("Get_Info");
    ASSERT_EQ(1u, sent.size());
    Json::Value body = sent[0]["body"];
    const std::string date = body["ListOfGasRequests"]["GasRequest"]["GasOperationDate"].asString();
    EXPECT_TRUE(std::regex_match(date, std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)"))) << date;
    body["ListOfGasRequests"]["GasRequest"].removeMember("GasOperationDate");
    EXPECT_EQ(json(R"({
        "LOYCardType": "Lumora", "LOYCardNumber": "7001", "LOYCardHash": "HASH7001",
        "SourceSystem": "VURIV",
        "ListOfOrderEntry-LineItems": {"OrderEntry-LineItems": [
            {"IntegrationId": "2", "QuantityRequested": "", "VEKProductIntegrationId": "000095",
             "BaseItemCost": ""},
            {"IntegrationId": "A1", "QuantityRequested": "2", "VEKProductIntegrationId": "000012",
             "BaseItemCost": "50.500000"}]},
        "ListOfGasRequests": {"GasRequest": {
            "GasStationOperatorName": "Иванова", "GasStationOperId": "17",
            "GasStationShiftNum": "3", "GasTerminalId": "T9", "GasStationId": "77"}}})"),
              body);
}

TEST(CardInfo, MapsEveryElementOfTheCrmsReply) {
    Gateway gw(cardReply(R"({"body": {
        "BlockedProducts": "95;92", "EReceiptFlag": "y", "Email": "crm@example.ru",
        "ErrorCode": "0", "InfoMessage": "Добрый день", "MemberStatus": "02",
        "ListOfLOYMembershipCard": {"LoyMembershipCard": [
            {"Id": "1-A", "LOYCardNumber": "7001", "CardStatusCode": "Active", "CardType": "Gold",
             "LOYCardDiscount": "5", "ReasonBlock": "", "TierName": "Gold",
             "PeriodQualPoints": "10", "Point1Value": "150.5", "ClientCurrency": "RUB",
             "ClientCurrencyPoint1Value": "15.05"}]},
        "ListOfLineItemDiscount": {"LineItemDiscount": [
            {"IntegrationId": "2", "DiscountId": "D1", "DiscountName": "Скидка",
             "DiscountPercent": "10", "QuantityDiscounted": "1", "QuantityRemain": "4",
             "SubscriptionId": "S1", "SubscriptionName": "Абонемент", "SubscriptionQuantity": "3",
             "PromocodeQuantityRemain": "0"},
            {"IntegrationId": "9", "DiscountId": "D2"}]}}})"));
    Json::Value r = cardInfo(gw, R"({"CardNum": "7001", "TelNo": "+79990001122",
                                     "Check": [{"art": "92"}, {"art": "95"}]})");
    EXPECT_EQ(json(R"({
        "err": 0, "errMsg": "Успешное выполнение операции", "Offline": "0", "Status": "A",
        "InfoMsg": "Добрый день", "zvnInfoMsg": "Добрый день",
        "BlockedProducts": "95;92", "MemberStatus": "02",
        "TelNo": "+79990001122", "Email": "crm@example.ru", "EReceiptFlag": "Y",
        "Bonus": "150.5", "Currency": "RUB", "CurrencyPoints": "15.05",
        "Cards": [{"Id": "1-A", "CardNum": "7001", "Status": "Active", "Type": "Gold",
                   "Discount": "5", "TierName": "Gold", "Points": "150.5",
                   "ClientCurrency": "RUB", "ClientCurrencyPoints": "15.05"}],
        "Discounts": [
            {"intid": "2", "art": "95", "DiscountId": "D1", "DiscountName": "Скидка",
             "DiscountPcnt": "10", "DiscountCnt": "1", "DiscountNeed": "4",
             "SubscriptionId": "S1", "SubscriptionName": "Абонемент", "SubscriptionCnt": "3",
             "PromocodeQuantity": "0"},
            {"intid": "9", "DiscountId": "D2"}]})"),
              r);
}

TEST(CardInfo, AnswersTheCrmsCodesAndCardStatuses) {
    const struct {
        const char* body;
        const char* expected;  // members the reply must have (and "Status" only if listed)
    } cases[] = {
        {R"({"ErrorCode": "1"})",
         R"({"err": 1, "errMsg": "Не указан номер карты", "Status": "R"})"},
        {R"({"ErrorCode": "2"})",
         R"({"err": 2, "errMsg": "Карта в системе не найдена", "Status": "R", "Cards": []})"},
        {R"({"ErrorCode": "3"})",
         R"({"err": 3, "Status": "A", "Offline": "1",
             "errMsg": "Ошибка при получении информации о продукте: Некорректный продукт.\n Проверьте наличие продукта в системе."})"},
        {R"({"ErrorCode": "4"})",
         R"({"err": 4, "errMsg": "QR-код некорректен или просрочен", "Status": "R"})"},
        {R"({"ErrorCode": "5"})",
         R"({"err": 5, "errMsg": "АЗС не существует в системе", "Status": "R"})"},
        {R"({"ErrorCode": "7"})",
         R"({"err": 7, "errMsg": "Выявлена ошибка при выполнении операции"})"},
        {R"({"ErrorCode": "-3"})",
         R"({"err": -3, "errMsg": "Выявлена ошибка при выполнении операции"})"},
        {R"({})", R"({"err": "0", "errMsg": "", "Offline": "0"})"},
        {R"({"ErrorCode": "0", "ListOfLOYMembershipCard": {"LoyMembershipCard": [
             {"CardStatusCode": "ACTIVE"}, {"CardStatusCode": "Lost"}]}})",
         R"({"err": 0, "Status": "R"})"},
        {R"({"ErrorCode": "0", "ListOfLOYMembershipCard": {"LoyMembershipCard": [
             {"CardStatusCode": "active"}, {"CardStatusCode": "BLOCKED"}]}})",
         R"({"err": 0, "Status": "A"})"},
        {R"({"ErrorCode": "0", "ListOfLOYMembershipCard": {"LoyMembershipCard": [
             {"CardStatusCode": "Blocked"}]}})",
         R"({"err": 0})"},
        {R"({"ErrorCode": "0", "ListOfLOYMembershipCard": {"LoyMembershipCard": [
             {"CardStatusCode": "New", "Point1Value": "abc"},
             {"CardStatusCode": "Issued", "Point1Value": "12"}]}})",
         R"({"err": 0, "Status": "A", "Bonus": "12"})"},
        {R"({"ErrorCode": "0", "ListOfLOYMembershipCard": {"LoyMembershipCard": [
             {"Point1Value": "abc"}]}})",
         R"({"err": 0, "Bonus": "abc", "Cards": [{"Points": "abc"}]})"},
    };
    Gateway gw;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        gw.sim().setScenario(cardReply(std::string(R"({"body": )") + c.body + "}"));
        Json::Value r = cardInfo(gw, R"({"CardNum": "7001"})");
        Json::Value expected = json(c.expected);
        for (const std::string& key : expected.getMemberNames())
            EXPECT_EQ(expected[key], r[key]) << key;
        if (!expected.isMember("Status")) {
            EXPECT_FALSE(r.isMember("Status")) << r;
        }
    }
}

TEST(CardInfo, SendsTheWholeQrTextAndAnswersWithIt) {
    const std::string qr = "12345678901234567/ABC-def";
    Gateway gw(cardReply(R"({"body": {"ErrorCode": "0", "ListOfLOYMembershipCard":
        {"LoyMembershipCard": [{"LOYCardNumber": "12345678901234567"}]}}})"));
    Json::Value r = cardInfo(gw, R"({"CardType": "QR", "CardNum": ")" + qr + "\"}");
    auto sent = gw.records("Get_Info");
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ("QRCode", sent[0]["body"]["LOYCardType"].asString());
    EXPECT_EQ(qr, sent[0]["body"]["LOYCardNumber"].asString());
    EXPECT_EQ("HASH12345678901234567", sent[0]["body"]["LOYCardHash"].asString());
    EXPECT_EQ(json(R"([{"CardNum": "12345678901234567", "CardNumQR": ")" + qr + "\"}]"),
              r["Cards"]);
}

TEST(CardInfo, RefusesUnusableCardNumbersWithoutCallingTheCrm) {
    const std::string digits22(22, '7');
    const struct {
        std::string request;
        const char* errMsg;
    } cases[] = {
        {R"({"CardNum": ")" + digits22 + "\"}", "Ошибка чтения номера карты"},
        {R"({"CardType": "Lumora", "CardNum": "7001+1"})", "Ошибка чтения номера карты"},
        {R"({"CardType": "QR", "CardNum": "1234/ABC"})", "Некорректный QR-код"},
        {R"({"CardType": "QRCode", "CardNum": "ABC DEF"})", "Некорректный QR-код"},
    };
    Gateway gw;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_EQ(json(std::string(R"({"err": "-1", "errMsg": ")") + c.errMsg + "\"}"),
                  cardInfo(gw, c.request));
    }
    EXPECT_TRUE(gw.records("Get_Info").empty());
    // The length limit holds for plain card numbers only.
    Json::Value r = cardInfo(gw, R"({"CardType": "LumoraMobile", "CardNum": ")" + digits22 + "\"}");
    EXPECT_EQ(0, r["err"].asInt());
    auto sent = gw.records("Get_Info");
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ("LumoraMobile", sent[0]["body"]["LOYCardType"].asString());
}

TEST(CardInfo, AnswersOfflineAfterEveryAttemptFailedAndThenAtOnce) {
    Gateway gw(cardReply(R"({"drop": true})"), R"("ConnectTimeout": 2, "SendRecvTimeout": 2)");
    Json::Value r = cardInfo(gw, R"({"CardNum": "7001", "Email": "a@b.ru"})");
    Json::Value fault;
    EXPECT_TRUE(r.removeMember("zvnErrMsg", &fault));  // the SOAP layer's own text
    EXPECT_FALSE(fault.asString().empty());
    EXPECT_EQ(json(R"({"err": "-1", "errMsg": "Нет связи", "Offline": "1", "MemberStatus": "00",
                       "Status": "A", "Email": "a@b.ru", "EReceiptFlag": "Y",
                       "Cards": [{"CardNum": "7001"}]})"),
              r);
    auto sent = gw.records("Get_Info");
    ASSERT_EQ(2u, sent.size());  // RetryCount 2
    EXPECT_GE(std::stod(sent[1]["time"].asString()) - std::stod(sent[0]["time"].asString()), 1.0);

    // The network is now marked down: answered at once, the CRM not asked.
    r = cardInfo(gw, R"({"CardNum": "7002"})");
    EXPECT_EQ(json(R"({"err": "28", "errMsg": "Нет связи", "Offline": "1", "MemberStatus": "00",
                       "Status": "A", "Cards": [{"CardNum": "7002"}]})"),
              r);
    EXPECT_EQ(2u, gw.records("Get_Info").size());

    // A successful check marks it up again.
    gw.sim().setScenario(Json::Value(Json::objectValue));
    EXPECT_EQ("0", gw.send("\"Connect\": {}")["Connect"]["err"].asString());
    EXPECT_EQ(0, cardInfo(gw, R"({"CardNum": "7002"})")["err"].asInt());
    EXPECT_EQ(3u, gw.records("Get_Info").size());
}

TEST(CardInfo, TimeOutsBoundACallToTheCrm) {
    Gateway gw(cardReply(R"({"delayMs": 8000})"),
               R"("RetryCount": 2, "ConnectTimeout": 1, "SendRecvTimeout": 1)");
    // Two attempts of at most one second each and one pause: well within 6 s.
    Json::Value r = gw.send("\"CardInfo\": {\"CardNum\": \"7001\"}", 1, 6000ms)["CardInfo"];
    EXPECT_EQ("-1", r["err"].asString()) << r;
    EXPECT_EQ("1", r["Offline"].asString());
    EXPECT_EQ(2u, gw.records("Get_Info").size());
}

TEST(CardInfo, SendsAValidTokenOnTheFirstAttemptOnly) {
    Gateway gw(json(R"({"Get_Info": {"sequence": [
                   {"header": {"SessionToken": "T1"}}, {"drop": true}, {}]}})"),
               R"("UserId": "pos", "UserPass": "pw")");
    cardInfo(gw, R"({"CardNum": "7001"})");
    EXPECT_EQ(0, cardInfo(gw, R"({"CardNum": "7001"})")["err"].asInt());
    auto sent = gw.records("Get_Info");
    ASSERT_EQ(3u, sent.size());
    EXPECT_EQ(json(R"({"UsernameToken": "pos", "PasswordText": "pw", "SessionType": "Stateless"})"),
              sent[0]["header"]);
    EXPECT_EQ(json(R"({"SessionToken": "T1", "SessionType": "Stateless"})"), sent[1]["header"]);
    EXPECT_EQ(sent[0]["header"], sent[2]["header"]);  // the retry: user and password
}

TEST(CardInfo, DoesNotSendATokenOlderThanItsLifetime) {
    Gateway gw(cardReply(R"({"header": {"SessionToken": "T1"}})"),
               R"("UserId": "pos", "SessionTokenTTL": 0)");
    cardInfo(gw, R"({"CardNum": "7001"})");
    cardInfo(gw, R"({"CardNum": "7001"})");
    auto sent = gw.records("Get_Info");
    ASSERT_EQ(2u, sent.size());
    EXPECT_FALSE(sent[1]["header"].isMember("SessionToken"));
    EXPECT_EQ("pos", sent[1]["header"]["UsernameToken"].asString());
}
