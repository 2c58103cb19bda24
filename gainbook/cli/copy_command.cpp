// gainbook-cli copy: an archive moved from one data source to another, verified.
#include "cli/command.h"
#include "cli/connection_options.h"
#include "cli/options.h"

#include "db/archivecopy.h"
#include "db/connection.h"
#include "db/schema.h"
#include "text/text.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <ostream>
#include <sstream>

#include <unistd.h>

namespace orv::gainbook::cli {
namespace {

const char* const kCopyUsage =
    "Использование: gainbook-cli copy --from D [--from-user U] [--from-password P]\n"
    "         --to D [--to-user U] [--to-password P] [--replace] [--tables T,...]\n"
    "\n"
    "Переносит архив из одного источника данных в другой (SQLite, PostgreSQL, MariaDB):\n"
    "таблицы SITE, SITECHAN, ID_SENS, ID_FREQ и CALIBRATION, какие есть в источнике.\n"
    "Недостающие таблицы получателя создаются так же, как их создают программы, с\n"
    "индексами. Источник читается в одной транзакции, получатель пишется в одной\n"
    "транзакции; после записи каждая таблица получателя сверяется с источником по числу\n"
    "строк и контрольной сумме (SHA-256 значений всех строк в порядке ключа). При любом\n"
    "расхождении или ошибке запись отменяется и получатель остаётся как был; код\n"
    "возврата 0 только когда все таблицы перенесены и сверены.\n"
    "\n"
    "Значение, которое источник хранит не так, как велит тип его столбца (текст в\n"
    "числовом столбце, дробное число в целом, не дату в столбце дат, текст с байтом NUL,\n"
    "двоичное значение), или которое столбец получателя не может принять как есть, -\n"
    "отказ с указанием таблицы, ключа строки и столбца. Перенос базы данных в саму себя\n"
    "(под любым именем) - отказ.\n"
    "\n"
    "  --from, --to  источники данных ODBC: откуда и куда; пользователь и пароль - из\n"
    "                --from-user, --from-password, --to-user, --to-password, иначе\n"
    "                заданные в источнике данных\n"
    "  --replace     заменить строки непустых таблиц получателя (без него непустая\n"
    "                таблица получателя - отказ)\n"
    "  --tables      только эти таблицы, через запятую (например CALIBRATION,ID_SENS)\n";

// A connection under which the driver streams the rows of a query, else (saying why) the
// plain one; null (after saying why) when none can be opened.
DatabaseConnection connectStreaming(const ConnectionSettings& settings, const char* role,
                                    std::ostream& err) {
    const std::string who = "gainbook-cli copy: " + std::string(role) + " " + settings.dataSource;
    DatabaseConnection connection = openOrSay(settings, who, err);
    if (connection)
        streamOrSay(connection, settings, who, err);
    return connection;
}

// What is wrong with the options of a copy, else nothing; the tables named by --tables go
// into options.
std::optional<std::string> copyRefusal(const ParsedOptions& opts, copy::CopyOptions& options) {
    if (!opts.error.empty())
        return opts.error;
    if (!opts.positional.empty())
        return "лишний аргумент " + opts.positional[0];
    for (const char* required : {"from", "to"})
        if (opts.value(required).value_or("").empty())
            return std::string("не задан --") + required;
    // A database copied onto itself would be emptied by --replace before it is read.
    if (text::equalsNoCase(*opts.value("from"), *opts.value("to")))
        return "--from и --to называют один источник данных";
    options.replace = opts.has("replace");
    if (const auto tables = opts.value("tables")) {
        std::istringstream list(*tables);
        for (std::string name; std::getline(list, name, ',');) {
            name = text::toUpper(text::trim(name));
            if (std::find(std::begin(copy::kTables), std::end(copy::kTables), name) ==
                std::end(copy::kTables))
                return "--tables: неизвестная таблица " + name +
                       " (SITE, SITECHAN, ID_SENS, ID_FREQ, CALIBRATION)";
            options.tables.push_back(name);
        }
        if (options.tables.empty())
            return "--tables: не названо ни одной таблицы";
    }
    return std::nullopt;
}

// The copy, with "CALIBRATION 312000/1000000" on the last line of a terminal while the rows go.
copy::CopyReport copyShowingProgress(odbc::Connection& source, odbc::Connection& target,
                                     const copy::CopyOptions& options, std::ostream& err) {
    const bool terminal = &err == &std::cerr && isatty(fileno(stderr)) != 0;
    bool drawn = false;
    copy::Progress progress;
    if (terminal)
        progress = [&err, &drawn](std::string_view table, std::int64_t done, std::int64_t total) {
            err << "\r\033[K" << table << ' ' << done << '/' << total << std::flush;
            drawn = true;
        };
    copy::CopyReport report = copy::copyArchive(source, target, options, progress);
    if (drawn)
        err << "\r\033[K" << std::flush;
    return report;
}

void printCopyReport(const copy::CopyReport& report, std::ostream& out, std::ostream& err) {
    for (const copy::TableReport& t : report.tables) {
        out << t.table << ": строк " << t.copied << (t.created ? " (таблица создана)" : "")
            << ", SHA-256 " << t.targetChecksum << "\n";
        if (t.numberedRows > 0)
            out << t.table << ": строк, которым получатель дал номер NINDEX: " << t.numberedRows
                << "\n";
    }
    out << "перенесено и сверено таблиц: " << report.tables.size() << "\n";
    err << "gainbook-cli copy: строк в одном выполнении INSERT: до " << report.arrayRows << "\n";
}

int runCopy(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const ParsedOptions opts = parseOptions(args, {{"from", true},
                                                   {"from-user", true},
                                                   {"from-password", true},
                                                   {"to", true},
                                                   {"to-user", true},
                                                   {"to-password", true},
                                                   {"replace", false},
                                                   {"tables", true}});
    if (opts.help) {
        out << kCopyUsage;
        return kOk;
    }
    copy::CopyOptions options;
    if (const auto refusal = copyRefusal(opts, options))
        return usageError(err, "copy", *refusal);

    const ConnectionSettings from{*opts.value("from"), opts.value("from-user").value_or(""),
                                  opts.value("from-password").value_or("")};
    const ConnectionSettings to{*opts.value("to"), opts.value("to-user").value_or(""),
                                opts.value("to-password").value_or("")};
    DatabaseConnection source = connectStreaming(from, "источник", err);
    if (!source)
        return kFailed;
    DatabaseConnection target = connectStreaming(to, "получатель", err);
    if (!target)
        return kFailed;
    const copy::CopyReport report = copyShowingProgress(*source, *target, options, err);
    if (!report.ok) {
        err << "gainbook-cli copy: " << report.error
            << "\ngainbook-cli copy: ничего не записано, получатель остался как был\n";
        return kFailed;
    }
    printCopyReport(report, out, err);
    return kOk;
}

const Command kCopyCommands[] = {
    {"copy", "перенос архива в другую базу, со сверкой", kCopyUsage, runCopy},
};

} // namespace

std::span<const Command> copyCommands() {
    return kCopyCommands;
}

} // namespace orv::gainbook::cli
