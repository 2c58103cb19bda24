// gainbook-cli write: response files written to the database as the file panel writes them,
// a transaction a file.
#include "cli/command.h"
#include "cli/connection_options.h"
#include "cli/options.h"

#include "db/connection.h"
#include "db/datetext.h"
#include "db/responsewriter.h"
#include "db/sitechanlookup.h"
#include "db/typedinput.h"
#include "formats/responsefile.h"
#include "panels.h"
#include "response/evaluation.h"
#include "text/text.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace orv::gainbook::cli {
namespace {

const std::string kWriteUsage =
    std::string(
        "Использование: gainbook-cli write FILE... [--sta S] [--chan C] [--net N] [--loc L]\n"
        "         [--start \"YYYY.MM.DD HH:MM:SS\"] [--end \"YYYY.MM.DD HH:MM:SS\"]\n"
        "         [--format sac|fap-orv|fap-gse2] [--calib X] [--freq F]\n"
        "         [--calib-unit U] [--freq-unit U] [--dsn D] [--user U] [--password P] [--yes]\n"
        "\n"
        "Загружает каждый FILE так же, как панель файла (поля - из заголовка файла или из\n"
        "SITECHAN, CALIB - по тексту), заменяет поля заданными параметрами и записывает отклик\n"
        "в базу по правилам кнопки \"ЗАПИСАТЬ В БАЗУ\", в одной транзакции на файл; при\n"
        "ошибке записи этого файла база не меняется, код возврата не равен нулю. Новый\n"
        "интервал с начала S так меняет хранимые интервалы ключа:\n"
        "  - действующий в момент S (начат раньше S, кончается позже или открыт) закрывается\n"
        "    датой S, даже если шёл дальше конца нового: закрытый 2005-2010 поверх 2000-2020\n"
        "    оставляет 2000-2005, 2005-2010 и ничего после 2010;\n"
        "  - открытый новый (без --end) удаляет все, что начинаются от S до текущего момента,\n"
        "    каков бы ни был их конец: открытый с 2010 поверх открытого с 2015 оставляет\n"
        "    только открытый с 2010. Начатые позже текущего момента остаются, и новый\n"
        "    заканчивается началом первого из них (о чём говорит сообщение);\n"
        "  - закрытый новый удаляет лежащие в нём целиком; начатый внутри него и\n"
        "    кончающийся позже (или открытый) - отказ с его указанием; начатый в S и\n"
        "    кончающийся позже - ошибка ключа таблицы, ничего не меняется.\n"
        "Запись, которую сервер сохранил, но его синхронный резервный сервер не подтвердил\n"
        "за " +
        std::to_string(kCommitConfirmationBound.count()) +
        " с, записана без подтверждения: код возврата 3, если остальные записаны.\n"
        "\n"
        "  --sta, --chan, --net, --loc   станция, канал, сеть, расположение (не длиннее " +
        std::to_string(kMaxCodeChars) +
        " символов)\n"
        "  --start, --end   начало и конец интервала (без --end интервал открыт)\n"
        "  --format      формат файла без заголовка: sac (по умолчанию), fap-orv, fap-gse2\n"
        "  --calib       CALIB вместо вычисленного по тексту\n"
        "  --freq        FREQ (по умолчанию 1.0); в числах допускается десятичная запятая\n"
        "  --calib-unit  единица CALIB: nm/counts, nm/counts*sec (по умолчанию) или\n"
        "                nm/counts*sec**2\n"
        "  --freq-unit   единица FREQ: Hz (по умолчанию) или rad/sec\n") +
    kConnectionHelp;

// The key's intervals as the browser shows them, oldest first.
std::vector<std::string> intervalsOf(odbc::Connection& connection, const PreparedResponse& r) {
    std::vector<std::string> out;
    odbc::PreparedStatement st(
        connection, "SELECT STARTDATE,ENDDATE FROM CALIBRATION WHERE NETWORK=? AND STA=? "
                    "AND CHAN=? AND LOCATION=? ORDER BY STARTDATE");
    if (odbc::isError(
            st.run({odbc::Parameter::code(r.network), odbc::Parameter::code(r.station),
                    odbc::Parameter::code(r.channel), odbc::Parameter::code(r.location)})))
        return out;
    while (odbc::isSuccess(st->fetch()))
        out.push_back(intervalText(st->getTimestamp(1).value_or(odbc::Timestamp{0, 0, 0, 0, 0, 0}),
                                   st->getTimestamp(2)));
    return out;
}

std::optional<formats::LoadedFileKind> formatOption(const ParsedOptions& opts, std::string& error) {
    const std::string f = opts.value("format").value_or("sac");
    if (f == "sac")
        return formats::LoadedFileKind::Sac;
    if (f == "fap-orv")
        return formats::LoadedFileKind::FapOrv;
    if (f == "fap-gse2")
        return formats::LoadedFileKind::FapGse2;
    error = "--format: sac, fap-orv или fap-gse2, а не " + f;
    return std::nullopt;
}

enum class FileWrite { Failed, Written, Unconfirmed };

// The response file at path as read, else nothing (after saying why).
std::optional<formats::ReadResult> readForWrite(const std::string& path,
                                                formats::LoadedFileKind format, std::ostream& err) {
    std::string error;
    const auto bytes = formats::readFileBytes(path, error);
    if (!bytes) {
        err << "gainbook-cli write: " << error << "\n";
        return std::nullopt;
    }
    formats::ReadResult read = formats::readResponseFile(
        *bytes, formats::baseName(path), formats::fileTimeText(path), [format] { return format; });
    if (const std::string refusal = formats::refusalText(read); !refusal.empty()) {
        err << "gainbook-cli write: " << path << ": " << refusal << "\n";
        return std::nullopt;
    }
    if (read.status != formats::ReadStatus::Read)
        return std::nullopt;
    return read;
}

// The user's edits of the fields, over what the load gave the panel.
void applyFieldOptions(const ParsedOptions& opts, FilePanel& panel) {
    panel.station = opts.value("sta").value_or(panel.station);
    panel.channel = opts.value("chan").value_or(panel.channel);
    panel.network = opts.value("net").value_or(panel.network);
    panel.location = opts.value("loc").value_or(panel.location);
    const std::string start =
        opts.value("start").value_or(panel.time.substr(0, panel.time.find(" / ")));
    if (opts.has("start") || opts.has("end"))
        panel.time = opts.has("end") ? start + " / " + *opts.value("end") : start;
    panel.calper = opts.value("freq").value_or("1.0");
    panel.calibUnitText = opts.value("calib-unit").value_or("nm/counts*sec");
    panel.freqUnitText = opts.value("freq-unit").value_or("Hz");
}

// The channel written and the intervals the write took away (-) and added (+).
void printWritten(const std::string& path, const PreparedResponse& prepared,
                  const std::vector<std::string>& before, const std::vector<std::string>& after,
                  std::ostream& out) {
    out << path << ": " << prepared.network << ' ' << prepared.station << ' ' << prepared.channel
        << ' ' << prepared.location << ' ' << (prepared.sac() ? "SAC" : "FAP") << '\n';
    for (const auto& interval : before)
        if (std::find(after.begin(), after.end(), interval) == after.end())
            out << "  - " << interval << '\n';
    for (const auto& interval : after)
        if (std::find(before.begin(), before.end(), interval) == before.end())
            out << "  + " << interval << '\n';
}

// Loads one file into the fields of a file panel and writes it.
FileWrite writeOne(const std::string& path, const ParsedOptions& opts,
                   formats::LoadedFileKind format, odbc::Connection& connection,
                   ui::Interaction& ui, std::ostream& out, std::ostream& err) {
    const auto read = readForWrite(path, format, err);
    if (!read)
        return FileWrite::Failed;

    // The file panel as the load leaves it, then the user's edits.
    FilePanel panel;
    panel.takeFile(read->file);
    if (read->file.lookUpStationTables && connection.tableExists("SITECHAN")) {
        if (const auto match =
                lookUpResponseFile(connection, ui, formats::baseName(path), panel.time))
            panel.takeSiteChanMatch(*match);
    }
    applyFieldOptions(opts, panel);
    panel.text = read->file.text;

    const response::CalibStatus calib = panel.computeCalib(false);
    if (calib == response::CalibStatus::WrongFormat || calib == response::CalibStatus::TooLong) {
        ui.message(calib == response::CalibStatus::WrongFormat ? formats::kWrongFormatMessage
                                                               : formats::kTextTooLongMessage,
                   formats::kLoadErrorCaption, ui::Icon::Exclamation, ui::Buttons::Ok);
        return FileWrite::Failed;
    }
    panel.calib = opts.value("calib").value_or(panel.calib);
    const ResponseInput in = panel.responseInput();

    const auto prepared = prepareResponse(in, ui);
    if (!prepared)
        return FileWrite::Failed;
    const std::vector<std::string> before = intervalsOf(connection, *prepared);
    const WriteOutcome outcome =
        writeResponse(connection, ui, in, [](IntervalChoiceDialog& dialog) {
            // The offered interval is the file's: written as a user pressing "Записать" would,
            // except that an interval overlapping a later stored one is refused, not asked about.
            dialog.overlap = IntervalChoiceDialog::Overlap::Refuse;
            dialog.write();
            return true;
        });
    if (outcome != WriteOutcome::Written && outcome != WriteOutcome::Unconfirmed) {
        err << "gainbook-cli write: " << path << ": не записано\n";
        return FileWrite::Failed;
    }
    printWritten(path, *prepared, before, intervalsOf(connection, *prepared), out);
    return outcome == WriteOutcome::Unconfirmed ? FileWrite::Unconfirmed : FileWrite::Written;
}

// "312/1000" on the last line of the terminal while a batch of files is written; only when
// the messages go to a terminal, so that a log or a pipe gets the summary alone. The line is
// wiped before anything else is said.
class BatchProgress {
public:
    BatchProgress(std::ostream& err, std::size_t total)
        : err_(err), total_(total), shown_(total > 1 && &err == &std::cerr && stderrIsTerminal()) {}
    void wipe() {
        if (drawn_)
            err_ << "\r\033[K" << std::flush;
        drawn_ = false;
    }
    void show(std::size_t done) {
        if (!shown_)
            return;
        err_ << '\r' << done << '/' << total_ << std::flush;
        drawn_ = true;
    }

private:
    static bool stderrIsTerminal() {
#ifdef _WIN32
        return _isatty(_fileno(stderr)) != 0;
#else
        return isatty(fileno(stderr)) != 0;
#endif
    }
    std::ostream& err_;
    std::size_t total_;
    bool shown_;
    bool drawn_ = false;
};

// The record's fields of the command line, checked as the file panel checks them; the
// numbers put in the C locale. The reason when one is refused.
std::optional<std::string> fieldRefusal(ParsedOptions& opts) {
    // Codes are taken whole or not at all.
    for (const char* name : {"sta", "chan", "net", "loc"}) {
        if (const auto v = opts.value(name); v) {
            if (const auto why = codeRefusal(std::string("--") + name, *v))
                return *why;
        }
    }
    for (const char* name : {"start", "end"}) {
        if (const auto v = opts.value(name); v) {
            const TypedDate date = readTypedDate(std::string("--") + name, *v);
            if (!date.value)
                return date.error;
        }
    }
    if (opts.has("start") && opts.has("end")) {
        const TypedInterval interval =
            readTypedInterval("--start", *opts.value("start"), "--end", *opts.value("end"));
        if (!interval.ok())
            return interval.error;
    }
    // Numbers are taken in the C locale; units only those the sensitivity tells apart.
    for (const char* name : {"calib", "freq"}) {
        const OptionValue v = numberOption(opts, name, NumberKind::Real);
        if (!v.error.empty())
            return v.error;
        if (v.text)
            opts.values[name] = *v.text;
    }
    // A frequency is positive, as calib has it.
    if (const auto freq = opts.value("freq"); freq && orv::text::toDouble(*freq) <= 0)
        return "--freq: частота должна быть больше 0";
    for (const OptionValue& v : {choiceOption(opts, "calib-unit", response::kCalibUnits),
                                 choiceOption(opts, "freq-unit", response::kFreqUnits)})
        if (!v.error.empty())
            return v.error;
    return std::nullopt;
}

// Every file written, the progress on the terminal, the summary of a batch; the status.
int writeFiles(const ParsedOptions& opts, formats::LoadedFileKind format,
               odbc::Connection& connection, ui::Interaction& ui, std::ostream& out,
               std::ostream& err) {
    int failed = 0;
    int unconfirmed = 0;
    BatchProgress progress(err, opts.positional.size());
    for (std::size_t i = 0; i < opts.positional.size(); ++i) {
        progress.wipe();
        const FileWrite done = writeOne(opts.positional[i], opts, format, connection, ui, out, err);
        failed += done == FileWrite::Failed;
        unconfirmed += done == FileWrite::Unconfirmed;
        progress.show(i + 1);
    }
    progress.wipe();
    if (opts.positional.size() > 1) {
        err << "gainbook-cli write: записано " << opts.positional.size() - failed << " из "
            << opts.positional.size();
        if (unconfirmed > 0)
            err << ", из них без подтверждения резервного сервера " << unconfirmed;
        err << "\n";
    }
    if (failed > 0)
        return kFailed;
    return unconfirmed > 0 ? kUnconfirmed : kOk;
}

int runWrite(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<OptionSpec> specs = kConnectionOptions;
    for (const char* name : {"sta", "chan", "start", "end", "net", "loc", "format", "calib", "freq",
                             "calib-unit", "freq-unit"})
        specs.push_back({name, true});
    ParsedOptions opts = parseOptions(args, specs);
    if (opts.help) {
        out << kWriteUsage;
        return kOk;
    }
    if (!opts.error.empty())
        return usageError(err, "write", opts.error);
    if (opts.positional.empty())
        return usageError(err, "write", "не указан файл");
    std::string error;
    const auto format = formatOption(opts, error);
    if (!format)
        return usageError(err, "write", error);
    if (const std::optional<std::string> why = fieldRefusal(opts))
        return usageError(err, "write", *why);

    ConsoleInteraction ui(err, opts.has("yes"));
    DatabaseConnection connection = connectChecked(opts, ui, "write", err);
    if (!connection)
        return kFailed;
    // One statement text after another, file after file: each is prepared once.
    connection->keepPreparedStatements(true);
    return writeFiles(opts, *format, *connection, ui, out, err);
}

} // namespace

Command writeCommand() {
    return {"write", "запись файлов откликов в базу", kWriteUsage.c_str(), runWrite};
}

} // namespace orv::gainbook::cli
