// gainbook-cli stationxml: the database's stations, channels and responses as FDSN
// StationXML, written as they are read.
#include "cli/command.h"
#include "cli/connection_options.h"
#include "cli/options.h"

#include "db/connection.h"
#include "db/typedinput.h"
#include "files/replacefile.h"
#include "formats/exportfile.h"
#include "stationxml/inventory.h"
#include "stationxml/report.h"
#include "stationxml/selection.h"
#include "stationxml/xmlwriter.h"

#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::cli {
namespace {

const std::string kStationXmlUsage =
    std::string(
        "Использование: gainbook-cli stationxml [--level network|station|channel|response]\n"
        "         [--net N] [--sta S] [--chan C] [--loc L] [--start T] [--end T]\n"
        "         [--default-net N] [--out FILE] [--dsn D] [--user U] [--password P] [--yes]\n"
        "\n"
        "Записывает станции, каналы и отклики базы в формате FDSN StationXML 1.2 (UTF-8) в\n"
        "стандартный вывод или в FILE (файл заменяется целиком; при ошибке прежний остаётся).\n"
        "Сеть - из CALIBRATION, станция - из SITE, эпоха канала - строка CALIBRATION;\n"
        "текст SAC становится звеном PolesZeros, текст FAP - звеном ResponseList.\n"
        "Неполадки (станция без SITE, коды не по правилам FDSN, SENS не по тексту)\n"
        "печатаются в stderr; станция со значением вне диапазонов схемы пропускается,\n"
        "код возврата тогда 1.\n"
        "\n"
        "  --level       подробность (по умолчанию response)\n"
        "  --net, --sta, --chan, --loc   коды, через запятую; допускаются * и ?;\n"
        "                пустое местоположение (?? в CALIBRATION) - \"\" или --\n"
        "  --start, --end   эпохи, пересекающие интервал (\"YYYY.MM.DD HH:MM:SS\")\n"
        "  --default-net сеть станций без откликов (по умолчанию XYN)\n"
        "  --out         файл\n") +
    kConnectionHelp;

// The selection of the command line; the usage error's status (after saying why) when an
// option is refused.
std::optional<int> readSelection(const ParsedOptions& opts, stationxml::Selection& selection,
                                 std::ostream& err) {
    static constexpr std::string_view kLevels[] = {"network", "station", "channel", "response"};
    if (const OptionValue v = choiceOption(opts, "level", kLevels); !v.error.empty())
        return usageError(err, "stationxml", v.error);
    if (const auto level = opts.value("level"))
        selection.level = *level == "network"   ? stationxml::Level::Network
                          : *level == "station" ? stationxml::Level::Station
                          : *level == "channel" ? stationxml::Level::Channel
                                                : stationxml::Level::Response;
    if (const std::optional<std::string> why = readCodesAndTimes(opts, selection))
        return usageError(err, "stationxml", *why);
    return std::nullopt;
}

// The document of the selection written to out, or with --out to the file, replaced whole
// at the end as every file the programs write; nullopt (after saying why) when it could not
// be written.
std::optional<stationxml::ReadSummary> writeDocument(odbc::Connection& connection,
                                                     const ParsedOptions& opts,
                                                     const stationxml::Selection& selection,
                                                     std::ostream& out, std::ostream& err) {
    stationxml::ReadOptions readOptions;
    readOptions.defaultNetwork = opts.value("default-net").value_or(readOptions.defaultNetwork);
    std::optional<orv::files::FileReplacement> file;
    const std::string path = opts.value("out").value_or("");
    // The file and the system's reason, when it cannot be written.
    const auto fileFailure = [&] {
        return std::string(formats::kWriteFailedMessage) + " " + path + ": " + file->why();
    };
    if (!path.empty()) {
        file.emplace(path);
        if (!file->ok()) {
            err << "gainbook-cli stationxml: " << fileFailure() << "\n";
            return std::nullopt;
        }
    }
    const auto warn = [&](const stationxml::Problem& problem) {
        err << "gainbook-cli stationxml: " << render(problem, stationxml::Language::English)
            << "\n";
    };
    stationxml::ReadSummary summary;
    try {
        stationxml::StationXmlWriter writer([&](std::string_view chunk) {
            if (file ? !file->write(chunk)
                     : !out.write(chunk.data(), std::streamsize(chunk.size())))
                throw std::runtime_error(file ? fileFailure() : "write failed");
        });
        writer.begin();
        summary = stationxml::readInventory(connection, selection, writer, warn, readOptions);
        writer.finish();
        if (file && !file->commit())
            throw std::runtime_error(fileFailure());
    } catch (const std::exception& e) {
        err << "gainbook-cli stationxml: " << e.what() << "\n";
        return std::nullopt;
    }
    if (!file)
        out.flush();
    return summary;
}

int runStationXml(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<OptionSpec> specs = kConnectionOptions;
    for (const char* name :
         {"level", "net", "sta", "chan", "loc", "start", "end", "default-net", "out"})
        specs.push_back({name, true});
    const ParsedOptions opts = parseOptions(args, specs);
    if (opts.help) {
        out << kStationXmlUsage;
        return kOk;
    }
    if (!opts.error.empty())
        return usageError(err, "stationxml", opts.error);
    if (!opts.positional.empty())
        return usageError(err, "stationxml", "лишний аргумент " + opts.positional[0]);
    stationxml::Selection selection;
    if (const std::optional<int> refused = readSelection(opts, selection, err))
        return *refused;

    ConsoleInteraction ui(err, opts.has("yes"));
    DatabaseConnection connection = connectChecked(opts, ui, "stationxml", err);
    if (!connection)
        return kFailed;
    // The responses are written as they come, in constant memory.
    streamRows(connection, opts, "stationxml", err);
    const std::optional<stationxml::ReadSummary> summary =
        writeDocument(*connection.get(), opts, selection, out, err);
    if (!summary)
        return kFailed;
    err << "gainbook-cli stationxml: сетей " << summary->networks << ", станций "
        << summary->stations << ", эпох каналов " << summary->channels << "\n";
    return summary->refusedSome ? kFailed : kOk;
}

} // namespace

Command stationXmlCommand() {
    return {"stationxml", "станции, каналы и отклики в StationXML", kStationXmlUsage.c_str(),
            runStationXml};
}

} // namespace orv::gainbook::cli
