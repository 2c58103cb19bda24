// The two readings of the response editor's command line. The station editor starts it
// as "ODBC=%s USER=%s PASSWORD=%s %s:%s:%s"; every part is optional.
#pragma once

#include "db/connection.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook {

// Connection keys, read from the arguments joined by blanks. The whole text is taken in
// upper case, so the values are upper case too. Without "ODBC=" there is no connection
// (nullopt); a key that is not given keeps its value from current. Without "USER=" the
// password is not looked for. Values are kept to 63 characters.
std::optional<ConnectionSettings> parseConnectionKeys(std::string_view arguments,
                                                      const ConnectionSettings& current);

// The arguments (without the program name) joined by blanks.
std::string joinArguments(const std::vector<std::string>& arguments);

// What to select in the database panel at start: "station:channel:location".
struct StartSelection {
    bool requested = false;
    std::string station;
    std::string channel;
    std::string location;
};

// Reads every argument that is not a connection key, split at colons with empty parts
// dropped (two colons count as one); a later argument overwrites the parts it has.
// The parts keep their case.
StartSelection parseStartSelection(const std::vector<std::string>& arguments);

// "--help" or "-h" among the arguments: the program prints kUsage and ends without a window.
bool helpRequested(const std::vector<std::string>& arguments);
inline constexpr const char* kUsage =
    "Использование: gainbook [ODBC=источник] [USER=пользователь] [PASSWORD=пароль]\n"
    "                        [станция:канал:локация]\n"
    "       gainbook -h | --help\n"
    "\n"
    "Редактор откликов (АЧХ) каналов базы ORV: окно с панелью базы данных и панелью\n"
    "файла.\n"
    "\n"
    "  ODBC=источник, USER=пользователь, PASSWORD=пароль\n"
    "        источник данных ODBC, пользователь и пароль (берутся в верхнем регистре;\n"
    "        без USER= пароль не ищется); без ODBC= подключение берётся из\n"
    "        ./Gainbook.ini, иначе из ORV.ini, иначе выбирается в окне подключения\n"
    "  станция:канал:локация\n"
    "        канал, выбранный при запуске; если у него нет хранимого отклика, сразу\n"
    "        открывается выбор файла\n"
    "  -h, --help\n"
    "        показать эту справку и выйти\n";

// Why a start selection cannot be followed: a code longer than the key columns take (it is
// never cut into another station's code); nullopt when every code fits.
std::optional<std::string> selectionRefusal(const StartSelection& selection);

} // namespace orv::gainbook
