// gainbook-cli export: a stored response written to a SAC or FAP file, as the database panel
// writes it.
#include "cli/command.h"
#include "cli/connection_options.h"
#include "cli/options.h"

#include "db/browser.h"
#include "db/connection.h"
#include "db/datetext.h"
#include "db/responsewriter.h"
#include "db/typedinput.h"
#include "formats/exportfile.h"
#include "text/text.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orv::gainbook::cli {
namespace {

const std::string kExportUsage =
    std::string(
        "Использование: gainbook-cli export --sta S --chan C [--net N] [--loc L]\n"
        "         [--start \"YYYY.MM.DD HH:MM:SS\"] [--sac | --fap orv|gse2] --out FILE\n"
        "         [--dsn D] [--user U] [--password P] [--yes]\n"
        "\n"
        "Записывает хранимый отклик в файл так же, как кнопка \"ЗАПИСАТЬ В ФАЙЛ\" панели\n"
        "базы: текст SAC с пятью строками \"# Station\" ... \"# Time\" или текст FAP с\n"
        "заголовком CAL2/FAP2; каждая строка файла кончается CR LF. Файл заменяется\n"
        "целиком; если записать его не удалось, прежний файл остаётся как был. Печатает\n"
        "записанный ключ и интервал.\n"
        "\n"
        "  --sta, --chan  станция и канал\n"
        "  --net, --loc   сеть и расположение (по умолчанию первые по алфавиту, как их\n"
        "                 выбирает панель базы)\n"
        "  --start        начало интервала (по умолчанию самый новый интервал)\n"
        "  --sac          текст SAC (по умолчанию)\n"
        "  --fap          текст FAP: orv - амплитуды как хранятся, gse2 - 1e18 / амплитуда\n"
        "  --out          файл\n") +
    kConnectionHelp;

// The record the database panel shows for the options; nullopt (after saying why) when
// the table holds none.
std::optional<BrowserKey> showRecord(ResponseBrowser& browser, const ParsedOptions& opts,
                                     const std::optional<odbc::Timestamp>& start,
                                     std::ostream& err) {
    // An empty network or location names the code an empty one is written as.
    const auto asked = [&opts](const char* option) -> std::optional<std::string> {
        std::optional<std::string> v = opts.value(option);
        if (v && v->empty() && std::string_view(option) == "net")
            return kEmptyNetworkCode;
        if (v && v->empty() && std::string_view(option) == "loc")
            return kEmptyLocationCode;
        return v;
    };
    browser.viewSac = !opts.has("fap");
    browser.requestSelection(*asked("sta"), asked("net").value_or(""), *asked("chan"),
                             asked("loc").value_or(""));
    browser.intervalToSelect = start ? formatDateText(*start) : std::string();
    browser.fillFirstList();
    // The panel falls back to first entries; only the asked key counts.
    const BrowserKey key = browser.currentKey();
    const auto same = [&asked](const std::string& shown, const char* option) {
        const auto code = asked(option);
        return !code || orv::text::equalsNoCase(shown, *code);
    };
    if (!same(key.station, "sta") || !same(key.channel, "chan") || !same(key.network, "net") ||
        !same(key.location, "loc") || key.interval.empty() ||
        (start && !key.interval.starts_with(formatDateText(*start)))) {
        err << "gainbook-cli export: в CALIBRATION нет такого отклика\n";
        return std::nullopt;
    }
    return key;
}

// What is wrong with the command line, if anything; the start asked for into start.
std::optional<std::string> exportRefusal(const ParsedOptions& opts,
                                         std::optional<odbc::Timestamp>& start) {
    if (!opts.positional.empty())
        return "лишний аргумент " + opts.positional[0];
    for (const char* required : {"sta", "chan", "out"})
        if (!opts.has(required))
            return std::string("не задан --") + required;
    if (opts.has("sac") && opts.has("fap"))
        return "--sac и --fap вместе";
    static constexpr std::string_view kFlavours[] = {"orv", "gse2"};
    if (const OptionValue v = choiceOption(opts, "fap", kFlavours); !v.error.empty())
        return v.error;
    for (const char* name : {"sta", "chan", "net", "loc"})
        if (const auto v = opts.value(name))
            if (const auto why = codeRefusal(std::string("--") + name, *v))
                return *why;
    if (const auto v = opts.value("start")) {
        const TypedDate date = readTypedDate("--start", *v);
        if (!date.value)
            return date.error;
        start = date.value;
    }
    return std::nullopt;
}

// The record the browser shows written to the file of --out, in the form asked for; the
// status.
int writeRecord(const ResponseBrowser& browser, const BrowserKey& key, const ParsedOptions& opts,
                std::ostream& out, std::ostream& err) {
    const bool sac = browser.viewSac;
    if (browser.storedTextTooLong)
        return kFailed; // the browser has said why
    if (browser.storedText.empty()) {
        err << "gainbook-cli export: у записи " << key.interval << " нет текста "
            << (sac ? "SAC" : "FAP") << "\n";
        return kFailed;
    }
    const formats::FileKey fileKey{key.station, key.channel, key.location, key.network,
                                   key.interval};
    const formats::LoadedFileKind flavour = opts.value("fap") == "gse2"
                                                ? formats::LoadedFileKind::FapGse2
                                                : formats::LoadedFileKind::FapOrv;
    std::string refusal;
    const std::optional<std::string> text =
        sac ? formats::sacFileText(fileKey, browser.storedText)
            : formats::storedFapFileText(fileKey, browser.storedText, flavour, refusal);
    if (!text) {
        err << "gainbook-cli export: " << refusal << "\n";
        return kFailed;
    }
    const std::string path = *opts.value("out");
    std::string why;
    if (!formats::writeResponseFile(path, *text, why)) {
        err << "gainbook-cli export: " << formats::kWriteFailedMessage << " " << path << ": " << why
            << "\n";
        return kFailed;
    }
    out << path << ": " << key.network << ' ' << key.station << ' ' << key.channel << ' '
        << key.location << ' ' << key.interval << ' '
        << (sac                                           ? "SAC"
            : flavour == formats::LoadedFileKind::FapGse2 ? "FAP-GSE2"
                                                          : "FAP-ORV")
        << '\n';
    return kOk;
}

int runExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<OptionSpec> specs = kConnectionOptions;
    for (const char* name : {"sta", "chan", "net", "loc", "start", "fap", "out"})
        specs.push_back({name, true});
    specs.push_back({"sac", false});
    const ParsedOptions opts = parseOptions(args, specs);
    if (opts.help) {
        out << kExportUsage;
        return kOk;
    }
    if (!opts.error.empty())
        return usageError(err, "export", opts.error);
    std::optional<odbc::Timestamp> start;
    if (const std::optional<std::string> why = exportRefusal(opts, start))
        return usageError(err, "export", *why);

    ConsoleInteraction ui(err, opts.has("yes"));
    DatabaseConnection connection = connectChecked(opts, ui, "export", err);
    if (!connection)
        return kFailed;
    ResponseBrowser browser(connection.get(), ui);
    const std::optional<BrowserKey> key = showRecord(browser, opts, start, err);
    // A read that failed was shown (on stderr): what was read is not to be trusted.
    if (browser.failedReads > 0) {
        err << "gainbook-cli export: чтение из базы не удалось\n";
        return kFailed;
    }
    if (!key)
        return kFailed;
    return writeRecord(browser, *key, opts, out, err);
}

} // namespace

Command exportCommand() {
    return {"export", "хранимый отклик в файл SAC или FAP", kExportUsage.c_str(), runExport};
}

} // namespace orv::gainbook::cli
