// The rules on plain rows, against values worked out by hand: the sensitivity of a
// one-pole text, distances of a known arc, the SEED band table, interval sequences.
#include "check/rules.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

using namespace orv::gainbook;
using namespace orv::gainbook::check;
using orv::odbc::Timestamp;
using Strings = std::vector<std::string>;

namespace {

constexpr double kPi = 3.14159265358979323846;

// One zero at the origin, one pole at -2*pi rad/s, CONSTANT 1000. For a velocity unit the
// origin zero is dropped: at 1 Hz |1 / (2*pi*i + 2*pi)| * 1000 = 1000 / (2*pi*sqrt(2)).
const char* kOnePole = "ZEROS 1\r\nPOLES 1\r\n-6.283185307179586 0\r\nCONSTANT 1000\r\n";
const double kVelocitySens = 1000 / (2 * kPi * std::sqrt(2.0));
// For displacement the zero stays: |2*pi*i| / |2*pi*i + 2*pi| * 1000 = 1000 / sqrt(2).
const double kDisplacementSens = 1000 / std::sqrt(2.0);

Units defaultUnits() {
    Units u;
    u.sens = {{0, "counts/m"}, {1, "counts*sec/m"}, {2, "counts*sec**2/m"}};
    u.freq = {{0, "Hz"}, {1, "rad/sec"}};
    return u;
}

CalibrationRow response(double sens, long long sensUnit = 1, double freq = 1,
                        long long freqUnit = 0) {
    CalibrationRow r;
    r.network = "KZ";
    r.station = "AAA";
    r.location = "00";
    r.channel = "BHZ";
    r.start = {2000, 1, 1, 0, 0, 0};
    r.sens = sens;
    r.sensUnit = sensUnit;
    r.freq = freq;
    r.freqUnit = freqUnit;
    r.sac = kOnePole;
    return r;
}

// The rule ids a check gives, in order.
struct Collect {
    Strings ids;
    std::vector<Finding> findings;
    Sink sink() {
        return [this](Finding f) {
            ids.emplace_back(f.rule);
            findings.push_back(std::move(f));
        };
    }
};

Strings responseRules(const CalibrationRow& row) {
    Collect c;
    checkResponse(row, defaultUnits(), c.sink());
    return c.ids;
}

} // namespace

// The stored SENS against the text's own sensitivity at FREQ, worked out by hand above:
// within 1 % it passes, beyond it is an error; the unit chooses the zeros, and an angular
// FREQ is the same frequency.
TEST(CheckRules, SensAgreesWithTheHandEvaluationOfTheText) {
    EXPECT_EQ(responseRules(response(kVelocitySens)), Strings{});
    EXPECT_EQ(responseRules(response(kVelocitySens * 1.009)), Strings{});
    EXPECT_EQ(responseRules(response(-kVelocitySens)), Strings{}); // the polarity is kept
    EXPECT_EQ(responseRules(response(kVelocitySens * 1.011)), Strings{"sens-text"});
    EXPECT_EQ(responseRules(response(kVelocitySens * 0.98)), Strings{"sens-text"});
    EXPECT_EQ(responseRules(response(kDisplacementSens, 0)), Strings{});
    EXPECT_EQ(responseRules(response(kVelocitySens, 0)), Strings{"sens-text"});
    EXPECT_EQ(responseRules(response(kVelocitySens, 1, 2 * kPi, 1)), Strings{});

    // A FAP table: the amplitude at 1.5 Hz is the mean of the rows around it, 250, and
    // SENS is 10^9 over CALIB = 10^18 / 250.
    CalibrationRow fap = response(2.5e-7, 1, 1.5);
    fap.sac.clear();
    fap.fap = "0.5 100 0\r\n1 200 0\r\n2 300 0\r\n";
    EXPECT_EQ(responseRules(fap), Strings{});
    fap.sens = 2.6e-7;
    EXPECT_EQ(responseRules(fap), Strings{"sens-text"});
}

// What else the response checks see in a text and its columns.
TEST(CheckRules, ResponseFaults) {
    CalibrationRow r = response(kVelocitySens);
    r.sac = "ZEROS 1\r\nPOLES 1\r\n6.283185307179586 0\r\nCONSTANT 1000\r\n";
    EXPECT_EQ(responseRules(r), Strings{"pz-unstable"});
    r.sac = "ZEROS 1\r\nPOLES 1\r\n-6.283185307179586 0\r\nCONSTANT 0\r\n";
    EXPECT_EQ(responseRules(r), Strings{"pz-normalisation"});
    // FREQ on a zero: no amplitude there.
    r.sac = "ZEROS 2\r\n0 6.283185307179586\r\nPOLES 1\r\n-1 0\r\nCONSTANT 1\r\n";
    EXPECT_EQ(responseRules(r), Strings{"pz-normalisation"});
    r.sac = "not a response";
    EXPECT_EQ(responseRules(r), Strings{"response-text"});
    r.sac.clear();
    EXPECT_EQ(responseRules(r), Strings{"response-text"});

    r = response(2e-7);
    r.sac.clear();
    r.fap = "0.5 100 0\r\n2 300 0\r\n";
    EXPECT_EQ(responseRules(r), Strings{"fap-rows"});
    r.fap = "0.5 100 0\r\n2 300 0\r\n1.8 280 0\r\n3 310 0\r\n";
    EXPECT_EQ(responseRules(r), Strings{"fap-order"});
    r.fap = "0.5 100 0\r\n1 200 0\r\n2 300 0\r\n";
    r.freq = 5;
    EXPECT_EQ(responseRules(r), Strings{"fap-cover"});

    r = response(kDisplacementSens);
    r.sensUnit.reset();
    r.freqUnit = 7;
    EXPECT_EQ(responseRules(r), (Strings{"unit-id", "unit-id"}));
    r = response(0);
    EXPECT_EQ(responseRules(r), Strings{"calib-missing"});
    r = response(kVelocitySens);
    r.freq.reset();
    EXPECT_EQ(responseRules(r), Strings{"freq-missing"});
}

// The rows of a key share their text: each row is still judged at its own FREQ and units,
// with its own key, whether the text was evaluated for it or for the row before.
TEST(CheckRules, RowsSharingATextAreEachJudgedAtTheirOwnFreqAndUnits) {
    const Units units = defaultUnits();
    Collect c;
    const Sink sink = c.sink();
    KeyCheck key(units, sink);
    const auto add = [&](CalibrationRow r, int year) {
        r.start = {year, 1, 1, 0, 0, 0};
        if (year == 2000)
            key.begin(r, nullptr, true);
        key.add(r);
    };
    CalibrationRow r = response(kVelocitySens);
    add(r, 2000);
    add(r, 2001);
    add(response(kDisplacementSens, 0), 2002); // another unit: right for displacement
    add(response(kDisplacementSens), 2003);    // the same SENS for velocity: wrong
    // At 2*pi rad/s the frequency is 1 Hz: the same sensitivity.
    add(response(kVelocitySens, 1, 2 * kPi, 1), 2004);
    add(response(kVelocitySens, 1, 2), 2005); // at 2 Hz: another
    r.sac = "ZEROS 1\r\nPOLES 1\r\n6.283185307179586 0\r\nCONSTANT 1000\r\n";
    add(r, 2006);
    add(r, 2007);
    r.sac.clear();
    r.fap = "0.5 100 0\r\n1 200 0\r\n2 300 0\r\n";
    r.sens = 200 / 1e9; // 10^9 over CALIB, which is 10^18 over the amplitude at 1 Hz
    add(r, 2008);
    r.freq = 5;
    add(r, 2009);
    // Every row open and without a station: only the responses' findings matter here.
    Strings found;
    for (const Finding& f : c.findings)
        if (f.rule != "station-missing" && f.rule != "epoch-overlap")
            found.push_back(std::string(f.rule) + " " + std::to_string(f.key.start->year));
    EXPECT_EQ(found, (Strings{"sens-text 2003", "sens-text 2005", "pz-unstable 2006",
                              "pz-unstable 2007", "fap-cover 2009"}));
}

// Codes: the field's character sets and lengths, upper-cased and trimmed first; the stored
// form is a finding of its own.
TEST(CheckRules, CodesOfAKey) {
    const auto keyRules = [](std::string net, std::string sta, std::string loc, std::string cha) {
        CalibrationRow row = response(kVelocitySens);
        row.network = net;
        row.station = sta;
        row.location = loc;
        row.channel = cha;
        SiteRow site;
        Units units = defaultUnits();
        Collect c;
        const Sink sink = c.sink();
        KeyCheck key(units, sink);
        key.begin(row, &site, true);
        return c.ids;
    };
    EXPECT_EQ(keyRules("IU", "ANMO", "00", "BHZ"), Strings{});
    EXPECT_EQ(keyRules("IU", "ANMO", "", "BHZ"), Strings{});
    EXPECT_EQ(keyRules("IU", "ANMO", "--", "BHZ"), Strings{});
    EXPECT_EQ(keyRules("KAZ", "ANMO", "00", "BHZ"), Strings{"net-long"});
    EXPECT_EQ(keyRules("N_", "ANMO", "00", "BHZ"), Strings{"net-code"});
    EXPECT_EQ(keyRules("ABCDEFGHI", "ANMO", "00", "BHZ"), Strings{"net-code"});
    EXPECT_EQ(keyRules("iu", "ANMO", "00", "BHZ"), Strings{"code-form"});
    EXPECT_EQ(keyRules("IU", "ANMOXX", "00", "BHZ"), Strings{"sta-code"});
    EXPECT_EQ(keyRules("IU", "AN MO", "00", "BHZ"), Strings{"sta-code"});
    EXPECT_EQ(keyRules("IU", "ANMO ", "00", "BHZ"), Strings{"code-form"});
    EXPECT_EQ(keyRules("IU", "ANMO", "000", "BHZ"), Strings{"loc-code"});
    EXPECT_EQ(keyRules("IU", "ANMO", "0.", "BHZ"), Strings{"loc-code"});
    EXPECT_EQ(keyRules("IU", "ANMO", "00", "BH"), Strings{"cha-code"});
    EXPECT_EQ(keyRules("IU", "ANMO", "00", "bhz"), Strings{"code-form"});
}

// One key's intervals in start order: touching intervals are a history, a hole is a gap, a
// start before the latest end an overlap, two open ones an overlap; each is named at the
// later interval's start. The station's dates bound them.
TEST(CheckRules, IntervalsOfAKey) {
    const auto at = [](int year) { return Timestamp{year, 1, 1, 0, 0, 0}; };
    SiteRow site;
    site.on = at(2000);
    Units units = defaultUnits();
    Collect c;
    const Sink sink = c.sink();
    KeyCheck key(units, sink);
    const auto add = [&](int from, std::optional<int> to) {
        CalibrationRow r = response(kVelocitySens);
        r.start = at(from);
        if (to)
            r.end = at(*to);
        if (from == 1999 || from == 2000)
            key.begin(r, &site, true);
        key.add(r);
    };
    add(2000, 2001);
    add(2001, 2002);
    add(2003, 2006);
    add(2004, 2005);
    add(2005, 2007); // after the latest end 2006: still an overlap
    add(2008, std::nullopt);
    add(2009, std::nullopt);
    add(2010, 2011);
    ASSERT_EQ(c.ids, (Strings{"epoch-gap", "epoch-overlap", "epoch-overlap", "epoch-gap",
                              "epoch-overlap", "epoch-overlap"}));
    const std::vector<int> years = {2003, 2004, 2005, 2008, 2009, 2010};
    for (std::size_t i = 0; i < years.size(); ++i)
        EXPECT_EQ(c.findings[i].key.start, at(years[i])) << i;

    c.ids.clear();
    site.off = at(2004);
    add(1999, 2001);         // before ONDATE
    add(2003, std::nullopt); // open after OFFDATE
    EXPECT_EQ(c.ids, (Strings{"epoch-station", "epoch-gap", "epoch-station"}));
    c.ids.clear();
    site = {};
    add(2000, 2000);
    EXPECT_EQ(c.ids, Strings{"epoch-order"});
}

// A station's own row and its channels: places, depth, rates and the response file.
TEST(CheckRules, StationAndItsChannels) {
    const auto siteRules = [](std::optional<double> lat, std::optional<double> lon) {
        SiteRow s;
        s.station = "AAA";
        s.latitude = lat;
        s.longitude = lon;
        Collect c;
        checkSite(s, c.sink());
        return c.ids;
    };
    EXPECT_EQ(siteRules(-90, 180), Strings{});
    EXPECT_EQ(siteRules(90.5, 10), Strings{"lat-range"});
    EXPECT_EQ(siteRules(10, -180.5), Strings{"lon-range"});
    EXPECT_EQ(siteRules(std::nullopt, 10), Strings{"not-finite"});
    EXPECT_EQ(siteRules(std::nan(""), 10), Strings{"not-finite"});

    orv::test::TempDir dir;
    std::ofstream(dir / "here.pz") << "ZEROS 0\n";
    SiteRow site;
    site.station = "AAA";
    site.latitude = 50;
    site.longitude = 70;
    const auto chan = [](std::string code, double sps, long long group) {
        SiteChanRow c;
        c.station = "AAA";
        c.channel = code;
        c.location = "00";
        c.sampleRate = sps;
        c.group = group;
        c.calibFile = "here.pz";
        return c;
    };
    std::vector<SiteChanRow> rows = {chan("BHZ", 20, 1),  chan("BHN", 20, 1), chan("BHE", 40, 1),
                                     chan("HHZ", 100, 2), chan("LHZ", 1, 3),  chan("HHN", 40, 2),
                                     chan("SHZ", 0, 4),   chan("EHZ", 100, 5)};
    // 1 degree of latitude is 111.195 km on the sphere of 6371 km: 0.009 degrees is 1.0008
    // km, 0.0089 degrees 0.990 km.
    rows[0].latitude = 50.0089;
    rows[0].longitude = 70;
    rows[1].latitude = 50.009;
    rows[1].longitude = 70;
    rows[3].depth = -1;
    rows[4].depth = 5001;
    rows[7].calibFile = "gone.pz";
    Collect c;
    const auto hasResponse = [](const std::string&, const std::string& channel) {
        return channel != "EHZ";
    };
    checkStationChannels(&site, rows, hasResponse, dir.path(), c.sink());
    std::vector<std::pair<std::string, std::string>> got;
    for (const Finding& f : c.findings)
        got.emplace_back(std::string(f.rule), f.key.channel);
    const std::vector<std::pair<std::string, std::string>> want = {
        {"chan-distance", "BHN"}, {"chan-depth", "HHZ"},  {"chan-depth", "LHZ"},
        {"band-rate", "HHN"},     {"rate-zero", "SHZ"},   {"chan-no-response", "EHZ"},
        {"calibfile", "EHZ"},     {"group-rates", "BHZ"}, {"group-rates", "HHZ"}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(c.findings.back().severity, Severity::Warning);
}
