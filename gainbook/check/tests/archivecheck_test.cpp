// The whole check on real databases: an archive with one planted fault of each rule, a
// clean station and a station with several faults at once; every finding is expected with
// its key and severity, and nothing else is found.
#include "check/archivecheck.h"
#include "responsetables.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

using namespace orv::gainbook::check;
using orv::odbc::Parameter;
using orv::odbc::Timestamp;
using orv::test::Backend;
using orv::test::TestDatabase;
using Strings = std::vector<std::string>;

namespace {

constexpr double kPi = 3.14159265358979323846;
// One origin zero, one pole at -2*pi rad/s, CONSTANT 1000; for a velocity unit at 1 Hz the
// sensitivity is 1000 / |2*pi*i + 2*pi| = 1000 / (2*pi*sqrt(2)), for displacement
// 1000 / sqrt(2).
const std::string kGoodSac = "ZEROS 1|POLES 1|-6.283185307179586 0|CONSTANT 1000|";
const double kSens = 1000 / (2 * kPi * std::sqrt(2.0));

Timestamp at(int year) {
    return {year, 1, 1, 0, 0, 0};
}

struct Resp {
    std::string net = "KZ", sta, loc = "00", chan = "BHZ";
    Timestamp start = at(2000);
    std::optional<Timestamp> end;
    std::optional<double> sens = kSens;
    std::optional<int> idSens = 1;
    std::optional<double> freq = 1.0;
    std::string sac = kGoodSac, fap;
};

struct Chan {
    std::string sta, chan = "BHZ", loc = "00";
    double sps = 20;
    int group = 1;
    std::optional<double> lat, lon, depth;
    std::string calibFile = "good.pz";
};

class ArchiveCheck : public testing::TestWithParam<Backend> {
protected:
    ArchiveCheck() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        db.createSiteTable();
        db.createSiteChanTable("EDEPTH");
        orv::gainbook::test::createResponseTables(db);
        connection = db.connect();
        std::filesystem::create_directories(dir / "RESPONSE");
        std::ofstream(dir / "RESPONSE" / "good.pz") << "ZEROS 1\n";
    }
    void exec(const std::string& sql, const std::vector<Parameter>& p) {
        orv::odbc::Statement st(*connection);
        ASSERT_TRUE(orv::odbc::isSuccess(st.run(sql, p))) << sql << ": " << st.diagnostic();
    }
    // "?" for a value, "NULL" for none.
    template <typename T> static std::string mark(const std::optional<T>& v) {
        return v ? "?" : "NULL";
    }
    void site(const std::string& sta, std::optional<double> lat = 50,
              std::optional<double> lon = 70, std::optional<Timestamp> on = std::nullopt) {
        std::vector<Parameter> p{Parameter::text(sta)};
        for (const auto& v : {lat, lon})
            if (v)
                p.push_back(Parameter::number(*v));
        if (on)
            p.push_back(Parameter::date(*on));
        exec("INSERT INTO SITE(STA,LAT,LON,ELEV,ONDATE) VALUES(?," + mark(lat) + "," + mark(lon) +
                 ",100," + mark(on) + ")",
             p);
    }
    void chan(const Chan& c) {
        std::vector<Parameter> p{Parameter::text(c.sta),       Parameter::text(c.chan),
                                 Parameter::integer(c.group),  Parameter::number(c.sps),
                                 Parameter::text(c.calibFile), Parameter::text(c.loc)};
        for (const auto& v : {c.lat, c.lon, c.depth})
            if (v)
                p.push_back(Parameter::number(*v));
        exec("INSERT INTO SITECHAN(STA,CHAN,NGROUP,SPS,CALIBFILE,LCODE,LAT,LON,EDEPTH) "
             "VALUES(?,?,?,?,?,?," +
                 mark(c.lat) + "," + mark(c.lon) + "," + mark(c.depth) + ")",
             p);
    }
    void resp(const Resp& r) {
        std::vector<Parameter> p{
            Parameter::text(r.net), Parameter::text(r.loc.empty() ? "??" : r.loc),
            Parameter::text(r.sta), Parameter::text(r.chan), Parameter::date(r.start)};
        if (r.end)
            p.push_back(Parameter::date(*r.end));
        if (r.sens)
            p.push_back(Parameter::number(*r.sens));
        if (r.idSens)
            p.push_back(Parameter::integer(*r.idSens));
        if (r.freq)
            p.push_back(Parameter::number(*r.freq));
        p.push_back(Parameter::longText(r.sac));
        p.push_back(Parameter::longText(r.fap));
        exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,"
             "FREQ,ID_FREQ,SAC,FAP) VALUES(?,?,?,?,?," +
                 mark(r.end) + "," + mark(r.sens) + "," + mark(r.idSens) + "," + mark(r.freq) +
                 ",0,?,?)",
             p);
    }
    // A station with one channel and its response, nothing wrong with them.
    void goodStation(const std::string& sta) {
        site(sta);
        chan({.sta = sta});
        resp({.sta = sta});
    }
    // Every finding as "rule severity NET.STA.LOC.CHA START", sorted.
    Strings check(const Selection& selection = {}) {
        Strings out;
        Counts counts;
        std::string diagnostic;
        const Sink sink = [&](Finding f) {
            out.push_back(
                std::string(f.rule) + (f.severity == Severity::Error ? " error " : " warning ") +
                f.key.network + "." + f.key.station + "." + f.key.location + "." + f.key.channel +
                " " + (f.key.start ? f.key.start->toSqlText().substr(0, 4) : "-"));
        };
        EXPECT_TRUE(
            checkArchive(*connection, selection, dir / "RESPONSE", sink, counts, diagnostic))
            << diagnostic;
        std::sort(out.begin(), out.end());
        return out;
    }

    TestDatabase db;
    std::unique_ptr<orv::odbc::Connection> connection;
    orv::test::TempDir dir;
};

} // namespace

TEST_P(ArchiveCheck, EveryPlantedFaultIsFoundWithItsKeyAndNothingElse) {
    // The clean station: a group of three with two back-to-back intervals each.
    site("CLEAN");
    for (const char* c : {"BHZ", "BHN", "BHE"}) {
        chan({.sta = "CLEAN", .chan = c});
        resp({.sta = "CLEAN", .chan = c, .end = at(2010)});
        resp({.sta = "CLEAN", .chan = c, .start = at(2010)});
    }
    ASSERT_EQ(check(), Strings{});

    goodStation("NETC");
    exec("UPDATE CALIBRATION SET NETWORK='N_' WHERE STA='NETC'", {});
    goodStation("NETL");
    exec("UPDATE CALIBRATION SET NETWORK='KAZ' WHERE STA='NETL'", {});
    goodStation("STACOD");
    site("low");
    chan({.sta = "low"});
    resp({.sta = "low"});
    site("LOCC");
    chan({.sta = "LOCC", .loc = "ABC"});
    resp({.sta = "LOCC", .loc = "ABC"});
    site("CHAC");
    chan({.sta = "CHAC", .chan = "BH"});
    resp({.sta = "CHAC", .chan = "BH"});
    site("EOV");
    chan({.sta = "EOV"});
    resp({.sta = "EOV", .end = at(2005)});
    resp({.sta = "EOV", .start = at(2004)});
    site("EOR");
    chan({.sta = "EOR"});
    resp({.sta = "EOR", .end = at(1999)});
    site("EST", 50, 70, at(2005));
    chan({.sta = "EST"});
    resp({.sta = "EST"});
    site("EGAP");
    chan({.sta = "EGAP"});
    resp({.sta = "EGAP", .end = at(2001)});
    resp({.sta = "EGAP", .start = at(2002)});
    resp({.sta = "NOSIT"});
    site("LATR", 91);
    chan({.sta = "LATR"});
    resp({.sta = "LATR"});
    site("LONR", 50, 181);
    chan({.sta = "LONR"});
    resp({.sta = "LONR"});
    site("NOLAT", std::nullopt);
    chan({.sta = "NOLAT"});
    resp({.sta = "NOLAT"});
    site("DIST");
    chan({.sta = "DIST", .lat = 50.01, .lon = 70});
    resp({.sta = "DIST"});
    site("DEPTH");
    chan({.sta = "DEPTH", .depth = -10});
    resp({.sta = "DEPTH"});
    goodStation("NORSP");
    chan({.sta = "NORSP", .chan = "BHN"});
    site("NOCHN");
    resp({.sta = "NOCHN", .chan = "HHZ"});
    site("RATE0");
    chan({.sta = "RATE0", .sps = 0});
    resp({.sta = "RATE0"});
    site("BAND");
    chan({.sta = "BAND", .sps = 100});
    resp({.sta = "BAND"});
    site("GROUP");
    chan({.sta = "GROUP"});
    chan({.sta = "GROUP", .chan = "BHN", .sps = 40});
    resp({.sta = "GROUP"});
    resp({.sta = "GROUP", .chan = "BHN"});
    goodStation("SENS");
    exec("UPDATE CALIBRATION SET SENS=120 WHERE STA='SENS'", {});
    site("PZN");
    chan({.sta = "PZN"});
    resp({.sta = "PZN", .sac = "ZEROS 1|POLES 1|-6.283185307179586 0|CONSTANT 0|"});
    site("PZU");
    chan({.sta = "PZU"});
    resp({.sta = "PZU", .sac = "ZEROS 1|POLES 1|6.283185307179586 0|CONSTANT 1000|"});
    // FAP tables: SENS 10^9 / (10^18 / 200), the mean amplitude around 1 Hz.
    site("FAPO");
    chan({.sta = "FAPO"});
    resp({.sta = "FAPO", .sens = 2e-7, .sac = "", .fap = "0.5 100 0|2 300 0|1.8 280 0|3 310 0|"});
    site("FAPC");
    chan({.sta = "FAPC"});
    resp({.sta = "FAPC", .sens = 2e-7, .freq = 5, .sac = "", .fap = "0.5 100 0|1 200 0|2 300 0|"});
    site("FAPR");
    chan({.sta = "FAPR"});
    resp({.sta = "FAPR", .sens = 2e-7, .sac = "", .fap = "0.5 100 0|2 300 0|"});
    site("NOTXT");
    chan({.sta = "NOTXT"});
    resp({.sta = "NOTXT", .sac = ""});
    site("NOSNS");
    chan({.sta = "NOSNS"});
    resp({.sta = "NOSNS", .sens = std::nullopt});
    site("NOFRQ");
    chan({.sta = "NOFRQ"});
    resp({.sta = "NOFRQ", .freq = std::nullopt});
    site("UNIT");
    chan({.sta = "UNIT"});
    resp({.sta = "UNIT", .sens = 1000 / std::sqrt(2.0), .idSens = std::nullopt});
    site("FILE");
    chan({.sta = "FILE", .calibFile = "missing.pz"});
    resp({.sta = "FILE"});
    // Several at once: the place, the depth, the rate against the band, SENS and a pole.
    site("MULTI", -95);
    chan({.sta = "MULTI", .sps = 5, .depth = -1});
    resp({.sta = "MULTI", .sens = 50, .sac = "ZEROS 1|POLES 1|6.283185307179586 0|CONSTANT 1000|"});

    const Strings want = {
        "band-rate warning .BAND.00.BHZ -",
        "band-rate warning .MULTI.00.BHZ -",
        "calib-missing error KZ.NOSNS.00.BHZ 2000",
        "calibfile warning .FILE.00.BHZ -",
        "cha-code error .CHAC.00.BH -",
        "cha-code error KZ.CHAC.00.BH -",
        "chan-depth warning .DEPTH.00.BHZ -",
        "chan-depth warning .MULTI.00.BHZ -",
        "chan-distance warning .DIST.00.BHZ -",
        "chan-no-response warning .NORSP.00.BHN -",
        "code-form warning .low.. -",
        "code-form warning KZ.low.00.BHZ -",
        "epoch-gap warning KZ.EGAP.00.BHZ 2002",
        "epoch-order error KZ.EOR.00.BHZ 2000",
        "epoch-overlap error KZ.EOV.00.BHZ 2004",
        "epoch-station error KZ.EST.00.BHZ 2000",
        "fap-cover error KZ.FAPC.00.BHZ 2000",
        "fap-order error KZ.FAPO.00.BHZ 2000",
        "fap-rows error KZ.FAPR.00.BHZ 2000",
        "freq-missing error KZ.NOFRQ.00.BHZ 2000",
        "group-rates warning .GROUP.00.BHN -",
        "lat-range error .LATR.. -",
        "lat-range error .MULTI.. -",
        "loc-code error .LOCC.ABC.BHZ -",
        "loc-code error KZ.LOCC.ABC.BHZ -",
        "lon-range error .LONR.. -",
        "net-code error N_.NETC.00.BHZ -",
        "net-long warning KAZ.NETL.00.BHZ -",
        "not-finite error .NOLAT.. -",
        "pz-normalisation error KZ.PZN.00.BHZ 2000",
        "pz-unstable error KZ.MULTI.00.BHZ 2000",
        "pz-unstable error KZ.PZU.00.BHZ 2000",
        "rate-zero error .RATE0.00.BHZ -",
        "response-no-chan warning KZ.NOCHN.00.HHZ -",
        "response-text error KZ.NOTXT.00.BHZ 2000",
        "sens-text error KZ.MULTI.00.BHZ 2000",
        "sens-text error KZ.SENS.00.BHZ 2000",
        "sta-code error .STACOD.. -",
        "sta-code error KZ.STACOD.00.BHZ -",
        "station-missing error KZ.NOSIT.00.BHZ -",
        "unit-id error KZ.UNIT.00.BHZ 2000",
    };
    const Strings got = check();
    EXPECT_EQ(got, want);
    for (const std::string& f : got)
        EXPECT_TRUE(std::count(want.begin(), want.end(), f)) << "not planted: " << f;
    for (const std::string& f : want)
        EXPECT_TRUE(std::count(got.begin(), got.end(), f)) << "not found: " << f;
    // Every rule is planted once at least.
    for (const RuleInfo& rule : rules())
        EXPECT_TRUE(std::any_of(got.begin(), got.end(), [&](const std::string& f) {
            return f.rfind(std::string(rule.id) + " ", 0) == 0;
        })) << rule.id;

    // A selection: one station, or one network, checks only what is in it.
    Selection one;
    one.stations = {"MULTI"};
    EXPECT_EQ(check(one).size(), 5u);
    Selection net;
    net.networks = {"KAZ"};
    EXPECT_EQ(check(net), Strings{"net-long warning KAZ.NETL.00.BHZ -"});
}

INSTANTIATE_TEST_SUITE_P(Backends, ArchiveCheck, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
