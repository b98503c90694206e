// The generated SOAP code the simulator uses: the proxies' header (types,
// envelope, helpers) and the six service skeletons.
#pragma once

// crm_soap.h first: it includes the envelope module before any service.
// clang-format off
#include "runner/soap/crm_soap.h"
#include "batchBatchOrderSyncService.h"
#include "cardCardInfoService.h"
#include "connConnectionCheckService.h"
#include "holdHoldPointsService.h"
#include "orderOrderService.h"
#include "stornOrderStornoService.h"
// clang-format on
