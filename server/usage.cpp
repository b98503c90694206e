// The server's help text, printed exactly as the operators know it
// (its spellings included).
#include <string>

#include "common/log.h"
#include "common/project.h"
#include "server/server.h"

void usage(const char* progname) {
    static const char* const rest[] = {
        "",
        " -c,--config <filename>  Использовать файл конфигурации filename",
        "",
        " -u,--url    <URL>       Указать ur)l (параметр \"ConnectionString\" конфигурации)",
        "                         для поключенияк серверу процессингового центра. Данный",
        "                         параметр переопределяет значение заданное в файле конфигурации",
        "",
        " -U,--usename <USERID>   Имя пользователя для авторзации в процессинговой системе "
        "ZelvanCRM",
        "",
        " -s,--passwd <PASSWD>    Указать пароль для авторзации в процессинговой системе ZelvanCRM",
        "",
        " -t,--tls | -n, --notls  Включить/отключить шифрование TLS",
        "                         Можно указывать только один из параметров, который "
        "переопределяет",
        "                         параметр кофигурации \"UseTLS\"",
        "",
        " -A,--cert <filepath>    Указать путь к файлу центра сертификации (СA)",
        "",
        " -C,--capath <path>      Указать путь к каталогу содержащему сертификаты СА",
        "",
        " -K,--key  <filepath>    Указать путь к файлу клиентского сертификата",
        "",
        " -d,--debug              Запустить  без отключения от управляющего терминала",
        " -v,--version            Вывести информацию о версии программы и версии",
        "                         библиотеки KVL и завершить работу",
        "",
        " -h,--help               Показать эту справочную информацию и выйти",
        "",
    };
    std::string text = std::string(progname) + " [OPTIONS]\n";
    text += "Опции программы : \n";
    text += " -p,--port   <portnum>   Использовать номер порта для сервера (по умолчанию " +
            std::to_string(kDefaultPort) + ")\n";
    for (const char* line : rest) text += std::string(line) + "\n";
    consoleWrite(LOG_STREAM, text);
}
