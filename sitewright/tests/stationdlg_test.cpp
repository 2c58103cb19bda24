#include "dialog_fixture.h"

#include "core/messages.h"

using namespace orv::sitewright;
using Kind = ControlId::Kind;

TEST(NumbersShown, CoordinatesShowTheShortestTextOfTheirPrecision) {
    // From a REAL column: the single-precision value, as typed.
    EXPECT_EQ(showCoordinate(static_cast<double>(55.7f)), "55.7");
    EXPECT_EQ(showCoordinate(static_cast<double>(142.123456f)), "142.12346");
    // From a DOUBLE column: every digit stored.
    EXPECT_EQ(showCoordinate(142.123456), "142.123456");
    EXPECT_EQ(showCoordinate(45), "45");
    EXPECT_EQ(showCoordinate(1e39), "1e+39");
    EXPECT_EQ(showCoordinate(std::nullopt), "");
    EXPECT_EQ(showOffset(1.23456), "1.235");
    EXPECT_EQ(showSps(0.5), "0.5000");
    EXPECT_EQ(showSps(20), "20");
}

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

TEST_P(StationDialog, NumbersThatAreNotPlainFiniteDecimalsAreRefusedWithTheirFieldsPrompt) {
    const std::string number = "Please enter a number.";
    const std::string integer = "Please enter an integer.";
    const std::string latitude = "Please enter a number between -180 and 180.";
    struct Case {
        std::string StationControls::*field; // or nullptr: samples per second of group 2
        std::string text, prompt;
        ControlId focus;
    };
    const std::vector<Case> cases = {
        {&StationControls::lat, "nan", number, {Kind::Lat}},
        {&StationControls::lon, "inf", number, {Kind::Lon}},
        {&StationControls::lat, "0x10", number, {Kind::Lat}},
        {&StationControls::lat, "1e39", latitude, {Kind::Lat}},
        {&StationControls::elev, "1e39", number, {Kind::Elev}},
        {&StationControls::elev, "-1e39", number, {Kind::Elev}},
        {&StationControls::elev, "1,5.0", number, {Kind::Elev}},
        {&StationControls::nindex, "0x10", integer, {Kind::Nindex}},
        {&StationControls::nindex, "1e3", integer, {Kind::Nindex}},
        {&StationControls::nindex, "99999999999", integer, {Kind::Nindex}},
        {&StationControls::dnorth, "1.5km", number, {Kind::Dnorth}},
        {&StationControls::dnorth, "inf", number, {Kind::Dnorth}},
        {&StationControls::deast, "0x10", number, {Kind::Deast}},
        {&StationControls::deast, "1e39", number, {Kind::Deast}},
        {nullptr, "nan", number, {Kind::Sps, 1}},
        {nullptr, "1e39", number, {Kind::Sps, 1}},
        {nullptr, "0x10", number, {Kind::Sps, 1}},
    };
    auto d = openDialog("NEW");
    const StationControls valid = d->controls();
    for (const Case& c : cases) {
        d->controls() = valid;
        if (c.field)
            d->controls().*c.field = c.text;
        else
            d->controls().sps[1] = c.text;
        ui.clear();
        d->onWrite();
        EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{c.prompt})) << c.text;
        EXPECT_EQ(d->takeFocus(), c.focus) << c.text;
    }
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "0");
    // The samples per second of a group that is not written are not read.
    d->controls() = valid;
    d->controls().ngroups = "1";
    d->controls().sps[1] = "nan";
    ui.clear();
    d->onWrite();
    EXPECT_EQ(ui.messageTexts().size(), 1u);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "1");
}

TEST_P(StationDialog, TheListIsSortedWithoutRegardToCaseAndAWriteSelectsTheCodeWritten) {
    for (const char* code : {"Бета", "ZZZ", "KIVX", "арти", "abc", "KIV"})
        addSite(code, 1, 1);
    auto d = openDialog("ZZZ");
    EXPECT_EQ(d->controls().staList,
              (std::vector<std::string>{"abc", "KIV", "KIVX", "ZZZ", "арти", "Бета"}));
    // A copy under a lower-case code lands beside its upper-case twin and is the one selected.
    d->setCopyPrompt([](const std::string&) { return std::optional<std::string>("kiv"); });
    d->onCopy();
    if (GetParam() == orv::test::Backend::MariaDB) {
        // MariaDB compares codes without regard to case: "kiv" is the station KIV there.
        EXPECT_EQ(ui.messageTexts().back(), orv::text::format(msg::kStationExists, "kiv"));
        EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "6");
        return;
    }
    const StationControls& c = d->controls();
    ASSERT_GE(c.staSelection, 0);
    EXPECT_EQ(c.staList[static_cast<std::size_t>(c.staSelection)], "kiv");
    EXPECT_EQ(c.sta, "kiv");
}

TEST_P(StationDialog, AStationCodeLongerThanEightCharactersIsRefused) {
    auto d = openDialog("NEW");
    d->controls().sta = "ABCDEFGHI";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Please enter no more than 8 characters."}));
    EXPECT_EQ(d->takeFocus(), (ControlId{Kind::Station, 0}));
}

TEST_P(StationDialog, AnEmptyStationCodeIsRefusedBeforeAnythingIsWritten) {
    auto d = openDialog("");
    for (const char* code : {"", "  "}) {
        ui.clear();
        d->controls().sta = code;
        d->onWrite();
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].text, "Не задано имя станции !!!");
        EXPECT_EQ(ui.messages()[0].icon, orv::ui::Icon::Exclamation);
        EXPECT_EQ(d->takeFocus(), (ControlId{Kind::Station, 0}));
    }
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "0");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN"), "0");
}

TEST_P(StationDialog, ACodeIsFoundWhateverTheCaseItIsTypedInAndWrittenAsStored) {
    addSite("tst2", 7, 1);
    addSite("бета", 8, 1);
    // MariaDB compares codes without regard to case: there a code has no twin.
    const bool twins = GetParam() != orv::test::Backend::MariaDB;
    if (twins) {
        addSite("abc", 9, 1);
        addSite("ABC", 10, 1);
    }
    auto d = openDialog();
    d->onStationTextChanged("TST2");
    EXPECT_EQ(d->controls().sta, "tst2");
    EXPECT_EQ(d->controls().nindex, "7");
    d->onStationTextChanged("БЕТА");
    EXPECT_EQ(d->controls().nindex, "8");
    if (twins) {
        // The code typed exactly wins over its twin in another case.
        d->onStationTextChanged("ABC");
        EXPECT_EQ(d->controls().nindex, "10");
    }
    d->onStationTextChanged("TST2");
    d->controls().cod = "T2";
    d->onWrite();
    EXPECT_EQ(db.column("SELECT STA FROM SITE WHERE COD='T2'"), (std::vector<std::string>{"tst2"}));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), twins ? "4" : "2");
}

INSTANTIATE_TEST_SUITE_P(Backends, StationDialog, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
