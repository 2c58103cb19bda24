#include "dialog_fixture.h"

#include "core/messages.h"

using namespace orv::sitewright;
using Kind = ControlId::Kind;

class StationDialog : public DialogTest {};

TEST_P(StationDialog, AnUnknownCodeShowsTheDefaultsOfANewStation) {
    addSite("AAA", 41, 1);
    auto d = openDialog();
    d->onStationTextChanged("NEW");
    const StationControls& c = d->controls();
    EXPECT_EQ(c.nindex, "42");
    EXPECT_EQ(c.ngroups, "4");
    EXPECT_EQ(c.lat, "45");
    EXPECT_EQ(c.lon, "45");
    EXPECT_EQ(c.elev, "0");
    EXPECT_EQ(c.chan[0], "BLZ");
    EXPECT_EQ(c.chan[channelIndex(4, 2)], "EHE");
    EXPECT_EQ(c.chan[channelIndex(5, 0)], "");
    EXPECT_EQ(c.sps[0], "20");
    EXPECT_EQ(c.sps[3], "100");
    EXPECT_EQ(c.sps[4], "");
    const std::string today = orv::text::formatTime("%Y-%m-%d", orv::text::localNow());
    EXPECT_EQ(c.ondate.substr(0, 10), today);
    EXPECT_EQ(c.ondate.size(), 19u);
    EXPECT_EQ(c.offdate, "");
    EXPECT_TRUE(c.chanEnabled[11]);
    EXPECT_FALSE(c.chanEnabled[12]);
    EXPECT_TRUE(c.groupEnabled[3]);
    EXPECT_FALSE(c.groupEnabled[4]);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_P(StationDialog, TheFirstStationOfAnEmptyTableGetsNumberOne) {
    auto d = openDialog("NEW");
    EXPECT_EQ(d->controls().nindex, "1");
    EXPECT_TRUE(d->controls().staList.empty());
}

TEST_P(StationDialog, ListsAreSortedAndLookUpShowsTheStoredStation) {
    addSite("ZZZ", 2, 1);
    addSite("KIV", 1, 2);
    db.exec("UPDATE SITE SET DNORTH=1.25, COD='II', DESCR='Кисловодск', REFSTA='ZZZ' WHERE "
            "STA='KIV'");
    addChan("KIV", "BHZ", 1, 0, ", SPS, LCODE, DESCR, CALIBFILE", ", 20, '00', 'STS-2', 'kiv.pz'");
    addChan("KIV", "BHN", 1, 1, ", SPS, LCODE, DESCR", ", 20, '00', 'STS-2'");
    addChan("KIV", "SHZ", 2, 0, ", SPS", ", 0.5");
    addChan("KIV", "XXX", 2, 3, ", SPS", ", 0.5");
    auto d = openDialog("KIV");
    const StationControls& c = d->controls();
    EXPECT_EQ(c.staList, (std::vector<std::string>{"KIV", "ZZZ"}));
    EXPECT_EQ(c.refstaList, c.staList);
    EXPECT_EQ(c.sta, "KIV");
    EXPECT_EQ(c.nindex, "1");
    EXPECT_EQ(c.ngroups, "2");
    EXPECT_EQ(c.lat, "10");
    EXPECT_EQ(c.dnorth, "1.250");
    EXPECT_EQ(c.deast, "");
    EXPECT_EQ(c.cod, "II");
    EXPECT_EQ(c.descr, "Кисловодск");
    EXPECT_EQ(c.refsta, "ZZZ");
    EXPECT_EQ(c.chan[0], "BHZ");
    EXPECT_EQ(c.chan[1], "BHN");
    EXPECT_EQ(c.chan[2], "");
    EXPECT_EQ(c.responseFile[0], "kiv.pz");
    EXPECT_EQ(c.lcode[0], "00");
    EXPECT_EQ(c.sensor[0], "STS-2");
    EXPECT_EQ(c.sps[0], "20");
    // A group with rows but no location code shows "??"; 0.5 samples per second.
    EXPECT_EQ(c.chan[3], "SHZ");
    EXPECT_EQ(c.lcode[1], "??");
    EXPECT_EQ(c.sps[1], "0.5000");
    // The component 3 row is not shown.
    for (const auto& name : c.chan)
        EXPECT_NE(name, "XXX");
    // Groups without rows stay empty.
    EXPECT_EQ(c.lcode[2], "");
    EXPECT_TRUE(c.groupEnabled[1]);
    EXPECT_FALSE(c.groupEnabled[2]);
}

TEST_P(StationDialog, ALookUpEmptiesTheResponseFilesOfTheStationShownBefore) {
    addSite("KIV", 1, 1);
    addChan("KIV", "BHZ", 1, 0, ", CALIBFILE", ", 'kiv.pz'");
    auto d = openDialog("KIV");
    ASSERT_EQ(d->controls().responseFile[0], "kiv.pz");
    d->onStationTextChanged("NEW");
    EXPECT_EQ(d->controls().responseFile[0], "");
}

TEST_P(StationDialog, SelectingAListEntryShowsThatStation) {
    addSite("AAA", 1, 1);
    addSite("BBB", 2, 3);
    auto d = openDialog();
    d->onStationSelected(1);
    EXPECT_EQ(d->controls().sta, "BBB");
    EXPECT_EQ(d->controls().ngroups, "3");
    EXPECT_EQ(d->controls().staSelection, 1);
}

TEST_P(StationDialog, TheGroupCountEnablesGroupsAndRefusesOutOfRangeCounts) {
    auto d = openDialog("NEW");
    d->onGroupCountChanged("3");
    const StationControls& c = d->controls();
    for (int i = 0; i < kChannels; ++i)
        EXPECT_EQ(c.chanEnabled[i], i < 9) << i;
    for (int g = 0; g < kGroups; ++g)
        EXPECT_EQ(c.groupEnabled[g], g < 3) << g;
    // Disabled controls keep their contents.
    EXPECT_EQ(c.chan[channelIndex(4, 0)], "EHZ");
    d->onGroupCountChanged("8");
    EXPECT_EQ(c.ngroups, "");
    EXPECT_EQ(d->state().ngroups, 0);
    EXPECT_FALSE(c.groupEnabled[3]); // nothing changes
    d->onGroupCountChanged("");
    EXPECT_EQ(d->state().ngroups, 0);
}

TEST_P(StationDialog, ValidationStopsAtTheFirstFailureInOrderAndPutsTheFocusThere) {
    auto d = openDialog("NEW");
    d->controls().lat = "200";
    d->controls().chan[5] = "TOOLONG";
    d->onWrite();
    ASSERT_EQ(ui.messageTexts().size(), 1u);
    EXPECT_EQ(ui.messageTexts()[0], "Please enter no more than 6 characters.");
    EXPECT_EQ(d->takeFocus(), (ControlId{Kind::Channel, 5}));
    ui.clear();

    d->controls().chan[5] = "BHE";
    d->onWrite();
    ASSERT_EQ(ui.messageTexts().size(), 1u);
    EXPECT_EQ(ui.messageTexts()[0], "Please enter a number between -180 and 180.");
    EXPECT_EQ(d->takeFocus(), (ControlId{Kind::Lat, 0}));
    ui.clear();

    d->controls().lat = "45";
    d->controls().ngroups = "";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{"Please enter an integer."}));
    ui.clear();
    d->controls().ngroups = "9";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Please enter an integer between 1 and 7."}));
    ui.clear();
    d->controls().ngroups = "4";
    d->controls().elev = "abc";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{"Please enter a number."}));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "0");
}

TEST_P(StationDialog, AStationCodeLongerThanEightCharactersIsRefused) {
    auto d = openDialog("NEW");
    d->controls().sta = "ABCDEFGHI";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Please enter no more than 8 characters."}));
    EXPECT_EQ(d->takeFocus(), (ControlId{Kind::Station, 0}));
}

INSTANTIATE_TEST_SUITE_P(Backends, StationDialog, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
