// gainbook-cli check: the archive checked against the station-metadata rules, findings as
// text, JSON or CSV.
#include "check/archivecheck.h"
#include "check/report.h"
#include "cli/command.h"
#include "cli/connection_options.h"
#include "cli/options.h"

#include "db/typedinput.h"
#include "ini/inifile.h"
#include "settings.h"
#include "text/text.h"

#include <filesystem>
#include <ostream>
#include <system_error>

namespace orv::gainbook::cli {
namespace {

// Exit statuses of check.
constexpr int kNoErrors = 0;
constexpr int kErrorsFound = 1;
constexpr int kCouldNotRun = 2;

const std::string kCheckUsage =
    std::string("Использование: gainbook-cli check [--format text|json|csv] [--rules]\n"
                "         [--net N] [--sta S] [--chan C] [--loc L] [--start T] [--end T]\n"
                "         [--dir DIR] [--dsn D] [--user U] [--password P] [--yes]\n"
                "\n"
                "Проверяет архив (SITE, SITECHAN, CALIBRATION, ID_SENS, ID_FREQ) по правилам\n"
                "метаданных станций и печатает каждую находку: правило, важность (error - то,\n"
                "что отвергнет проверка StationXML или что делает отклик неверным; warning -\n"
                "подозрительное), ключ (сеть, станция, местоположение, канал, начало интервала)\n"
                "и что исправить (по-английски). Отклики читаются по одному ключу, в постоянной\n"
                "памяти. В конце - строка с числом находок каждой важности (для json и csv - в\n"
                "stderr). Код возврата: 0 - ошибок нет, 1 - найдены ошибки, 2 - проверка не\n"
                "выполнена.\n"
                "\n"
                "  --format      text (по умолчанию: по правилам, с числом находок), json (массив\n"
                "                объектов rule, severity, network, station, location, channel,\n"
                "                start, message; start - ISO 8601 UTC или null) или csv\n"
                "  --rules       перечислить правила (код, важность, что проверяет) и выйти\n"
                "  --net, --sta, --chan, --loc   коды, через запятую; допускаются * и ?;\n"
                "                пустое местоположение - \"\" или --; строки SITE и SITECHAN\n"
                "                проверяются у станций с откликами в выбранных сетях\n"
                "  --start, --end   интервалы откликов, пересекающие промежуток\n"
                "                (\"YYYY.MM.DD HH:MM:SS\")\n"
                "  --dir DIR     каталог установки (файлы откликов в DIR/RESPONSE; по умолчанию\n"
                "                [ORV] DIR из Sitewright.ini, ORV.ini или переменная ORV);\n"
                "                SITECHAN.CALIBFILE проверяется, только когда каталог читается\n") +
    kConnectionHelp;

// DIR/RESPONSE: of --dir, else where the response editor finds it; nothing when it cannot
// be read.
std::optional<std::filesystem::path> responseFolder(const ParsedOptions& opts) {
    std::string folder;
    if (const auto dir = opts.value("dir"))
        folder = (std::filesystem::path(*dir) / "RESPONSE").string();
    else
        folder = responseDirectory(std::filesystem::current_path(), orv::ini::sharedSettings());
    return readableFolder(folder);
}

// The selection options; false (after saying why) when one is refused.
bool readSelection(const ParsedOptions& opts, check::Selection& s, std::ostream& err) {
    if (const std::optional<std::string> why = readCodesAndTimes(opts, s)) {
        usageError(err, "check", *why);
        return false;
    }
    return true;
}

int runCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<OptionSpec> specs = kConnectionOptions;
    for (const char* name : {"format", "net", "sta", "chan", "loc", "start", "end", "dir"})
        specs.push_back({name, true});
    specs.push_back({"rules", false});
    const ParsedOptions opts = parseOptions(args, specs);
    if (opts.help) {
        out << kCheckUsage;
        return kNoErrors;
    }
    if (!opts.error.empty())
        return usageError(err, "check", opts.error);
    if (!opts.positional.empty())
        return usageError(err, "check", "лишний аргумент " + opts.positional[0]);
    if (opts.has("rules")) {
        check::listRules(out);
        return kNoErrors;
    }
    static constexpr std::string_view kFormats[] = {"text", "json", "csv"};
    if (const OptionValue v = choiceOption(opts, "format", kFormats); !v.error.empty())
        return usageError(err, "check", v.error);
    const std::string format = opts.value("format").value_or("text");
    check::Selection selection;
    if (!readSelection(opts, selection, err))
        return kCouldNotRun;

    ConsoleInteraction ui(err, opts.has("yes"));
    DatabaseConnection connection = connectChecked(opts, ui, "check", err);
    if (!connection)
        return kCouldNotRun;
    streamRows(connection, opts, "check", err);

    check::Report report(out, format == "json"  ? check::Format::Json
                              : format == "csv" ? check::Format::Csv
                                                : check::Format::Text);
    check::Counts counts;
    std::string diagnostic;
    const bool read = check::checkArchive(
        *connection.get(), selection, responseFolder(opts),
        [&](check::Finding f) { report.add(f); }, counts, diagnostic);
    report.finish();
    if (!read) {
        err << "gainbook-cli check: the archive could not be read: " << diagnostic << "\n";
        return kCouldNotRun;
    }
    if (format != "text")
        err << report.summary() << "\n";
    err << "gainbook-cli check: " << counts.responses << " responses of " << counts.keys
        << " channels, " << counts.stations << " stations, " << counts.channels
        << " SITECHAN rows checked\n";
    return report.errors() > 0 ? kErrorsFound : kNoErrors;
}

const Command kCheckCommands[] = {
    {"check", "проверить архив по правилам метаданных станций", kCheckUsage.c_str(), runCheck},
};

} // namespace

std::span<const Command> checkCommands() {
    return kCheckCommands;
}

} // namespace orv::gainbook::cli
