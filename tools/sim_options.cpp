// Command-line parsing and the usage text of zelvan-crm-sim.
#include "tools/sim_options.h"

#include <getopt.h>

#include <cstdlib>

namespace sim {

namespace {

bool toInt(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    const long v = strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

std::string usage(const char* program) {
    return std::string("Usage: ") + program + R"( [options]

A stand-in for the loyalty CRM: answers the SOAP operations Connection_Check,
Get_Info, Proc_Order, Order_Storno, Hold_Points, Unhold_Points and
Batch_Order_Sync over HTTP, or HTTPS with --cert, as the scenario file says,
and records every request it receives.

Options:
  --host ADDR          address to listen on (default 127.0.0.1)
  --port N             port to listen on; 0 picks a free one (default 0)
  --port-file FILE     write the port actually bound to FILE
  --scenario FILE      JSON scenario: the replies per operation; read again
                       whenever the file changes and on SIGHUP (default: every
                       operation answers ErrorCode "0")
  --record FILE        append one JSON line per request received to FILE
  --cert FILE          serve HTTPS with this PEM certificate (chain)
  --key FILE           PEM private key of the certificate (default: in --cert)
  --password P         password of the private key
  --max-connections N  connections served at once, one thread each (default 16)
  --idle-timeout S     close a keep-alive connection idle for S seconds (default 60)
  --help               print this text and exit

Scenario file (one JSON object; see README.md for one example per operation):
  {"down": false,
   "<Operation>": {"reply": <reply>, "sequence": [<reply>, ...]}}
  The sequence answers the first requests of the operation one each, in
  order; then "reply" answers (or ErrorCode "0" without one). A <reply> is
  {"body": {element: text or object or array},
   "header": {"SessionToken": "..."},
   "fault": {"string": "...", "detail": "...", "code": "Server"|"Client"},
   "delayMs": N, "drop": true, "xml": "<whole envelope sent as is>"}
  "down": true closes every connection at once without answering.

Record line: {"time", "connection", "operation", "soapAction", "path",
"header", "body", "xml"}; "body" holds the request element's children, "xml"
the HTTP body as received, "connection" numbers the connections from 1.

Stops on SIGTERM or SIGINT.
)";
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    enum {
        kHost = 1,
        kPort,
        kPortFile,
        kScenario,
        kRecord,
        kCert,
        kKey,
        kPassword,
        kMax,
        kIdle,
        kHelp
    };
    static const option longOptions[] = {
        {"host", required_argument, nullptr, kHost},
        {"port", required_argument, nullptr, kPort},
        {"port-file", required_argument, nullptr, kPortFile},
        {"scenario", required_argument, nullptr, kScenario},
        {"record", required_argument, nullptr, kRecord},
        {"cert", required_argument, nullptr, kCert},
        {"key", required_argument, nullptr, kKey},
        {"password", required_argument, nullptr, kPassword},
        {"max-connections", required_argument, nullptr, kMax},
        {"idle-timeout", required_argument, nullptr, kIdle},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };
    optind = 1;
    opterr = 0;
    ServerOptions& s = options.server;
    int c;
    while ((c = getopt_long(argc, argv, "", longOptions, nullptr)) != -1) {
        switch (c) {
            case kHost:
                s.host = optarg;
                break;
            case kPort:
                if (!toInt(optarg, 0, 65535, s.port)) {
                    error = std::string("bad --port: ") + optarg;
                    return false;
                }
                break;
            case kPortFile:
                s.portFile = optarg;
                break;
            case kScenario:
                options.scenarioFile = optarg;
                break;
            case kRecord:
                options.recordFile = optarg;
                break;
            case kCert:
                s.certFile = optarg;
                break;
            case kKey:
                s.keyFile = optarg;
                break;
            case kPassword:
                s.keyPassword = optarg;
                break;
            case kMax:
                if (!toInt(optarg, 1, 1024, s.maxConnections)) {
                    error = std::string("bad --max-connections: ") + optarg;
                    return false;
                }
                break;
            case kIdle:
                if (!toInt(optarg, 1, 86400, s.idleSeconds)) {
                    error = std::string("bad --idle-timeout: ") + optarg;
                    return false;
                }
                break;
            case kHelp:
                options.help = true;
                break;
            default:
                error = std::string("unknown or incomplete option: ") +
                        (optind > 0 && optind <= argc ? argv[optind - 1] : "?");
                return false;
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument: ") + argv[optind];
        return false;
    }
    if (!s.keyFile.empty() && s.certFile.empty()) {
        error = "--key needs --cert";
        return false;
    }
    return true;
}

}  // namespace sim
