// Making the archive: the tables through Gainbook's schema check, then SITE and SITECHAN
// row by row and CALIBRATION by one INSERT ... SELECT over generated series.
#include "archive.h"

#include "db/responsewriter.h"
#include "db/schema.h"
#include "response/panelload.h"
#include "text/text.h"
#include "ui/scripted.h"

#include <chrono>
#include <ostream>

namespace orv::bench {

using gainbook::PreparedResponse;
using gainbook::ResponseInput;
using odbc::Parameter;
using text::format;
namespace response = gainbook::response;
namespace formats = gainbook::formats;

const char* const kChannelCodes[kKeyChannels] = {"BHE", "BHN", "BHZ", "HHZ", "LHZ"};
const char* const kLocationCodes[kKeyLocations] = {"00", "10", "20", "30", "??"};
const char* const kGroupChannels[7][3] = {
    {"BHZ", "BHN", "BHE"}, {"HHZ", "HHN", "HHE"}, {"LHZ", "LHN", "LHE"}, {"SHZ", "SHN", "SHE"},
    {"EHZ", "EHN", "EHE"}, {"MHZ", "MHN", "MHE"}, {"VHZ", "VHN", "VHE"}};

std::string networkCode(int network) {
    return format("N%02d", network);
}

std::string stationCode(int network, int index) {
    return format("S%04d", network * kStationsPerNetwork + index);
}

std::string calibFileOf(const std::string& station, const std::string& channel) {
    return station + "_" + channel + ".pz";
}

void execOrThrow(odbc::Connection& connection, const std::string& sql,
                 const std::vector<Parameter>& parameters) {
    odbc::Statement st(connection);
    const SQLRETURN rc = parameters.empty() ? st.execDirect(sql) : st.run(sql, parameters);
    if (odbc::isError(rc))
        throw BenchError(sql.substr(0, 120) + ": " + st.diagnostic());
}

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool isPostgres(odbc::Connection& connection) {
    return text::equalsNoCase(connection.dbmsName().value_or(""), "PostgreSQL");
}

// The station table as a station database has it (the editors do not create it).
void createSite(odbc::Connection& connection, bool postgres) {
    const char* real = postgres ? "DOUBLE PRECISION" : "DOUBLE";
    execOrThrow(connection,
                format("CREATE TABLE SITE (STA VARCHAR(8) NOT NULL PRIMARY KEY, COD VARCHAR(6), "
                       "NGROUPS INT, ELEV %s, LAT %s, LON %s, DESCR VARCHAR(50), LDDATE "
                       "TIMESTAMP, NINDEX INT, DEAST %s, DNORTH %s, REFSTA VARCHAR(16), STANAME "
                       "VARCHAR(50), STATYPE VARCHAR(50), UNDERGROUND VARCHAR(250), ONDATE "
                       "TIMESTAMP, OFFDATE TIMESTAMP)",
                       real, real, real, real, real));
}

// Indexes other than the keys, by name (SQLStatistics).
std::vector<std::string> secondaryIndexes(odbc::Connection& connection, const char* table) {
    std::vector<std::string> names;
    odbc::Statement st(connection);
    std::string t = table;
    if (odbc::isError(SQLStatistics(st.handle(), nullptr, 0, nullptr, 0,
                                    reinterpret_cast<SQLCHAR*>(t.data()), SQL_NTS, SQL_INDEX_ALL,
                                    SQL_QUICK)))
        throw BenchError(std::string("SQLStatistics ") + table + ": " + st.diagnostic());
    while (odbc::isSuccess(st.fetch())) {
        const auto nonUnique = st.getInteger(4);
        const auto name = st.getText(6);
        if (nonUnique && *nonUnique == 1 && name && !name->empty()) {
            bool known = false;
            for (const auto& n : names)
                known = known || n == *name;
            if (!known)
                names.push_back(*name);
        }
    }
    return names;
}

void fillSites(odbc::Connection& connection) {
    odbc::Transaction tx(connection);
    odbc::Statement st(connection);
    if (odbc::isError(st.prepare("INSERT INTO SITE (STA,COD,NGROUPS,ELEV,LAT,LON,DESCR,NINDEX,"
                                 "STANAME,ONDATE) VALUES (?,?,?,?,?,?,?,?,?,?)")))
        throw BenchError("SITE: " + st.diagnostic());
    for (int n = 0; n < kNetworks; ++n)
        for (int s = 0; s < kStationsPerNetwork; ++s) {
            const std::string sta = stationCode(n, s);
            const int number = n * kStationsPerNetwork + s + 1;
            st.resetParameters();
            st.bindText(sta);
            st.bindText(networkCode(n));
            st.bindInteger(7);
            st.bindNumber(100.0 + s);
            st.bindNumber(40.0 + n * 0.5 + s * 0.01);
            st.bindNumber(70.0 + n * 0.5 + s * 0.01);
            st.bindText("Станция " + sta);
            st.bindInteger(number);
            st.bindText("Station " + sta);
            st.bindDate({kFirstYear, 1, 1, 0, 0, 0});
            if (odbc::isError(st.execute()))
                throw BenchError("SITE " + sta + ": " + st.diagnostic());
        }
    if (odbc::isError(tx.commit()))
        throw BenchError("SITE: " + tx.diagnostic());
}

void fillSiteChannels(odbc::Connection& connection) {
    odbc::Transaction tx(connection);
    odbc::Statement st(connection);
    if (odbc::isError(st.prepare("INSERT INTO SITECHAN (NINDEX,STA,CHAN,NGROUP,CHANINDEX,SPS,HANG,"
                                 "VANG,DESCR,CALIBFILE,LCODE) VALUES (?,?,?,?,?,?,0,0,?,?,?)")))
        throw BenchError("SITECHAN: " + st.diagnostic());
    int number = 0;
    for (int n = 0; n < kNetworks; ++n)
        for (int s = 0; s < kStationsPerNetwork; ++s) {
            const std::string sta = stationCode(n, s);
            for (int c = 0; c < kSiteChanPerStation; ++c) {
                const int group = c / 3 + 1;
                const std::string chan = kGroupChannels[group - 1][c % 3];
                st.resetParameters();
                st.bindInteger(++number);
                st.bindText(sta);
                st.bindText(chan);
                st.bindInteger(group);
                st.bindInteger(c % 3);
                st.bindNumber(group <= 2 ? 20.0 : 100.0);
                st.bindText("CMG-3T");
                st.bindText(calibFileOf(sta, chan));
                st.bindText(kLocationCodes[group % kKeyLocations]);
                if (odbc::isError(st.execute()))
                    throw BenchError("SITECHAN " + sta + ": " + st.diagnostic());
            }
        }
    if (odbc::isError(tx.commit()))
        throw BenchError("SITECHAN: " + tx.diagnostic());
}

// Every key's 20 intervals, 1990-1991 to 2009-open, in key order. Parameters: SENS, ID_SENS,
// FREQ, ID_FREQ, SAC.
std::string calibrationInsert(bool postgres) {
    const std::string columns = "INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,"
                                "ENDDATE,SENS,ID_SENS,FREQ,ID_FREQ,SAC,LDDATE) ";
    auto values = [](const char* const* codes, int count) {
        std::string v;
        for (int i = 0; i < count; ++i)
            v += std::string(i ? "," : "") + "('" + codes[i] + "')";
        return v;
    };
    const std::string channels = values(kChannelCodes, kKeyChannels);
    const std::string locations = values(kLocationCodes, kKeyLocations);
    if (postgres)
        return columns +
               format("SELECT 'N'||lpad(n::text,2,'0'), l.v, 'S'||lpad((n*%d+s)::text,4,'0'), "
                      "c.v, make_timestamp(%d+i,1,1,0,0,0), CASE WHEN i<%d THEN "
                      "make_timestamp(%d+i,1,1,0,0,0) END, ?, ?, ?, ?, ?, "
                      "TIMESTAMP '2010-01-01 00:00:00' FROM generate_series(0,%d) n CROSS JOIN "
                      "(VALUES %s) l(v) CROSS JOIN generate_series(0,%d) s CROSS JOIN (VALUES %s) "
                      "c(v) CROSS JOIN generate_series(0,%d) i",
                      kStationsPerNetwork, kFirstYear, kIntervals - 1, kFirstYear + 1,
                      kNetworks - 1, locations.c_str(), kStationsPerNetwork - 1, channels.c_str(),
                      kIntervals - 1);
    return columns +
           format("WITH RECURSIVE k(x) AS (SELECT 0 UNION ALL SELECT x+1 FROM k WHERE x<%d), "
                  "l(v) AS (VALUES %s), c(v) AS (VALUES %s) "
                  "SELECT printf('N%%02d',n.x), l.v, printf('S%%04d',n.x*%d+s.x), c.v, "
                  "printf('%%04d-01-01 00:00:00',%d+i.x), CASE WHEN i.x<%d THEN "
                  "printf('%%04d-01-01 00:00:00',%d+i.x) END, ?, ?, ?, ?, ?, "
                  "'2010-01-01 00:00:00' FROM k n CROSS JOIN l CROSS JOIN k s CROSS JOIN c "
                  "CROSS JOIN k i WHERE n.x<%d AND s.x<%d AND i.x<%d",
                  kStationsPerNetwork - 1, locations.c_str(), channels.c_str(), kStationsPerNetwork,
                  kFirstYear, kIntervals - 1, kFirstYear + 1, kNetworks, kStationsPerNetwork,
                  kIntervals);
}

// The row's values as the response editor writes the file loaded into its file panel (a
// velocity response at 1 Hz): SENS from the CALIB the panel computes for the text, so that
// every stored SENS agrees with its text.
PreparedResponse responseAsWritten(const std::string& poleZeroText) {
    response::CalibInputs inputs;
    inputs.freqField = "1.0";
    inputs.calibUnit = "nm/counts*sec";
    inputs.freqUnit = "Hz";
    const response::PanelLoad load = response::loadIntoPanel(
        poleZeroText, "bench.pz", "1990.01.01 00:00:00",
        [] { return std::optional(formats::LoadedFileKind::Sac); }, inputs);
    if (load.status != response::PanelLoadStatus::Loaded ||
        load.calib.status != response::CalibStatus::Set)
        throw BenchError("the pole-zero text gives no CALIB");
    ResponseInput input;
    input.station = "S0000";
    input.channel = "BHZ";
    input.time = "1990.01.01 00:00:00";
    input.calib = load.calib.calib;
    input.freq = inputs.freqField;
    input.sensUnit = inputs.calibUnit;
    input.freqUnit = inputs.freqUnit;
    input.text = load.file.text;
    ui::ScriptedInteraction ui;
    const auto prepared = prepareResponse(input, ui);
    if (!prepared)
        throw BenchError("the writer refuses the pole-zero text");
    return *prepared;
}

// The schema check as a user answering Yes to every question.
void checkSchema(odbc::Connection& connection, std::ostream& log) {
    ui::ScriptedInteraction ui;
    gainbook::Schema schema(connection, ui);
    const auto started = Clock::now();
    if (!schema.check())
        throw BenchError("the schema check failed");
    log << format("  schema check: %.1f s", secondsSince(started));
    for (const auto& m : ui.messages())
        log << "; " << text::replaceAll(m.text, "\r\n", " ");
    log << "\n";
}

} // namespace

void generateArchive(odbc::Connection& connection, const std::string& poleZeroText,
                     std::ostream& log) {
    const bool postgres = isPostgres(connection);
    const auto started = Clock::now();
    createSite(connection, postgres);
    checkSchema(connection, log);
    // The rows go in without the indexes beside the keys; the next schema check makes what
    // is missing, as on the first start of a new version over an old archive.
    for (const char* table : {"CALIBRATION", "SITECHAN"})
        for (const std::string& index : secondaryIndexes(connection, table))
            execOrThrow(connection, "DROP INDEX " + index);
    if (!postgres)
        execOrThrow(connection, "PRAGMA synchronous=OFF");

    auto step = Clock::now();
    fillSites(connection);
    fillSiteChannels(connection);
    log << format("  SITE and SITECHAN: %.1f s\n", secondsSince(step));

    step = Clock::now();
    {
        odbc::Transaction tx(connection);
        const PreparedResponse r = responseAsWritten(poleZeroText);
        execOrThrow(connection, calibrationInsert(postgres),
                    {Parameter::number(r.sens), Parameter::unitId(r.idSens),
                     Parameter::number(r.freq), Parameter::unitId(r.idFreq),
                     Parameter::longText(text::replaceAll(poleZeroText, "\n", "|"))});
        if (odbc::isError(tx.commit()))
            throw BenchError("CALIBRATION: " + tx.diagnostic());
    }
    log << format("  CALIBRATION: %.1f s\n", secondsSince(step));
    if (postgres) {
        // What autovacuum does to a table that has just been loaded.
        step = Clock::now();
        execOrThrow(connection, "VACUUM ANALYZE");
        log << format("  VACUUM ANALYZE: %.1f s\n", secondsSince(step));
    }
    checkSchema(connection, log);
    log << format("  generated in %.1f s\n", secondsSince(started));
}

} // namespace orv::bench
