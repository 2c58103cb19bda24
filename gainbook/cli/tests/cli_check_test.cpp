// gainbook-cli check on real databases: the published StationXML files imported give no
// finding, a planted fault comes out in each format with its key, and the exit status
// tells errors from a check that could not run.
#include "clirunner.h"
#include "testdb.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>

using orv::gainbook::test::Outcome;
using orv::test::Backend;
using orv::test::TestDatabase;

namespace {

class CliCheck : public testing::TestWithParam<Backend> {
protected:
    CliCheck() : db(GetParam()) {}
    void SetUp() override { ORV_SKIP_IF_UNAVAILABLE(db); }
    Outcome run(std::vector<std::string> args) {
        for (std::string a : {"--dsn", db.dsn().c_str(), "--user", "ORV", "--password", "KTZ"})
            args.push_back(a);
        return orv::gainbook::test::runCli(dir.path(), args);
    }
    TestDatabase db;
    orv::test::TempDir dir;
};

// The published documents: those beside the StationXML tests, and the shared ones where
// they are.
std::vector<std::filesystem::path> publishedDocuments() {
    std::vector<std::filesystem::path> out;
    for (const std::string& folder :
         {std::string(ORV_SOURCE_DIR) + "/gainbook/stationxml/tests/data",
          std::string(ORV_SOURCE_DIR) + "/../shared/testdata/stationxml"}) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec))
            if (e.path().extension() == ".xml")
                out.push_back(e.path());
    }
    return out;
}

} // namespace

// What the importer writes of the published documents (their pole-zero epochs with the
// stations and channels they name) breaks no rule: their codes, places, rates and
// sensitivities are the field's own, and the writer leaves one key's intervals back to
// back.
TEST_P(CliCheck, PublishedDocumentsImportedGiveNoFinding) {
    for (const auto& file : publishedDocuments())
        run({"import", file.string(), "--with-stations", "--yes"});
    Outcome r = run({"list"});
    ASSERT_GE(std::count(r.out.begin(), r.out.end(), '\n'), 9) << r.out << r.err;
    r = run({"check", "--format", "json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "[]\n");
    EXPECT_NE(r.err.find("0 errors, 0 warnings"), std::string::npos) << r.err;
}

// A SENS that its text does not give, and a station without SITE: each format names them
// with their keys; errors give the status 1; --rules needs no database.
TEST_P(CliCheck, FindingsInEachFormat) {
    ASSERT_EQ(run({"import",
                   std::string(ORV_SOURCE_DIR) + "/gainbook/stationxml/tests/data/"
                                                 "obspy_IU_ANMO_00_BHZ.xml",
                   "--with-stations", "--yes"})
                  .status,
              0);
    db.exec("UPDATE CALIBRATION SET SENS=SENS*2");
    Outcome r = run({"check", "--format", "json"});
    EXPECT_EQ(r.status, 1) << r.err;
    const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    ASSERT_EQ(all.size(), 1) << r.out;
    const QJsonObject f = all[0].toObject();
    EXPECT_EQ(f.keys(), (QStringList{"channel", "location", "message", "network", "rule",
                                     "severity", "start", "station"}));
    EXPECT_EQ(f["rule"].toString(), "sens-text");
    EXPECT_EQ(f["severity"].toString(), "error");
    EXPECT_EQ(f["network"].toString() + "." + f["station"].toString() + "." +
                  f["location"].toString() + "." + f["channel"].toString(),
              "IU.ANMO.00.BHZ");
    EXPECT_TRUE(f["start"].toString().endsWith("Z")) << f["start"].toString().toStdString();
    EXPECT_NE(r.err.find("1 error, 0 warnings"), std::string::npos) << r.err;

    r = run({"check", "--format", "csv", "--sta", "ANMO"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "rule,severity,network,station,location,channel,start,message\r");
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1, 33), "sens-text,error,IU,ANMO,00,BHZ,20");
    r = run({"check", "--sta", "XYZ"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0 errors, 0 warnings\n");
    r = run({"check"});
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "sens-text (error, 1): the stored SENS more than 1 % away from what its SAC or "
              "FAP text gives at FREQ");

    r = orv::gainbook::test::runCli(dir.path(), {"check", "--rules"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 32);
    r = orv::gainbook::test::runCli(dir.path(), {"check", "--dsn", "NO_SUCH_SOURCE"});
    EXPECT_EQ(r.status, 2);
    r = run({"check", "--format", "xml"});
    EXPECT_EQ(r.status, 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, CliCheck, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
