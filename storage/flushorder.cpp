// The row reader of the synchronisation sets: a collected journal row and
// its stored requests become an order of the batch, or complete the order of
// the purchase a reversal belongs to.
#include "storage/flushorder.h"

#include <json/json.h>

#include <algorithm>

#include "common/json_util.h"
#include "storage/transactdb.h"

namespace storage {

namespace {

// Card types of a stored purchase; any other text is a loyalty card.
const struct {
    const char* text;
    int ident;
} kCardTypes[] = {
    {"QR", 2},
    {"QRCode", 2},
    {"LumoraMobile", 1},
    {"VOV", 3},
};

int cardIdentOf(const std::string& type) {
    for (const auto& row : kCardTypes)
        if (type == row.text) return row.ident;
    return 0;
}

std::string textOf(const Json::Value& obj, const char* name) {
    return Jval2Str(memberOf(obj, name));
}

void putIfGiven(std::string& field, const std::string& value) {
    if (!value.empty()) field = value;
}

// A line's id: "intid", or its position in the array counted from 1.
std::string lineId(const Json::Value& line, Json::ArrayIndex i) {
    std::string id = textOf(line, "intid");
    return id.empty() ? std::to_string(i + 1) : id;
}

// The goods of a stored purchase's "Check".
void readItems(FlushOrder& order, const Json::Value& lines) {
    if (!lines.isArray()) return;
    for (Json::ArrayIndex i = 0; i < lines.size(); i++) {
        const Json::Value& line = lines[i];
        if (line.isNull()) continue;  // skipped, but still counted
        FlushOrderElem item;
        item.IntId = lineId(line, i);
        item.Art = textOf(line, "art");
        item.Cnt = JvalAsDouble(memberOf(line, "cnt"));
        item.Price = JvalAsDouble(memberOf(line, "price"));
        item.Pay = textOf(line, "pay");
        if (item.Pay.empty()) item.Pay = "MIX";
        item.PayInfo = textOf(line, "payinfo");
        if (item.PayInfo.empty()) item.PayInfo = "OTHER";
        const std::string discount = textOf(line, "DiscountId");
        const std::string subscription = textOf(line, "SubscriptionId");
        if (!discount.empty()) item.DiscountId = discount;
        if (!subscription.empty()) item.SubscriptionId = subscription;
        if (item.DiscountId || item.SubscriptionId)
            item.DiscountCnt = JvalAsDouble(memberOf(line, "DiscountCnt"));
        order.Items.push_back(item);
    }
}

// Each returned line takes its quantity off the first item with the same
// line id and product code.
void reduceItems(FlushOrder& order, const Json::Value& lines) {
    if (!lines.isArray()) return;
    for (Json::ArrayIndex j = 0; j < lines.size(); j++) {
        const Json::Value& line = lines[j];
        if (line.isNull()) continue;
        const std::string id = lineId(line, j);
        const std::string art = textOf(line, "art");
        auto item =
            std::find_if(order.Items.begin(), order.Items.end(),
                         [&](const FlushOrderElem& e) { return e.IntId == id && e.Art == art; });
        if (item != order.Items.end()) item->Cnt -= JvalAsDouble(memberOf(line, "cnt"));
    }
}

// The values a transaction object ("Transact", "OrigTransact") gives.
void putTransaction(RequestInfo& info, const Json::Value& t) {
    putIfGiven(info.DateTime, storedDateTime(textOf(t, "DateTime")));
    putIfGiven(info.DateTimeUTC, textOf(t, "DateTimeUTC"));
    putIfGiven(info.Location, textOf(t, "Location"));
    putIfGiven(info.Terminal, textOf(t, "Terminal"));
    const int shift = Jval2Int(memberOf(t, "shift"));
    if (shift > 0) info.Shift = shift;
    putIfGiven(info.OperID, textOf(t, "operID"));
    putIfGiven(info.OperFIO, textOf(t, "operFIO"));
}

RequestInfo& parentRequest(FlushOrder& order) {
    if (!order.ParentRequest) order.ParentRequest.emplace();
    return *order.ParentRequest;
}

bool parsedRequest(const std::string& text, Json::Value& doc) {
    return !text.empty() && parseJsonRequest(text, doc);
}

}  // namespace

std::unique_ptr<FlushOrder> FlushOrderList::take(const std::string& parentKey) {
    auto it = std::find_if(
        orders_.begin(), orders_.end(),
        [&](const std::unique_ptr<FlushOrder>& o) { return o->ParentKey == parentKey; });
    if (it == orders_.end()) return nullptr;
    std::unique_ptr<FlushOrder> order = std::move(*it);
    orders_.erase(it);
    return order;
}

bool offline_callback(const Row& row, const ConfiguredIdentity& identity, FlushOrderList& list) {
    const std::string id = columnText(row, "id");
    const int type = columnInt(row, "opertype", OPER_NONE);
    if (id.empty() || (type != OPER_PURCHASE && type != OPER_REVERSAL)) return false;
    Json::Value purchaseDoc, reversalDoc;
    if (!parsedRequest(columnText(row, "orderrequest"), purchaseDoc)) return false;
    if (type == OPER_REVERSAL && !parsedRequest(columnText(row, "request"), reversalDoc))
        return false;
    const Json::Value& purchase = memberOf(purchaseDoc, "PayBonus");
    const std::string parentId = columnText(row, "parentid");

    // A reversal completes the order of its purchase when the set holds it:
    // the purchase's station data become the parent's, the reversal's own
    // follow.
    std::unique_ptr<FlushOrder> order;
    if (type == OPER_REVERSAL && !parentId.empty()) order = list.take(parentId);
    if (order) {
        if (!order->ParentRequest) order->ParentRequest = std::move(order->Request);
        order->Request.reset();
        order->ChequeNum.clear();
    } else {
        order = std::make_unique<FlushOrder>();
        order->BatchID = columnText(row, "batchid");
        order->ID = id;
        order->ParentKey = parentId.empty() ? id : parentId;
        order->ChequeNum = columnText(row, "chequeid");
        order->CardNum = textOf(purchase, "CardNum");
        order->OrderNum = textOf(purchase, "CheckNum");
        order->CardIdent = cardIdentOf(textOf(purchase, "CardType"));
    }
    order->Rows.push_back(id);
    if (order->Items.empty()) readItems(*order, memberOf(purchase, "Check"));
    if (!order->Request) {
        RequestInfo& info = order->Request.emplace();
        info.DateTime = columnText(row, "datetime");
        info.Location = columnText(row, "locationid");
        info.Shift = columnInt(row, "shift", -1);
        info.Terminal = columnText(row, "terminal");
    }

    // The purchase's transaction: its order number and station data.
    const Json::Value& t = memberOf(purchase, "Transact");
    if (t.isObject()) {
        order->OrderNum = Jval2Str(t["ID"]);
        RequestInfo& target = type == OPER_PURCHASE ? *order->Request : parentRequest(*order);
        putTransaction(target, t);
        putIfGiven(target.Location,
                   stationValue(textOf(t, "Location"), columnText(row, "locationid"),
                                identity.locationId, identity.override));
        putIfGiven(target.Terminal, stationValue(textOf(t, "Terminal"), columnText(row, "terminal"),
                                                 identity.terminalId, identity.override));
    }

    // The reversal's own cheque, returned goods and transactions.
    if (type == OPER_REVERSAL) {
        const Json::Value& reversal = memberOf(reversalDoc, "PayReturn");
        putIfGiven(order->ChequeNum, textOf(reversal, "CheckNum"));
        reduceItems(*order, memberOf(reversal, "Check"));
        const Json::Value& rt = memberOf(reversal, "Transact");
        if (rt.isObject()) {
            putIfGiven(order->ChequeNum, textOf(rt, "ID"));
            putTransaction(*order->Request, rt);
        }
        const Json::Value& ot = memberOf(reversal, "OrigTransact");
        if (ot.isObject()) {
            putIfGiven(order->OrderNum, textOf(ot, "ID"));
            putTransaction(parentRequest(*order), ot);
        }
    }
    list.append(std::move(order));
    return true;
}

}  // namespace storage
