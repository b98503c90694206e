// The server's command-line options, the configuration keys they override
// and the "Port" rule.
#include "common/convert.h"
#include "common/project.h"
#include "server/server.h"

const char* szGetopt = "p:c:u:U:s:tnC:A:K:dhv";
const struct option longopts[] = {
    {"port", required_argument, nullptr, 'p'},   {"config", required_argument, nullptr, 'c'},
    {"url", required_argument, nullptr, 'u'},    {"username", required_argument, nullptr, 'U'},
    {"passwd", required_argument, nullptr, 's'}, {"tls", no_argument, nullptr, 't'},
    {"notls", no_argument, nullptr, 'n'},        {"capath", required_argument, nullptr, 'C'},
    {"cert", required_argument, nullptr, 'A'},   {"key", required_argument, nullptr, 'K'},
    {"debug", no_argument, nullptr, 'd'},        {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},      {nullptr, 0, nullptr, 0},
};

namespace {

// The configuration keys that options override, in the order they are
// applied; a null argument slot stands for "UseTLS" (set by -t / -n).
struct Override {
    const char* key;
    const char** arg;
};
const Override overrides[] = {
    {"ConnectionString", &p_opt_connect},
    {"UseTLS", nullptr},
    {"CertFilePath", &p_opt_crt},
    {"CertKeyFile", &p_opt_key},
    {"CertsCAPath", &p_opt_capath},
    {"UserId", &p_opt_user},
    {"UserPass", &p_opt_pass},
};

}  // namespace

bool parseOptions(int argc, char** argv) {
    int c;
    while (execState == 0 && (c = getopt_long(argc, argv, szGetopt, longopts, nullptr)) != -1) {
        switch (c) {
            case 'p':
                crmServPort = leadingPort(optarg);
                break;
            case 'c':
                p_opt_config = optarg;
                break;
            case 'u':
                p_opt_connect = optarg;
                break;
            case 'U':
                p_opt_user = optarg;
                break;
            case 's':
                p_opt_pass = optarg;
                break;
            case 't':
                tlsEnable = true;
                p_opt_tls++;
                break;
            case 'n':
                tlsEnable = false;
                p_opt_tls++;
                break;
            case 'C':
                p_opt_capath = optarg;
                break;
            case 'A':
                p_opt_crt = optarg;
                break;
            case 'K':
                p_opt_key = optarg;
                break;
            case 'd':
                detach = false;
                break;
            case 'h':
                execState = 1;
                break;
            case 'v':
                execState = 2;
                break;
            default:
                return false;
        }
    }
    return true;
}

void applyConfigOverrides(Json::Value& conf) {
    for (const Override& o : overrides) {
        if (o.arg == nullptr) {
            if (p_opt_tls > 0) conf[o.key] = tlsEnable;
        } else if (*o.arg != nullptr) {
            conf[o.key] = *o.arg;
        }
    }
}

unsigned short portFromConfig(const Json::Value& conf) {
    const Json::Value& port = conf.isObject() ? conf["Port"] : Json::Value::nullSingleton();
    if (port.type() == Json::intValue) return static_cast<unsigned short>(port.asInt64());
    if (port.type() == Json::uintValue) return static_cast<unsigned short>(port.asUInt64());
    if (port.isString()) return leadingPort(port.asCString());
    return kDefaultPort;
}
