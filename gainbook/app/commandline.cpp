#include "commandline.h"

#include "db/typedinput.h"
#include "text/text.h"

#include <algorithm>

namespace orv::gainbook {

namespace {

std::string upToBlank(std::string_view s) {
    const auto blank = s.find(' ');
    return text::truncateChars(s.substr(0, blank), kSettingChars);
}

} // namespace

std::string joinArguments(const std::vector<std::string>& arguments) {
    std::string joined;
    for (const std::string& a : arguments) {
        if (!joined.empty())
            joined += ' ';
        joined += a;
    }
    return joined;
}

std::optional<ConnectionSettings> parseConnectionKeys(std::string_view arguments,
                                                      const ConnectionSettings& current) {
    const std::string upper = text::toUpper(arguments);
    const auto odbc = upper.find("ODBC=");
    if (odbc == std::string::npos)
        return std::nullopt;
    ConnectionSettings settings = current;
    // The data source name follows the key wherever it stands, also when a station
    // selection comes first.
    std::string_view rest = std::string_view(upper).substr(odbc + 5);
    settings.dataSource = upToBlank(rest);
    const auto user = rest.find("USER=");
    if (user == std::string_view::npos)
        return settings;
    rest = rest.substr(user + 5);
    settings.user = upToBlank(rest);
    const auto password = rest.find("PASSWORD=");
    if (password != std::string_view::npos)
        settings.password = upToBlank(rest.substr(password + 9));
    return settings;
}

StartSelection parseStartSelection(const std::vector<std::string>& arguments) {
    StartSelection selection;
    for (const std::string& argument : arguments) {
        if (text::startsWithNoCase(argument, "odbc=") ||
            text::startsWithNoCase(argument, "user=") ||
            text::startsWithNoCase(argument, "password="))
            continue;
        std::vector<std::string> tokens;
        std::size_t start = 0;
        while (start <= argument.size()) {
            const auto colon = std::min(argument.find(':', start), argument.size());
            if (colon > start)
                tokens.push_back(argument.substr(start, colon - start));
            start = colon + 1;
        }
        if (tokens.size() > 0) {
            selection.station = tokens[0];
            selection.requested = true;
        }
        if (tokens.size() > 1)
            selection.channel = tokens[1];
        if (tokens.size() > 2)
            selection.location = tokens[2];
    }
    return selection;
}

bool helpRequested(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const std::string& a) { return a == "--help" || a == "-h"; });
}

std::optional<std::string> selectionRefusal(const StartSelection& selection) {
    for (const auto& [field, code] :
         {std::pair{"Станция", &selection.station}, std::pair{"Канал", &selection.channel},
          std::pair{"Расположение", &selection.location}})
        if (auto why = codeRefusal(std::string(field) + " в командной строке", *code))
            return *why + "\r\nКанал из командной строки не выбран.";
    return std::nullopt;
}

} // namespace orv::gainbook
