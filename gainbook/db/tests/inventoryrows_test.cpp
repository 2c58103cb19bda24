#include "db/inventoryrows.h"

#include "responsetables.h"
#include "testdb.h"

#include <gtest/gtest.h>

using orv::gainbook::ensureStationRows;
using orv::gainbook::StationRows;
using orv::test::Backend;
using orv::test::TestDatabase;

class EnsureStationRows : public testing::TestWithParam<Backend> {
protected:
    EnsureStationRows() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        db.createSiteTable();
        db.createSiteChanTable();
        db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV) VALUES('OLD',50,30,100)");
    }
    // Ensures the rows of OLD's channel; the notes it gives.
    std::vector<std::string> ensure(const std::string& channel, const std::string& location) {
        StationRows r;
        r.station = "OLD";
        r.latitude = 50;
        r.longitude = 30;
        r.elevation = 100;
        r.channel = channel;
        r.location = location;
        std::vector<std::string> notes;
        std::string diagnostic;
        auto c = db.connect();
        EXPECT_TRUE(ensureStationRows(*c, r, notes, diagnostic)) << diagnostic;
        return notes;
    }

    TestDatabase db;
};

// Rows written by older versions hold the empty location as "??", blanks or "": each is the
// channel of the empty location, so no second row is made for it, and a new channel of the
// empty location joins the group of its own.
TEST_P(EnsureStationRows, EveryStoredFormOfTheEmptyLocationIsTheEmptyLocation) {
    db.exec("INSERT INTO SITECHAN(STA,CHAN,NGROUP,CHANINDEX,LCODE) VALUES('OLD','BHZ',1,0,'?\?')");
    db.exec("INSERT INTO SITECHAN(STA,CHAN,NGROUP,CHANINDEX,LCODE) VALUES('OLD','HHZ',2,0,'  ')");
    db.exec("INSERT INTO SITECHAN(STA,CHAN,NGROUP,CHANINDEX,LCODE) VALUES('OLD','LHZ',3,0,'')");
    for (const char* channel : {"BHZ", "HHZ", "LHZ"})
        EXPECT_EQ(ensure(channel, ""), std::vector<std::string>{}) << channel;
    EXPECT_EQ(ensure("BHZ", "??"), std::vector<std::string>{});
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN"), "3");

    EXPECT_EQ(ensure("BHN", ""), std::vector<std::string>{"SITECHAN OLD BHN  made"});
    EXPECT_EQ(db.scalar("SELECT NGROUP FROM SITECHAN WHERE CHAN='BHN'"), "1");
    EXPECT_EQ(db.scalar("SELECT LCODE FROM SITECHAN WHERE CHAN='BHN'"), "");
    // A location of its own is another channel, in a new group.
    EXPECT_EQ(ensure("BHZ", "00"), std::vector<std::string>{"SITECHAN OLD BHZ 00 made"});
    EXPECT_EQ(db.scalar("SELECT NGROUP FROM SITECHAN WHERE LCODE='00'"), "4");
}

INSTANTIATE_TEST_SUITE_P(Backends, EnsureStationRows, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

class CalibrationTexts : public testing::TestWithParam<Backend> {};

// A stored response text is read with the line breaks the database panel shows: "|", "\n"
// and "\r\n" each one "\r\n", a lone "\r" kept; tabs are blanks.
TEST_P(CalibrationTexts, StoredBreaksAndTabsAreReadAsThePanelShowsThem) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    orv::gainbook::test::createResponseTables(db);
    auto c = db.connect();
    {
        orv::odbc::Statement st(*c);
        ASSERT_TRUE(orv::odbc::isSuccess(st.run(
            "INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC,FAP,SENS,ID_SENS,"
            "FREQ,ID_FREQ) VALUES('XX','00','TXT','BHZ',?,?,?,1,1,1,0)",
            {orv::odbc::Parameter::date({2000, 1, 1, 0, 0, 0}),
             orv::odbc::Parameter::longText("ZEROS 0|POLES 1\n-1 0\r\nCONSTANT\t2|"),
             orv::odbc::Parameter::longText("a\rb\r\n\r\n||\tc")})))
            << st.diagnostic();
    }
    orv::gainbook::CalibrationCursor cursor(*c, {},
                                            orv::gainbook::CalibrationColumns::EpochsWithTexts);
    orv::gainbook::CalibrationRow row;
    ASSERT_TRUE(cursor.next(row)) << cursor.diagnostic();
    EXPECT_EQ(row.sac, "ZEROS 0\r\nPOLES 1\r\n-1 0\r\nCONSTANT 2\r\n");
    EXPECT_EQ(row.fap, "a\rb\r\n\r\n\r\n\r\n c");
    EXPECT_FALSE(cursor.next(row));
    EXPECT_TRUE(cursor.ok()) << cursor.diagnostic();
}

INSTANTIATE_TEST_SUITE_P(Backends, CalibrationTexts, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
