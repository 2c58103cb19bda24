#include "core/startup.h"

#include "core/messages.h"
#include "core/records.h"
#include "core/sql.h"
#include "ini/inifile.h"
#include "text/text.h"

#include <filesystem>

namespace orv::sitewright {

using orv::text::truncateChars;

StartupValues parseCommandLine(std::string_view commandLine) {
    StartupValues v;
    const std::string line = truncateChars(commandLine, kMaxCommandLine);
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size())
            break;
        std::size_t end = line.find(' ', pos);
        if (end == std::string::npos)
            end = line.size();
        const std::string token = line.substr(pos, end - pos);
        pos = end;

        if (token[0] == '/' || token[0] == '-') {
            if (token.find("CHKDB", 1) != std::string::npos)
                v.checkSchema = true;
        } else if (token.find("ODBC=") != std::string::npos) {
            v.dsn = truncateChars(token.size() > 5 ? token.substr(5) : "", kMaxDsn);
        } else if (token.find("USER=") != std::string::npos) {
            v.user = truncateChars(token.size() > 5 ? token.substr(5) : "", kMaxUserOrPassword);
        } else if (token.find("PASSWORD=") != std::string::npos) {
            v.password = truncateChars(token.size() > 9 ? token.substr(9) : "", kMaxUserOrPassword);
        } else if (token.find("CHKDB") != std::string::npos) {
            v.checkSchema = true;
        } else {
            v.requestedStation = truncateChars(orv::text::toUpper(token), kMaxRequestedStation);
        }
    }
    return v;
}

std::filesystem::path localSettingsFile() {
    return std::filesystem::current_path() / "Sitewright.ini";
}

ConnectionSettings resolveSettings(const StartupValues& values,
                                   const std::filesystem::path& localFile,
                                   const orv::ini::SettingsFiles& shared) {
    ConnectionSettings s;
    const orv::ini::IniFile local(localFile);
    std::string dsn = values.dsn;
    std::string user = values.user;
    std::string password = values.password;
    if (dsn.empty())
        dsn = local.read("DATABASE", "ODBC", "", kMaxUserOrPassword);
    if (user.empty())
        user = local.read("DATABASE", "USER", "ORV", kMaxUserOrPassword);
    if (password.empty())
        password = local.read("DATABASE", "PASSWORD", "KTZ", kMaxUserOrPassword);
    if (dsn.empty())
        dsn = shared.read("DATABASE", "ODBC", "ORV", kMaxDsn);
    if (user.empty())
        user = shared.read("DATABASE", "USER", "ORV", kMaxUserOrPassword);
    if (password.empty())
        password = shared.read("DATABASE", "PASSWORD", "KTZ", kMaxUserOrPassword);
    s.dsn = truncateChars(dsn, kMaxDsn);
    s.user = truncateChars(user, kMaxUserOrPassword);
    s.password = truncateChars(password, kMaxUserOrPassword);
    return s;
}

std::string connectString(const ConnectionSettings& s) {
    return "DSN=" + s.dsn + ";" + "UID=" + s.user + ";" + "PWD=" + s.password + ";";
}

std::unique_ptr<orv::odbc::Connection> openStartupConnection(const ConnectionSettings& settings,
                                                             orv::ui::Interaction& ui) {
    auto connection = std::make_unique<orv::odbc::Connection>();
    if (!connection->allocated()) {
        ui.message(msg::kInitError, {}, orv::ui::Icon::None, orv::ui::Buttons::Ok);
        return nullptr;
    }
    const std::string cs = connectString(settings);
    const SQLRETURN rc = connection->driverConnect(cs);
    if (orv::odbc::isError(rc) || !connection->isOpen()) {
        const std::string why = connection->diagnostic();
        if (why.empty())
            ui.message(msg::kInitError, {}, orv::ui::Icon::None, orv::ui::Buttons::Ok);
        else
            ui.error(cs + "\n" + why);
        return nullptr;
    }
    return connection;
}

std::unique_ptr<orv::odbc::Connection> openOperationConnection(const ConnectionSettings& settings) {
    auto connection = std::make_unique<orv::odbc::Connection>();
    if (!connection->allocated())
        return nullptr;
    if (orv::odbc::isError(connection->driverConnect(connectString(settings))) ||
        !connection->isOpen())
        return nullptr;
    return connection;
}

bool stationCount(orv::odbc::Connection& connection, std::string_view table,
                  std::string_view station) {
    orv::odbc::Statement st(connection);
    if (!st.valid())
        return false;
    const std::string text = orv::text::format(sql::kStationCount, std::string(table).c_str());
    if (!orv::odbc::isSuccess(execDirect(st, text, {orv::odbc::Parameter::text(station)})))
        return false;
    if (!orv::odbc::isSuccess(st.fetch()))
        return false;
    const auto n = st.getInteger(1);
    return n && static_cast<short>(*n) != 0;
}

} // namespace orv::sitewright
