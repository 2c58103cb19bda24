// gainbook-cli stationxml against real databases: the document is checked with FDSN's
// schema (xmllint) and read back by seisplotjs, and compared with the published header
// of the SAC file the response came from.
#include "clirunner.h"
#include "documentchecks.h"
#include "testdb.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

using orv::gainbook::test::Outcome;
using orv::gainbook::test::runCli;
using orv::stationxml::test::clientView;
using orv::stationxml::test::expectSchemaValid;
using orv::test::Backend;
using orv::test::TestDatabase;

namespace {

const std::string kAnmo = std::string(GAINBOOK_TEST_DATA) + "/obspy_IU_ANMO_00_BHZ.sacpz";

} // namespace

class StationXmlExport : public orv::stationxml::test::CliOnDatabase {
protected:
    // IU.ANMO.00.BHZ from 2012-03-12 20:28:00 as the write command stores it, CALIB at
    // 0.02 Hz in calibUnit.
    Outcome writeAnmo(const std::string& calibUnit) {
        return run({"write", kAnmo, "--yes", "--sta", "ANMO", "--chan", "BHZ", "--net", "IU",
                    "--loc", "00", "--start", "2012.03.12 20:28:00", "--freq", "0.02",
                    "--calib-unit", calibUnit});
    }
};

// The IU.ANMO.00.BHZ response as the write command stores it, with its station rows; the
// export gives back the sensitivity and A0 of the SAC file's header.
TEST_P(StationXmlExport, PublishedResponseGivesBackItsSensitivityAndA0) {
    Outcome r = writeAnmo("nm/counts*sec");
    ASSERT_EQ(r.status, 0) << r.err;
    db.createSiteTable();
    db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME,DESCR,ONDATE) VALUES('ANMO',34.94591,"
            "-106.4572,1820,'Albuquerque, New Mexico, USA','Альбукерке','2008-06-30 20:00:00')");
    db.exec("INSERT INTO SITECHAN(STA,CHAN,NGROUP,CHANINDEX,EDEPTH,LAT,LON,SPS,DESCR,LCODE) "
            "VALUES('ANMO','BHZ',1,0,145,34.945981,-106.457133,20,'KS-54000','00')");
    // A station without responses goes under the default network, and says so.
    db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME) VALUES('KIV',43.9562,42.6888,1210,"
            "'Kislovodsk')");

    const auto file = dir / "out.xml";
    r = run({"stationxml", "--out", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("no response exported"), std::string::npos) << r.err;
    // The SENS the write stored agrees with the text it exports.
    EXPECT_EQ(r.err.find("SENS"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("station KIV has no response: listed under network XYN"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.xml.part"));
    expectSchemaValid(file);
    const auto view = clientView(file);
    if (!view)
        return;
    ASSERT_EQ(view->size(), 1) << orv::gainbook::test::slurp(file);
    const QJsonObject ch = (*view)[0].toObject();
    EXPECT_EQ(ch["network"].toString(), "IU");
    EXPECT_EQ(ch["station"].toString(), "ANMO");
    EXPECT_EQ(ch["location"].toString(), "00");
    EXPECT_EQ(ch["channel"].toString(), "BHZ");
    EXPECT_EQ(ch["start"].toString(), "2012-03-12T20:28:00Z");
    EXPECT_TRUE(ch["end"].isNull());
    EXPECT_EQ(ch["stationStart"].toString(), "2008-06-30T20:00:00Z");
    EXPECT_DOUBLE_EQ(ch["latitude"].toDouble(), 34.945981);
    EXPECT_DOUBLE_EQ(ch["longitude"].toDouble(), -106.457133);
    EXPECT_DOUBLE_EQ(ch["elevation"].toDouble(), 1820);
    EXPECT_DOUBLE_EQ(ch["depth"].toDouble(), 145);
    EXPECT_DOUBLE_EQ(ch["dip"].toDouble(), -90);
    EXPECT_DOUBLE_EQ(ch["sampleRate"].toDouble(), 20);
    EXPECT_EQ(ch["inputUnits"].toString(), "m/s");
    // The header of the SAC file: SENSITIVITY 3275080000.0 (M/S), A0 83826.0.
    EXPECT_NEAR(ch["sensitivity"].toDouble() / 3275080000.0, 1, 1e-5);
    EXPECT_DOUBLE_EQ(ch["sensitivityFrequency"].toDouble(), 0.02);
    ASSERT_EQ(ch["stages"].toArray().size(), 1);
    const QJsonObject stage = ch["stages"].toArray()[0].toObject();
    EXPECT_EQ(stage["kind"].toString(), "PolesZeros");
    EXPECT_NEAR(stage["normalizationFactor"].toDouble() / 83826.0, 1, 1e-3);
    EXPECT_EQ(stage["zeros"].toArray().size(), 2); // the displacement form's third zero removed
    EXPECT_EQ(stage["poles"].toArray().size(), 5);
    EXPECT_DOUBLE_EQ(stage["poles"].toArray()[0].toArray()[0].toDouble(), -53.3317);
}

// The same text stored as an acceleration response: the input is m/s**2, two of the three
// origin zeros go, and the header's values are those of velocity over |s| = 2 pi 0.02 Hz.
TEST_P(StationXmlExport, AnAccelerationResponseIsExportedInMetresPerSecondSquared) {
    Outcome r = writeAnmo("nm/counts*sec**2");
    ASSERT_EQ(r.status, 0) << r.err;
    db.createSiteTable();
    db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME) VALUES('ANMO',34.9,-106.5,1820,'A')");
    const auto file = dir / "acceleration.xml";
    r = run({"stationxml", "--out", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("SENS"), std::string::npos) << r.err;
    expectSchemaValid(file);
    const std::string xml = orv::gainbook::test::slurp(file);
    // The sensitivity's input and the stage's.
    const auto first = xml.find("<Name>m/s**2</Name>");
    EXPECT_NE(xml.find("<Name>m/s**2</Name>", first + 1), std::string::npos) << xml;
    EXPECT_EQ(xml.find("<Name>m/s</Name>"), std::string::npos) << xml;
    const auto view = clientView(file);
    if (!view)
        return;
    ASSERT_EQ(view->size(), 1) << xml;
    const QJsonObject ch = (*view)[0].toObject();
    EXPECT_EQ(ch["inputUnits"].toString(), "m/s**2");
    const double w = 2 * M_PI * 0.02;
    EXPECT_NEAR(ch["sensitivity"].toDouble() / (3275080000.0 / w), 1, 1e-5);
    ASSERT_EQ(ch["stages"].toArray().size(), 1);
    const QJsonObject stage = ch["stages"].toArray()[0].toObject();
    EXPECT_NEAR(stage["normalizationFactor"].toDouble() / (83826.0 * w), 1, 1e-3);
    EXPECT_EQ(stage["zeros"].toArray().size(), 1);
    EXPECT_EQ(stage["poles"].toArray().size(), 5);
}

// What the schema would refuse is left out with a message and exit status 1; what cannot be
// placed is named once; the selection takes wildcards.
TEST_P(StationXmlExport, RefusedAndUnplaceableStationsAreNamedAndTheRestIsValid) {
    for (const char* sta : {"ANMO", "POLE", "GHOST"}) {
        for (const char* start : {"2010.01.01 00:00:00", "2012.01.01 00:00:00"}) {
            const Outcome w =
                run({"write", kAnmo, "--yes", "--sta", sta, "--chan", "BHZ", "--net", "IU", "--loc",
                     "??", "--start", start, "--freq", "0.02", "--calib-unit", "nm/counts*sec"});
            ASSERT_EQ(w.status, 0) << w.err;
        }
    }
    // GHOST under a second network too: still named once.
    const Outcome w = run({"write", kAnmo, "--sta", "GHOST", "--chan", "BHZ", "--net", "II",
                           "--loc", "00", "--start", "2010.01.01 00:00:00"});
    ASSERT_EQ(w.status, 0) << w.err;
    db.createSiteTable();
    db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME) VALUES('ANMO',34.9,-106.4,1820,'A')");
    db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME) VALUES('POLE',95,0,10,'P')");

    const auto file = dir / "all.xml";
    Outcome r = run({"stationxml", "--out", file.string()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("station POLE left out"), std::string::npos) << r.err;
    const auto ghost = r.err.find("station GHOST has no SITE row");
    EXPECT_NE(ghost, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("station GHOST has no SITE row", ghost + 1), std::string::npos);
    // "??", CALIBRATION's empty location, is FDSN's empty location.
    EXPECT_EQ(r.err.find("location code"), std::string::npos) << r.err;
    expectSchemaValid(file);
    std::string xml = orv::gainbook::test::slurp(file);
    EXPECT_NE(xml.find("<Channel code=\"BHZ\" locationCode=\"\" "), std::string::npos) << xml;
    EXPECT_EQ(xml.find("POLE"), std::string::npos);
    // Two sibling epochs of one key, the first closed where the second begins.
    EXPECT_NE(xml.find("startDate=\"2010-01-01T00:00:00Z\" endDate=\"2012-01-01T00:00:00Z\""),
              std::string::npos)
        << xml;

    // A wildcard picks ANMO alone; at station level no channel is written.
    r = run({"stationxml", "--sta", "AN*", "--level", "station", "--out", file.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    expectSchemaValid(file);
    xml = orv::gainbook::test::slurp(file);
    EXPECT_NE(xml.find("<Station code=\"ANMO\""), std::string::npos);
    EXPECT_EQ(xml.find("<Channel"), std::string::npos);
    EXPECT_EQ(xml.find("GHOST"), std::string::npos);
    EXPECT_EQ(r.err.find("GHOST"), std::string::npos) << r.err;
}

// Only the rows a selection can match are read: a station picked by a wildcard or by its
// code still gets its SITECHAN channels without a response and its stations without any.
TEST_P(StationXmlExport, ASelectionReadsTheChannelsAndStationsWithoutResponsesItMatches) {
    for (const char* start : {"2010.01.01 00:00:00", "2012.01.01 00:00:00"}) {
        const Outcome w = run({"write", kAnmo, "--yes", "--sta", "ANMO", "--chan", "BHZ", "--net",
                               "IU", "--loc", "00", "--start", start});
        ASSERT_EQ(w.status, 0) << w.err;
    }
    db.createSiteTable(); // SITECHAN is made by the write command
    for (const char* sta : {"ANMO", "ANMX", "BNMO"})
        db.exec(std::string("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME) VALUES('") + sta +
                "',34.9,-106.4,1820,'" + sta + "')");
    for (const char* row : {"'ANMO','BHZ','00'", "'ANMO','BHN','00'", "'ANMO','LHZ','00'",
                            "'ANMX','BHZ','00'", "'BNMO','BHN','00'"})
        db.exec(std::string("INSERT INTO SITECHAN(STA,CHAN,LCODE,NGROUP,SPS) VALUES(") + row +
                ",1,20)");
    const auto file = dir / "some.xml";
    for (const char* sta : {"AN?O", "ANMO", "A*O,CNMO"}) {
        Outcome r = run({"stationxml", "--sta", sta, "--chan", "BH?", "--level", "channel", "--out",
                         file.string()});
        ASSERT_EQ(r.status, 0) << sta << r.err;
        const std::string xml = orv::gainbook::test::slurp(file);
        EXPECT_NE(xml.find("<Channel code=\"BHN\" locationCode=\"00\" "
                           "startDate=\"2010-01-01T00:00:00Z\""),
                  std::string::npos)
            << sta << xml;
        EXPECT_NE(xml.find("<Channel code=\"BHZ\" locationCode=\"00\" "
                           "startDate=\"2012-01-01T00:00:00Z\""),
                  std::string::npos)
            << sta << xml;
        EXPECT_EQ(xml.find("LHZ"), std::string::npos) << sta << xml;
        EXPECT_EQ(xml.find("ANMX"), std::string::npos) << sta << xml;
        EXPECT_EQ(xml.find("BNMO"), std::string::npos) << sta << xml;
    }
    // At station level: the start of ANMO and of its network is its first response's, and
    // ANMX, which has
    // none, comes under the default network.
    Outcome r = run({"stationxml", "--sta", "ANM*", "--level", "station", "--out", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    expectSchemaValid(file);
    const std::string xml = orv::gainbook::test::slurp(file);
    EXPECT_NE(xml.find("<Network code=\"IU\" startDate=\"2010-01-01T00:00:00Z\""),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<Station code=\"ANMO\" startDate=\"2010-01-01T00:00:00Z\""),
              std::string::npos)
        << xml;
    const auto xyn = xml.find("<Network code=\"XYN\"");
    EXPECT_NE(xyn, std::string::npos) << xml;
    EXPECT_NE(xml.find("<Station code=\"ANMX\"", xyn), std::string::npos) << xml;
    EXPECT_EQ(xml.find("BNMO"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("<Channel"), std::string::npos) << xml;
}

INSTANTIATE_TEST_SUITE_P(Backends, StationXmlExport, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

// --out is replaced like every file the programs write: a pipe stays a pipe, a file keeps
// its mode, a FILE.part of the user's is not touched, and a failure says the system's reason.
TEST_P(StationXmlExport, OutIsReplacedSafely) {
    const Outcome w = run({"write", kAnmo, "--yes", "--sta", "ANMO", "--chan", "BHZ", "--net", "IU",
                           "--loc", "00", "--start", "2012.03.12 20:28:00"});
    ASSERT_EQ(w.status, 0) << w.err;
    db.createSiteTable();
    db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME) VALUES('ANMO',34.9,-106.4,1820,'A')");

    const auto file = dir / "mode.xml";
    std::ofstream(file) << "old";
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write);
    std::ofstream(dir / "mode.xml.part") << "mine";
    Outcome r = run({"stationxml", "--out", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    expectSchemaValid(file);
    EXPECT_EQ(std::filesystem::status(file).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(orv::gainbook::test::slurp(dir / "mode.xml.part"), "mine");

    const auto fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    r = run({"stationxml", "--out", fifo.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(fifo.string() + ": это не обычный файл"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));

    // A folder that cannot be written (as root, one of the kernel's).
    const std::filesystem::path readOnly = geteuid() == 0 ? "/sys" : dir / "read-only";
    if (geteuid() != 0) {
        std::filesystem::create_directory(readOnly);
        std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::owner_exec);
    }
    const auto denied = readOnly / "x.xml";
    r = run({"stationxml", "--out", denied.string()});
    EXPECT_EQ(r.status, 1);
    const std::string head = "Ошибка при попытке записи в файл " + denied.string() + ": ";
    const auto reason = r.err.find(head);
    ASSERT_NE(reason, std::string::npos) << r.err;
    EXPECT_GT(r.err.find('\n', reason), reason + head.size()) << r.err;
    EXPECT_FALSE(std::filesystem::exists(denied));
}
