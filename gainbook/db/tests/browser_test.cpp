#include "db/browser.h"

#include "damagedsqlite.h"
#include "db/historyedit.h"
#include "db/responsestatements.h"
#include "responsetables.h"
#include "text/text.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

using orv::gainbook::ResponseBrowser;
using orv::test::Backend;
using orv::test::TestDatabase;
using Strings = std::vector<std::string>;

class Browser : public testing::TestWithParam<Backend> {
protected:
    Browser() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        orv::gainbook::test::createResponseTables(db);
        connection = db.connect();
        browser = std::make_unique<ResponseBrowser>(connection.get(), ui);
    }
    void add(const std::string& net, const std::string& sta, const std::string& chan,
             const std::string& loc, const std::string& start, const std::string& end = "",
             const std::string& sac = "SAC TEXT", const std::string& fap = "") {
        orv::gainbook::test::insertResponse(db, net, sta, chan, loc, start, end, sac, fap);
    }

    TestDatabase db;
    std::unique_ptr<orv::odbc::Connection> connection;
    orv::ui::ScriptedInteraction ui;
    std::unique_ptr<ResponseBrowser> browser;
};

TEST_P(Browser, ByStationTheNetworksOfTheStationAreListedAndTheFirstOneNarrowsTheChannels) {
    add("KZ", "KIV", "BHZ", "00", "2003-01-01 00:00:00");
    add("II", "KIV", "LHZ", "10", "2004-01-01 00:00:00");
    add("II", "ABC", "SHZ", "00", "2004-01-01 00:00:00");
    browser->fillFirstList();
    EXPECT_EQ(browser->stations.entries, (Strings{"ABC", "KIV"}));
    browser->pickStation(1);
    EXPECT_EQ(browser->networks.entries, (Strings{"II", "KZ"}));
    EXPECT_EQ(browser->networks.selectedText(), "II");
    EXPECT_EQ(browser->channels.entries, (Strings{"LHZ"}));
    EXPECT_EQ(browser->locations.entries, (Strings{"10"}));
    EXPECT_TRUE(ui.shown().empty());
}

TEST_P(Browser, NetworkFirstListsEveryNetworkAndTheStationsOfTheFirst) {
    add("KZ", "KIV", "BHZ", "00", "2003-01-01 00:00:00");
    add("II", "KIV", "LHZ", "10", "2004-01-01 00:00:00");
    add("II", "ABC", "SHZ", "00", "2004-01-01 00:00:00");
    add("KZ", "MKAR", "BHZ", "00", "2004-01-01 00:00:00");
    browser->fillFirstList();
    browser->chooseBrowseOrder(false);
    EXPECT_EQ(browser->networks.entries, (Strings{"II", "KZ"}));
    EXPECT_EQ(browser->stations.entries, (Strings{"ABC", "KIV"}));
    EXPECT_EQ(browser->channels.entries, (Strings{"SHZ"}));
    browser->pickNetwork(1);
    EXPECT_EQ(browser->stations.entries, (Strings{"KIV", "MKAR"}));
    EXPECT_EQ(browser->channels.entries, (Strings{"BHZ"}));
}

TEST_P(Browser, IntervalsAreNewestFirstAndAnOpenOneShowsItsStartAlone) {
    add("KZ", "KIV", "BHZ", "00", "2003-01-01 00:00:00", "2005-06-01 12:30:00");
    add("KZ", "KIV", "BHZ", "00", "2005-06-01 12:30:00", "", "NEW|LINE\tTAB");
    browser->fillFirstList();
    EXPECT_EQ(browser->intervals.entries,
              (Strings{"2005.06.01 12:30:00", "2003.01.01 00:00:00 / 2005.06.01 12:30:00"}));
    EXPECT_EQ(browser->intervals.selected, 0);
    EXPECT_EQ(browser->storedText, "NEW\r\nLINE TAB");
    EXPECT_EQ(browser->sensValue, "1.5");
    EXPECT_EQ(browser->freqValue, "1");
    EXPECT_EQ(browser->sensLabel, "SENS (counts*sec/m)");
    EXPECT_EQ(browser->freqLabel, "FREQ (Hz)");
    browser->pickInterval(1);
    EXPECT_EQ(browser->storedText, "SAC TEXT");
}

// A view whose text the record lacks is empty, with the same values, and says what the
// record holds instead.
TEST_P(Browser, TheViewOfATextTheRecordLacksSaysWhatItHolds) {
    add("KZ", "KIV", "BHZ", "00", "2003-01-01 00:00:00");
    browser->fillFirstList();
    EXPECT_EQ(browser->storedTextNote, "");
    browser->chooseView(false);
    EXPECT_EQ(browser->storedText, "");
    EXPECT_EQ(browser->storedTextNote,
              "У этой записи нет текста FAP, есть только текст SAC: выберите просмотр SAC.");
    EXPECT_EQ(browser->sensValue, "1.5");
    EXPECT_EQ(browser->channels.entries, (Strings{"BHZ"}));

    add("KZ", "FAPO", "BHZ", "00", "2003-01-01 00:00:00", "", "", " 1.0  2.0e+009  0.0");
    add("KZ", "NONE", "BHZ", "00", "2003-01-01 00:00:00", "", "", "");
    browser->chooseView(true);
    browser->fillFirstList();
    browser->pickStation(browser->stations.findPrefix("FAPO"));
    EXPECT_EQ(browser->storedText, "");
    EXPECT_EQ(browser->storedTextNote,
              "У этой записи нет текста SAC, есть только текст FAP: выберите просмотр FAP.");
    browser->chooseView(false);
    EXPECT_EQ(browser->storedText, " 1.0  2.0e+009  0.0");
    EXPECT_EQ(browser->storedTextNote, "");
    browser->pickStation(browser->stations.findPrefix("NONE"));
    EXPECT_EQ(browser->storedTextNote, "У этой записи нет ни текста SAC, ни текста FAP.");
}

TEST_P(Browser, AStartSelectionWhoseChannelIsMissingTakesTheFirstAndSaysSo) {
    add("KZ", "KIV", "BHZ", "00", "2003-01-01 00:00:00");
    add("KZ", "KIV", "BHZ", "00", "2004-01-01 00:00:00");
    add("KZ", "KIV", "BHN", "10", "2004-01-01 00:00:00");
    add("KZ", "ABC", "BHZ", "00", "2004-01-01 00:00:00");
    browser->requestSelection("kiv", "", "SHZ", "00");
    browser->fillFirstList();
    EXPECT_EQ(browser->stations.selectedText(), "KIV");
    EXPECT_EQ(browser->channels.selectedText(), "BHN");
    EXPECT_TRUE(browser->startSelectionMissed);
    EXPECT_EQ(browser->locations.selectedText(), "10");
    EXPECT_EQ(browser->intervals.selectedText(), "2004.01.01 00:00:00");
    EXPECT_FALSE(browser->startSelectionRequested); // spent by the display
}

TEST_P(Browser, AStartSelectionOfAStationAloneMissesNothing) {
    add("KZ", "ABC", "BHZ", "00", "2004-01-01 00:00:00");
    add("KZ", "KIV", "BHN", "10", "2004-01-01 00:00:00");
    add("KZ", "KIV", "BHZ", "00", "2004-01-01 00:00:00");
    browser->requestSelection("KIV", "", "", "");
    browser->fillFirstList();
    EXPECT_EQ(browser->stations.selectedText(), "KIV");
    EXPECT_EQ(browser->channels.selectedText(), "BHN");
    EXPECT_FALSE(browser->startSelectionMissed);
}

TEST_P(Browser, ARecordDeletedMeanwhileEmptiesThePanel) {
    add("KZ", "KIV", "BHZ", "00", "2003-01-01 00:00:00");
    add("KZ", "KIV", "BHZ", "00", "2004-01-01 00:00:00");
    browser->fillFirstList();
    db.exec("DELETE FROM CALIBRATION WHERE STARTDATE < {ts '2003-06-01 00:00:00'}");
    browser->pickInterval(1);
    EXPECT_TRUE(browser->stations.empty());
    EXPECT_TRUE(browser->intervals.empty());
    EXPECT_EQ(browser->storedText, "");
    EXPECT_EQ(browser->sensLabel, "SENS");
    EXPECT_TRUE(ui.shown().empty());
}

TEST_P(Browser, AnEmptyTableLeavesThePanelEmptyAndAFailureIsReported) {
    browser->fillFirstList();
    EXPECT_TRUE(browser->stations.empty());
    EXPECT_TRUE(ui.shown().empty());
    db.exec("DROP TABLE CALIBRATION");
    browser->fillFirstList();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Неизвестная ошибка");
    EXPECT_EQ(ui.messages()[0].icon, orv::ui::Icon::Exclamation);
    EXPECT_TRUE(browser->stations.empty());
}

TEST_P(Browser, CodesAsWideAsTheirColumnsAreShownWholeAndFollowed) {
    add("NETWORK8", "ABCDEFGH", "CHANNEL8", "LOCATIO8", "2004-01-01 00:00:00");
    browser->fillFirstList();
    EXPECT_EQ(browser->stations.entries, (Strings{"ABCDEFGH"}));
    EXPECT_EQ(browser->networks.entries, (Strings{"NETWORK8"}));
    EXPECT_EQ(browser->channels.entries, (Strings{"CHANNEL8"}));
    EXPECT_EQ(browser->locations.entries, (Strings{"LOCATIO8"}));
    EXPECT_EQ(browser->storedText, "SAC TEXT");
}

// The forms PostgreSQL is sent for the first list return exactly the rows of the
// statements they stand for, in the order of the column's collation (the order the panel
// keeps for codes equal but for case): codes differing only in case, blanks or length
// included. MariaDB compares codes without regard to case and trailing blanks, and is sent
// the statements themselves.
TEST_P(Browser, TheLooseScanFormsReturnWhatTheirDistinctStatementsReturn) {
    if (GetParam() == Backend::MariaDB)
        GTEST_SKIP() << "MariaDB runs the DISTINCT statements themselves";
    int day = 1;
    for (const char* net : {"KZ", "kz", "KZ ", "ÄB", "ABCDEFGH"})
        for (const char* sta : {"KUR", "kur", "KUR ", " ", "Ёж", "A_B"})
            add(net, sta, "BHZ", "00", orv::text::format("2003-01-%02d 00:00:00", day++ % 28 + 1));
    add("KZ", "KUR", "BHZ", "00", "2009-01-01 00:00:00");
    namespace sql = orv::gainbook::sql;
    const auto ordered = [&](const char* distinct, const char* column) {
        return db.column(std::string(distinct) + " ORDER BY " + column);
    };
    EXPECT_EQ(db.column(sql::kStationsAllLooseScan), ordered(sql::kStationsAll, "STA"));
    EXPECT_EQ(db.column(sql::kNetworksAllLooseScan), ordered(sql::kNetworksAll, "NETWORK"));
    EXPECT_EQ(db.column(sql::kStationsAll).size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Backends, Browser, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

// The limit is the working buffer's 131071 characters, not bytes: a text of Cyrillic
// comments holds more bytes than that and is shown whole; a longer text is refused with
// the loader's message, never shown cut.
TEST_P(Browser, AStoredTextIsShownWholeUpToTheLimitInCharactersAndRefusedBeyondIt) {
    std::string comments;
    while (orv::text::length(comments) < 100000)
        comments += "* Комментарий к отклику сейсмометра|";
    const std::string tail = "ZEROS 0|POLES 0|CONSTANT 1";
    ASSERT_GT((comments + tail).size(), 131071u);
    add("KZ", "AAA", "BHZ", "00", "2004-01-01 00:00:00", "", comments + tail);
    // 131072 characters once each "|" is a line end again.
    std::string beyond = std::string(131072 - 30, 'x') + "|ZEROS 0|POLES 0|CONSTANT 1";
    ASSERT_EQ(orv::text::length(orv::text::replaceAll(beyond, "|", "\r\n")), 131072u);
    add("KZ", "BBB", "BHZ", "00", "2004-01-01 00:00:00", "", beyond);

    browser->fillFirstList();
    ASSERT_EQ(browser->stations.selectedText(), "AAA");
    EXPECT_TRUE(browser->storedText.ends_with("\r\nCONSTANT 1"));
    EXPECT_EQ(browser->storedText, orv::text::replaceAll(comments + tail, "|", "\r\n"));
    EXPECT_FALSE(browser->storedTextTooLong);
    EXPECT_TRUE(ui.shown().empty());

    browser->pickStation(1);
    EXPECT_TRUE(browser->storedTextTooLong);
    EXPECT_EQ(browser->storedText, "");
    ASSERT_EQ(ui.messageTexts().size(), 1u);
    EXPECT_EQ(ui.messageTexts()[0], "Текст длиннее 131071 символа и не может быть обработан");
}

TEST(DamagedDatabase, AFetchThatFailsIsShownAndNoPartOfAListPassesForTheWhole) {
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    orv::gainbook::test::createResponseTables(db);
    orv::test::damageResponses(db);
    // Rows fetched one by one (as a data source may ask), so that the damage shows at a
    // fetch after the first rows.
    orv::odbc::Connection connection;
    ASSERT_FALSE(orv::odbc::isError(connection.driverConnect(db.connectString() + "StepAPI=1;")));
    orv::ui::ScriptedInteraction ui;
    ResponseBrowser browser(&connection, ui);
    browser.fillFirstList();
    EXPECT_GT(browser.failedReads, 0);
    EXPECT_TRUE(browser.stations.empty()) << browser.stations.entries.size();
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_NE(ui.messages()[0].text.find("malformed"), std::string::npos) << ui.messages()[0].text;
    // The date editor's lists read the same way.
    const orv::gainbook::ListRead read =
        orv::gainbook::readCodes(connection, orv::gainbook::sql::kDateEditorStations, {});
    EXPECT_FALSE(read.executed);
    EXPECT_TRUE(read.values.empty());
    EXPECT_NE(read.diagnostic.find("malformed"), std::string::npos) << read.diagnostic;
}
