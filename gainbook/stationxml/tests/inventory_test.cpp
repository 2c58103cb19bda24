// The inventory reader on real databases: which stations and channel epochs a selection
// takes, against rows whose right answer is known, and what it reports; the documents it
// gives are checked with FDSN's schema.
#include "damagedsqlite.h"
#include "db/inventoryrows.h"
#include "documentchecks.h"
#include "responsetables.h"
#include "stationxml/inventory.h"
#include "stationxml/xmlwriter.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <tuple>

using orv::odbc::Parameter;
using orv::odbc::Timestamp;
using orv::stationxml::Level;
using orv::stationxml::Problem;
using orv::stationxml::ProblemKind;
using orv::stationxml::Selection;
using orv::test::Backend;
using orv::test::TestDatabase;
using Strings = std::vector<std::string>;

namespace {

const char* kPoleZero = "ZEROS 3|POLES 2|-0.037 0.037|-0.037 -0.037|CONSTANT 6.0e8|";

Timestamp at(int year, int month = 1, int day = 1, int second = 0) {
    return {year, month, day, 0, 0, second};
}

// Stations as "STA start-end", epochs as "NET.STA.LOC.CHA start-end" ("open" for no end).
class Collector : public orv::stationxml::InventoryVisitor {
public:
    void beginNetwork(const orv::stationxml::NetworkInfo& n) override { network_ = n.code; }
    void endNetwork() override {}
    void beginStation(const orv::stationxml::StationInfo& s) override {
        station_ = s.code;
        stations.push_back(s.code + " " + span(s.start, s.end));
    }
    void endStation() override {}
    void channel(const orv::stationxml::ChannelEpoch& c) override {
        epochs.push_back(network_ + "." + station_ + "." + c.location + "." + c.code + " " +
                         span(c.start, c.end));
    }
    static std::string span(const Timestamp& start, const std::optional<Timestamp>& end) {
        return start.toSqlText().substr(0, 10) + "-" +
               (end ? end->toSqlText().substr(0, 10) : std::string("open"));
    }
    Strings stations, epochs;

private:
    std::string network_, station_;
};

// The tables as the editors make them, without rows.
void makeTables(const TestDatabase& db) {
    db.createSiteTable();
    db.createSiteChanTable("EDEPTH");
    orv::gainbook::test::createResponseTables(db);
}

class Inventory : public testing::TestWithParam<Backend> {
protected:
    Inventory() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        makeTables(db);
        connection = db.connect();
    }

    void exec(const std::string& sql, const std::vector<Parameter>& p) {
        orv::odbc::Statement st(*connection);
        ASSERT_TRUE(orv::odbc::isSuccess(st.run(sql, p))) << sql << ": " << st.diagnostic();
    }
    void station(const std::string& sta, std::optional<double> lat, std::optional<double> lon,
                 std::optional<double> elev, std::optional<Timestamp> on,
                 std::optional<Timestamp> off = std::nullopt, const std::string& name = "") {
        auto number = [](std::optional<double> v) {
            return v ? Parameter::number(*v) : Parameter::text({});
        };
        exec(std::string("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME,ONDATE,OFFDATE) VALUES(?,") +
                 (lat ? "?" : "NULL") + "," + (lon ? "?" : "NULL") + "," + (elev ? "?" : "NULL") +
                 ",?," + (on ? "?" : "NULL") + "," + (off ? "?" : "NULL") + ")",
             [&] {
                 std::vector<Parameter> p{Parameter::text(sta)};
                 for (const auto& v : {lat, lon, elev})
                     if (v)
                         p.push_back(number(v));
                 p.push_back(Parameter::text(name.empty() ? sta : name));
                 for (const auto& t : {on, off})
                     if (t)
                         p.push_back(Parameter::date(*t));
                 return p;
             }());
    }
    void response(const std::string& net, const std::string& sta, const std::string& loc,
                  const std::string& chan, Timestamp start, std::optional<Timestamp> end) {
        std::vector<Parameter> p{Parameter::text(net),   Parameter::text(loc),
                                 Parameter::text(sta),   Parameter::text(chan),
                                 Parameter::date(start), Parameter::longText(kPoleZero)};
        if (end)
            p.push_back(Parameter::date(*end));
        exec(std::string("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC,ENDDATE,"
                         "FREQ,ID_FREQ,ID_SENS) VALUES(?,?,?,?,?,?,") +
                 (end ? "?" : "NULL") + ",1,0,1)",
             p);
    }
    // A SITECHAN channel; lcode nullopt for NULL.
    void channel(const std::string& sta, const std::string& chan, std::optional<std::string> lcode,
                 double sps = 20, double depth = 0) {
        std::vector<Parameter> p{Parameter::text(sta), Parameter::text(chan),
                                 Parameter::number(sps), Parameter::number(depth)};
        if (lcode)
            p.push_back(Parameter::text(*lcode));
        exec(std::string(
                 "INSERT INTO SITECHAN(STA,CHAN,NGROUP,SPS,EDEPTH,LCODE) VALUES(?,?,1,?,?,") +
                 (lcode ? "?" : "NULL") + ")",
             p);
    }

    // The reading of the selections at their level; problems told collected. Each is also
    // read as a caller that bounds it to a few stations reads it (the epochs read first,
    // telling the channels' first starts): the same stations, epochs and problems.
    Collector read(const std::vector<Selection>& selections) {
        Collector c;
        problems = readAs(selections, c, false);
        Collector few;
        const std::vector<Problem> fewProblems = readAs(selections, few, true);
        EXPECT_EQ(few.stations, c.stations);
        EXPECT_EQ(few.epochs, c.epochs);
        EXPECT_EQ(rendered(fewProblems), rendered(problems));
        return c;
    }
    Collector read(const Selection& s) { return read(std::vector<Selection>{s}); }

    // The selection's document, checked with FDSN's schema; its text, the same as a caller
    // bounding the reading to a few stations reads it.
    std::string document(const Selection& s) {
        const std::string xml = documentAs(s, false);
        EXPECT_EQ(documentAs(s, true), xml);
        const auto file = dir / "document.xml";
        std::ofstream(file, std::ios::binary) << xml;
        orv::stationxml::test::expectSchemaValid(file);
        return xml;
    }
    std::vector<Problem> readAs(const std::vector<Selection>& selections,
                                orv::stationxml::InventoryVisitor& visitor, bool fewChannels) {
        std::vector<Problem> told;
        orv::stationxml::readInventory(
            *connection, selections, visitor, [&](const Problem& p) { told.push_back(p); },
            optionsOf(fewChannels));
        return told;
    }
    std::string documentAs(const Selection& s, bool fewChannels) {
        std::string xml;
        // One creation time, so that the two readings of a document can be compared whole.
        orv::stationxml::WriterOptions options;
        options.created = at(2026);
        orv::stationxml::StationXmlWriter writer([&](std::string_view chunk) { xml += chunk; },
                                                 options);
        writer.begin();
        orv::stationxml::readInventory(
            *connection, s, writer, [](const Problem&) {}, optionsOf(fewChannels));
        writer.finish();
        return xml;
    }
    static orv::stationxml::ReadOptions optionsOf(bool fewChannels) {
        orv::stationxml::ReadOptions options;
        options.defaultNetwork = "XYN";
        options.fewChannels = fewChannels;
        return options;
    }
    static Strings rendered(const std::vector<Problem>& told) {
        Strings out;
        for (const Problem& p : told)
            out.push_back(render(p, orv::stationxml::Language::English));
        return out;
    }
    bool told(ProblemKind kind, const std::string& key) const {
        return std::any_of(problems.begin(), problems.end(),
                           [&](const Problem& p) { return p.kind == kind && p.key == key; });
    }

    TestDatabase db;
    orv::test::TempDir dir;
    std::unique_ptr<orv::odbc::Connection> connection;
    std::vector<Problem> problems;
};

// ANMO [1999, open): BHZ in three epochs, LHZ ending early, BHN in SITECHAN only; TUC
// [2003, 2008] with one epoch; KIV [1990, 1995] without responses.
class TimeSelection : public Inventory {
protected:
    void SetUp() override {
        Inventory::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        station("ANMO", 34.9, -106.5, 1820, at(1999));
        station("TUC", 32.3, -110.8, 900, at(2003), at(2008));
        station("KIV", 43.9, 42.7, 1210, at(1990), at(1995));
        response("IU", "ANMO", "00", "BHZ", at(2000), at(2005));
        response("IU", "ANMO", "00", "BHZ", at(2005), at(2010));
        response("IU", "ANMO", "00", "BHZ", at(2010), std::nullopt);
        response("IU", "ANMO", "00", "LHZ", at(2000), at(2001));
        response("IU", "TUC", "10", "BHE", at(2003), at(2008));
        for (const char* chan : {"BHZ", "LHZ", "BHN"})
            channel("ANMO", chan, "00");
    }
};

const std::string E1 = "IU.ANMO.00.BHZ 2000-01-01-2005-01-01";
const std::string E2 = "IU.ANMO.00.BHZ 2005-01-01-2010-01-01";
const std::string E3 = "IU.ANMO.00.BHZ 2010-01-01-open";
const std::string N = "IU.ANMO.00.BHN 1999-01-01-open"; // SITECHAN only: the station's dates
const std::string L = "IU.ANMO.00.LHZ 2000-01-01-2001-01-01";
const std::string T = "IU.TUC.10.BHE 2003-01-01-2008-01-01";

struct TimeCase {
    const char* name;
    std::function<void(Selection&)> set;
    Strings expected;
};

} // namespace

// Each time condition on channel epochs, at its edges: an epoch ending exactly at start is
// taken, "before" and "after" are strict, an open epoch never ends before anything, and a
// channel whose stored epochs all lie outside the window is not invented from SITECHAN.
TEST_P(TimeSelection, ChannelEpochsByEachTimeCondition) {
    const std::vector<TimeCase> cases = {
        {"none", [](Selection&) {}, {N, E1, E2, E3, L, T}},
        {"start at an end", [](Selection& s) { s.start = at(2005); }, {N, E1, E2, E3, T}},
        {"start after an end", [](Selection& s) { s.start = at(2005, 1, 1, 1); }, {N, E2, E3, T}},
        {"start 2010", [](Selection& s) { s.start = at(2010); }, {N, E2, E3}},
        {"end at a start", [](Selection& s) { s.end = at(2000); }, {N, E1, L}},
        {"startbefore", [](Selection& s) { s.startBefore = at(2005); }, {N, E1, L, T}},
        {"startafter", [](Selection& s) { s.startAfter = at(2005); }, {E3}},
        {"endbefore", [](Selection& s) { s.endBefore = at(2005); }, {L}},
        {"endafter", [](Selection& s) { s.endAfter = at(2008); }, {N, E2, E3}},
        {"startafter 2100", [](Selection& s) { s.startAfter = at(2100); }, {}},
    };
    for (const TimeCase& c : cases) {
        Selection s;
        s.level = Level::Channel;
        c.set(s);
        Strings expected = c.expected;
        EXPECT_EQ(read(s).epochs, expected) << c.name;
    }
}

// At station level the times apply to the stations' dates (the earlier of ONDATE and the
// first response; OFFDATE), the station without responses included.
TEST_P(TimeSelection, StationsByTheirDates) {
    const std::vector<TimeCase> cases = {
        {"none",
         [](Selection&) {},
         {"ANMO 1999-01-01-open", "TUC 2003-01-01-2008-01-01", "KIV 1990-01-01-1995-01-01"}},
        {"start",
         [](Selection& s) { s.start = at(2000); },
         {"ANMO 1999-01-01-open", "TUC 2003-01-01-2008-01-01"}},
        {"startbefore",
         [](Selection& s) { s.startBefore = at(2003); },
         {"ANMO 1999-01-01-open", "KIV 1990-01-01-1995-01-01"}},
        {"startafter",
         [](Selection& s) { s.startAfter = at(1999); },
         {"TUC 2003-01-01-2008-01-01"}},
        {"endbefore",
         [](Selection& s) { s.endBefore = at(2010); },
         {"TUC 2003-01-01-2008-01-01", "KIV 1990-01-01-1995-01-01"}},
        {"endafter",
         [](Selection& s) { s.endAfter = at(1995); },
         {"ANMO 1999-01-01-open", "TUC 2003-01-01-2008-01-01"}},
        // Exactly at TUC's OFFDATE: it ends neither before nor after then.
        {"endbefore at an OFFDATE",
         [](Selection& s) { s.endBefore = at(2008); },
         {"KIV 1990-01-01-1995-01-01"}},
        {"endafter at an OFFDATE",
         [](Selection& s) { s.endAfter = at(2008); },
         {"ANMO 1999-01-01-open"}},
    };
    for (const TimeCase& c : cases) {
        Selection s;
        s.level = Level::Station;
        c.set(s);
        EXPECT_EQ(read(s).stations, c.expected) << c.name;
    }
    // At channel level a station without responses is taken by its dates too.
    Selection s;
    s.level = Level::Channel;
    s.stations = {"KIV"};
    EXPECT_EQ(read(s).stations, Strings{"KIV 1990-01-01-1995-01-01"});
    s.start = at(2000);
    EXPECT_EQ(read(s).stations, Strings{});
}

// Selections that overlap give each epoch once.
TEST_P(TimeSelection, OverlappingSelectionsGiveEachEpochOnce) {
    Selection byCode, byPattern, byTime;
    byCode.stations = {"ANMO"};
    byCode.channels = {"BHZ"};
    byPattern.stations = {"AN*"};
    byTime.networks = {"IU"};
    byTime.start = at(2006);
    for (Selection* s : {&byCode, &byPattern, &byTime})
        s->level = Level::Response;
    const Collector c = read({byCode, byPattern, byTime});
    EXPECT_EQ(c.epochs, (Strings{N, E1, E2, E3, L, T}));
    EXPECT_EQ(c.stations, (Strings{"ANMO 1999-01-01-open", "TUC 2003-01-01-2008-01-01"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, TimeSelection, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

// CALIBRATION's "??" and "" and SITECHAN's empty, NULL or blank LCODE are one empty
// location: one channel each, exported as locationCode="".
TEST_P(Inventory, TheEmptyLocationIsOneChannelInEveryStoredForm) {
    station("MEEK", -32.6, 117.7, 400, at(2000));
    response("AU", "MEEK", "", "BHZ", at(2000), at(2005));
    response("AU", "MEEK", "??", "BHZ", at(2010), std::nullopt);
    response("AU", "MEEK", "??", "HHZ", at(2011), std::nullopt);
    channel("MEEK", "BHZ", "");
    channel("MEEK", "HHZ", std::nullopt);
    channel("MEEK", "LHZ", "  ");
    const Strings all = {"AU.MEEK..BHZ 2000-01-01-2005-01-01", "AU.MEEK..BHZ 2010-01-01-open",
                         "AU.MEEK..HHZ 2011-01-01-open", "AU.MEEK..LHZ 2000-01-01-open"};
    Selection s;
    s.level = Level::Response;
    EXPECT_EQ(read(s).epochs, all);
    s.locations = {""};
    EXPECT_EQ(read(s).epochs, all);
    s.locations = {"??"}; // two characters of any kind: not the empty location
    EXPECT_EQ(read(s).epochs, Strings{});
    // The window's key, taken literally, with the location as CALIBRATION stores it.
    s.exactCodes = true;
    s.networks = {"AU"};
    s.stations = {"MEEK"};
    s.channels = {"BHZ"};
    EXPECT_EQ(read(s).epochs, Strings(all.begin(), all.begin() + 2));

    s = Selection{};
    s.stations = {"MEEK"};
    const std::string xml = document(s);
    EXPECT_EQ(xml.find("locationCode=\"??\""), std::string::npos) << xml;
    EXPECT_EQ(xml.find("locationCode=\"  \""), std::string::npos) << xml;
    EXPECT_NE(
        xml.find("<Channel code=\"BHZ\" locationCode=\"\" startDate=\"2010-01-01T00:00:00Z\""),
        std::string::npos)
        << xml;
}

// '?' is one character, in the statements and in the reader's own comparison; the box of
// coordinates compares each limit with its own coordinate.
TEST_P(Inventory, CodePatternsAndTheBoxOfCoordinates) {
    for (const char* sta : {"ANMO", "ANXXO", "ANO"}) {
        station(sta, 34.9, -106.5, 1820, at(2000));
        response("IU", sta, "01", "BHZ", at(2000), std::nullopt);
    }
    // SITECHAN locations are compared by the reader alone.
    channel("ANMO", "LHZ", "02");
    channel("ANMO", "LHZ", "0AB");
    orv::gainbook::CalibrationFilter filter;
    filter.clauses.push_back({});
    filter.clauses[0].stations = {"AN?O"};
    orv::gainbook::CalibrationCursor cursor(*connection, filter,
                                            orv::gainbook::CalibrationColumns::Epochs);
    orv::gainbook::CalibrationRow row;
    Strings read;
    while (cursor.next(row))
        read.push_back(row.station);
    EXPECT_TRUE(cursor.ok()) << cursor.diagnostic();
    EXPECT_EQ(read, Strings{"ANMO"});
    Selection s;
    s.level = Level::Channel;
    s.stations = {"AN?O"};
    s.locations = {"0?"};
    EXPECT_EQ(this->read(s).epochs,
              (Strings{"IU.ANMO.01.BHZ 2000-01-01-open", "IU.ANMO.02.LHZ 2000-01-01-open"}));

    station("BOXA", 10, 50, 0, at(2000));
    station("BOXB", 50, 10, 0, at(2000));
    const std::vector<std::pair<std::function<void(Selection&)>, std::string>> boxes = {
        {[](Selection& b) { b.minLatitude = 40; }, "BOXB"},
        {[](Selection& b) { b.maxLatitude = 20; }, "BOXA"},
        {[](Selection& b) { b.minLongitude = 40; }, "BOXA"},
        {[](Selection& b) { b.maxLongitude = 20; }, "BOXB"},
    };
    for (const auto& [set, expected] : boxes) {
        Selection b;
        b.level = Level::Station;
        b.stations = {"BOX*"};
        set(b);
        EXPECT_EQ(this->read(b).stations, Strings{expected + " 2000-01-01-open"}) << expected;
    }
}

// What XML 1.0 cannot carry is replaced and said; what is not a finite number, or missing
// where the schema needs it, leaves out its element or its station, named.
TEST_P(Inventory, ControlCharactersAndNumbersThatAreNotFinite) {
    station("CTRL", 10, 10, std::nullopt, at(2000), std::nullopt, "Bell\aEsc\x1b");
    exec("UPDATE SITE SET DESCR=? WHERE STA='CTRL'", {Parameter::text("x\x01y")});
    response("XX", "CTRL", "00", "BHZ", at(2000), std::nullopt);
    station("NOLAT", std::nullopt, 10, 0, at(2000));
    response("XX", "NOLAT", "00", "BHZ", at(2000), std::nullopt);
    const bool infinities = GetParam() != Backend::MariaDB; // MariaDB holds no infinity
    if (infinities) {
        channel("CTRL", "BHZ", "00", INFINITY);
        station("HIGH", 10, 10, INFINITY, at(2000));
        response("XX", "HIGH", "00", "BHZ", at(2000), std::nullopt);
        station("DEEP", 10, 10, 0, at(2000));
        response("XX", "DEEP", "00", "BHZ", at(2000), std::nullopt);
        channel("DEEP", "BHZ", "00", 20, -INFINITY);
    }
    Selection s;
    s.networks = {"XX"};
    const Collector c = read(s);
    EXPECT_EQ(c.stations, Strings{"CTRL 2000-01-01-open"});
    EXPECT_TRUE(told(ProblemKind::TextReplaced, "CTRL")) << problems.size();
    EXPECT_TRUE(told(ProblemKind::ElevationMissing, "CTRL"));
    EXPECT_TRUE(told(ProblemKind::StationValueMissing, "NOLAT"));
    if (infinities) {
        EXPECT_TRUE(told(ProblemKind::SampleRateLeftOut, "XX.CTRL.00.BHZ"));
        EXPECT_TRUE(told(ProblemKind::StationValueRefused, "HIGH"));
        EXPECT_TRUE(told(ProblemKind::ChannelValueRefused, "DEEP"));
    }
    const std::string xml = document(s);
    EXPECT_NE(xml.find("<Name>Bell\xEF\xBF\xBD"
                       "Esc\xEF\xBF\xBD</Name>"),
              std::string::npos)
        << xml;
    EXPECT_EQ(xml.find("SampleRate"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<Elevation>0</Elevation>"), std::string::npos) << xml;
}

// Stored epochs of one channel that overlap are exported as stored, each overlap said with
// the channel and both intervals.
TEST_P(Inventory, OverlappingStoredEpochsAreExportedAndSaid) {
    station("OVL", 10, 10, 0, at(2000));
    response("XX", "OVL", "00", "BHZ", at(2000), std::nullopt);
    response("XX", "OVL", "00", "BHZ", at(2005), at(2006));
    response("XX", "OVL", "00", "BHZ", at(2007), at(2008));
    response("XX", "OVL", "00", "BHN", at(2000), at(2005));
    response("XX", "OVL", "00", "BHN", at(2005), std::nullopt);
    Selection s;
    EXPECT_EQ(read(s).epochs.size(), 5u);
    ASSERT_EQ(problems.size(), 2u);
    for (const Problem& p : problems) {
        EXPECT_EQ(p.kind, ProblemKind::EpochsOverlap);
        EXPECT_EQ(p.key, "XX.OVL.00.BHZ");
    }
    EXPECT_EQ(problems[0].values,
              (Strings{"2000-01-01 00:00:00", "", "2005-01-01 00:00:00", "2006-01-01 00:00:00"}));
    EXPECT_EQ(problems[1].values[2], "2007-01-01 00:00:00");
    EXPECT_EQ(render(problems[0], orv::stationxml::Language::English),
              "XX.OVL.00.BHZ: interval 2000-01-01 00:00:00 - open overlaps interval 2005-01-01 "
              "00:00:00 - 2006-01-01 00:00:00; both exported as stored");
}

// A response's normalization frequency is in the unit its ID_FREQ row names (trimmed); Hz
// where ID_FREQ has no row of its code (SQLite keeps no foreign key).
TEST_P(Inventory, TheFrequencyUnitIsTheOneItsIdFreqRowNames) {
    station("FRQ", 10, 10, 0, at(2000));
    exec("INSERT INTO ID_FREQ(ID_FREQ,FREQ_UNITS) VALUES(7,' rad/sec ')", {});
    const bool keysKept = GetParam() != Backend::SQLite;
    // channel, the stored frequency, its unit's code; the frequency in Hz
    const std::vector<std::tuple<const char*, double, int, double>> rows{
        {"BHE", 2 * M_PI, 1, 1},
        {"BHN", 4 * M_PI, 7, 2},
        {"BHZ", 3, keysKept ? 0 : 9, 3},
        {"HHZ", 5, 0, 5}};
    for (const auto& [chan, freq, unit, hz] : rows)
        exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC,FREQ,ID_FREQ,"
             "ID_SENS) VALUES('XX','00','FRQ',?,?,?,?,?,1)",
             {Parameter::text(chan), Parameter::date(at(2000)), Parameter::longText(kPoleZero),
              Parameter::number(freq), Parameter::number(unit)});
    Selection s;
    s.level = Level::Response;
    s.stations = {"FRQ"};
    const std::string xml = document(s);
    std::vector<double> hz;
    const std::string tag = "<NormalizationFrequency>";
    for (std::size_t at = xml.find(tag); at != std::string::npos; at = xml.find(tag, at + 1))
        hz.push_back(std::stod(xml.substr(at + tag.size())));
    ASSERT_EQ(hz.size(), rows.size()) << xml;
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_NEAR(hz[i], std::get<3>(rows[i]), 1e-12) << std::get<0>(rows[i]);
}

// A fetch that fails part way (a damaged table) fails the reading, naming the table,
// instead of ending it short.
TEST(InventoryOnADamagedDatabase, AFailedFetchFailsTheReading) {
    // ID_FREQ is read only by the code of each epoch's unit, within CALIBRATION's
    // statement.
    for (const std::string table : {"SITE", "SITECHAN", "CALIBRATION"}) {
        TestDatabase db(Backend::SQLite);
        makeTables(db);
        db.exec("WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 2000) "
                "INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME) SELECT printf('S%04d',I),1,1,1,"
                "printf('%0040d',I) FROM N");
        db.exec("WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 3000) "
                "INSERT INTO SITECHAN(STA,CHAN,NGROUP,SPS,LCODE,DESCR) SELECT printf('S%04d',I),"
                "'BHZ',1,20,'00',printf('%0060d',I) FROM N");
        if (table == "CALIBRATION")
            orv::test::damageResponses(db);
        else
            orv::test::damageTable(db, table);
        // Rows fetched one by one, as the export's streaming connection reads them, so that
        // the damage shows at a fetch after the first rows.
        orv::odbc::Connection connection;
        ASSERT_FALSE(
            orv::odbc::isError(connection.driverConnect(db.connectString() + "StepAPI=1;")));
        Collector none;
        try {
            orv::stationxml::readInventory(connection, Selection{}, none, [](const Problem&) {});
            ADD_FAILURE() << table << " was read as if whole";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(table + ": ", 0), 0u) << e.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, Inventory, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

namespace {

// SITECHAN channels without responses, named alone: S0000 (SITE from 2001) with 00.BHE
// stored under N00 from 2000 and 00.EHE in SITECHAN only; TWO (SITE from 2005) with BHZ
// under N1 from 2003 and HHZ under N2 from 2002, 00.EHZ in SITECHAN only; ORPH [1990, 1995]
// without responses, 00.EHE in SITECHAN; AAA with 00.BHE under N00 only.
class ChannelsWithoutResponses : public Inventory {
protected:
    void SetUp() override {
        Inventory::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        station("AAA", 10, 10, 0, at(2000));
        response("N00", "AAA", "00", "BHE", at(2000), std::nullopt);
        channel("AAA", "BHE", "00");
        station("S0000", 20, 20, 0, at(2001));
        response("N00", "S0000", "00", "BHE", at(2000), std::nullopt);
        channel("S0000", "BHE", "00");
        channel("S0000", "EHE", "00");
        station("TWO", 30, 30, 0, at(2005));
        response("N1", "TWO", "00", "BHZ", at(2003), std::nullopt);
        response("N2", "TWO", "00", "HHZ", at(2002), at(2009));
        channel("TWO", "EHZ", "00");
        station("ORPH", 40, 40, 0, at(1990), at(1995));
        channel("ORPH", "EHE", "00");
    }
    static Selection select(Level level, Strings nets, Strings stas, Strings locs, Strings chas) {
        Selection s;
        s.level = level;
        s.networks = std::move(nets);
        s.stations = std::move(stas);
        s.locations = std::move(locs);
        s.channels = std::move(chas);
        return s;
    }
};

// Each over its station's dates under that network: the earlier of ONDATE and the first
// response there.
const std::string kEhe = "N00.S0000.00.EHE 2000-01-01-open";
const std::string kBhe = "N00.S0000.00.BHE 2000-01-01-open";
const std::string kTwo1 = "N1.TWO.00.EHZ 2003-01-01-open";
const std::string kTwo2 = "N2.TWO.00.EHZ 2002-01-01-open";
const std::string kOrph = "XYN.ORPH.00.EHE 1990-01-01-1995-01-01";

} // namespace

// The channel named alone is listed as it is with the others of its station, at channel
// and response level; at station level its station.
TEST_P(ChannelsWithoutResponses, AChannelOnlyInSitechanIsSelectedAlone) {
    for (const Level level : {Level::Channel, Level::Response}) {
        const Selection s = select(level, {"N00"}, {"S0000"}, {"00"}, {"EHE"});
        EXPECT_EQ(read(s).epochs, Strings{kEhe}) << int(level);
        EXPECT_EQ(read(select(level, {"N00"}, {"S0000"}, {"00"}, {"EHE", "BHE"})).epochs,
                  (Strings{kBhe, kEhe}));
        EXPECT_EQ(read(select(level, {}, {"S0000"}, {}, {})).epochs, (Strings{kBhe, kEhe}));
    }
    const Collector station = read(select(Level::Station, {"N00"}, {"S0000"}, {"00"}, {"EHE"}));
    EXPECT_EQ(station.stations, Strings{"S0000 2000-01-01-open"});
    EXPECT_EQ(station.epochs, Strings{});
    // By location alone too.
    EXPECT_EQ(read(select(Level::Channel, {}, {"S0000"}, {"00"}, {})).epochs,
              (Strings{kBhe, kEhe}));

    const std::string xml = document(select(Level::Response, {"N00"}, {"S0000"}, {}, {"EHE"}));
    EXPECT_NE(xml.find("<Network code=\"N00\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<Channel code=\"EHE\" locationCode=\"00\" "
                       "startDate=\"2000-01-01T00:00:00Z\""),
              std::string::npos)
        << xml;
}

// Wildcards and networks: a station under each network its stored rows carry, one without
// responses under the default network, in the order the whole archive has them.
TEST_P(ChannelsWithoutResponses, WildcardsAndNetworks) {
    const Collector all = read(select(Level::Channel, {}, {}, {}, {"EH?"}));
    EXPECT_EQ(all.epochs, (Strings{kEhe, kTwo1, kTwo2, kOrph}));
    EXPECT_EQ(all.stations, (Strings{"S0000 2000-01-01-open", "TWO 2003-01-01-open",
                                     "TWO 2002-01-01-open", "ORPH 1990-01-01-1995-01-01"}));
    EXPECT_EQ(read(select(Level::Channel, {}, {"*"}, {"0?"}, {"E*"})).epochs,
              (Strings{kEhe, kTwo1, kTwo2, kOrph}));
    EXPECT_EQ(read(select(Level::Station, {}, {}, {}, {"EH?"})).stations, all.stations);
    EXPECT_EQ(read(select(Level::Channel, {"N1"}, {}, {}, {"EHZ"})).epochs, Strings{kTwo1});
    EXPECT_EQ(read(select(Level::Channel, {"N00"}, {}, {}, {"EHE"})).epochs, Strings{kEhe});
    // The same with more codes than the statements carry: the reader compares them itself.
    Strings many{"TWO"};
    for (std::size_t i = 0; i < orv::gainbook::kMaxFilterParameters; ++i)
        many.push_back("X" + std::to_string(i));
    EXPECT_EQ(read(select(Level::Channel, {"N1"}, many, {}, {"EHZ"})).epochs, Strings{kTwo1});
    EXPECT_EQ(read(select(Level::Channel, {"XYN"}, {}, {}, {"EHE"})).epochs, Strings{kOrph});
    EXPECT_EQ(read(select(Level::Station, {"XYN"}, {}, {}, {"EHE"})).stations,
              Strings{"ORPH 1990-01-01-1995-01-01"});
    // Two selections: their union, each epoch once.
    EXPECT_EQ(read({select(Level::Channel, {}, {"S0000"}, {}, {"EHE"}),
                    select(Level::Channel, {}, {"TWO"}, {}, {"EHZ"}),
                    select(Level::Channel, {}, {"S0000"}, {}, {"E*"})})
                  .epochs,
              (Strings{kEhe, kTwo1, kTwo2}));
    // A channel no station has: nothing, not the station without responses by its dates.
    for (const Level level : {Level::Station, Level::Channel}) {
        const Collector none = read(select(level, {}, {}, {}, {"LHZ"}));
        EXPECT_EQ(none.stations, Strings{}) << int(level);
    }
    // The stored channels as before: the whole archive, and BH? alone.
    EXPECT_EQ(
        read(select(Level::Channel, {}, {}, {}, {})).epochs,
        (Strings{"N00.AAA.00.BHE 2000-01-01-open", kBhe, kEhe, "N1.TWO.00.BHZ 2003-01-01-open",
                 kTwo1, kTwo2, "N2.TWO.00.HHZ 2002-01-01-2009-01-01", kOrph}));
    const Collector stored = read(select(Level::Channel, {}, {}, {}, {"BH?"}));
    EXPECT_EQ(stored.epochs,
              (Strings{"N00.AAA.00.BHE 2000-01-01-open", kBhe, "N1.TWO.00.BHZ 2003-01-01-open"}));
    EXPECT_EQ(stored.stations,
              (Strings{"AAA 2000-01-01-open", "S0000 2000-01-01-open", "TWO 2003-01-01-open"}));
    // A stored channel and one without responses: each station in its place.
    EXPECT_EQ(read(select(Level::Channel, {}, {}, {}, {"EHE", "BHZ"})).epochs,
              (Strings{kEhe, "N1.TWO.00.BHZ 2003-01-01-open", kOrph}));
}

// A SITECHAN channel with responses under another network of its station is no channel
// without responses under this one, whichever networks the selection names.
TEST_P(ChannelsWithoutResponses, AChannelStoredUnderAnotherNetworkIsNotInventedHere) {
    channel("TWO", "BHZ", "00");
    const Strings n2 = {kTwo2, "N2.TWO.00.HHZ 2002-01-01-2009-01-01"};
    const Strings all = read(select(Level::Channel, {}, {"TWO"}, {}, {})).epochs;
    EXPECT_EQ(all, (Strings{"N1.TWO.00.BHZ 2003-01-01-open", kTwo1, kTwo2,
                            "N2.TWO.00.HHZ 2002-01-01-2009-01-01"}));
    EXPECT_EQ(read(select(Level::Channel, {"N2"}, {"TWO"}, {}, {})).epochs, n2);
    EXPECT_EQ(read(select(Level::Channel, {"N2"}, {"TWO"}, {}, {"BHZ"})).epochs, Strings{});
    EXPECT_EQ(read(select(Level::Channel, {"N2"}, {"TWO"}, {}, {"?HZ"})).epochs, n2);
    EXPECT_EQ(read(select(Level::Channel, {"N?"}, {"TWO"}, {}, {"BHZ"})).epochs,
              Strings{"N1.TWO.00.BHZ 2003-01-01-open"});
    // At station level alike: a selection of BHZ does not take the station under N2, where
    // another selection brings it in but does not take it by its dates.
    Selection hhz = select(Level::Station, {"N2"}, {"TWO"}, {}, {"HHZ"});
    hhz.endBefore = at(2000);
    for (const Level level : {Level::Station, Level::Channel}) {
        hhz.level = level;
        EXPECT_EQ(read({select(level, {"N2"}, {"TWO"}, {}, {"BHZ"}), hhz}).stations, Strings{})
            << int(level);
    }
}

// The times apply to the station's dates under each network, which the channel spans.
TEST_P(ChannelsWithoutResponses, TimesApplyToTheStationsDates) {
    Selection s = select(Level::Channel, {}, {}, {}, {"EH?"});
    s.start = at(2010);
    EXPECT_EQ(read(s).epochs, (Strings{kEhe, kTwo1, kTwo2}));
    s.start.reset();
    s.startBefore = at(2003); // strictly: TWO under N1 opens then
    EXPECT_EQ(read(s).epochs, (Strings{kEhe, kTwo2, kOrph}));
    s.level = Level::Station;
    EXPECT_EQ(read(s).stations, (Strings{"S0000 2000-01-01-open", "TWO 2002-01-01-open",
                                         "ORPH 1990-01-01-1995-01-01"}));
    s.startBefore.reset();
    s.endBefore = at(2010);
    EXPECT_EQ(read(s).stations, Strings{"ORPH 1990-01-01-1995-01-01"});
    s.endBefore.reset();
    s.level = Level::Channel;
    s.end = at(1999);
    EXPECT_EQ(read(s).epochs, Strings{kOrph});
}

INSTANTIATE_TEST_SUITE_P(Backends, ChannelsWithoutResponses,
                         testing::ValuesIn(orv::test::allBackends()), orv::test::backendParamName);
