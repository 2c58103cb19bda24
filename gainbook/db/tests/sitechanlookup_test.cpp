#include "db/sitechanlookup.h"

#include "testdb.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

using orv::gainbook::lookUpResponseFile;
using orv::test::Backend;
using orv::test::TestDatabase;
using orv::ui::Answer;

class SiteChanLookUp : public testing::TestWithParam<Backend> {
protected:
    SiteChanLookUp() : db(GetParam()) {}
    void SetUp() override { ORV_SKIP_IF_UNAVAILABLE(db); }
    void row(const std::string& sta, const std::string& chan, const std::string& file,
             const std::string& lddate, const std::string& lcode = "'00'") {
        db.exec("INSERT INTO SITECHAN (STA,CHAN,NGROUP,CHANINDEX,SPS,CALIBFILE,LCODE,LDDATE) "
                "VALUES ('" +
                sta + "','" + chan + "',1,0,20,'" + file + "'," + lcode + "," +
                (lddate.empty() ? std::string("NULL") : "{ts '" + lddate + "'}") + ")");
    }

    TestDatabase db;
    orv::ui::ScriptedInteraction ui;
};

TEST_P(SiteChanLookUp, TheFirstRowDecidesAndTheUserChoosesTheTime) {
    db.createSiteChanTable("EDEPTH");
    row("KIV", "BHZ", "kiv_bhz.pz", "2004-02-03 04:05:06");
    auto c = db.connect();
    ui.answer(Answer::Yes);
    auto match = lookUpResponseFile(*c, ui, "kiv_bhz.pz", "2010.01.01 00:00:00");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->station, "KIV");
    EXPECT_EQ(match->channel, "BHZ");
    EXPECT_EQ(match->location, "00");
    EXPECT_EQ(match->time, "2004.02.03 04:05:06");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Выбор даты");
    EXPECT_NE(ui.messages()[0].text.find("2004.02.03 04:05:06\r\nВремя взятое из времени создания "
                                         "файла:\r\n2010.01.01 00:00:00\r\n"),
              std::string::npos);

    ui.answer(Answer::No);
    match = lookUpResponseFile(*c, ui, "kiv_bhz.pz", "2010.01.01 00:00:00");
    EXPECT_EQ(match->time, "2010.01.01 00:00:00");
}

TEST_P(SiteChanLookUp, NoLoadDateAsksNothingAndAnUnknownFileFindsNothing) {
    db.createSiteChanTable();
    row("KIV", "BHN", "kiv_bhn.pz", "", "NULL");
    auto c = db.connect();
    auto match = lookUpResponseFile(*c, ui, "kiv_bhn.pz", "2010.01.01 00:00:00");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->time, "2010.01.01 00:00:00");
    EXPECT_EQ(match->location, "");
    EXPECT_TRUE(ui.shown().empty());
    EXPECT_FALSE(lookUpResponseFile(*c, ui, "kiv_bhz.pz", "x"));
    // The database compares: exactly on SQLite and PostgreSQL, while MariaDB's default
    // collation ignores case.
    EXPECT_EQ(lookUpResponseFile(*c, ui, "KIV_BHN.PZ", "x").has_value(),
              GetParam() == Backend::MariaDB);
}

TEST_P(SiteChanLookUp, ATableWithoutLcodeGivesNoLocation) {
    db.exec("CREATE TABLE SITECHAN (STA VARCHAR(8), CHAN VARCHAR(8), LDDATE TIMESTAMP, "
            "CALIBFILE VARCHAR(255))");
    db.exec("INSERT INTO SITECHAN VALUES ('ABC','SHZ',NULL,'abc.pz')");
    auto c = db.connect();
    const auto match = lookUpResponseFile(*c, ui, "abc.pz", "t");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->station, "ABC");
    EXPECT_FALSE(match->location);
}

TEST_P(SiteChanLookUp, AMissingTableCountsAsNoRow) {
    auto c = db.connect();
    EXPECT_FALSE(lookUpResponseFile(*c, ui, "abc.pz", "t"));
    EXPECT_TRUE(ui.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, SiteChanLookUp, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
