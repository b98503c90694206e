// The set a synchronisation batch is built from: orders (FlushOrder) with
// their line items (FlushOrderElem) and station data (RequestInfo), owned by
// a FlushOrderList; and the row reader that turns collected journal rows
// (a purchase, or a reversal with its purchase's stored request) into orders.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/row.h"
#include "storage/row_readers.h"

namespace storage {

// Station data of one operation: what a GasRequest / ParentGasRequest says.
struct RequestInfo {
    virtual ~RequestInfo() = default;
    std::string DateTime;  // 14 digits
    std::string DateTimeUTC;
    std::string Location;
    int Shift = -1;  // -1: not given
    std::string OperID;
    std::string OperFIO;
    std::string Terminal;
};

// One line item.
struct FlushOrderElem {
    virtual ~FlushOrderElem() = default;
    std::string Art;    // product code as the POS sent it
    std::string IntId;  // line id
    double Cnt = 0;     // quantity (what remains after the reversals merged in)
    double Price = 0;
    std::string Pay;      // payment type
    std::string PayInfo;  // payment type detail
    std::optional<double> DiscountCnt;
    std::optional<std::string> DiscountId;
    std::optional<std::string> SubscriptionId;
};

// One order of a batch.
struct FlushOrder {
    virtual ~FlushOrder() = default;
    std::string ID;         // journal key of the row that created the order
    std::string ParentKey;  // journal key of the purchase the order belongs to
    std::string BatchID;
    std::string CardNum;
    int CardIdent = 0;  // 0 card, 1 mobile card, 2 QR code, 3 VOV card
    int GSCount = 1;
    std::string ChequeNum;  // cheque number of the operation
    std::string OrderNum;   // order number of the purchase
    std::optional<RequestInfo> Request;
    std::optional<RequestInfo> ParentRequest;  // reversals only: the purchase
    std::vector<FlushOrderElem> Items;
    // Journal keys of every row that went into the order (its own and those
    // of the reversals merged into it).
    std::vector<std::string> Rows;

    // Only orders with goods are sent.
    bool sendable() const { return !Items.empty(); }
};

// Owns the orders of one set, in order.
class FlushOrderList {
  public:
    using Orders = std::vector<std::unique_ptr<FlushOrder>>;

    // Deletes every order.
    void release() { orders_.clear(); }
    bool empty() const { return orders_.empty(); }
    std::size_t size() const { return orders_.size(); }
    const FlushOrder& operator[](std::size_t i) const { return *orders_[i]; }
    Orders::const_iterator begin() const { return orders_.begin(); }
    Orders::const_iterator end() const { return orders_.end(); }

    void append(std::unique_ptr<FlushOrder> order) { orders_.push_back(std::move(order)); }
    // Takes the first order whose ParentKey is `parentKey` out of the list
    // (null when there is none).
    std::unique_ptr<FlushOrder> take(const std::string& parentKey);

  private:
    Orders orders_;
};

// Reads one collected row (columns id, datetime, opertype, chequeid,
// parentid, shift, orderrequest, request, locationid, terminal, batchid,
// timeval) into `list`: a purchase becomes a new order; a reversal is merged
// into the order of its purchase when the set holds it (quantities reduced by
// the returned ones), else it becomes an order built from the purchase's
// stored request. `identity` fills in the purchase's station and terminal.
// Returns false when the row yields nothing: no id, a type other than 3 or 4,
// or a stored request that is not valid JSON (a reversal needs its own and
// its purchase's).
bool offline_callback(const Row& row, const ConfiguredIdentity& identity, FlushOrderList& list);

}  // namespace storage
