// The connection options of the database commands, and the connection itself: the settings
// as the response editor reads them, the schema check, the streaming of rows.
#include "cli/connection_options.h"
#include "cli/command.h"

#include "db/connection.h"
#include "db/schema.h"
#include "ini/inifile.h"
#include "settings.h"
#include "text/text.h"

#include <filesystem>
#include <ostream>

namespace orv::gainbook::cli {

const char* const kConnectionHelp =
    "  --dsn D       источник данных ODBC; --user U, --password P - пользователь и пароль\n"
    "                (по умолчанию из Gainbook.ini текущего каталога, иначе из ORV.ini\n"
    "                пользователя, затем из /etc/orv/ORV.ini)\n"
    "  --yes         отвечать \"Да\" на вопросы программы (создание таблиц, выбор даты);\n"
    "                без него ответ \"Нет\"\n";

const std::vector<OptionSpec> kConnectionOptions = {
    {"dsn", true}, {"user", true}, {"password", true}, {"yes", false}};

namespace {

// The settings files Gainbook would read the connection from: Gainbook.ini of the current
// directory when it exists, else the shared ones.
orv::ini::SettingsFiles connectionSettingsFiles() {
    const auto local = localSettingsPath(std::filesystem::current_path());
    return orv::ini::IniFile(local).exists() ? orv::ini::SettingsFiles(local)
                                             : orv::ini::sharedSettings();
}

// The files connectionSettingsFiles() looked for, in order, each missing one marked so.
std::string settingsFilesLookedIn() {
    std::string looked;
    std::vector<std::filesystem::path> files = connectionSettingsFiles().files();
    if (const auto local = localSettingsPath(std::filesystem::current_path()); files[0] != local)
        files.insert(files.begin(), local);
    for (const std::filesystem::path& file : files)
        looked += (looked.empty() ? "" : ", ") + file.string() +
                  (orv::ini::IniFile(file).exists() ? "" : " - нет файла");
    return looked;
}

} // namespace

// The connection settings: options first, then the settings files Gainbook would use.
ConnectionSettings resolveSettings(const ParsedOptions& opts) {
    const ConnectionSettings fromFile = readConnectionSettings(connectionSettingsFiles());
    ConnectionSettings s;
    s.dataSource = opts.value("dsn").value_or(fromFile.dataSource);
    s.user = opts.value("user").value_or(fromFile.user);
    s.password = opts.value("password").value_or(fromFile.password);
    return s;
}

// Connects and runs the schema check; null (after saying why) when the editor could not
// work on the database.
DatabaseConnection connectChecked(const ParsedOptions& opts, ui::Interaction& ui,
                                  const std::string& command, std::ostream& err) {
    const ConnectionSettings settings = resolveSettings(opts);
    if (settings.dataSource.empty()) {
        err << "gainbook-cli " << command
            << ": не задан источник данных: нет ни --dsn, ни [DATABASE] ODBC в файлах настроек ("
            << settingsFilesLookedIn() << ")\n";
        return nullptr;
    }
    DatabaseConnection connection = openOrSay(settings, "gainbook-cli " + command, err);
    if (!connection)
        return nullptr;
    Schema schema(*connection, ui);
    if (!schema.check()) {
        err << "gainbook-cli " << command << ": база данных не готова к работе\n";
        return nullptr;
    }
    return connection;
}

void streamRows(DatabaseConnection& connection, const ParsedOptions& opts,
                const std::string& command, std::ostream& err) {
    streamOrSay(connection, resolveSettings(opts), "gainbook-cli " + command, err);
}

DatabaseConnection openOrSay(const ConnectionSettings& settings, const std::string& who,
                             std::ostream& err) {
    OpenResult opened = openConnection(settings);
    if (!opened.connection) {
        err << who << ": "
            << orv::text::replaceAll(failureText("подключения к базе данных", opened.diagnostic),
                                     "\r\n", "\n")
            << "\n";
        return nullptr;
    }
    return std::move(opened.connection);
}

void streamOrSay(DatabaseConnection& connection, const ConnectionSettings& settings,
                 const std::string& who, std::ostream& err) {
    StreamingConnection streaming = openStreamingConnection(settings, std::move(connection));
    if (const std::string why = streamingFallbackText(streaming); !why.empty())
        err << who << ": " << why << "\n";
    connection = std::move(streaming.connection);
}

// Comma-separated code patterns.
std::vector<std::string> codeList(const ParsedOptions& opts, const char* name) {
    std::vector<std::string> out;
    const auto v = opts.value(name);
    if (!v)
        return out;
    std::size_t from = 0;
    while (true) {
        const std::size_t comma = v->find(',', from);
        out.push_back(
            v->substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    return out;
}

} // namespace orv::gainbook::cli
