// Codes that mean something to an SQL dialect reach only the rows of the station named.
#include "dialog_fixture.h"

#include "core/startup.h"

using namespace orv::sitewright;
using orv::ui::Answer;

class Hostile : public DialogTest {
protected:
    // Two bystanders with a channel each, and the hostile station with one.
    void addStations(const std::string& code) {
        db.exec("DELETE FROM SITECHAN");
        db.exec("DELETE FROM SITE");
        addSite("AAA", 1, 1);
        addSite("KIV", 2, 1);
        addSite(code, 3, 1);
        addChan("AAA", "BHZ", 1, 0);
        addChan("KIV", "BHZ", 1, 0);
        addChan(code, "BHZ", 1, 0);
    }
    std::vector<std::string> stations() {
        return db.column("SELECT STA FROM SITE ORDER BY NINDEX");
    }
    std::vector<std::string> channelStations() {
        return db.column("SELECT STA FROM SITECHAN WHERE CHAN='BHZ' ORDER BY STA");
    }
};

TEST_P(Hostile, TheStationCountAnswersForTheCodeAsTypedOnly) {
    addSite("KIV", 1, 1);
    for (const std::string& code : kHostileCodes) {
        EXPECT_FALSE(stationCount(*startup, "SITE", code)) << code;
        addSite(code, 2, 1);
        EXPECT_TRUE(stationCount(*startup, "SITE", code)) << code;
        db.exec("DELETE FROM SITE WHERE NINDEX=2");
    }
}

TEST_P(Hostile, DeletingAStationDeletesOnlyItsOwnRows) {
    for (const std::string& code : kHostileCodes) {
        addStations(code);
        auto d = openDialog(code);
        ASSERT_EQ(d->controls().sta, code);
        ui.answer(Answer::Ok);
        d->onDelete();
        EXPECT_EQ(stations(), (std::vector<std::string>{"AAA", "KIV"})) << code;
        EXPECT_EQ(channelStations(), (std::vector<std::string>{"AAA", "KIV"})) << code;
    }
}

TEST_P(Hostile, WritingAStationChangesOnlyItsOwnRows) {
    for (const std::string& code : kHostileCodes) {
        addStations(code);
        db.exec("UPDATE SITE SET DESCR='kept' WHERE NINDEX<>3");
        auto d = openDialog(code);
        ASSERT_EQ(d->controls().sta, code);
        d->controls().descr = code;
        d->controls().cod = code.substr(0, 6); // the width of COD
        d->controls().chan[0] = "HHZ";
        d->onWrite();
        ASSERT_EQ(ui.messageTexts().back(),
                  "Информация о станции " + code + " в БД записана успешно");
        EXPECT_EQ(stations(), (std::vector<std::string>{"AAA", "KIV", code}));
        EXPECT_EQ(
            db.column("SELECT DESCR FROM SITE ORDER BY NINDEX"),
            (std::vector<std::string>{"kept", "kept", orv::text::replaceAll(code, "'", "`")}));
        EXPECT_EQ(db.column("SELECT COD FROM SITE WHERE NINDEX=3"),
                  (std::vector<std::string>{code.substr(0, 6)}));
        // The clean-up removed the hostile station's BHZ, and nobody else's.
        EXPECT_EQ(channelStations(), (std::vector<std::string>{"AAA", "KIV"})) << code;
        EXPECT_EQ(db.column("SELECT STA FROM SITECHAN WHERE CHAN='HHZ'"),
                  (std::vector<std::string>{code}));
        // A copy under another hostile code leaves the original as it was.
        const std::string copy = code + "2";
        d->setCopyPrompt([&](const std::string&) { return std::optional(copy); });
        d->onCopy();
        EXPECT_EQ(stations(), (std::vector<std::string>{"AAA", "KIV", code, copy})) << code;
        EXPECT_EQ(db.column("SELECT COUNT(*) FROM SITECHAN WHERE CHAN='HHZ'"),
                  (std::vector<std::string>{"2"}));
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, Hostile, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
