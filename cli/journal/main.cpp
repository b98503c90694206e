// zelvan-journal entry: options, the journal's path (option, configuration
// "DBPath", or the server's default), and the report as text or JSON.
#include <getopt.h>

#include <ctime>
#include <string>

#include "cli/journal/journal.h"
#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "common/project.h"

namespace {

const int kDefaultDays = 7;
const int kMaxDays = 366;

const char* const kShortOptions = "c:f:n:jhv";
const struct option kLongOptions[] = {
    {"config", required_argument, nullptr, 'c'},
    {"file", required_argument, nullptr, 'f'},
    {"days", required_argument, nullptr, 'n'},
    {"json", no_argument, nullptr, 'j'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

void usage(const char* name) {
    std::string text = std::string(name) + " [OPTIONS]\n";
    text += "Состояние журнала кассового сервера (только чтение)\n";
    text += "Опции программы : \n";
    text += " -f,--file <filename>    Файл журнала (по умолчанию \"DBPath\" конфигурации, иначе " +
            std::string(szDefaultDbFile) + ")\n";
    text += " -c,--config <filename>  Использовать файл конфигурации filename\n";
    text += " -n,--days <N>           Операции за последние N дней (по умолчанию " +
            std::to_string(kDefaultDays) + ", не более " + std::to_string(kMaxDays) + ")\n";
    text += " -j,--json               Вывести отчёт одной строкой JSON (для мониторинга)\n";
    text += " -v,--version            Вывести информацию о версии программы\n";
    text += " -h,--help               Показать эту справочную информацию и выйти\n";
    consoleWrite(LOG_STREAM, text);
}

// The journal named by the configuration ("DBPath", a non-empty text, as the
// server takes it), else the server's default.
std::string journalFromConfig(const char* optConfig) {
    std::string file = findConfFile(optConfig);
    Json::Value conf;
    if (!file.empty()) readJsonConfFile(file.c_str(), conf);
    const Json::Value none;
    const Json::Value& path = conf.isObject() ? conf["DBPath"] : none;
    return path.isString() && !path.asString().empty() ? path.asString() : szDefaultDbFile;
}

// Exit status 2 with the error on standard error (and, for monitoring, as
// the JSON document on standard output).
int fail(const std::string& journal, const std::string& error, bool json) {
    consoleLine(ERR_STREAM, error);
    if (json) {
        Json::Value doc(Json::objectValue);
        doc["journal"] = journal;
        doc["error"] = error;
        consoleWrite(LOG_STREAM, JsonOut(doc, false));
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    setupLocale();
    const char* progname = baseName(argv[0]);
    const char* optConfig = nullptr;
    std::string journal;
    int days = kDefaultDays;
    bool json = false;

    int c;
    while ((c = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr)) != -1) {
        switch (c) {
            case 'c':
                optConfig = optarg;
                break;
            case 'f':
                journal = optarg;
                break;
            case 'n':
                if (_stoi(optarg, days) != 0 || days < 1 || days > kMaxDays) {
                    consoleLine(ERR_STREAM, std::string("Неверное число дней: ") + optarg +
                                                " (от 1 до " + std::to_string(kMaxDays) + ")");
                    return 1;
                }
                break;
            case 'j':
                json = true;
                break;
            case 'h':
                usage(progname);
                return 0;
            case 'v':
                version();
                return 0;
            default:
                return 1;
        }
    }
    if (optind < argc) {
        consoleLine(ERR_STREAM, std::string("Лишний аргумент: ") + argv[optind]);
        return 1;
    }
    if (journal.empty()) journal = journalFromConfig(optConfig);

    storage::Connection conn;
    std::string mode;
    std::string error = journal::openReadOnly(journal, conn, mode);
    if (!error.empty()) return fail(journal, error, json);
    Json::Value report;
    error = journal::readReport(conn, days, time(nullptr), report);
    if (!error.empty()) return fail(journal, "Ошибка чтения журнала: " + error, json);
    report["journal"] = journal;
    report["journalMode"] = mode;
    consoleWrite(LOG_STREAM, json ? JsonOut(report, false) : journal::textReport(report));
    return 0;
}
