// gainbook-cli list: the stored responses, a line a record, as the database panel lists them.
#include "cli/command.h"
#include "cli/connection_options.h"
#include "cli/options.h"

#include "db/connection.h"
#include "db/datetext.h"

#include <ostream>
#include <string>
#include <vector>

namespace orv::gainbook::cli {
namespace {

const std::string kListUsage =
    std::string(
        "Использование: gainbook-cli list [--dsn D] [--user U] [--password P] [--yes]\n"
        "\n"
        "Печатает хранимые в CALIBRATION отклики, по строке на запись: сеть, станция, канал,\n"
        "расположение и интервал времени (через табуляцию), как их показывает панель базы.\n"
        "\n") +
    kConnectionHelp;

int runList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const ParsedOptions opts = parseOptions(args, kConnectionOptions);
    if (opts.help) {
        out << kListUsage;
        return kOk;
    }
    if (!opts.error.empty())
        return usageError(err, "list", opts.error);
    if (!opts.positional.empty())
        return usageError(err, "list", "лишний аргумент " + opts.positional[0]);
    ConsoleInteraction ui(err, opts.has("yes"));
    DatabaseConnection connection = connectChecked(opts, ui, "list", err);
    if (!connection)
        return kFailed;
    // The rows are printed as they come, in constant memory.
    streamRows(connection, opts, "list", err);
    odbc::Statement st(*connection);
    if (odbc::isError(st.execDirect("SELECT NETWORK,STA,CHAN,LOCATION,STARTDATE,ENDDATE FROM "
                                    "CALIBRATION ORDER BY NETWORK,STA,CHAN,LOCATION,STARTDATE "
                                    "DESC"))) {
        err << "gainbook-cli list: " << st.diagnostic() << "\n";
        return kFailed;
    }
    SQLRETURN fetched = SQL_NO_DATA;
    while (odbc::isSuccess(fetched = st.fetch())) {
        for (SQLUSMALLINT column = 1; column <= 4; ++column)
            out << readCode(st, column) << '\t';
        const auto start = st.getTimestamp(5).value_or(odbc::Timestamp{0, 0, 0, 0, 0, 0});
        out << intervalText(start, st.getTimestamp(6)) << '\n';
    }
    // The list ends only where the rows end: a failed fetch is a failure.
    if (odbc::isError(fetched)) {
        out.flush();
        err << "gainbook-cli list: " << st.diagnostic() << "\n";
        return kFailed;
    }
    return kOk;
}

} // namespace

Command listCommand() {
    return {"list", "хранимые отклики: ключи и интервалы", kListUsage.c_str(), runList};
}

} // namespace orv::gainbook::cli
