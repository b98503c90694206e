// Replies of the seven CRM operations: the simulator sends every reply
// element (lists included) in the order of the message tables, and the
// generated proxies read each one back into its field; the reply header's
// session token is read; unknown elements are skipped and missing ones stay
// null.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/runner/soap/soap_support.h"

using namespace soaptest;

namespace {

using Lines = std::vector<std::string>;

class CrmReplies : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sim_ = std::make_unique<Simulator>(); }
    static void TearDownTestSuite() { sim_.reset(); }

    // Answers `operation` with `reply` from now on.
    static void answer(const char* operation, const std::string& reply) {
        Json::Value s(Json::objectValue);
        s[operation]["reply"] = json(reply);
        sim_->setScenario(s);
    }

    static std::unique_ptr<Simulator> sim_;
    crm::SoapPtr ctx_ = clientContext();
    ReplyCapture capture_{ctx_.get()};
};

std::unique_ptr<Simulator> CrmReplies::sim_;

}  // namespace

TEST_F(CrmReplies, ConnectionCheckReadsErrorCodeAndMessage) {
    answer("Connection_Check", R"({"body": {"ErrorCode": "5", "ErrorMessage": "it's closed"}})");
    conn::ConnectionCheckInput in;
    conn::ConnectionCheckOutput out;
    ASSERT_EQ(SOAP_OK, call(ctx_.get(), sim_->endpoint(), in, out));
    EXPECT_EQ("5", crm::text(out.ErrorCode));
    EXPECT_EQ("it's closed", crm::text(out.ErrorMessage));
    EXPECT_EQ(
        (Lines{"ui:Connection_Check_Output", "  ui:ErrorCode=5", "  ui:ErrorMessage=it's closed"}),
        messageOf(capture_.body()).body);
}

TEST_F(CrmReplies, GetInfoReadsCardsAndDiscounts) {
    answer("Get_Info", R"({"body": {
        "BlockedProducts": "95;96", "EReceiptFlag": "y", "Email": "a@b.ru", "ErrorCode": "0",
        "InfoMessage": "Добрый день", "MemberStatus": "GOLD",
        "ListOfLOYMembershipCard": {"LoyMembershipCard": [
            {"Id": "c1", "LOYCardNumber": "7001", "CardStatusCode": "ACTIVE", "CardType": "Lumora",
             "LOYCardDiscount": "5", "ReasonBlock": "-", "TierName": "Gold",
             "PeriodQualPoints": "12", "Point1Value": "1200.5", "ClientCurrency": "RUB",
             "ClientCurrencyPoint1Value": "600.25"},
            {"LOYCardNumber": "7002", "CardStatusCode": "BLOCKED", "CardType": "LumoraMobile"}]},
        "ListOfLineItemDiscount": {"LineItemDiscount": [
            {"IntegrationId": "1", "DiscountId": "D1", "DiscountName": "Кофе", "DiscountPercent": "10",
             "QuantityDiscounted": "1", "QuantityRemain": "4", "SubscriptionId": "S1",
             "SubscriptionName": "Мойка", "SubscriptionQuantity": "3",
             "PromocodeQuantityRemain": "2"},
            {"IntegrationId": "2"}]}}})");
    card::GetInfoInput in;
    card::GetInfoOutput out;
    ASSERT_EQ(SOAP_OK, call(ctx_.get(), sim_->endpoint(), in, out));
    EXPECT_EQ("95;96", crm::text(out.BlockedProducts));
    EXPECT_EQ("y", crm::text(out.EReceiptFlag));
    EXPECT_EQ("a@b.ru", crm::text(out.Email));
    EXPECT_EQ("0", crm::text(out.ErrorCode));
    EXPECT_EQ("Добрый день", crm::text(out.InfoMessage));
    EXPECT_EQ("GOLD", crm::text(out.MemberStatus));
    ASSERT_NE(nullptr, out.ListOfLOYMembershipCard);
    const auto& cards = out.ListOfLOYMembershipCard->LoyMembershipCard;
    ASSERT_EQ(2u, cards.size());
    EXPECT_EQ("c1", crm::text(cards[0].Id));
    EXPECT_EQ("7001", crm::text(cards[0].LOYCardNumber));
    EXPECT_EQ("ACTIVE", crm::text(cards[0].CardStatusCode));
    EXPECT_EQ("Lumora", crm::text(cards[0].CardType));
    EXPECT_EQ("5", crm::text(cards[0].LOYCardDiscount));
    EXPECT_EQ("-", crm::text(cards[0].ReasonBlock));
    EXPECT_EQ("Gold", crm::text(cards[0].TierName));
    EXPECT_EQ("12", crm::text(cards[0].PeriodQualPoints));
    EXPECT_EQ("1200.5", crm::text(cards[0].Point1Value));
    EXPECT_EQ("RUB", crm::text(cards[0].ClientCurrency));
    EXPECT_EQ("600.25", crm::text(cards[0].ClientCurrencyPoint1Value));
    EXPECT_EQ(nullptr, cards[1].Id);
    EXPECT_EQ("7002", crm::text(cards[1].LOYCardNumber));
    EXPECT_EQ("BLOCKED", crm::text(cards[1].CardStatusCode));
    EXPECT_EQ("LumoraMobile", crm::text(cards[1].CardType));
    EXPECT_EQ(nullptr, cards[1].Point1Value);
    ASSERT_NE(nullptr, out.ListOfLineItemDiscount);
    const auto& discounts = out.ListOfLineItemDiscount->Discounts;
    ASSERT_EQ(2u, discounts.size());
    EXPECT_EQ("1", crm::text(discounts[0].IntegrationId));
    EXPECT_EQ("D1", crm::text(discounts[0].DiscountId));
    EXPECT_EQ("Кофе", crm::text(discounts[0].DiscountName));
    EXPECT_EQ("10", crm::text(discounts[0].DiscountPercent));
    EXPECT_EQ("1", crm::text(discounts[0].QuantityDiscounted));
    EXPECT_EQ("4", crm::text(discounts[0].QuantityRemain));
    EXPECT_EQ("S1", crm::text(discounts[0].SubscriptionId));
    EXPECT_EQ("Мойка", crm::text(discounts[0].SubscriptionName));
    EXPECT_EQ("3", crm::text(discounts[0].SubscriptionQuantity));
    EXPECT_EQ("2", crm::text(discounts[0].PromocodeQuantityRemain));
    EXPECT_EQ("2", crm::text(discounts[1].IntegrationId));
    EXPECT_EQ(nullptr, discounts[1].DiscountId);
    EXPECT_EQ((Lines{"ui:Get_Info_Output",
                     "  ui:BlockedProducts=95;96",
                     "  ui:EReceiptFlag=y",
                     "  ui:Email=a@b.ru",
                     "  ui:ErrorCode=0",
                     "  ui:InfoMessage=Добрый день",
                     "  ui:MemberStatus=GOLD",
                     "  loy:ListOfLOYMembershipCard",
                     "    loy:LoyMembershipCard",
                     "      loy:Id=c1",
                     "      loy:LOYCardNumber=7001",
                     "      loy:CardStatusCode=ACTIVE",
                     "      loy:CardType=Lumora",
                     "      loy:LOYCardDiscount=5",
                     "      loy:ReasonBlock=-",
                     "      loy:TierName=Gold",
                     "      loy:PeriodQualPoints=12",
                     "      loy:Point1Value=1200.5",
                     "      loy:ClientCurrency=RUB",
                     "      loy:ClientCurrencyPoint1Value=600.25",
                     "    loy:LoyMembershipCard",
                     "      loy:LOYCardNumber=7002",
                     "      loy:CardStatusCode=BLOCKED",
                     "      loy:CardType=LumoraMobile",
                     "  ns1:ListOfLineItemDiscount",
                     "    ns1:LineItemDiscount",
                     "      ns1:IntegrationId=1",
                     "      ns1:DiscountId=D1",
                     "      ns1:DiscountName=Кофе",
                     "      ns1:DiscountPercent=10",
                     "      ns1:QuantityDiscounted=1",
                     "      ns1:QuantityRemain=4",
                     "      ns1:SubscriptionId=S1",
                     "      ns1:SubscriptionName=Мойка",
                     "      ns1:SubscriptionQuantity=3",
                     "      ns1:PromocodeQuantityRemain=2",
                     "    ns1:LineItemDiscount",
                     "      ns1:IntegrationId=2"}),
              messageOf(capture_.body()).body);
}

TEST_F(CrmReplies, ProcOrderReadsTheOrderBlockAndItsLines) {
    answer("Proc_Order", R"({"body": {
        "CardStatusCode": "ACTIVE", "ErrorCode": "9", "InfoMessage": "info", "LOYCardNumber": "7001",
        "OrderPointQty": "15", "PeriodQualPoints": "40", "PointsAfter": "1115",
        "PointsBefore": "1200", "TierName": "Gold",
        "ListOfOrder": {"OrderEntry-Orders": {
            "Id": "o1", "OrderDate": "01/31/2024 23:59:59", "OrderNumber": "1001",
            "ListOfOrderEntry-LineItems": {"OrderEntry-LineItems": [
                {"Id": "l1", "IntegrationId": "1", "VEKProductIntegrationId": "95",
                 "BaseItemPointsAccrual": "15", "BaseItemPointsRedemption": "100",
                 "QuantityRequested": "30.5", "BaseItemCost": "52.10",
                 "PaymentTypeDetail": "OTHER"},
                {"VEKProductIntegrationId": "96", "QuantityRequested": "1",
                 "BaseItemCost": "10"}]}}}}})");
    order::ProcOrderInput in;
    order::ProcOrderOutput out;
    ASSERT_EQ(SOAP_OK, call(ctx_.get(), sim_->endpoint(), in, out));
    EXPECT_EQ("ACTIVE", crm::text(out.CardStatusCode));
    EXPECT_EQ("9", crm::text(out.ErrorCode));
    EXPECT_EQ("info", crm::text(out.InfoMessage));
    EXPECT_EQ("7001", crm::text(out.LOYCardNumber));
    EXPECT_EQ("15", crm::text(out.OrderPointQty));
    EXPECT_EQ("40", crm::text(out.PeriodQualPoints));
    EXPECT_EQ("1115", crm::text(out.PointsAfter));
    EXPECT_EQ("1200", crm::text(out.PointsBefore));
    EXPECT_EQ("Gold", crm::text(out.TierName));
    ASSERT_NE(nullptr, out.ListOfOrder);
    ASSERT_NE(nullptr, out.ListOfOrder->OrderEntryOrders);
    const order::ReplyOrder& o = *out.ListOfOrder->OrderEntryOrders;
    EXPECT_EQ("o1", crm::text(o.Id));
    EXPECT_EQ("01/31/2024 23:59:59", crm::text(o.OrderDate));
    EXPECT_EQ("1001", crm::text(o.OrderNumber));
    ASSERT_NE(nullptr, o.ListOfOrderEntryLineItems);
    const auto& lines = o.ListOfOrderEntryLineItems->OrderEntryLineItems;
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("l1", crm::text(lines[0].Id));
    EXPECT_EQ("1", crm::text(lines[0].IntegrationId));
    EXPECT_EQ("95", crm::text(lines[0].VEKProductIntegrationId));
    EXPECT_EQ("15", crm::text(lines[0].BaseItemPointsAccrual));
    EXPECT_EQ("100", crm::text(lines[0].BaseItemPointsRedemption));
    EXPECT_EQ("30.5", crm::text(lines[0].QuantityRequested));
    EXPECT_EQ("52.10", crm::text(lines[0].BaseItemCost));
    EXPECT_EQ("OTHER", crm::text(lines[0].PaymentTypeDetail));
    EXPECT_EQ(nullptr, lines[1].IntegrationId);
    EXPECT_EQ("96", crm::text(lines[1].VEKProductIntegrationId));
    EXPECT_EQ(nullptr, lines[1].PaymentTypeDetail);
    EXPECT_EQ((Lines{"ui:Proc_Order_Output",
                     "  ui:CardStatusCode=ACTIVE",
                     "  ui:ErrorCode=9",
                     "  ui:InfoMessage=info",
                     "  ui:LOYCardNumber=7001",
                     "  ui:OrderPointQty=15",
                     "  ui:PeriodQualPoints=40",
                     "  ui:PointsAfter=1115",
                     "  ui:PointsBefore=1200",
                     "  ord:ListOfOrder",
                     "    ord:OrderEntry-Orders",
                     "      ord:Id=o1",
                     "      ord:OrderDate=01/31/2024 23:59:59",
                     "      ord:OrderNumber=1001",
                     "      ord:ListOfOrderEntry-LineItems",
                     "        ord:OrderEntry-LineItems",
                     "          ord:Id=l1",
                     "          ord:IntegrationId=1",
                     "          ord:VEKProductIntegrationId=95",
                     "          ord:BaseItemPointsAccrual=15",
                     "          ord:BaseItemPointsRedemption=100",
                     "          ord:QuantityRequested=30.5",
                     "          ord:BaseItemCost=52.10",
                     "          ord:PaymentTypeDetail=OTHER",
                     "        ord:OrderEntry-LineItems",
                     "          ord:VEKProductIntegrationId=96",
                     "          ord:QuantityRequested=1",
                     "          ord:BaseItemCost=10",
                     "  ui:TierName=Gold"}),
              messageOf(capture_.body()).body);
}

TEST_F(CrmReplies, OrderStornoReadsEveryElement) {
    answer("Order_Storno", R"({"body": {
        "ErrorCode": "2", "InfoMessage": "i", "LOYCardNumber": "7001", "OrderNumber": "2002",
        "OrderPointQty": "-15", "PeriodQualPoints": "25", "PointsAfter": "1200",
        "PointsBefore": "1115", "PointsBlockChange": "3"}})");
    storn::OrderStornoInput in;
    storn::OrderStornoOutput out;
    ASSERT_EQ(SOAP_OK, call(ctx_.get(), sim_->endpoint(), in, out));
    EXPECT_EQ("2", crm::text(out.ErrorCode));
    EXPECT_EQ("i", crm::text(out.InfoMessage));
    EXPECT_EQ("7001", crm::text(out.LOYCardNumber));
    EXPECT_EQ("2002", crm::text(out.OrderNumber));
    EXPECT_EQ("-15", crm::text(out.OrderPointQty));
    EXPECT_EQ("25", crm::text(out.PeriodQualPoints));
    EXPECT_EQ("1200", crm::text(out.PointsAfter));
    EXPECT_EQ("1115", crm::text(out.PointsBefore));
    EXPECT_EQ("3", crm::text(out.PointsBlockChange));
    EXPECT_EQ((Lines{"ui:Order_Storno_Output", "  ui:ErrorCode=2", "  ui:InfoMessage=i",
                     "  ui:LOYCardNumber=7001", "  ui:OrderNumber=2002", "  ui:OrderPointQty=-15",
                     "  ui:PeriodQualPoints=25", "  ui:PointsAfter=1200", "  ui:PointsBefore=1115",
                     "  ui:PointsBlockChange=3"}),
              messageOf(capture_.body()).body);
}

TEST_F(CrmReplies, HoldAndUnholdPointsReadEveryElement) {
    struct Case {
        const char* operation;
        bool unhold;
        const char* code;
    };
    for (const Case& c : {Case{"Hold_Points", false, "4"}, Case{"Unhold_Points", true, "1"}}) {
        SCOPED_TRACE(c.operation);
        answer(c.operation, std::string(R"({"body": {"ErrorCode": ")") + c.code +
                                R"(", "InfoMessage": "m", "LOYCardNumber": "7001",
                                "PointsAfter": "1050", "PointsBefore": "1200"}})");
        hold::PointsOutput out;
        int rc;
        if (c.unhold) {
            hold::UnholdPointsInput in;
            rc = call(ctx_.get(), sim_->endpoint(), in, out);
        } else {
            hold::HoldPointsInput in;
            rc = call(ctx_.get(), sim_->endpoint(), in, out);
        }
        ASSERT_EQ(SOAP_OK, rc);
        EXPECT_EQ(c.code, crm::text(out.ErrorCode));
        EXPECT_EQ("m", crm::text(out.InfoMessage));
        EXPECT_EQ("7001", crm::text(out.LOYCardNumber));
        EXPECT_EQ("1050", crm::text(out.PointsAfter));
        EXPECT_EQ("1200", crm::text(out.PointsBefore));
        const std::string root = std::string("ui:") + c.operation + "_Output";
        EXPECT_EQ(
            (Lines{root, std::string("  ui:ErrorCode=") + c.code, "  ui:InfoMessage=m",
                   "  ui:LOYCardNumber=7001", "  ui:PointsAfter=1050", "  ui:PointsBefore=1200"}),
            messageOf(capture_.body()).body);
    }
}

TEST_F(CrmReplies, BatchOrderSyncReadsErrorCodeAndMessage) {
    answer("Batch_Order_Sync", R"({"body": {"ErrorCode": "0", "ErrorMessage": "it's done"}})");
    batch::BatchOrderSyncInput in;
    batch::BatchOrderSyncOutput out;
    ASSERT_EQ(SOAP_OK, call(ctx_.get(), sim_->endpoint(), in, out));
    EXPECT_EQ("0", crm::text(out.ErrorCode));
    EXPECT_EQ("it's done", crm::text(out.ErrorMessage));
    EXPECT_EQ(
        (Lines{"tns:Batch_Order_Sync_Output", "  tns:ErrorCode=0", "  tns:ErrorMessage=it's done"}),
        messageOf(capture_.body()).body);
}

TEST_F(CrmReplies, SessionTokenOfTheReplyHeaderIsReadAndTheRequestHeaderIsNotEchoed) {
    crm::setHeader(ctx_.get(), {{}, {}, "mine", "Stateless"});
    answer("Connection_Check", R"({"header": {"SessionToken": "tok-9"}})");
    conn::ConnectionCheckInput in;
    conn::ConnectionCheckOutput out;
    ASSERT_EQ(SOAP_OK, call(ctx_.get(), sim_->endpoint(), in, out));
    EXPECT_EQ("0", crm::text(out.ErrorCode));  // a reply without a body says ErrorCode 0
    EXPECT_EQ(std::optional<std::string>("tok-9"), crm::replyToken(ctx_.get()));
    EXPECT_EQ(std::nullopt, crm::replyHeader(ctx_.get())->sessionType);

    crm::setHeader(ctx_.get(), {"u", "p", "mine", "Stateless"});
    answer("Connection_Check", R"({"body": {"ErrorCode": "0"}})");
    ASSERT_EQ(SOAP_OK, call(ctx_.get(), sim_->endpoint(), in, out));
    EXPECT_EQ(std::nullopt, crm::replyHeader(ctx_.get()));
    EXPECT_EQ(std::nullopt, crm::replyToken(ctx_.get()));
}

TEST_F(CrmReplies, UnknownElementsAreSkippedAndMissingOnesStayNull) {
    const std::string envelope =
        std::string(R"(<?xml version="1.0" encoding="UTF-8"?>)") +
        R"(<E:Envelope xmlns:E="http://schemas.xmlsoap.org/soap/envelope/" xmlns:u=")" +
        crm::ns::ui + R"(" xmlns:l=")" + crm::ns::loy + R"(" xmlns:x=")" + crm::ns::h +
        R"(" xmlns:z="urn:somebody-else">)"
        R"(<E:Header><z:Trace>1</z:Trace><x:SessionToken>t2</x:SessionToken></E:Header>)"
        R"(<E:Body><u:Get_Info_Output><z:Extra><z:Deep>x</z:Deep></z:Extra>)"
        R"(<u:MemberStatus>S</u:MemberStatus><u:NotInTheTable>q</u:NotInTheTable>)"
        R"(<u:ErrorCode>2</u:ErrorCode><l:ListOfLOYMembershipCard><l:LoyMembershipCard>)"
        R"(<l:CardStatusCode>ACTIVE</l:CardStatusCode><l:Future>f</l:Future>)"
        R"(</l:LoyMembershipCard></l:ListOfLOYMembershipCard></u:Get_Info_Output></E:Body>)"
        R"(</E:Envelope>)";
    Json::Value reply(Json::objectValue);
    reply["xml"] = envelope;
    Json::Value s(Json::objectValue);
    s["Get_Info"]["reply"] = reply;
    sim_->setScenario(s);
    card::GetInfoInput in;
    card::GetInfoOutput out;
    ASSERT_EQ(SOAP_OK, call(ctx_.get(), sim_->endpoint(), in, out));
    EXPECT_EQ("2", crm::text(out.ErrorCode));
    EXPECT_EQ("S", crm::text(out.MemberStatus));
    EXPECT_EQ(nullptr, out.BlockedProducts);
    EXPECT_EQ(nullptr, out.InfoMessage);
    ASSERT_NE(nullptr, out.ListOfLOYMembershipCard);
    ASSERT_EQ(1u, out.ListOfLOYMembershipCard->LoyMembershipCard.size());
    EXPECT_EQ("ACTIVE",
              crm::text(out.ListOfLOYMembershipCard->LoyMembershipCard[0].CardStatusCode));
    EXPECT_EQ(nullptr, out.ListOfLOYMembershipCard->LoyMembershipCard[0].LOYCardNumber);
    EXPECT_EQ(nullptr, out.ListOfLineItemDiscount);
    EXPECT_EQ(std::optional<std::string>("t2"), crm::replyToken(ctx_.get()));
}

TEST_F(CrmReplies, AnEmptyReplyElementLeavesEveryFieldNull) {
    answer("Proc_Order", R"({"body": {}})");
    order::ProcOrderInput in;
    order::ProcOrderOutput out;
    ASSERT_EQ(SOAP_OK, call(ctx_.get(), sim_->endpoint(), in, out));
    EXPECT_EQ(nullptr, out.ErrorCode);
    EXPECT_EQ(nullptr, out.CardStatusCode);
    EXPECT_EQ(nullptr, out.ListOfOrder);
    EXPECT_EQ(nullptr, out.TierName);
    EXPECT_EQ(Lines{"ui:Proc_Order_Output="}, messageOf(capture_.body()).body);
}
