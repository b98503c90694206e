// Batch synchronisation: the Batch_Order_Sync request built from a set of
// orders, the "Flush" and "SyncTask" requests that collect a set or queue a
// task, and the batch call with its own retries and time-outs.
#include <algorithm>
#include <cctype>

#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "runner/call.h"
#include "runner/request_rules.h"
#include "runner/runner.h"
#include "runner/slots.h"
#include "runner/transact_rules.h"

namespace {

void logBoth(const std::string& msg) {
    log(msg, LOG_STREAM, logConsole());
    log(msg, ERR_STREAM, logConsole());
}

bool decimalDigits(const std::string& s, size_t maxLength) {
    return !s.empty() && s.size() <= maxLength &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return isdigit(c) != 0; });
}

// The day and shift of a "Flush" or "SyncTask" request. A "Date" of 7
// characters or fewer is ignored, a longer one cut to its first 8, which
// must then be digits; a "Shift" must be a decimal number (of an int).
struct TaskValues {
    std::string date, shift;
    bool valid = true;
    bool empty() const { return date.empty() && shift.empty(); }
};

TaskValues taskValues(const Json::Value& request) {
    TaskValues v;
    if (!request.isObject()) return v;
    v.shift = Jval2Str(request["Shift"]);
    v.date = Jval2Str(request["Date"]);
    if (v.date.size() <= 7)
        v.date.clear();
    else
        v.date.resize(8);
    v.valid = (v.date.empty() || decimalDigits(v.date, 8)) &&
              (v.shift.empty() || decimalDigits(v.shift, 9));
    if (!v.valid) {
        std::string shown = JsonOut(request, false);
        if (!shown.empty() && shown.back() == '\n') shown.pop_back();
        logBoth(
            "Параметры задания синхронизации отклонены (Date: день ГГГГММДД, Shift: номер "
            "смены) : " +
            shown);
    }
    return v;
}

// Turns the orders of a set into the que elements of the request; every
// value is copied into the slot.
class BatchBuilder {
  public:
    BatchBuilder(RequestSlot<batch::BatchOrderSyncInput>& slot, const RunnerConfig& conf,
                 bool taskBatch)
        : slot_(slot), conf_(conf), taskBatch_(taskBatch) {}

    batch::QueueOrder order(const storage::FlushOrder& o) {
        batch::QueueOrder q;
        q.LoyCardType = always(zelvanCardInfo::_get_cardIdentTypeSoapStrValue(
            static_cast<LoyCardNumberIdent>(o.CardIdent)));
        q.BatchId = opt(o.BatchID);
        q.LOYCardGSCount = always(n2str(o.GSCount));
        q.LoyCardNumber = opt(o.CardNum);
        q.OrderNum = opt(o.ChequeNum);
        if (o.ParentRequest) q.ParentOrderNum = opt(o.OrderNum);
        q.ReconciliationType = always(taskBatch_ ? "Reconciliation" : "Offline");
        q.SourceSystem = opt(conf_.sourceSystem);
        if (o.Request) {
            auto* gas = slot_.element<batch::QueueGasRequest>();
            station(*gas, *o.Request);
            const std::string& utc = o.Request->DateTimeUTC.empty() && o.ParentRequest
                                         ? o.ParentRequest->DateTimeUTC
                                         : o.Request->DateTimeUTC;
            gas->GasOperationDateUTC = opt(utc);
            q.GasRequest = gas;
        }
        if (o.ParentRequest) {
            auto* parent = slot_.element<batch::QueueParentGasRequest>();
            station(*parent, *o.ParentRequest);
            q.ParentGasRequest = parent;
        }
        q.ListOfOrderEntryItems = slot_.element<batch::QueueItemList>();
        for (const storage::FlushOrderElem& e : o.Items)
            q.ListOfOrderEntryItems->OrderEntryItem.push_back(item(e));
        return q;
    }

  private:
    std::string* always(const std::string& v) { return slot_.text(v); }
    std::string* opt(const std::string& v) { return v.empty() ? nullptr : slot_.text(v); }

    // The station elements GasRequest and ParentGasRequest share.
    template <class Gas>
    void station(Gas& gas, const storage::RequestInfo& info) {
        gas.GasTerminalId = opt(stationIdent(conf_, Json::Value(info.Terminal), conf_.terminal));
        const std::string dateTime = paddedDateTime(info.DateTime);
        if (!dateTime.empty()) gas.GasOperationDate = always(crmDateTime(dateTime));
        gas.GasStationId = opt(stationIdent(conf_, Json::Value(info.Location), conf_.location));
        gas.GasStationOperId = always(info.OperID);
        gas.GasStationOperatorName = always(info.OperFIO);
        gas.GasStationShiftNum = always(n2str(info.Shift));
    }

    batch::QueueItem item(const storage::FlushOrderElem& e) {
        batch::QueueItem it;
        it.IntegrationId = opt(e.IntId);
        it.QuantityRequested = always(n2str(e.Cnt));
        it.VEKBaseItemCost = always(n2str(e.Price));
        it.VEKProductIntegrationId = opt(productCode(conf_, e.Art));
        it.PaymentTypeDetail = opt(e.PayInfo);
        it.PaymentType = opt(e.Pay);
        // Discounts and subscriptions belong to a source system.
        const bool withSource = !conf_.sourceSystem.empty();
        if (withSource && e.DiscountId) it.DiscountId = always(*e.DiscountId);
        if (withSource && e.SubscriptionId) it.SubscriptionId = always(*e.SubscriptionId);
        if ((it.DiscountId != nullptr || it.SubscriptionId != nullptr) && e.DiscountCnt)
            it.ItemDiscount = always(n2str(*e.DiscountCnt));
        return it;
    }

    RequestSlot<batch::BatchOrderSyncInput>& slot_;
    const RunnerConfig& conf_;
    bool taskBatch_;
};

}  // namespace

void zelvanRunner::clearBatchInfo() {
    slots_->batch.clear();
}

int zelvanRunner::genServiceBatchRequest(const storage::FlushOrderList* orders, bool taskBatch) {
    clearBatchInfo();
    if (orders == nullptr || orders->empty()) return 254;
    RequestSlot<batch::BatchOrderSyncInput>& slot = slots_->batch;
    batch::BatchOrderSyncInput* in = slot.create();
    in->ListOfOrders = slot.element<batch::QueueOrderList>();
    BatchBuilder builder(slot, conf_, taskBatch);
    for (const auto& order : *orders)
        if (order && order->sendable())
            in->ListOfOrders->OrderEntry.push_back(builder.order(*order));
    return 0;
}

int zelvanRunner::mkSyncTask(const Json::Value& request) {
    if (!master_) return -1;
    const TaskValues v = taskValues(request);
    if (!v.valid || v.empty()) return 16;
    storage::TaskSync task;
    if (!v.shift.empty()) task.setShift(v.shift);
    if (!v.date.empty()) task.setDate(v.date);
    return db_.setSyncTask(&task);
}

int zelvanRunner::mkBatchRequest(const Json::Value& request, storage::TaskSync* task) {
    cmdOffline_ = false;
    if (!master_ || task == nullptr) return -1;
    clearBatchInfo();
    const TaskValues v = taskValues(request);
    if (!v.valid) return -1;  // nothing is queued or sent
    const bool taskBatch = !v.empty();
    storage::FlushOrderList orders;
    int rc = 0;
    if (taskBatch) {
        if (!v.shift.empty()) task->setShift(v.shift);
        if (!v.date.empty()) task->setDate(v.date);
        rc = db_.setSyncTask(task);
        if (rc == 0) rc = db_.getDaySyncOrders(&orders, task);
    } else {
        rc = db_.getOfflineOrders(&orders);
    }
    if (rc != 0) {
        logBoth("Ошибка подготовки данных синхронизации");
        return -1;
    }
    if (orders.empty()) return -2;
    return genServiceBatchRequest(&orders, taskBatch);
}

int zelvanRunner::runBatchInfo(Json::Value& out, bool taskBatch) {
    batch::BatchOrderSyncInput* in = slots_->batch.get();
    if (!master_ || in == nullptr) return -1;
    CallSettings settings;
    settings.attempts = taskBatch ? conf_.retryTaskCount : conf_.retryOffSyncCount;
    settings.connectTimeout = conf_.connectTimeout;
    settings.sendRecvTimeout =
        std::max(conf_.sendRecvTimeout,
                 taskBatch ? conf_.sendRecvTaskTimeout : conf_.sendRecvOffSyncTimeout);
    settings.tokenOnRetries = false;  // retries send user and password
    CrmCall call(*this, settings);

    online_ = false;
    Json::Value reply(Json::objectValue);
    reply["err"] = "-1";
    reply["errMsg"] = "Отсутствует соединение";
    log("Запуск синхронизации offline транзакций", LOG_STREAM, logConsole());

    int rc = -1;
    for (int i = 0; i < call.attempts(); i++) {
        struct soap* ctx = call.begin(i);
        if (ctx == nullptr) break;
        batch::BatchOrderSyncProxy proxy(ctx);
        batch::BatchOrderSyncOutput response;
        rc = proxy.BatchOrderSync(getEndPoint(), nullptr, in, response);
        call.refreshToken();
        if (rc == SOAP_OK) {
            // Delivered; a CRM error code is shown but changes nothing.
            online_ = netStatus_ = true;
            reply.removeMember("errInfo");
            reply["err"] = "0";
            reply["errMsg"] = "Успешное выполнение операции";
            reply["Offline"] = "0";
            const std::string& message = crm::text(response.ErrorMessage);
            if (!message.empty()) {
                reply["errMsg"] = cleanText(message);
                reply["errInfo"] = message;
            }
            const std::string& code = crm::text(response.ErrorCode);
            if (!code.empty()) {
                const int value = atoiClamp(code);
                reply["err"] = value;
                reply["errMsg"] = value != 0 ? "Выявлена ошибка" : "Успешное выполнение операции";
            }
            break;
        }
        online_ = false;
        reply["err"] = std::to_string(rc);
        reply["Offline"] = "1";
        call.putFault(reply, conf_.debugErrInfoEnable, "errMsg", "errInfo");
        if (crm::noConnection(rc)) {
            reply["errMsg"] = "Нет связи";
            netStatus_ = false;
        }
    }
    out = reply;
    call.finish();
    return rc;
}
