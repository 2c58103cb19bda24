#include "dialog_fixture.h"

#include "core/stationdlg.h"

using namespace orv::sitewright;

TEST(DateTimes, APartlyTypedDateIsCompletedAndTextThatIsNoDateOrDayIsNot) {
    const orv::odbc::Timestamp on{1900, 1, 1, 0, 0, 0};
    const orv::odbc::Timestamp offUpdate{1970, 1, 1, 1, 1, 1};
    EXPECT_EQ(normaliseDateTime("2001-05-07", on, 2026).text, "2001-05-07 00:00:00");
    EXPECT_EQ(normaliseDateTime("2001-05-07", offUpdate, 2026).text, "2001-05-07 01:01:01");
    EXPECT_EQ(normaliseDateTime(" 2001-05-07 10 ", on, 2026).text, "2001-05-07 10:00:00");
    EXPECT_EQ(normaliseDateTime("2001-5-7 3:4:5 junk", on, 2026).text, "2001-05-07 03:04:05");
    EXPECT_TRUE(normaliseDateTime("2001-5-7 3:4:5 junk", on, 2026).valid);
    // Text that does not read as the beginning of a date is refused as typed.
    for (const char* typed : {"вчера", "abc", "2001/05/07", "2001-05-07T10:00", "2001-"}) {
        const NormalisedDate n = normaliseDateTime(typed, on, 2026);
        EXPECT_FALSE(n.valid) << typed;
        EXPECT_EQ(n.text, typed);
    }
    // Days that do not exist, out-of-range fields and years outside 1900..now.
    for (const char* typed : {"2001-02-31 10:00:00", "2001-02-29", "2001-04-31", "2001-13-01",
                              "2001-01-01 24:00:00", "2027-01-01", "1899-12-31"})
        EXPECT_FALSE(normaliseDateTime(typed, on, 2026).valid) << typed;
    EXPECT_TRUE(normaliseDateTime("2000-02-29 23:59:59", on, 2026).valid);
}

class Writing : public DialogTest {
protected:
    static std::string day(const std::string& stored) { return stored.substr(0, 19); }
};

TEST_P(Writing, ANewStationIsInsertedWithItsChannels) {
    auto d = openDialog("KIV");
    d->controls().ondate = "2001-05-07";
    d->controls().descr = "O'Brien";
    d->controls().staname = "Kislovodsk";
    d->controls().underground = "rock'n'roll";
    d->controls().cod = "K'V";
    d->controls().dnorth = "1.5";
    d->controls().lcode[0] = "00";
    d->controls().sensor[1] = "CMG-3T";
    d->onWrite();
    ASSERT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Информация о станции KIV в БД записана успешно"}));
    EXPECT_EQ(day(site("ONDATE", "KIV")), "2001-05-07 00:00:00");
    EXPECT_EQ(site("OFFDATE", "KIV"), "<NULL>");
    EXPECT_EQ(site("DESCR", "KIV"), "O`Brien");
    EXPECT_EQ(site("UNDERGROUND", "KIV"), "rock'n'roll");
    EXPECT_EQ(site("COD", "KIV"), "K'V");
    EXPECT_EQ(site("NINDEX", "KIV"), "1");
    EXPECT_EQ(site("NGROUPS", "KIV"), "4");
    EXPECT_DOUBLE_EQ(orv::text::toDouble(site("DNORTH", "KIV")), 1.5);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(site("LAT", "KIV")), 45);
    EXPECT_NE(site("LDDATE", "KIV"), "<NULL>");
    EXPECT_EQ(channelsOf("KIV"),
              (std::vector<std::string>{"BHE", "BHN", "BHZ", "BLE", "BLN", "BLZ", "EHE", "EHN",
                                        "EHZ", "ELE", "ELN", "ELZ"}));
    // Each channel row carries its group's sensor type and location code.
    EXPECT_EQ(db.column("SELECT LCODE FROM SITECHAN WHERE NGROUP=1"),
              (std::vector<std::string>{"00", "00", "00"}));
    EXPECT_EQ(db.column("SELECT DESCR FROM SITECHAN WHERE NGROUP=2"),
              (std::vector<std::string>{"CMG-3T", "CMG-3T", "CMG-3T"}));
    EXPECT_EQ(db.column("SELECT DISTINCT CHANINDEX FROM SITECHAN WHERE CHAN='BHN'"),
              (std::vector<std::string>{"1"}));
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT SPS FROM SITECHAN WHERE CHAN='EHZ'")),
                     100);
    // The dialog shows the station written, selected in the list.
    EXPECT_EQ(d->controls().staList, (std::vector<std::string>{"KIV"}));
    EXPECT_EQ(d->controls().staSelection, 0);
    EXPECT_EQ(d->controls().descr, "O`Brien");
}

TEST_P(Writing, TheClosingDateOfAnExistingStationGetsOneOClockDefaults) {
    addSite("KIV", 5, 1);
    db.exec("UPDATE SITE SET ONDATE={ts '1999-01-02 03:04:05'} WHERE STA='KIV'");
    auto d = openDialog("KIV");
    d->controls().offdate = "2001-05-07";
    d->onWrite();
    EXPECT_EQ(day(site("OFFDATE", "KIV")), "2001-05-07 01:01:01");
    EXPECT_EQ(day(site("ONDATE", "KIV")), "1999-01-02 03:04:05");
    EXPECT_EQ(site("NINDEX", "KIV"), "5");

    // Emptying the closing date leaves the stored one alone.
    d->controls().offdate = "";
    d->onWrite();
    EXPECT_EQ(day(site("OFFDATE", "KIV")), "2001-05-07 01:01:01");
    // A time typed in full is kept to the second.
    d->controls().ondate = "2002-03-04 05:06:07";
    d->onWrite();
    EXPECT_EQ(day(site("ONDATE", "KIV")), "2002-03-04 05:06:07");
}

TEST_P(Writing, ADateThatIsNoDateOrDoesNotExistIsRefusedNamingItsField) {
    auto d = openDialog("NEW");
    d->controls().ondate = "вчера";
    d->onWrite();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Ошибка задания даты-времени:\n ondate: вчера");
    EXPECT_EQ(d->takeFocus(), (ControlId{ControlId::Kind::Ondate}));
    ui.clear();
    d->controls().ondate = "2001-05-07";
    d->controls().offdate = "2001-02-31 10:00:00";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{"Ошибка задания даты-времени:\n "
                                                           "offdate: 2001-02-31 10:00:00"}));
    EXPECT_EQ(d->takeFocus(), (ControlId{ControlId::Kind::Offdate}));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "0");
}

TEST_P(Writing, AFutureOpeningDateIsRefusedBeforeAnythingIsWritten) {
    auto d = openDialog("KIV");
    const int next = orv::text::localNow().tm_year + 1900 + 1;
    d->controls().ondate = std::to_string(next) + "-01-01";
    d->onWrite();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
              "Ошибка задания даты-времени:\n ondate: " + std::to_string(next) + "-01-01 00:00:00");
    EXPECT_EQ(ui.messages()[0].icon, orv::ui::Icon::Stop);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "0");
    // The dialog keeps the values as typed.
    EXPECT_EQ(d->controls().ondate, std::to_string(next) + "-01-01");
}

TEST_P(Writing, TheCleanUpRemovesEveryRowWhoseNameWasNotWritten) {
    addSite("KIV", 1, 4);
    addChan("KIV", "BHZ", 1, 0);
    addChan("KIV", "BHN", 1, 1);
    addChan("KIV", "BHE", 1, 2);
    addChan("KIV", "SHZ", 2, 0);
    addChan("KIV", "LHZ", 3, 0);
    addChan("KIV", "BHZ", 4, 0); // same name as a channel of group 1
    addChan("OTHER", "LHZ", 3, 0);
    auto d = openDialog("KIV");
    d->controls().ngroups = "2";
    d->onWrite();
    ASSERT_EQ(ui.messages().size(), 1u) << ui.messageTexts()[0];
    // Groups 3 and 4 are not written; the clean-up compares names only.
    EXPECT_EQ(channelsOf("KIV"), (std::vector<std::string>{"BHE", "BHN", "BHZ", "BHZ", "SHZ"}));
    EXPECT_EQ(channelsOf("OTHER"), (std::vector<std::string>{"LHZ"}));
}

TEST_P(Writing, RenamingAChannelReplacesItsRow) {
    addSite("KIV", 1, 1);
    addChan("KIV", "BHZ", 1, 0, ", EDEPH, CALIBFILE", ", 3, 'kiv.pz'");
    auto d = openDialog("KIV");
    d->controls().chan[0] = "HHZ";
    d->onWrite();
    EXPECT_EQ(channelsOf("KIV"), (std::vector<std::string>{"HHZ"}));
    // The response file shown at that position goes with the renamed channel.
    EXPECT_EQ(db.scalar("SELECT CALIBFILE FROM SITECHAN"), "kiv.pz");
}

TEST_P(Writing, RewritingAChannelKeepsItsDepthAndResetsItsAngles) {
    addSite("KIV", 1, 1);
    addChan("KIV", "BHZ", 1, 0, ", EDEPH, LAT, HANG, VANG", ", 3, 44, 90, 45");
    auto d = openDialog("KIV");
    d->onWrite();
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT EDEPH FROM SITECHAN")), 3);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT LAT FROM SITECHAN")), 44);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT HANG FROM SITECHAN")), 0);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT VANG FROM SITECHAN")), 0);
}

TEST_P(Writing, AStationNumberOfZeroGetsTheNextFreeNumber) {
    addSite("AAA", 7, 1);
    addSite("KIV", 0, 1);
    auto d = openDialog("KIV");
    EXPECT_EQ(d->controls().nindex, "0");
    d->onWrite();
    EXPECT_EQ(site("NINDEX", "KIV"), "8");
}

TEST_P(Writing, ApostrophesInCodesAndChannelNamesAreStoredAsTyped) {
    auto d = openDialog("O'K");
    d->controls().chan[0] = "B'Z";
    d->controls().ngroups = "1";
    d->controls().chan[1] = "";
    d->controls().chan[2] = "";
    d->onWrite();
    ASSERT_EQ(ui.messages().size(), 1u) << ui.messageTexts()[0];
    EXPECT_EQ(db.scalar("SELECT STA FROM SITE"), "O'K");
    EXPECT_EQ(channelsOf("O''K"), (std::vector<std::string>{"B'Z"}));
    // And the clean-up of a second write keeps it.
    d->onWrite();
    EXPECT_EQ(channelsOf("O''K"), (std::vector<std::string>{"B'Z"}));
}

TEST_P(Writing, AChannelFailureRollsBackTheChannelsButKeepsTheSiteRow) {
    addSite("KIV", 1, 1);
    addChan("KIV", "BHZ", 1, 0, ", SPS", ", 20");
    if (GetParam() == orv::test::Backend::SQLite)
        db.exec("CREATE TRIGGER NO_BAD BEFORE INSERT ON SITECHAN WHEN NEW.CHAN='BAD' BEGIN "
                "SELECT RAISE(ABORT, 'bad channel'); END");
    else
        db.exec("ALTER TABLE SITECHAN ADD CONSTRAINT NO_BAD CHECK (CHAN <> 'BAD')");
    auto d = openDialog("KIV");
    d->controls().chan[1] = "BHN";
    d->controls().chan[2] = "BAD";
    d->controls().sps[0] = "40";
    d->controls().elev = "123";
    d->onWrite();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].icon, orv::ui::Icon::Stop);
    EXPECT_FALSE(ui.messages()[0].text.empty());
    EXPECT_DOUBLE_EQ(orv::text::toDouble(site("ELEV", "KIV")), 123);
    EXPECT_EQ(channelsOf("KIV"), (std::vector<std::string>{"BHZ"}));
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT SPS FROM SITECHAN")), 20);
    // The dialog keeps what was typed.
    EXPECT_EQ(d->controls().chan[2], "BAD");
}

TEST_P(Writing, ChannelsGoIntoATableShapedAsTheResponseEditorCreatesIt) {
    // The response editor's SITECHAN: depth named EDEPTH, NINDEX unique, SPS required.
    const std::string d = db.doubleType();
    db.exec("DROP TABLE SITECHAN");
    db.exec("CREATE TABLE SITECHAN(NINDEX INT UNIQUE,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT "
            "NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH " +
            d + ",LAT " + d + ",LON " + d + ",SPS " + d + " NOT NULL,HANG " + d + ",VANG " + d +
            ",DESCR VARCHAR(128),CALIBFILE "
            "VARCHAR(255),LDDATE TIMESTAMP,LCODE VARCHAR(8))");
    auto d1 = openDialog("KIV");
    d1->onWrite();
    ASSERT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Информация о станции KIV в БД записана успешно"}));
    EXPECT_EQ(channelsOf("KIV").size(), 12u);
    // Written again over the existing rows.
    d1->controls().chan[0] = "HHZ";
    d1->onWrite();
    EXPECT_EQ(ui.messageTexts().size(), 2u);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN WHERE CHAN='HHZ'"), "1");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN WHERE CHAN='BLZ'"), "0");
}

TEST_P(Writing, SavingAnUnchangedStationWritesBackEveryNumberAsRead) {
    addSite("KIV", 1, 2);
    db.exec("UPDATE SITE SET LAT=NULL, LON=142.123456, ELEV=1234.56789, DNORTH=1.23456, "
            "DEAST=NULL WHERE STA='KIV'");
    addChan("KIV", "BHZ", 1, 0, ", SPS", ", 0.12345");
    addChan("KIV", "SHZ", 2, 0);
    auto d = openDialog("KIV");
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Информация о станции KIV в БД записана успешно"}));
    for (const char* stored :
         {"LAT IS NULL", "LON=142.123456", "ELEV=1234.56789", "DNORTH=1.23456", "DEAST IS NULL"})
        EXPECT_EQ(db.scalar(std::string("SELECT COUNT(*) FROM SITE WHERE ") + stored), "1")
            << stored;
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN WHERE CHAN='BHZ' AND SPS=0.12345"), "1");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN WHERE CHAN='SHZ' AND SPS IS NULL"), "1");
}

TEST_P(Writing, TypedNumbersAreReadWithADecimalCommaAndAnEmptiedFieldHasNoValue) {
    addSite("KIV", 1, 2);
    db.exec("UPDATE SITE SET DEAST=2 WHERE STA='KIV'");
    for (int c = 0; c < kComponents; ++c)
        addChan("KIV", std::string("BH") + "ZNE"[c], 1, c, ", SPS", ", 20");
    addChan("KIV", "SHZ", 2, 0, ", SPS", ", 1");
    auto d = openDialog("KIV");
    d->controls().lat = "45,5";
    d->controls().elev = " -12.25 ";
    d->controls().dnorth = "1,75";
    d->controls().deast = "";
    d->controls().sps[0] = "0,5";
    d->onWrite();
    ASSERT_EQ(ui.messages().size(), 1u) << ui.messageTexts()[0];
    for (const char* stored : {"LAT=45.5", "ELEV=-12.25", "DNORTH=1.75", "DEAST IS NULL"})
        EXPECT_EQ(db.scalar(std::string("SELECT COUNT(*) FROM SITE WHERE ") + stored), "1")
            << stored;
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN WHERE NGROUP=1 AND SPS=0.5"), "3");
}

TEST_P(Writing, CoordinatesAreStoredAndShownAsTypedWithoutSinglePrecisionNoise) {
    auto d = openDialog("KIV");
    d->controls().lat = "55,7512";
    d->controls().lon = "37.6184";
    d->controls().elev = "-0.1";
    d->onWrite();
    ASSERT_EQ(ui.messages().size(), 1u) << ui.messageTexts()[0];
    // Read back as text and as a number: 55.75120162963867 would be the single-precision
    // value widened to double.
    for (const char* stored : {"LAT=55.7512", "LON=37.6184", "ELEV=-0.1"})
        EXPECT_EQ(db.scalar(std::string("SELECT COUNT(*) FROM SITE WHERE ") + stored), "1")
            << stored;
    EXPECT_EQ(orv::text::toDouble(site("LAT", "KIV")), 55.7512);
    auto again = openDialog("KIV");
    EXPECT_EQ(again->controls().lat, "55.7512");
    EXPECT_EQ(again->controls().lon, "37.6184");
    EXPECT_EQ(again->controls().elev, "-0.1");
}

TEST_P(Writing, AGroupWhoseChannelsAreWrittenNeedsItsSamplesPerSecond) {
    addSite("KIV", 1, 2);
    addChan("KIV", "BHZ", 1, 0, ", SPS", ", 20");
    addChan("KIV", "SHZ", 2, 0); // read without samples per second
    auto d = openDialog("KIV");
    const StationControls shown = d->controls();
    const std::string refused = "Please enter a number.";
    // Emptied where a value was read: refused before anything is written.
    d->controls().sps[0] = " ";
    d->controls().elev = "99";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{refused}));
    EXPECT_EQ(d->takeFocus(), (ControlId{ControlId::Kind::Sps, 0}));
    EXPECT_DOUBLE_EQ(orv::text::toDouble(site("ELEV", "KIV")), 30);
    // Left empty in a group the user fills: refused too.
    ui.clear();
    d->controls() = shown;
    d->controls().ngroups = "3";
    d->controls().chan[channelIndex(3, 1)] = "LHN";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{refused}));
    EXPECT_EQ(d->takeFocus(), (ControlId{ControlId::Kind::Sps, 2}));
    // A group whose channels are all emptied writes nothing and needs nothing; the group
    // read without a value keeps none.
    ui.clear();
    d->controls().chan[channelIndex(3, 1)] = "";
    d->controls().sps[0] = "";
    d->controls().chan[0] = "";
    d->onWrite();
    EXPECT_EQ(ui.messages().size(), 1u) << ui.messageTexts()[0];
    EXPECT_EQ(channelsOf("KIV"), (std::vector<std::string>{"SHZ"}));
    EXPECT_EQ(db.scalar("SELECT SPS FROM SITECHAN"), "<NULL>");
}

TEST_P(Writing, ChannelsThatCouldNotBeReadAreNeitherWrittenNorCleanedUp) {
    addSite("KIV", 1, 1);
    addChan("KIV", "BHZ", 1, 0, ", CALIBFILE", ", 'kiv.pz'");
    addChan("KIV", "BHN", 1, 1);
    db.exec("ALTER TABLE SITECHAN DROP COLUMN LCODE"); // the channel record cannot be read
    auto d = openDialog("KIV");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text.rfind(
                  "Каналы станции KIV не прочитаны из таблицы SITECHAN и не будут записаны:\n", 0),
              0u)
        << ui.messages()[0].text;
    ui.clear();
    const std::string written =
        "Информация о станции KIV в БД записана успешно, кроме каналов: они не были прочитаны "
        "из таблицы SITECHAN";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{written}));
    EXPECT_EQ(channelsOf("KIV"), (std::vector<std::string>{"BHN", "BHZ"}));
    // A name typed into the grid that was not read is not written either.
    ui.clear();
    d->controls().chan[0] = "HHZ";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{written}));
    EXPECT_EQ(channelsOf("KIV"), (std::vector<std::string>{"BHN", "BHZ"}));
    EXPECT_EQ(db.scalar("SELECT CALIBFILE FROM SITECHAN WHERE CHAN='BHZ'"), "kiv.pz");
}

TEST_P(Writing, RowsTheDialogDoesNotShowAreNeitherDuplicatedNorDeleted) {
    addSite("KIV", 1, 1);
    addChan("KIV", "BHN", 1, 1, ", SPS", ", 20");
    db.exec("INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, SPS, CALIBFILE) VALUES "
            "('KIV', 'BHZ', 1, NULL, 20, 'kiv.pz')");
    addChan("KIV", "HDF", 1, 3, ", SPS", ", 20"); // a fourth component
    addChan("KIV", "LHZ", 5, 0);                  // a group beyond the station's count
    auto d = openDialog("KIV");
    // A row without component index is not taken for the Z channel.
    EXPECT_EQ(d->controls().chan[0], "");
    EXPECT_EQ(d->controls().responseFile[0], "");
    EXPECT_EQ(d->controls().chan[1], "BHN");
    const std::vector<std::string> notice = {
        "Каналы без номера компоненты (CHANINDEX) не показаны и при записи не изменяются: BHZ "
        "(группа 1)"};
    EXPECT_EQ(ui.messageTexts(), notice);
    ui.clear();
    d->onWrite();
    // The look-up after the write does not repeat the notice.
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Информация о станции KIV в БД записана успешно"}));
    EXPECT_EQ(channelsOf("KIV"), (std::vector<std::string>{"BHN", "BHZ", "HDF", "LHZ"}));
    EXPECT_EQ(db.scalar("SELECT CALIBFILE FROM SITECHAN WHERE CHANINDEX IS NULL"), "kiv.pz");
}

TEST_P(Writing, ANewStationOrACopyRemovesNoRowsItsCodeAlreadyHad) {
    // Rows left under a code that has no SITE row are not the dialog's to remove.
    addChan("NEW", "OLD", 2, 0);
    addChan("KIW", "OLD", 1, 0);
    addSite("KIV", 1, 1);
    addChan("KIV", "BHZ", 1, 0);
    auto d = openDialog("NEW");
    d->onWrite();
    EXPECT_EQ(channelsOf("NEW").size(), 13u);
    d->onStationTextChanged("KIV");
    d->setCopyPrompt([](const std::string&) { return std::optional<std::string>("KIW"); });
    d->onCopy();
    EXPECT_EQ(channelsOf("KIW"), (std::vector<std::string>{"BHZ", "OLD"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, Writing, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

class WritingWithoutChannelTable : public DialogTest {
protected:
    WritingWithoutChannelTable() { withChannelTable = false; }
};

TEST_P(WritingWithoutChannelTable, TheLookUpSaysSoAndAWriteKeepsToTheSiteRow) {
    addSite("KIV", 3, 2);
    auto d = openDialog("KIV");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].icon, orv::ui::Icon::Exclamation);
    EXPECT_EQ(ui.messages()[0].text.rfind("Каналы станции KIV не прочитаны", 0), 0u);
    EXPECT_EQ(d->controls().ngroups, "2");
    ui.clear();
    d->controls().cod = "NEW";
    d->onWrite();
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Информация о станции KIV в БД записана успешно, кроме "
                                        "каналов: они не были прочитаны из таблицы SITECHAN"}));
    EXPECT_EQ(db.scalar("SELECT COD FROM SITE"), "NEW");
}

INSTANTIATE_TEST_SUITE_P(Backends, WritingWithoutChannelTable,
                         testing::ValuesIn(orv::test::allBackends()), orv::test::backendParamName);
