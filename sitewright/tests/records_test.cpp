#include "core/records.h"
#include "core/sql.h"
#include "core/startup.h"
#include "text/text.h"

#include "testdb.h"

#include <gtest/gtest.h>

using namespace orv::sitewright;
using orv::test::Backend;
using orv::test::TestDatabase;

class Records : public testing::TestWithParam<Backend> {
protected:
    Records() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        db.createSiteTable();
        connection = db.connect();
    }
    TestDatabase db;
    std::unique_ptr<orv::odbc::Connection> connection;
};

TEST_P(Records, ValuesWithoutValueReadByTheNullRules) {
    db.exec("INSERT INTO SITE (STA, NGROUPS, DNORTH, LAT) VALUES ('KIV', 2, 1.25, 43.5)");
    CSite site(*connection);
    site.setFilter("STA='KIV'");
    site.open();
    ASSERT_FALSE(site.isEOF());
    const SiteRow& r = site.row();
    EXPECT_EQ(r.sta, "KIV");
    EXPECT_EQ(r.ngroups, 2);
    EXPECT_EQ(r.nindex, 0);
    EXPECT_EQ(r.deast, kNoValue);
    EXPECT_DOUBLE_EQ(r.dnorth, 1.25);
    EXPECT_DOUBLE_EQ(r.lat, 43.5);
    EXPECT_EQ(r.cod, "");
    EXPECT_EQ(r.ondate, "");
    site.moveNext();
    EXPECT_TRUE(site.isEOF());
}

TEST_P(Records, TheSnapshotListsEveryRowWithoutAFilter) {
    db.exec("INSERT INTO SITE (STA) VALUES ('B')");
    db.exec("INSERT INTO SITE (STA) VALUES ('A')");
    CSite site(*connection);
    site.open();
    std::vector<std::string> codes;
    for (; !site.isEOF(); site.moveNext())
        codes.push_back(site.row().sta);
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, (std::vector<std::string>{"A", "B"}));
}

TEST_P(Records, DatesReadAsTheDriversText) {
    db.exec("INSERT INTO SITE (STA, ONDATE) VALUES ('KIV', {ts '2001-05-07 13:14:15'})");
    CSite site(*connection);
    site.setFilter("STA='KIV'");
    site.open();
    ASSERT_FALSE(site.isEOF());
    EXPECT_EQ(site.row().ondate.substr(0, 19), "2001-05-07 13:14:15");
}

TEST_P(Records, AFailingOpenThrowsTheDriversText) {
    CSiteChan chan(*connection); // no SITECHAN in this database
    try {
        chan.open();
        FAIL() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_FALSE(std::string(e.what()).empty());
    }
}

TEST_P(Records, ANewChannelRowCarriesOnlyTheColumnsGivenAValue) {
    db.createSiteChanTable();
    CSiteChan chan(*connection);
    chan.setFilter("STA='KIV' and CHAN='BHZ' and NGROUP=1 and CHANINDEX=0");
    chan.open();
    ASSERT_TRUE(chan.isEOF());
    chan.addNew();
    SiteChanRow& r = chan.editRow();
    r.sta = "KIV";
    r.chan = "BHZ";
    r.ngroup = 1;
    r.chanindex = 0;
    r.sps = 20;
    r.hang = 0;
    r.vang = 0;
    r.calibfile = "";
    r.lcode = "00";
    r.descr = "STS-2";
    chan.update();
    chan.close();
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN"), "1");
    EXPECT_EQ(db.scalar("SELECT CALIBFILE FROM SITECHAN"), "<NULL>");
    EXPECT_EQ(db.scalar("SELECT EDEPH FROM SITECHAN"), "<NULL>");
    EXPECT_EQ(db.scalar("SELECT LAT FROM SITECHAN"), "<NULL>");
    EXPECT_EQ(db.scalar("SELECT LON FROM SITECHAN"), "<NULL>");
    EXPECT_EQ(orv::text::toDouble(db.scalar("SELECT HANG FROM SITECHAN")), 0.0);
    EXPECT_EQ(db.scalar("SELECT LCODE FROM SITECHAN"), "00");
    EXPECT_NE(db.scalar("SELECT LDDATE FROM SITECHAN"), "<NULL>");
}

TEST_P(Records, AnEditedChannelRowKeepsDepthAndCoordinates) {
    db.createSiteChanTable();
    db.exec("INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, EDEPH, LAT, LON, SPS, HANG, VANG, "
            "DESCR, CALIBFILE, LCODE) VALUES ('KIV', 'BHZ', 1, 0, 12.5, 43.1, 42.7, 20, 90, 45, "
            "'OLD', 'kiv.pz', '00')");
    CSiteChan chan(*connection);
    chan.setFilter("STA='KIV' and CHAN='BHZ' and NGROUP=1 and CHANINDEX=0");
    chan.open();
    ASSERT_FALSE(chan.isEOF());
    EXPECT_DOUBLE_EQ(chan.row().edeph, 12.5);
    chan.edit();
    SiteChanRow& r = chan.editRow();
    r.hang = 0;
    r.vang = 0;
    r.calibfile = ""; // emptied: becomes NULL
    r.descr = "STS-2";
    chan.update();
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT EDEPH FROM SITECHAN")), 12.5);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT LAT FROM SITECHAN")), 43.1);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT HANG FROM SITECHAN")), 0.0);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT VANG FROM SITECHAN")), 0.0);
    EXPECT_EQ(db.scalar("SELECT CALIBFILE FROM SITECHAN"), "<NULL>");
    EXPECT_EQ(db.scalar("SELECT DESCR FROM SITECHAN"), "STS-2");
    EXPECT_EQ(db.scalar("SELECT LCODE FROM SITECHAN"), "00");
}

TEST_P(Records, ChannelsWorkOnATableWhoseDepthColumnIsEdepth) {
    db.createSiteChanTable("EDEPTH");
    db.exec("INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, EDEPTH, SPS) VALUES ('KIV', "
            "'BHZ', 1, 0, 7, 20)");
    CSiteChan chan(*connection);
    EXPECT_EQ(chan.depthColumn(), "EDEPTH");
    chan.setFilter("STA='KIV' and NGROUP=1");
    chan.open();
    ASSERT_FALSE(chan.isEOF());
    EXPECT_DOUBLE_EQ(chan.row().edeph, 7);
    chan.edit();
    chan.editRow().sps = 40;
    chan.update();
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT SPS FROM SITECHAN")), 40);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT EDEPTH FROM SITECHAN")), 7);
}

TEST_P(Records, ARowWithoutComponentIndexReadsWithoutOneAndCanBeGivenOne) {
    db.createSiteChanTable();
    db.exec("INSERT INTO SITECHAN (STA, CHAN, NGROUP, SPS) VALUES ('KIV', 'BHZ', 1, 20)");
    db.exec("INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX) VALUES ('KIV', 'BHZ', 1, 1)");
    CSiteChan chan(*connection);
    chan.setFilter("STA='KIV' and CHANINDEX is null");
    chan.open();
    ASSERT_FALSE(chan.isEOF());
    EXPECT_EQ(chan.row().chanindex, std::nullopt);
    chan.edit();
    chan.editRow().chanindex = 0;
    chan.editRow().sps = kNoValue; // emptied: becomes NULL
    chan.update();
    EXPECT_EQ(db.column("SELECT CHANINDEX FROM SITECHAN ORDER BY CHANINDEX"),
              (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(db.scalar("SELECT SPS FROM SITECHAN WHERE CHANINDEX=0"), "<NULL>");
}

TEST_P(Records, FiltersTakeTheirValuesAsParameters) {
    db.createSiteChanTable();
    db.exec("INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX) VALUES ('O''K', 'B''Z', 1, 0)");
    CSiteChan chan(*connection);
    chan.setFilter(sql::kFilterChannel,
                   {orv::odbc::Parameter::text("O'K"), orv::odbc::Parameter::text("B'Z"),
                    orv::odbc::Parameter::integer(1), orv::odbc::Parameter::integer(0)});
    chan.open();
    ASSERT_FALSE(chan.isEOF());
    EXPECT_EQ(chan.row().chan, "B'Z");
    chan.edit();
    chan.editRow().lcode = "10";
    chan.update();
    EXPECT_EQ(db.scalar("SELECT LCODE FROM SITECHAN"), "10");
}

INSTANTIATE_TEST_SUITE_P(Backends, Records, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
