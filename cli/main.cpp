// zelvan-cli entry: options, help and version.
#include <getopt.h>

#include <string>

#include "common/log.h"
#include "common/project.h"

const char* szGetopt = "c:H:p:Bhv";
const struct option longopts[] = {
    {"config", required_argument, nullptr, 'c'}, {"host", required_argument, nullptr, 'H'},
    {"port", required_argument, nullptr, 'p'},   {"pretty", no_argument, nullptr, 'B'},
    {"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'v'},
    {"timeout", required_argument, nullptr, 0},  {nullptr, 0, nullptr, 0},
};

static void usage(const char* progname) {
    std::string text = std::string(progname) + " [OPTIONS]\n";
    text += "Опции программы : \n";
    text += " -p,--port <portnum>     Использовать номер порта для сервера (по умолчанию " +
            std::to_string(kDefaultPort) + ")\n";
    text += "\n";
    text += " -H,--host <host>        Подключаться к указанному серверу (по умолчанию localhost)\n";
    text += "\n";
    text += " -c,--config <filename>  Использовать файл конфигурации filename\n";
    text += "\n";
    text += " -v,--version            Вывести информацию о версии программы\n";
    text += "\n";
    text += " -h,--help               Показать эту справочную информацию и выйти\n";
    text += "\n";
    consoleWrite(LOG_STREAM, text);
}

int main(int argc, char** argv) {
    setupLocale();
    const char* progname = baseName(argv[0]);
    checkWorkingDir(progname);
    int c;
    while ((c = getopt_long(argc, argv, szGetopt, longopts, nullptr)) != -1) {
        switch (c) {
            case 'h': usage(progname); return 0;
            case 'v': version(); return 0;
            case 'c': case 'H': case 'p': case 'B': break;
            default: return 1;
        }
    }
    return 0;
}
