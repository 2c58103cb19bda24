// The main road of the response editor without a display, against real databases: a
// response file loaded into the file panel (file choice, format question, headers, the
// SITECHAN look-up, CALIB and its recomputation), written into CALIBRATION, and shown
// selected in the database panel; the load that starts by itself when the requested
// channel has no response yet.
#include "mainwindow.h"

#include "db/datetext.h"
#include "formats/responsefile.h"
#include "testdb.h"
#include "text/text.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

using namespace orv;
using namespace orv::gainbook;
using formats::LoadedFileKind;
using orv::test::Backend;
using orv::test::TempDir;
using orv::test::TestDatabase;
using orv::ui::Answer;
using orv::ui::Icon;
using orv::ui::ScriptedInteraction;

namespace {

const std::string kKarc = std::string(GAINBOOK_TEST_DATA) + "/obspy_SAC_PZs_KARC_BHZ";

class MainRoad : public testing::TestWithParam<Backend> {
protected:
    MainRoad() : db(GetParam()) {}

    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        db.createSiteChanTable();
        window =
            std::make_unique<MainWindow>(ui, ConnectionDialogRunner{}, dir.path(), dir / "ORV.ini");
        window->formatDialog = [this](FileFormatDialog& d) -> std::optional<LoadedFileKind> {
            formatAsked.push_back(d);
            if (!formatAnswer)
                return std::nullopt;
            d.check(*formatAnswer);
            return d.result();
        };
        window->intervalDialog = [this](IntervalChoiceDialog& d) {
            ++intervalDialogs;
            return intervalAnswer ? intervalAnswer(d) : false;
        };
    }

    void start(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ"};
        args.insert(args.end(), extra.begin(), extra.end());
        window->startUp(args);
        ASSERT_TRUE(window->connected()) << testing::PrintToString(ui.messageTexts());
        ui.clear();
    }

    std::string file(const std::string& name, const std::string& content) const {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    void load(const std::string& path, std::optional<LoadedFileKind> kind = LoadedFileKind::Sac) {
        formatAnswer = kind;
        ui.chooseFile(path);
        window->loadFromFile();
    }

    void siteChan(const std::string& sta, const std::string& chan, const std::string& calibFile,
                  const std::string& lddate) {
        db.exec("INSERT INTO SITECHAN (STA,CHAN,NGROUP,CHANINDEX,SPS,CALIBFILE,LCODE,LDDATE) "
                "VALUES ('" +
                sta + "','" + chan + "',1,0,20,'" + calibFile + "','10'," +
                (lddate.empty() ? std::string("NULL") : "{ts '" + lddate + "'}") + ")");
    }

    std::size_t rows() const { return std::stoul(db.scalar("SELECT COUNT(*) FROM CALIBRATION")); }

    TestDatabase db;
    TempDir dir;
    ScriptedInteraction ui;
    std::unique_ptr<MainWindow> window;
    std::vector<FileFormatDialog> formatAsked;
    std::optional<LoadedFileKind> formatAnswer;
    int intervalDialogs = 0;
    std::function<bool(IntervalChoiceDialog&)> intervalAnswer;
};

double number(const std::string& s) {
    return text::toDouble(s);
}

} // namespace

TEST_P(MainRoad, ABareFileIsNamedByTheUserAndFoundInSiteChan) {
    start();
    siteChan("KARC", "BHZ", "obspy_SAC_PZs_KARC_BHZ", "2004-02-03 04:05:06");
    siteChan("OTHER", "BHN", "obspy_SAC_PZs_KARC_BHZ", "");
    int busyChanges = 0;
    window->busyChanged = [&] { ++busyChanges; };
    ui.answer(Answer::No); // "Выбор даты": the file time
    load(kKarc);

    ASSERT_EQ(ui.shown().size(), 2u);
    const auto& choice = ui.shown()[0].choice;
    EXPECT_EQ(choice.filter, "All Files (*.*)|*.*|SAC (*.sac)|*.sac|FAP (*.fap)|*.fap||");
    EXPECT_EQ(choice.defaultExtension, "*");
    ASSERT_EQ(formatAsked.size(), 1u);
    EXPECT_TRUE(formatAsked[0].sacVisible);
    EXPECT_TRUE(formatAsked[0].sacChecked);
    EXPECT_EQ(ui.shown()[1].caption, "Выбор даты");

    const FilePanel& f = window->file;
    const std::string fileTime = formats::fileTimeText(kKarc);
    EXPECT_EQ(f.fileLabel, "  obspy_SAC_PZs_KARC_BHZ (SAC)");
    EXPECT_TRUE(f.fileLabelVisible);
    EXPECT_EQ(f.station, "KARC"); // the first row decides
    EXPECT_EQ(f.channel, "BHZ");
    EXPECT_EQ(f.location, "10");
    EXPECT_EQ(f.time, fileTime);
    EXPECT_EQ(window->browser.intervalToSelect, fileTime);
    EXPECT_TRUE(f.writeEnabled);
    EXPECT_EQ(f.loadedKind, LoadedFileKind::Sac);
    EXPECT_EQ(f.text.rfind("ZEROS 4\r\n", 0), 0u);
    EXPECT_FALSE(f.calib.empty());
    EXPECT_EQ(busyChanges, 2);
    EXPECT_FALSE(window->busy);

    // Yes takes LDDATE of SITECHAN.
    ui.answer(Answer::Yes);
    load(kKarc);
    EXPECT_EQ(window->file.time, "2004.02.03 04:05:06");
}

TEST_P(MainRoad, CalibFollowsTheUnitsOfAPoleZeroText) {
    start();
    load(kKarc);
    FilePanel& f = window->file;
    const double velocity = number(f.calib);
    ASSERT_GT(velocity, 0.0);

    // Displacement: one more zero at the origin, |s| = 2 pi at 1 Hz.
    f.calibUnitText = "nm/counts";
    window->calibUnitChanged();
    EXPECT_NEAR(number(f.calib), velocity / (2 * M_PI), velocity * 1e-5);

    // FREQ in rad/sec: 1 rad/sec is 1 / (2 pi) Hz, where the displacement gain is 2 pi
    // times larger again (the velocity response is flat there to a tenth of a percent).
    f.freqUnitText = "rad/sec";
    window->freqUnitChanged();
    EXPECT_NEAR(number(f.calib), velocity, velocity * 1e-2);

    // Editing FREQ computes it again, so that FREQ is never written with the sensitivity of
    // another frequency: where the velocity response is flat, the displacement gain grows
    // with the frequency, and CALIB (nanometres per count) falls with it.
    f.freqUnitText = "Hz";
    window->freqUnitChanged();
    const double displacement = number(f.calib);
    f.calper = "2";
    window->calperEdited();
    EXPECT_NEAR(number(f.calib), displacement / 2, displacement * 1e-2);
    f.calper = "0,5";
    window->calperEdited();
    EXPECT_NEAR(number(f.calib), 2 * displacement, displacement * 1e-2);
    // No frequency yet: nothing is computed and nothing said.
    const std::string before = f.calib;
    for (const char* unusable : {"0", "", "-", "2x", "nan"}) {
        f.calper = unusable;
        window->calperEdited();
        EXPECT_EQ(f.calib, before) << unusable;
    }
    EXPECT_TRUE(ui.messages().empty());
}

TEST_P(MainRoad, AFapTextIsComputedAgainWhenFreqIsEdited) {
    start();
    // Two columns: a zero phase is added before the triplets are formatted.
    const std::string path = file("two.fap", "title\r\n0.5 4.0\r\n1.0 2.0\r\n4.0 1.0\r\n");
    load(path, LoadedFileKind::FapOrv);
    FilePanel& f = window->file;
    EXPECT_EQ(f.fileLabel, "  two.fap (FAP)");
    EXPECT_EQ(f.loadedKind, LoadedFileKind::FapOrv);
    EXPECT_EQ(f.text.substr(0, 36), " 0.5000000  4.0000000e+000  0.0\r\n 1.");
    EXPECT_EQ(f.calib, "5e+017"); // at 1.0: 1e18 / 2

    f.calper = "0,75";
    window->calperEdited();
    EXPECT_EQ(f.calib, "3.33333e+017"); // a decimal comma: between 0.5 and 1, the mean 3
    f.calper = "2";
    window->calperEdited();
    EXPECT_EQ(f.calib, "6.66667e+017"); // between 1 and 4: the mean amplitude 1.5
    for (const char* unusable : {".5", "0", "", "0x2", "inf", "nan"}) {
        f.calper = unusable;
        window->calperEdited();
        EXPECT_EQ(f.calib, "6.66667e+017") << unusable;
    }
    EXPECT_TRUE(ui.messages().empty());
}

TEST_P(MainRoad, FreqIsReadAsTypedAndAFreqThatIsNoNumberComputesNothing) {
    start();
    window->file.calper = "1,0";
    load(kKarc);
    FilePanel& f = window->file;
    const std::string withComma = f.calib;
    f.calper = "1.0";
    window->calibUnitChanged();
    EXPECT_EQ(f.calib, withComma);
    EXPECT_TRUE(ui.messages().empty());

    f.calper = "nan";
    window->calibUnitChanged();
    EXPECT_EQ(f.calib, withComma);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_TRUE(ui.messages()[0].text.starts_with("FREQ (CALPER): "));
}

TEST_P(MainRoad, AConnectionChosenAfterAFailedStartFillsTheUnitLists) {
    int dialogs = 0;
    MainWindow w(
        ui,
        [&](const ConnectionSettings&) -> std::optional<ConnectionChoice> {
            // Cancelled at start-up; the database when chosen from the menu.
            if (dialogs++ == 0)
                return std::nullopt;
            ConnectionSettings s{db.dsn(), db.user(), db.password()};
            OpenResult open = openConnection(s);
            return ConnectionChoice{std::move(open.connection), s};
        },
        dir.path(), dir / "ORV.ini");
    w.formatDialog = window->formatDialog;
    w.startUp({});
    ASSERT_FALSE(w.connected());
    w.chooseConnection();
    ASSERT_TRUE(w.connected());
    EXPECT_EQ(w.file.calibUnitText, "nm/counts*sec");
    EXPECT_EQ(w.file.freqUnitText, "Hz");
    EXPECT_FALSE(w.file.calibUnits.empty());

    formatAnswer = LoadedFileKind::Sac;
    ui.chooseFile(kKarc);
    w.loadFromFile();
    w.file.station = "KARC";
    w.file.channel = "BHZ";
    w.file.time = "2005.01.01 00:00:00";
    w.writeToDatabase();
    EXPECT_EQ(db.scalar("SELECT ID_SENS FROM CALIBRATION"), "1");
    EXPECT_EQ(db.scalar("SELECT FREQ_UNITS FROM ID_FREQ WHERE ID_FREQ=" +
                        db.scalar("SELECT ID_FREQ FROM CALIBRATION")),
              "Hz");
}

TEST_P(MainRoad, HeadersFillTheFieldsWithoutQuestions) {
    start();
    siteChan("ZZZ", "ZZZ", "exported.sac", "2004-02-03 04:05:06");
    const std::string path = file("exported.sac", "# Station KIV\n# Channel BHZ\n# Location 00\n"
                                                  "# Network KZ\n# Time 2003.07.15 08:05:00\n"
                                                  "ZEROS 3\nPOLES 2\n-1 0\n-2 0\nCONSTANT 2\n");
    window->browser.intervalToSelect = "kept";
    load(path);
    const FilePanel& f = window->file;
    EXPECT_TRUE(formatAsked.empty());
    EXPECT_EQ(ui.shown().size(), 1u); // the file choice alone: no look-up, no question
    EXPECT_EQ(f.station, "KIV");
    EXPECT_EQ(f.channel, "BHZ");
    EXPECT_EQ(f.location, "00");
    EXPECT_EQ(f.network, "KZ");
    EXPECT_EQ(f.time, "2003.07.15 08:05:00");
    EXPECT_EQ(f.text.rfind("ZEROS 3\r\n", 0), 0u);
    EXPECT_EQ(window->browser.intervalToSelect, "kept");

    // The older three-line header keeps network and location.
    load(file("old.sac", "# Station ABC\n# Channel SHZ\n# Time 2001.01.01 00:00:00\n"
                         "ZEROS 1\nPOLES 1\n-1 0\nCONSTANT 1\n"));
    EXPECT_EQ(f.station, "ABC");
    EXPECT_EQ(f.network, "KZ");
    EXPECT_EQ(f.location, "00");

    // A GSE2 calibration line with ORV amplitudes.
    std::string cal2 = "CAL2 KIV   SHZ";
    cal2.resize(57, ' ');
    std::string fap2 = "FAP2 0  C               2";
    fap2.resize(28, ' ');
    load(file("g.fap", cal2 + "2005.01.01 00:00:00\n" + fap2 + "ORV FAP Triplets 2\n1.0 2.0 0\n"));
    EXPECT_EQ(f.station, "KIV");
    EXPECT_EQ(f.channel, "SHZ");
    EXPECT_EQ(f.time, "2005.01.01 00:00:00");
    EXPECT_EQ(f.loadedKind, LoadedFileKind::FapOrv);
    EXPECT_TRUE(formatAsked.empty());
}

TEST_P(MainRoad, CancellingChangesNothingAndAPoleZeroTextAsFapIsRefused) {
    start();
    FilePanel& f = window->file;
    f.station = "KEEP";
    ui.chooseFile(std::nullopt);
    window->loadFromFile();
    load(kKarc, std::nullopt); // the format question cancelled
    EXPECT_EQ(f.station, "KEEP");
    EXPECT_FALSE(f.writeEnabled);
    EXPECT_FALSE(f.fileLabelVisible);
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_FALSE(window->busy);

    load(file("missing/none.sac", ""));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].icon, Icon::Stop);
    EXPECT_EQ(f.station, "KEEP");
    ui.clear();

    // A pole-zero text below a comment line, named as FAP.
    load(std::string(GAINBOOK_TEST_DATA) + "/obspy_IU_ANMO_BH.sacpz", LoadedFileKind::FapOrv);
    ASSERT_EQ(ui.messageTexts(), std::vector<std::string>{"Неправильный формат данных"});
    EXPECT_EQ(ui.messages()[0].caption, "Ошибка при загрузке файла");
    EXPECT_EQ(f.station, "");
    EXPECT_EQ(f.time, "");
    EXPECT_EQ(f.text, "");
    EXPECT_TRUE(f.writeEnabled);
}

// A file that cannot be read whole changes nothing in the panel and names its line.
TEST_P(MainRoad, AFileWithANulByteOrAPartNumberIsRefusedNamingItsLine) {
    start();
    FilePanel& f = window->file;
    f.station = "KEEP";
    load(file("nul.sac", std::string("# Station NU\0LLX\n# Channel BHZ\nZEROS 0\n", 39)));
    ASSERT_EQ(ui.messageTexts(), std::vector<std::string>{"Строка 1 файла: управляющий символ "
                                                          "(код 0); файл не загружен"});
    EXPECT_EQ(ui.messages()[0].caption, "Ошибка при загрузке файла");
    ui.clear();
    load(file("comma.sac", "# Station ABC\n# Channel BHZ\n# Time 2001.01.01 00:00:00\n"
                           "ZEROS 0\nPOLES 0\nCONSTANT 4,540182e+20\n"));
    ASSERT_EQ(ui.messageTexts(), std::vector<std::string>{"Строка 6 файла: число записано "
                                                          "неправильно; файл не загружен"});
    EXPECT_EQ(f.station, "KEEP");
    EXPECT_EQ(f.text, "");
    EXPECT_FALSE(f.writeEnabled);
}

TEST_P(MainRoad, AWrittenResponseIsShownSelectedInTheDatabasePanel) {
    start();
    load(kKarc);
    FilePanel& f = window->file;
    f.station = "KARC";
    f.channel = "BHZ";
    f.time = "2005.01.01 00:00:00";
    window->writeToDatabase();
    EXPECT_EQ(ui.messageTexts(),
              std::vector<std::string>{"Запись прошла успешно!\nСеть не указана, записано под "
                                       "сетью XYN: XYN KARC BHZ ??"});
    EXPECT_EQ(rows(), 1u);

    const ResponseBrowser& b = window->browser;
    EXPECT_EQ(b.stations.selectedText(), "KARC");
    EXPECT_EQ(b.networks.selectedText(), "XYN");
    EXPECT_EQ(b.channels.selectedText(), "BHZ");
    EXPECT_EQ(b.locations.selectedText(), "??");
    EXPECT_EQ(b.intervals.selectedText(), "2005.01.01 00:00:00");
    EXPECT_EQ(b.sensValue, text::format("%lg", 1e9 / number(f.calib)));
    EXPECT_EQ(b.freqValue, "1");
    EXPECT_EQ(b.sensLabel, "SENS (counts*sec/m)");
    EXPECT_EQ(b.freqLabel, "FREQ (Hz)");
    EXPECT_EQ(b.storedText.rfind("ZEROS 4\r\n-999.0260  0.0000\r\n", 0), 0u);
    EXPECT_FALSE(window->busy);

    // An older closed interval of the same key goes through the interval dialog; the
    // panel then shows that interval, not the newest.
    ui.clear();
    f.time = "2001.01.01 00:00:00 / 2002.01.01 00:00:00";
    std::vector<std::string> listed;
    intervalAnswer = [&](IntervalChoiceDialog& d) {
        listed = d.entries;
        EXPECT_EQ(d.startEdit, "2001.01.01 00:00:00");
        EXPECT_EQ(d.endEdit, "2002.01.01 00:00:00");
        d.write();
        return true;
    };
    window->writeToDatabase();
    EXPECT_EQ(intervalDialogs, 1);
    EXPECT_EQ(listed, std::vector<std::string>{"2005.01.01 00:00:00 / до настоящего времени"});
    EXPECT_EQ(rows(), 2u);
    EXPECT_EQ(b.intervals.entries,
              (std::vector<std::string>{"2005.01.01 00:00:00",
                                        "2001.01.01 00:00:00 / 2002.01.01 00:00:00"}));
    EXPECT_EQ(b.intervals.selected, 1);

    // Cancelled: nothing written, the panel as it was.
    ui.clear();
    f.time = "2007.01.01 00:00:00";
    intervalAnswer = nullptr;
    window->writeToDatabase();
    EXPECT_EQ(rows(), 2u);
    EXPECT_EQ(b.intervals.selected, 1);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_P(MainRoad, MissingFieldsAreRefusedBeforeTheDatabase) {
    start();
    load(kKarc);
    window->file.station = "KARC";
    window->file.channel = "";
    window->file.time = "2005.01.01 00:00:00";
    window->writeToDatabase();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
              "Для занесения в базу необходимо заполнить поля Станция, Канал и Время!");
    EXPECT_EQ(rows(), 0u);
    EXPECT_TRUE(window->browser.stations.empty());
}

TEST_P(MainRoad, AMissedChannelAtStartOpensTheFileChoiceAtOnce) {
    // A station with no response at all, in an empty table: the file choice at once.
    ui.chooseFile(std::nullopt);
    start({"NEW:BHZ:00"});
    EXPECT_TRUE(window->browser.startSelectionMissed);
    EXPECT_TRUE(ui.allAnswersUsed());

    db.exec("INSERT INTO CALIBRATION (NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS,ID_SENS,FREQ,"
            "ID_FREQ) VALUES ('KZ','00','KARC','BHZ',{ts '2003-01-01 00:00:00'},2,1,1,0)");
    const auto startWith = [&](MainWindow& w, const std::string& selection) {
        w.formatDialog = window->formatDialog;
        w.startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ", selection});
    };

    // The channel is there: nothing to load.
    MainWindow found(ui, {}, dir.path(), dir / "ORV.ini");
    startWith(found, "karc:bhz:00");
    EXPECT_FALSE(found.browser.startSelectionMissed);
    EXPECT_EQ(found.browser.channels.selectedText(), "BHZ");
    EXPECT_EQ(found.browser.sensValue, "2");
    EXPECT_TRUE(ui.shown().empty());

    // Another channel of the station: the file choice follows the fill.
    MainWindow missed(ui, {}, dir.path(), dir / "ORV.ini");
    ui.chooseFile(kKarc);
    formatAnswer = LoadedFileKind::Sac;
    startWith(missed, "KARC:BHN:00");
    EXPECT_TRUE(missed.browser.startSelectionMissed);
    EXPECT_EQ(missed.browser.channels.selectedText(), "BHZ");
    ASSERT_FALSE(ui.shown().empty());
    EXPECT_EQ(ui.shown().front().kind, ScriptedInteraction::Shown::Kind::OpenFile);
    EXPECT_EQ(missed.file.fileLabel, "  obspy_SAC_PZs_KARC_BHZ (SAC)");
    EXPECT_TRUE(ui.allAnswersUsed());

    // A station that is not stored, though another one is: missed too.
    ui.clear();
    MainWindow unknown(ui, {}, dir.path(), dir / "ORV.ini");
    ui.chooseFile(std::nullopt);
    startWith(unknown, "NEW:BHZ:00");
    EXPECT_TRUE(unknown.browser.startSelectionMissed);
    EXPECT_EQ(unknown.browser.stations.selectedText(), "KARC");
    EXPECT_TRUE(ui.allAnswersUsed());

    // Codes as wide as their columns are selected whole; a longer one is refused, not cut
    // into another station's code, and nothing is loaded.
    db.exec("INSERT INTO CALIBRATION (NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS,ID_SENS,FREQ,"
            "ID_FREQ) VALUES ('KZ','LOCATIO8','KARCKARC','CHANNEL8',{ts '2003-01-01 00:00:00'},"
            "3,1,1,0)");
    ui.clear();
    MainWindow wide(ui, {}, dir.path(), dir / "ORV.ini");
    startWith(wide, "KARCKARC:CHANNEL8:LOCATIO8");
    EXPECT_FALSE(wide.browser.startSelectionMissed);
    EXPECT_EQ(wide.browser.locations.selectedText(), "LOCATIO8");
    EXPECT_EQ(wide.browser.sensValue, "3");
    MainWindow tooLong(ui, {}, dir.path(), dir / "ORV.ini");
    startWith(tooLong, "KARCKARCX:CHANNEL8:LOCATIO8");
    EXPECT_EQ(ui.messageTexts(),
              std::vector<std::string>{"Станция в командной строке: код должен быть не длиннее 8 "
                                       "символов, а в \"KARCKARCX\" их 9.\r\nКанал из командной "
                                       "строки не выбран."});
    EXPECT_FALSE(tooLong.browser.startSelectionMissed);
    EXPECT_EQ(tooLong.browser.stations.selectedText(), "KARC");
    EXPECT_EQ(ui.shown().size(), 1u); // no file choice
}

TEST_P(MainRoad, ANewConnectionFillsThePanelAgain) {
    TestDatabase other(GetParam());
    int dialogs = 0;
    MainWindow w(
        ui,
        [&](const ConnectionSettings&) -> std::optional<ConnectionChoice> {
            ++dialogs;
            ConnectionSettings s{other.dsn(), other.user(), other.password()};
            OpenResult open = openConnection(s);
            if (!open.connection)
                return std::nullopt;
            return ConnectionChoice{std::move(open.connection), s};
        },
        dir.path(), dir / "ORV.ini");
    w.startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ"});
    ASSERT_TRUE(w.connected());
    EXPECT_TRUE(w.browser.stations.empty());

    // The other database already holds a response written by this window.
    {
        MainWindow writer(ui, {}, dir.path(), dir / "ORV.ini");
        writer.startUp({"ODBC=" + other.dsn(), "USER=ORV", "PASSWORD=KTZ"});
        ASSERT_TRUE(writer.connected());
        writer.formatDialog = [](FileFormatDialog& d) { return std::optional(d.result()); };
        ui.chooseFile(kKarc);
        writer.loadFromFile();
        writer.file.station = "NEW";
        writer.file.channel = "HHZ";
        writer.file.time = "2010.05.05 05:05:05";
        writer.writeToDatabase();
    }
    w.chooseConnection();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(w.browser.stations.entries, std::vector<std::string>{"NEW"});
    EXPECT_EQ(w.browser.intervals.selectedText(), "2010.05.05 05:05:05");
}

INSTANTIATE_TEST_SUITE_P(Backends, MainRoad, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

TEST(FileFormatQuestion, PreselectsSacOrFapOnlyAndYieldsTheCheckedKind) {
    FileFormatDialog any;
    EXPECT_TRUE(any.sacVisible);
    EXPECT_EQ(any.result(), LoadedFileKind::Sac);
    any.check(LoadedFileKind::FapGse2);
    EXPECT_EQ(any.result(), LoadedFileKind::FapGse2);
    FileFormatDialog fapOnly(true);
    EXPECT_FALSE(fapOnly.sacVisible);
    EXPECT_FALSE(fapOnly.sacChecked);
    EXPECT_EQ(fapOnly.result(), LoadedFileKind::FapOrv);
}

TEST(WithoutAConnection, AFileStillLoadsButNothingIsWritten) {
    ScriptedInteraction ui;
    TempDir dir;
    MainWindow w(ui, {}, dir.path(), dir / "ORV.ini");
    w.formatDialog = [](FileFormatDialog& d) { return std::optional(d.result()); };
    ui.chooseFile(kKarc);
    w.loadFromFile();
    EXPECT_TRUE(w.file.writeEnabled);
    EXPECT_FALSE(w.file.calib.empty());
    w.file.station = "KARC";
    w.file.channel = "BHZ";
    w.file.time = "2005.01.01 00:00:00";
    w.writeToDatabase();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].icon, Icon::Exclamation);
    EXPECT_TRUE(w.browser.stations.empty());
}
