// Requests of the seven CRM operations as the simulator receives them: the
// element sequence of the raw XML against the message tables (written out
// here, independently of the definitions), the header, the SOAPAction and the
// namespaces each service declares.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/runner/soap/soap_support.h"

using namespace soaptest;

namespace {

const char* kEnv = "http://schemas.xmlsoap.org/soap/envelope/";
const char* kEnc = "http://schemas.xmlsoap.org/soap/encoding/";
const char* kXsi = "http://www.w3.org/2001/XMLSchema-instance";
const char* kXsd = "http://www.w3.org/2001/XMLSchema";

std::string* opt(struct soap* ctx, const std::string& v) {
    std::string* s = ::soap_new_std__string(ctx);
    *s = v;
    return s;
}

std::string action(const char* uri, const char* operation) {
    return std::string("document/") + uri + ":" + operation;
}

std::set<std::string> declared(std::initializer_list<const char*> own) {
    std::set<std::string> uris = {kEnv, kEnc, kXsi, kXsd};
    for (const char* u : own) uris.insert(u);
    return uris;
}

struct RequestCase {
    const char* name;
    const char* operation;
    std::string soapAction;
    std::set<std::string> namespaces;
    std::function<int(struct soap*, const std::string&)> send;
    std::vector<std::string> body;
};

int getInfoFull(struct soap* ctx, const std::string& ep) {
    card::GetInfoInput in;
    in.LOYCardType = "Lumora";
    in.LOYCardNumber = "7001";
    card::LineItem a;
    a.IntegrationId = "1";
    a.QuantityRequested = "2.5";
    a.VEKProductIntegrationId = "000095";
    a.BaseItemCost = "49.90";
    card::LineItem b;
    b.IntegrationId = "A1";
    in.ListOfOrderEntryLineItems.OrderEntryLineItems = {a, b};
    card::GasRequest& g = in.ListOfGasRequests.Request;
    g.GasStationOperatorName = opt(ctx, "Иванова Анна");
    g.GasStationOperId = opt(ctx, "17");
    g.GasStationShiftNum = opt(ctx, "3");
    g.GasTerminalId = "T2";
    g.GasStationId = "77";
    g.GasOperationDate = "01/31/2024 23:59:59";
    in.LOYCardHash = "HASH7001";
    in.SourceSystem = "VURIV";
    card::GetInfoOutput out;
    return call(ctx, ep, in, out);
}

int getInfoEmpty(struct soap* ctx, const std::string& ep) {
    card::GetInfoInput in;
    in.LOYCardType = "QRCode";
    card::GetInfoOutput out;
    return call(ctx, ep, in, out);
}

int procOrderFull(struct soap* ctx, const std::string& ep) {
    order::ProcOrderInput in;
    order::Member& m = in.ListOfLOYMember.LoyMember;
    m.LOYCardType = opt(ctx, "QRCode");
    m.LOYCardNumber = "https://qr/12345678901234567/x";
    m.LOYCardGSCount = opt(ctx, "1");
    m.LOYCardHash = "HASH12345678901234567";
    order::Order& o = m.ListOfOrder.OrderEntryOrders;
    o.OrderNumber = "1001";
    o.SourceSystem = opt(ctx, "VURIV");
    o.ListOfOrderEntryLineItems = order::soap_new_LineItemList(ctx);
    order::LineItem full;
    full.IntegrationId = opt(ctx, "1");
    full.QuantityRequested = "30.5";
    full.VEKProductIntegrationId = "95";
    full.PaymentType = "MIX";
    full.BaseItemPoints = "100";
    full.BaseItemCost = "52.10";
    full.PaymentTypeDetail = opt(ctx, "OTHER");
    full.DiscountId = opt(ctx, "D1");
    full.SubscriptionId = opt(ctx, "S1");
    full.ItemDiscount = opt(ctx, "2.000000");
    order::LineItem bare;
    o.ListOfOrderEntryLineItems->OrderEntryLineItems = {full, bare};
    o.ListOfGasRequests = order::soap_new_GasRequestList(ctx);
    order::GasRequest& g = o.ListOfGasRequests->Requests;
    g.GasOperationDateUTC = opt(ctx, "01/31/2024 20:59:59");
    g.GasStationOperatorName = opt(ctx, "Petrov");
    g.GasStationOperId = opt(ctx, "17");
    g.GasStationShiftNum = opt(ctx, "3");
    g.GasStationId = "77";
    g.GasTerminalId = "T2";
    g.GasOperationDate = opt(ctx, "01/31/2024 23:59:59");
    order::ProcOrderOutput out;
    return call(ctx, ep, in, out);
}

int procOrderBare(struct soap* ctx, const std::string& ep) {
    order::ProcOrderInput in;
    order::ProcOrderOutput out;
    return call(ctx, ep, in, out);
}

int procOrderEmptyLines(struct soap* ctx, const std::string& ep) {
    order::ProcOrderInput in;
    order::Order& o = in.ListOfLOYMember.LoyMember.ListOfOrder.OrderEntryOrders;
    o.OrderNumber = "7";
    o.ListOfOrderEntryLineItems = order::soap_new_LineItemList(ctx);
    o.ListOfGasRequests = order::soap_new_GasRequestList(ctx);
    order::ProcOrderOutput out;
    return call(ctx, ep, in, out);
}

int orderStornoFull(struct soap* ctx, const std::string& ep) {
    storn::OrderStornoInput in;
    storn::Order& o = in.ListOfOrder.OrderEntryOrders;
    o.NewOrderNumber = "2002";
    o.StornoOrderNumber = "1001";
    o.ListOfOrderEntryLineItems = storn::soap_new_LineItemList(ctx);
    storn::LineItem a;
    a.IntegrationId = opt(ctx, "1");
    a.QuantityRequested = "10";
    a.VEKProductIntegrationId = "95";
    storn::LineItem b;
    o.ListOfOrderEntryLineItems->OrderEntryLineItems = {a, b};
    storn::StornoGasInfo s;
    s.GasStationOperatorName = opt(ctx, "Petrov");
    s.GasStationOperId = opt(ctx, "17");
    s.GasStationShiftNum = opt(ctx, "3");
    s.GasStationId = "77";
    s.GasTerminalId = "T2";
    s.GasOperationDate = opt(ctx, "01/31/2024 23:59:59");
    o.StornoGasRequest = {s};
    storn::NewGasInfo n;
    n.GasStationOperatorName = opt(ctx, "Sidorov");
    n.GasStationOperId = opt(ctx, "18");
    n.GasStationShiftNum = opt(ctx, "4");
    n.GasStationId = "78";
    n.GasTerminalId = "T3";
    n.GasOperationDate = opt(ctx, "02/01/2024 08:00:00");
    n.GasOperationDateUTC = opt(ctx, "02/01/2024 05:00:00");
    o.NewGasRequest = {n};
    storn::OrderStornoOutput out;
    return call(ctx, ep, in, out);
}

int orderStornoBare(struct soap* ctx, const std::string& ep) {
    storn::OrderStornoInput in;
    storn::Order& o = in.ListOfOrder.OrderEntryOrders;
    storn::StornoGasInfo s;
    storn::NewGasInfo n;
    o.StornoGasRequest = {s};
    o.NewGasRequest = {n};
    storn::OrderStornoOutput out;
    return call(ctx, ep, in, out);
}

int holdPoints(struct soap* ctx, const std::string& ep) {
    hold::HoldPointsInput in;
    in.LOYCardType = "Lumora";
    in.LOYCardNumber = "7001";
    in.OrderNumber = "1001";
    in.SourceSystem = "VURIV";
    in.PointsAmount = "150.50";
    hold::PointsOutput out;
    return call(ctx, ep, in, out);
}

int unholdPoints(struct soap* ctx, const std::string& ep) {
    hold::UnholdPointsInput in;
    in.OrderNumber = "1001";
    hold::PointsOutput out;
    return call(ctx, ep, in, out);
}

int batchFull(struct soap* ctx, const std::string& ep) {
    batch::BatchOrderSyncInput in;
    in.ListOfOrders = batch::soap_new_QueueOrderList(ctx);
    batch::QueueOrder a;
    a.LoyCardType = opt(ctx, "Lumora");
    a.BatchId = opt(ctx, "12");
    a.LOYCardGSCount = opt(ctx, "1");
    a.LoyCardNumber = opt(ctx, "7001");
    a.OrderNum = opt(ctx, "2002");
    a.ParentOrderNum = opt(ctx, "1001");
    a.ReconciliationType = opt(ctx, "Reconciliation");
    a.SourceSystem = opt(ctx, "VURIV");
    a.GasRequest = batch::soap_new_QueueGasRequest(ctx);
    a.GasRequest->GasTerminalId = opt(ctx, "T2");
    a.GasRequest->GasOperationDate = opt(ctx, "02/01/2024 08:00:00");
    a.GasRequest->GasStationId = opt(ctx, "77");
    a.GasRequest->GasStationOperId = opt(ctx, "");
    a.GasRequest->GasStationOperatorName = opt(ctx, "");
    a.GasRequest->GasStationShiftNum = opt(ctx, "-1");
    a.GasRequest->GasOperationDateUTC = opt(ctx, "02/01/2024 05:00:00");
    a.ParentGasRequest = batch::soap_new_QueueParentGasRequest(ctx);
    a.ParentGasRequest->GasTerminalId = opt(ctx, "T1");
    a.ParentGasRequest->GasOperationDate = opt(ctx, "01/31/2024 23:59:59");
    a.ParentGasRequest->GasStationId = opt(ctx, "77");
    a.ParentGasRequest->GasStationOperId = opt(ctx, "17");
    a.ParentGasRequest->GasStationOperatorName = opt(ctx, "Petrov");
    a.ParentGasRequest->GasStationShiftNum = opt(ctx, "3");
    a.ListOfOrderEntryItems = batch::soap_new_QueueItemList(ctx);
    batch::QueueItem item;
    item.IntegrationId = opt(ctx, "1");
    item.QuantityRequested = opt(ctx, "30.5");
    item.VEKBaseItemCost = opt(ctx, "52.1");
    item.VEKProductIntegrationId = opt(ctx, "95");
    item.PaymentTypeDetail = opt(ctx, "OTHER");
    item.PaymentType = opt(ctx, "MIX");
    item.DiscountId = opt(ctx, "D1");
    item.ItemDiscount = opt(ctx, "2");
    item.SubscriptionId = opt(ctx, "S1");
    a.ListOfOrderEntryItems->OrderEntryItem = {item};
    batch::QueueOrder b;
    b.LoyCardNumber = opt(ctx, "7002");
    b.ListOfOrderEntryItems = batch::soap_new_QueueItemList(ctx);
    batch::QueueItem few;
    few.IntegrationId = opt(ctx, "1");
    b.ListOfOrderEntryItems->OrderEntryItem = {few};
    in.ListOfOrders->OrderEntry = {a, b};
    batch::BatchOrderSyncOutput out;
    return call(ctx, ep, in, out);
}

int batchBare(struct soap* ctx, const std::string& ep) {
    batch::BatchOrderSyncInput in;
    batch::BatchOrderSyncOutput out;
    return call(ctx, ep, in, out);
}

const std::vector<RequestCase>& requestCases() {
    using namespace crm::ns;
    static const std::vector<RequestCase> cases = {
        {"Connection_Check",
         "Connection_Check",
         action(ui, "Connection_Check"),
         declared({h, ui}),
         [](struct soap* ctx, const std::string& ep) { return connectionCheck(ctx, ep); },
         {"ui:Connection_Check_Input="}},
        {"Get_Info with lines and cashier",
         "Get_Info",
         action(ui, "Get_Info"),
         declared({h, bns, loy, ns1, ui}),
         getInfoFull,
         {"ui:Get_Info_Input",
          "  ui:LOYCardType=Lumora",
          "  ui:LOYCardNumber=7001",
          "  bns:ListOfOrderEntry-LineItems",
          "    bns:OrderEntry-LineItems",
          "      bns:IntegrationId=1",
          "      bns:QuantityRequested=2.5",
          "      bns:VEKProductIntegrationId=000095",
          "      bns:BaseItemCost=49.90",
          "    bns:OrderEntry-LineItems",
          "      bns:IntegrationId=A1",
          "      bns:QuantityRequested=",
          "      bns:VEKProductIntegrationId=",
          "      bns:BaseItemCost=",
          "  bns:ListOfGasRequests",
          "    bns:GasRequest",
          "      bns:GasStationOperatorName=Иванова Анна",
          "      bns:GasStationOperId=17",
          "      bns:GasStationShiftNum=3",
          "      bns:GasTerminalId=T2",
          "      bns:GasStationId=77",
          "      bns:GasOperationDate=01/31/2024 23:59:59",
          "  ui:LOYCardHash=HASH7001",
          "  ui:SourceSystem=VURIV"}},
        {"Get_Info without lines and cashier",
         "Get_Info",
         action(ui, "Get_Info"),
         declared({h, bns, loy, ns1, ui}),
         getInfoEmpty,
         {"ui:Get_Info_Input", "  ui:LOYCardType=QRCode",
          "  ui:LOYCardNumber=", "  bns:ListOfOrderEntry-LineItems=", "  bns:ListOfGasRequests",
          "    bns:GasRequest", "      bns:GasTerminalId=", "      bns:GasStationId=",
          "      bns:GasOperationDate=", "  ui:LOYCardHash=", "  ui:SourceSystem="}},
        {"Proc_Order with every element",
         "Proc_Order",
         action(ui, "Proc_Order"),
         declared({h, bns, ord, ui}),
         procOrderFull,
         {"ui:Proc_Order_Input",
          "  bns:ListOfLOYMember",
          "    bns:LoyMember",
          "      bns:LOYCardType=QRCode",
          "      bns:LOYCardNumber=https://qr/12345678901234567/x",
          "      bns:LOYCardGSCount=1",
          "      bns:LOYCardHash=HASH12345678901234567",
          "      bns:ListOfOrder",
          "        bns:OrderEntry-Orders",
          "          bns:OrderNumber=1001",
          "          bns:SourceSystem=VURIV",
          "          bns:ListOfOrderEntry-LineItems",
          "            bns:OrderEntry-LineItems",
          "              bns:IntegrationId=1",
          "              bns:QuantityRequested=30.5",
          "              bns:VEKProductIntegrationId=95",
          "              bns:PaymentType=MIX",
          "              bns:BaseItemPoints=100",
          "              bns:BaseItemCost=52.10",
          "              bns:PaymentTypeDetail=OTHER",
          "              bns:DiscountId=D1",
          "              bns:SubscriptionId=S1",
          "              bns:ItemDiscount=2.000000",
          "            bns:OrderEntry-LineItems",
          "              bns:QuantityRequested=",
          "              bns:VEKProductIntegrationId=",
          "              bns:PaymentType=",
          "              bns:BaseItemPoints=",
          "              bns:BaseItemCost=",
          "          bns:ListOfGasRequests",
          "            bns:GasRequests",
          "              bns:GasOperationDateUTC=01/31/2024 20:59:59",
          "              bns:GasStationOperatorName=Petrov",
          "              bns:GasStationOperId=17",
          "              bns:GasStationShiftNum=3",
          "              bns:GasStationId=77",
          "              bns:GasTerminalId=T2",
          "              bns:GasOperationDate=01/31/2024 23:59:59"}},
        {"Proc_Order with the always elements only",
         "Proc_Order",
         action(ui, "Proc_Order"),
         declared({h, bns, ord, ui}),
         procOrderBare,
         {"ui:Proc_Order_Input", "  bns:ListOfLOYMember", "    bns:LoyMember",
          "      bns:LOYCardNumber=", "      bns:LOYCardHash=", "      bns:ListOfOrder",
          "        bns:OrderEntry-Orders", "          bns:OrderNumber="}},
        {"Proc_Order with an empty line list",
         "Proc_Order",
         action(ui, "Proc_Order"),
         declared({h, bns, ord, ui}),
         procOrderEmptyLines,
         {"ui:Proc_Order_Input", "  bns:ListOfLOYMember", "    bns:LoyMember",
          "      bns:LOYCardNumber=", "      bns:LOYCardHash=", "      bns:ListOfOrder",
          "        bns:OrderEntry-Orders", "          bns:OrderNumber=7",
          "          bns:ListOfOrderEntry-LineItems=", "          bns:ListOfGasRequests",
          "            bns:GasRequests",
          "              bns:GasStationId=", "              bns:GasTerminalId="}},
        {"Order_Storno with every element",
         "Order_Storno",
         action(ui, "Order_Storno"),
         declared({h, bns, ui}),
         orderStornoFull,
         {"ui:Order_Storno_Input",
          "  bns:ListOfOrder",
          "    bns:OrderEntry-Orders",
          "      bns:NewOrderNumber=2002",
          "      bns:StornoOrderNumber=1001",
          "      bns:ListOfOrderEntry-LineItems",
          "        bns:OrderEntry-LineItems",
          "          bns:IntegrationId=1",
          "          bns:QuantityRequested=10",
          "          bns:VEKProductIntegrationId=95",
          "        bns:OrderEntry-LineItems",
          "          bns:QuantityRequested=",
          "          bns:VEKProductIntegrationId=",
          "      bns:StornoGasRequest",
          "        bns:GasStationOperatorName=Petrov",
          "        bns:GasStationOperId=17",
          "        bns:GasStationShiftNum=3",
          "        bns:GasStationId=77",
          "        bns:GasTerminalId=T2",
          "        bns:GasOperationDate=01/31/2024 23:59:59",
          "      bns:NewGasRequest",
          "        bns:GasStationOperatorName=Sidorov",
          "        bns:GasStationOperId=18",
          "        bns:GasStationShiftNum=4",
          "        bns:GasStationId=78",
          "        bns:GasTerminalId=T3",
          "        bns:GasOperationDate=02/01/2024 08:00:00",
          "        bns:GasOperationDateUTC=02/01/2024 05:00:00"}},
        {"Order_Storno with the always elements only",
         "Order_Storno",
         action(ui, "Order_Storno"),
         declared({h, bns, ui}),
         orderStornoBare,
         {"ui:Order_Storno_Input", "  bns:ListOfOrder", "    bns:OrderEntry-Orders",
          "      bns:NewOrderNumber=", "      bns:StornoOrderNumber=", "      bns:StornoGasRequest",
          "        bns:GasStationId=", "        bns:GasTerminalId=", "      bns:NewGasRequest",
          "        bns:GasStationId=", "        bns:GasTerminalId="}},
        {"Hold_Points",
         "Hold_Points",
         action(ui, "Hold_Points"),
         declared({h, ui}),
         holdPoints,
         {"ui:Hold_Points_Input", "  ui:LOYCardType=Lumora", "  ui:LOYCardNumber=7001",
          "  ui:GasOperationDate=", "  ui:OrderNumber=1001", "  ui:SourceSystem=VURIV",
          "  ui:PointsAmount=150.50", "  ui:GasStationId=", "  ui:GasOperationDateUTC="}},
        {"Unhold_Points",
         "Unhold_Points",
         action(ui, "Unhold_Points"),
         declared({h, ui}),
         unholdPoints,
         {"ui:Unhold_Points_Input", "  ui:LOYCardNumber=", "  ui:OrderNumber=1001",
          "  ui:SourceSystem=", "  ui:GasStationId="}},
        {"Batch_Order_Sync with every element",
         "Batch_Order_Sync",
         action(tns, "Batch_Order_Sync"),
         declared({h, que, tns}),
         batchFull,
         {"tns:Batch_Order_Sync_Input",
          "  que:ListOfOrders",
          "    que:OrderEntry",
          "      que:LoyCardType=Lumora",
          "      que:BatchId=12",
          "      que:LOYCardGSCount=1",
          "      que:LoyCardNumber=7001",
          "      que:OrderNum=2002",
          "      que:ParentOrderNum=1001",
          "      que:ReconciliationType=Reconciliation",
          "      que:SourceSystem=VURIV",
          "      que:GasRequest",
          "        que:GasTerminalId=T2",
          "        que:GasOperationDate=02/01/2024 08:00:00",
          "        que:GasStationId=77",
          "        que:GasStationOperId=",
          "        que:GasStationOperatorName=",
          "        que:GasStationShiftNum=-1",
          "        que:GasOperationDateUTC=02/01/2024 05:00:00",
          "      que:ParentGasRequest",
          "        que:GasTerminalId=T1",
          "        que:GasOperationDate=01/31/2024 23:59:59",
          "        que:GasStationId=77",
          "        que:GasStationOperId=17",
          "        que:GasStationOperatorName=Petrov",
          "        que:GasStationShiftNum=3",
          "      que:ListOfOrderEntryItems",
          "        que:OrderEntryItem",
          "          que:IntegrationId=1",
          "          que:QuantityRequested=30.5",
          "          que:VEKBaseItemCost=52.1",
          "          que:VEKProductIntegrationId=95",
          "          que:PaymentTypeDetail=OTHER",
          "          que:PaymentType=MIX",
          "          que:DiscountId=D1",
          "          que:ItemDiscount=2",
          "          que:SubscriptionId=S1",
          "    que:OrderEntry",
          "      que:LoyCardNumber=7002",
          "      que:ListOfOrderEntryItems",
          "        que:OrderEntryItem",
          "          que:IntegrationId=1"}},
        {"Batch_Order_Sync with nothing set",
         "Batch_Order_Sync",
         action(tns, "Batch_Order_Sync"),
         declared({h, que, tns}),
         batchBare,
         {"tns:Batch_Order_Sync_Input="}},
    };
    return cases;
}

std::vector<std::string> lines(std::initializer_list<const char*> l) {
    return {l.begin(), l.end()};
}

}  // namespace

TEST(CrmRequests, FollowTheElementTablesOfEachOperation) {
    Simulator sim;
    size_t n = 0;
    for (const RequestCase& c : requestCases()) {
        SCOPED_TRACE(c.name);
        crm::SoapPtr ctx = clientContext();
        crm::Header h;
        h.usernameToken = "user";
        h.passwordText = "pass";
        h.sessionType = "Stateless";
        crm::setHeader(ctx.get(), h);
        ASSERT_EQ(SOAP_OK, c.send(ctx.get(), sim.endpoint()));
        const std::vector<Json::Value> records = sim.waitRecords(++n);
        ASSERT_EQ(n, records.size());
        const Json::Value& r = records.back();
        EXPECT_EQ(c.operation, r["operation"].asString());
        EXPECT_EQ(c.soapAction, r["soapAction"].asString());
        const std::string xml = r["xml"].asString();
        const Message m = messageOf(xml);
        EXPECT_EQ(c.body, m.body);
        EXPECT_EQ(lines({"h:UsernameToken=user", "h:PasswordText=pass", "h:SessionType=Stateless"}),
                  m.header);
        EXPECT_EQ(c.namespaces, declaredNamespaces(xml));
    }
}

TEST(CrmRequests, HeaderCarriesTheFieldsThatAreSetInTheirOrder) {
    struct HeaderCase {
        const char* name;
        crm::Header header;
        bool attach;
        std::vector<std::string> expected;
    };
    const HeaderCase cases[] = {
        {"all four",
         {"u1", "p1", "tok-1", "Stateful"},
         true,
         lines({"h:UsernameToken=u1", "h:PasswordText=p1", "h:SessionToken=tok-1",
                "h:SessionType=Stateful"})},
        {"session token instead of the credentials",
         {{}, {}, "tok-2", "Stateless"},
         true,
         lines({"h:SessionToken=tok-2", "h:SessionType=Stateless"})},
        {"empty values are still written",
         {"", "", {}, {}},
         true,
         lines({"h:UsernameToken=", "h:PasswordText="})},
        {"nothing set", {}, true, {}},
        {"no header attached", {}, false, {}},
    };
    Simulator sim;
    size_t n = 0;
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        crm::SoapPtr ctx = clientContext();
        if (c.attach) crm::setHeader(ctx.get(), c.header);
        ASSERT_EQ(SOAP_OK, connectionCheck(ctx.get(), sim.endpoint()));
        const std::vector<Json::Value> records = sim.waitRecords(++n);
        ASSERT_EQ(n, records.size());
        EXPECT_EQ(c.expected, messageOf(records.back()["xml"].asString()).header);
    }
}

TEST(CrmRequests, RecordCarriesTheHeaderAndBodyFieldsAsJson) {
    Simulator sim;
    crm::SoapPtr ctx = clientContext();
    crm::setHeader(ctx.get(), {"user", "pass", {}, "Stateless"});
    ASSERT_EQ(SOAP_OK, getInfoFull(ctx.get(), sim.endpoint()));
    const Json::Value r = sim.waitRecords(1).at(0);
    EXPECT_EQ(json(R"({"UsernameToken":"user","PasswordText":"pass","SessionType":"Stateless"})"),
              r["header"]);
    const Json::Value& body = r["body"];
    EXPECT_EQ("7001", body["LOYCardNumber"].asString());
    EXPECT_EQ(
        "A1",
        body["ListOfOrderEntry-LineItems"]["OrderEntry-LineItems"][1]["IntegrationId"].asString());
    EXPECT_EQ("Иванова Анна",
              body["ListOfGasRequests"]["GasRequest"]["GasStationOperatorName"].asString());
    EXPECT_EQ("/crm", r["path"].asString());
}
