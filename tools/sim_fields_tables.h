// The element tables of every CRM message class, in XML order: the JSON key
// (the element's local name) and the member it is read from or written to.
// Included by sim_fields.h.
#pragma once

namespace sim {

#define SIM_FIELDS(Type)              \
    template <>                       \
    struct Fields<Type> {             \
        template <class W, class O>   \
        static void each(W& w, O& o); \
    };                                \
    template <class W, class O>       \
    void Fields<Type>::each(W& w, O& o)

// Service conn.

SIM_FIELDS(conn::ConnectionCheckInput) {
    (void)w;
    (void)o;
}

SIM_FIELDS(conn::ConnectionCheckOutput) {
    w("ErrorCode", o.ErrorCode);
    w("ErrorMessage", o.ErrorMessage);
}

// Service card.

SIM_FIELDS(card::LineItem) {
    w("IntegrationId", o.IntegrationId);
    w("QuantityRequested", o.QuantityRequested);
    w("VEKProductIntegrationId", o.VEKProductIntegrationId);
    w("BaseItemCost", o.BaseItemCost);
}

SIM_FIELDS(card::LineItemList) {
    w("OrderEntry-LineItems", o.OrderEntryLineItems);
}

SIM_FIELDS(card::GasRequest) {
    w("GasStationOperatorName", o.GasStationOperatorName);
    w("GasStationOperId", o.GasStationOperId);
    w("GasStationShiftNum", o.GasStationShiftNum);
    w("GasTerminalId", o.GasTerminalId);
    w("GasStationId", o.GasStationId);
    w("GasOperationDate", o.GasOperationDate);
}

SIM_FIELDS(card::GasRequestList) {
    w("GasRequest", o.Request);
}

SIM_FIELDS(card::GetInfoInput) {
    w("LOYCardType", o.LOYCardType);
    w("LOYCardNumber", o.LOYCardNumber);
    w("ListOfOrderEntry-LineItems", o.ListOfOrderEntryLineItems);
    w("ListOfGasRequests", o.ListOfGasRequests);
    w("LOYCardHash", o.LOYCardHash);
    w("SourceSystem", o.SourceSystem);
}

SIM_FIELDS(card::MembershipCard) {
    w("Id", o.Id);
    w("LOYCardNumber", o.LOYCardNumber);
    w("CardStatusCode", o.CardStatusCode);
    w("CardType", o.CardType);
    w("LOYCardDiscount", o.LOYCardDiscount);
    w("ReasonBlock", o.ReasonBlock);
    w("TierName", o.TierName);
    w("PeriodQualPoints", o.PeriodQualPoints);
    w("Point1Value", o.Point1Value);
    w("ClientCurrency", o.ClientCurrency);
    w("ClientCurrencyPoint1Value", o.ClientCurrencyPoint1Value);
}

SIM_FIELDS(card::MembershipCardList) {
    w("LoyMembershipCard", o.LoyMembershipCard);
}

SIM_FIELDS(card::LineItemDiscount) {
    w("IntegrationId", o.IntegrationId);
    w("DiscountId", o.DiscountId);
    w("DiscountName", o.DiscountName);
    w("DiscountPercent", o.DiscountPercent);
    w("QuantityDiscounted", o.QuantityDiscounted);
    w("QuantityRemain", o.QuantityRemain);
    w("SubscriptionId", o.SubscriptionId);
    w("SubscriptionName", o.SubscriptionName);
    w("SubscriptionQuantity", o.SubscriptionQuantity);
    w("PromocodeQuantityRemain", o.PromocodeQuantityRemain);
}

SIM_FIELDS(card::LineItemDiscountList) {
    w("LineItemDiscount", o.Discounts);
}

SIM_FIELDS(card::GetInfoOutput) {
    w("BlockedProducts", o.BlockedProducts);
    w("EReceiptFlag", o.EReceiptFlag);
    w("Email", o.Email);
    w("ErrorCode", o.ErrorCode);
    w("InfoMessage", o.InfoMessage);
    w("MemberStatus", o.MemberStatus);
    w("ListOfLOYMembershipCard", o.ListOfLOYMembershipCard);
    w("ListOfLineItemDiscount", o.ListOfLineItemDiscount);
}

// Service order.

SIM_FIELDS(order::LineItem) {
    w("IntegrationId", o.IntegrationId);
    w("QuantityRequested", o.QuantityRequested);
    w("VEKProductIntegrationId", o.VEKProductIntegrationId);
    w("PaymentType", o.PaymentType);
    w("BaseItemPoints", o.BaseItemPoints);
    w("BaseItemCost", o.BaseItemCost);
    w("PaymentTypeDetail", o.PaymentTypeDetail);
    w("DiscountId", o.DiscountId);
    w("SubscriptionId", o.SubscriptionId);
    w("ItemDiscount", o.ItemDiscount);
}

SIM_FIELDS(order::LineItemList) {
    w("OrderEntry-LineItems", o.OrderEntryLineItems);
}

SIM_FIELDS(order::GasRequest) {
    w("GasOperationDateUTC", o.GasOperationDateUTC);
    w("GasStationOperatorName", o.GasStationOperatorName);
    w("GasStationOperId", o.GasStationOperId);
    w("GasStationShiftNum", o.GasStationShiftNum);
    w("GasStationId", o.GasStationId);
    w("GasTerminalId", o.GasTerminalId);
    w("GasOperationDate", o.GasOperationDate);
}

SIM_FIELDS(order::GasRequestList) {
    w("GasRequests", o.Requests);
}

SIM_FIELDS(order::Order) {
    w("OrderNumber", o.OrderNumber);
    w("SourceSystem", o.SourceSystem);
    w("ListOfOrderEntry-LineItems", o.ListOfOrderEntryLineItems);
    w("ListOfGasRequests", o.ListOfGasRequests);
}

SIM_FIELDS(order::OrderList) {
    w("OrderEntry-Orders", o.OrderEntryOrders);
}

SIM_FIELDS(order::Member) {
    w("LOYCardType", o.LOYCardType);
    w("LOYCardNumber", o.LOYCardNumber);
    w("LOYCardGSCount", o.LOYCardGSCount);
    w("LOYCardHash", o.LOYCardHash);
    w("ListOfOrder", o.ListOfOrder);
}

SIM_FIELDS(order::MemberList) {
    w("LoyMember", o.LoyMember);
}

SIM_FIELDS(order::ProcOrderInput) {
    w("ListOfLOYMember", o.ListOfLOYMember);
}

SIM_FIELDS(order::ReplyLineItem) {
    w("Id", o.Id);
    w("IntegrationId", o.IntegrationId);
    w("VEKProductIntegrationId", o.VEKProductIntegrationId);
    w("BaseItemPointsAccrual", o.BaseItemPointsAccrual);
    w("BaseItemPointsRedemption", o.BaseItemPointsRedemption);
    w("QuantityRequested", o.QuantityRequested);
    w("BaseItemCost", o.BaseItemCost);
    w("PaymentTypeDetail", o.PaymentTypeDetail);
}

SIM_FIELDS(order::ReplyLineItemList) {
    w("OrderEntry-LineItems", o.OrderEntryLineItems);
}

SIM_FIELDS(order::ReplyOrder) {
    w("Id", o.Id);
    w("OrderDate", o.OrderDate);
    w("OrderNumber", o.OrderNumber);
    w("ListOfOrderEntry-LineItems", o.ListOfOrderEntryLineItems);
}

SIM_FIELDS(order::ReplyOrderList) {
    w("OrderEntry-Orders", o.OrderEntryOrders);
}

SIM_FIELDS(order::ProcOrderOutput) {
    w("CardStatusCode", o.CardStatusCode);
    w("ErrorCode", o.ErrorCode);
    w("InfoMessage", o.InfoMessage);
    w("LOYCardNumber", o.LOYCardNumber);
    w("OrderPointQty", o.OrderPointQty);
    w("PeriodQualPoints", o.PeriodQualPoints);
    w("PointsAfter", o.PointsAfter);
    w("PointsBefore", o.PointsBefore);
    w("ListOfOrder", o.ListOfOrder);
    w("TierName", o.TierName);
}

// Service storn.

SIM_FIELDS(storn::LineItem) {
    w("IntegrationId", o.IntegrationId);
    w("QuantityRequested", o.QuantityRequested);
    w("VEKProductIntegrationId", o.VEKProductIntegrationId);
}

SIM_FIELDS(storn::LineItemList) {
    w("OrderEntry-LineItems", o.OrderEntryLineItems);
}

SIM_FIELDS(storn::StornoGasInfo) {
    w("GasStationOperatorName", o.GasStationOperatorName);
    w("GasStationOperId", o.GasStationOperId);
    w("GasStationShiftNum", o.GasStationShiftNum);
    w("GasStationId", o.GasStationId);
    w("GasTerminalId", o.GasTerminalId);
    w("GasOperationDate", o.GasOperationDate);
}

SIM_FIELDS(storn::NewGasInfo) {
    w("GasStationOperatorName", o.GasStationOperatorName);
    w("GasStationOperId", o.GasStationOperId);
    w("GasStationShiftNum", o.GasStationShiftNum);
    w("GasStationId", o.GasStationId);
    w("GasTerminalId", o.GasTerminalId);
    w("GasOperationDate", o.GasOperationDate);
    w("GasOperationDateUTC", o.GasOperationDateUTC);
}

SIM_FIELDS(storn::Order) {
    w("NewOrderNumber", o.NewOrderNumber);
    w("StornoOrderNumber", o.StornoOrderNumber);
    w("ListOfOrderEntry-LineItems", o.ListOfOrderEntryLineItems);
    w("StornoGasRequest", o.StornoGasRequest);
    w("NewGasRequest", o.NewGasRequest);
}

SIM_FIELDS(storn::OrderList) {
    w("OrderEntry-Orders", o.OrderEntryOrders);
}

SIM_FIELDS(storn::OrderStornoInput) {
    w("ListOfOrder", o.ListOfOrder);
}

SIM_FIELDS(storn::OrderStornoOutput) {
    w("ErrorCode", o.ErrorCode);
    w("InfoMessage", o.InfoMessage);
    w("LOYCardNumber", o.LOYCardNumber);
    w("OrderNumber", o.OrderNumber);
    w("OrderPointQty", o.OrderPointQty);
    w("PeriodQualPoints", o.PeriodQualPoints);
    w("PointsAfter", o.PointsAfter);
    w("PointsBefore", o.PointsBefore);
    w("PointsBlockChange", o.PointsBlockChange);
}

// Service hold.

SIM_FIELDS(hold::HoldPointsInput) {
    w("LOYCardType", o.LOYCardType);
    w("LOYCardNumber", o.LOYCardNumber);
    w("GasOperationDate", o.GasOperationDate);
    w("OrderNumber", o.OrderNumber);
    w("SourceSystem", o.SourceSystem);
    w("PointsAmount", o.PointsAmount);
    w("GasStationId", o.GasStationId);
    w("GasOperationDateUTC", o.GasOperationDateUTC);
}

SIM_FIELDS(hold::UnholdPointsInput) {
    w("LOYCardNumber", o.LOYCardNumber);
    w("OrderNumber", o.OrderNumber);
    w("SourceSystem", o.SourceSystem);
    w("GasStationId", o.GasStationId);
}

SIM_FIELDS(hold::PointsOutput) {
    w("ErrorCode", o.ErrorCode);
    w("InfoMessage", o.InfoMessage);
    w("LOYCardNumber", o.LOYCardNumber);
    w("PointsAfter", o.PointsAfter);
    w("PointsBefore", o.PointsBefore);
}

// Service batch.

SIM_FIELDS(batch::QueueGasRequest) {
    w("GasTerminalId", o.GasTerminalId);
    w("GasOperationDate", o.GasOperationDate);
    w("GasStationId", o.GasStationId);
    w("GasStationOperId", o.GasStationOperId);
    w("GasStationOperatorName", o.GasStationOperatorName);
    w("GasStationShiftNum", o.GasStationShiftNum);
    w("GasOperationDateUTC", o.GasOperationDateUTC);
}

SIM_FIELDS(batch::QueueParentGasRequest) {
    w("GasTerminalId", o.GasTerminalId);
    w("GasOperationDate", o.GasOperationDate);
    w("GasStationId", o.GasStationId);
    w("GasStationOperId", o.GasStationOperId);
    w("GasStationOperatorName", o.GasStationOperatorName);
    w("GasStationShiftNum", o.GasStationShiftNum);
}

SIM_FIELDS(batch::QueueItem) {
    w("IntegrationId", o.IntegrationId);
    w("QuantityRequested", o.QuantityRequested);
    w("VEKBaseItemCost", o.VEKBaseItemCost);
    w("VEKProductIntegrationId", o.VEKProductIntegrationId);
    w("PaymentTypeDetail", o.PaymentTypeDetail);
    w("PaymentType", o.PaymentType);
    w("DiscountId", o.DiscountId);
    w("ItemDiscount", o.ItemDiscount);
    w("SubscriptionId", o.SubscriptionId);
}

SIM_FIELDS(batch::QueueItemList) {
    w("OrderEntryItem", o.OrderEntryItem);
}

SIM_FIELDS(batch::QueueOrder) {
    w("LoyCardType", o.LoyCardType);
    w("Id", o.Id);
    w("BatchId", o.BatchId);
    w("LOYCardGSCount", o.LOYCardGSCount);
    w("LoyCardNumber", o.LoyCardNumber);
    w("OrderNum", o.OrderNum);
    w("ParentOrderNum", o.ParentOrderNum);
    w("ReconciliationType", o.ReconciliationType);
    w("SourceSystem", o.SourceSystem);
    w("GasRequest", o.GasRequest);
    w("ParentGasRequest", o.ParentGasRequest);
    w("ListOfOrderEntryItems", o.ListOfOrderEntryItems);
}

SIM_FIELDS(batch::QueueOrderList) {
    w("OrderEntry", o.OrderEntry);
}

SIM_FIELDS(batch::BatchOrderSyncInput) {
    w("ListOfOrders", o.ListOfOrders);
}

SIM_FIELDS(batch::BatchOrderSyncOutput) {
    w("ErrorCode", o.ErrorCode);
    w("ErrorMessage", o.ErrorMessage);
}

#undef SIM_FIELDS

}  // namespace sim
