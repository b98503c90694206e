// The runner the fuzz targets drive: the server's own objRun, either left
// as a fresh process has it before start-up, or started against a CRM that
// refuses every connection (a loopback port bound but not listening), with
// one attempt per call, short time-outs and its journal in a temporary
// directory. The log lines go to /dev/null.
#pragma once

namespace fuzzsupport {

enum class RunnerState {
    NotInitialised,  // pRun set, no master context, no journal
    CrmUnreachable,  // InitZvnCRM done, the CRM refuses connections
};

// Sets pRun up once for the whole process (later calls do nothing).
// CrmUnreachable uses the root member "AZS".
void useRunner(RunnerState state);

}  // namespace fuzzsupport
