// The database panel's actions on the stored history, without a display, against real
// databases: the date editor started from the panel's key, deleting with its questions and
// the refill, and the stored response written to a file and loaded back.
#include "mainwindow.h"

#include "../db/tests/responsetables.h"
#include "formats/exportfile.h"
#include "testdb.h"
#include "text/text.h"
#include "ui/scripted.h"
#include "unwritablefolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace orv;
using namespace orv::gainbook;
using formats::LoadedFileKind;
using orv::test::Backend;
using orv::test::TempDir;
using orv::test::TestDatabase;
using orv::ui::Answer;
using orv::ui::Icon;
using Strings = std::vector<std::string>;

namespace {

class History : public testing::TestWithParam<Backend> {
protected:
    History() : db(GetParam()) {}

    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        db.createSiteChanTable();
        gainbook::test::createResponseTables(db);
        window =
            std::make_unique<MainWindow>(ui, ConnectionDialogRunner{}, dir.path(), dir / "ORV.ini");
        window->formatDialog = [this](FileFormatDialog& d) -> std::optional<LoadedFileKind> {
            EXPECT_FALSE(d.sacVisible);
            if (flavour)
                d.check(*flavour);
            return flavour ? std::optional(d.result()) : std::nullopt;
        };
    }
    void add(const std::string& net, const std::string& sta, const std::string& chan,
             const std::string& start, const std::string& end, const std::string& sac = "SAC",
             const std::string& fap = "") {
        gainbook::test::insertResponse(db, net, sta, chan, "00", start, end, sac, fap);
    }
    // Starts the window showing the key, the interval at index selected.
    void show(const std::string& net, const std::string& sta, const std::string& chan,
              int interval = 0) {
        window->startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ"});
        ASSERT_TRUE(window->connected()) << testing::PrintToString(ui.messageTexts());
        window->browser.requestSelection(sta, net, chan, "00");
        window->fillDatabasePanel();
        if (interval > 0)
            window->browser.pickInterval(interval);
        ui.clear();
    }
    std::size_t rows() const { return std::stoul(db.scalar("SELECT COUNT(*) FROM CALIBRATION")); }

    TestDatabase db;
    TempDir dir;
    ui::ScriptedInteraction ui;
    std::unique_ptr<MainWindow> window;
    std::optional<LoadedFileKind> flavour = LoadedFileKind::FapOrv;
};

} // namespace

TEST_P(History, TheDateEditorStartsFromThePanelsKeyAndItsChangesShowInThePanel) {
    add("KZ", "KIV", "BHZ", "2001-01-01 00:00:00", "2003-01-01 00:00:00");
    add("KZ", "KIV", "BHZ", "2003-01-01 00:00:00", "");
    add("II", "KIV", "BHZ", "2004-01-01 00:00:00", "");
    add("KZ", "ABC", "SHZ", "2002-01-01 00:00:00", "");
    show("KZ", "KIV", "BHZ");
    bool shown = false;
    window->dateEditorDialog = [&](DateEditorDialog& d) {
        shown = true;
        // The panel's key, the oldest interval chosen with its dates in the edits.
        EXPECT_EQ(d.stations.selectedText(), "KIV");
        EXPECT_EQ(d.networks.selectedText(), "KZ");
        EXPECT_EQ(d.channels.selectedText(), "BHZ");
        EXPECT_EQ(d.locations.selectedText(), "00");
        EXPECT_EQ(d.intervals.entries, (Strings{"2001.01.01 00:00:00 / 2003.01.01 00:00:00",
                                                "2003.01.01 00:00:00 / до настоящего времени"}));
        EXPECT_EQ(d.intervals.selected, 0);
        EXPECT_EQ(d.startEdit, "2001.01.01 00:00:00");
        EXPECT_EQ(d.endEdit, "2003.01.01 00:00:00");
        d.pickInterval(1);
        EXPECT_EQ(d.endEdit, "");

        // A start that is no date is refused before any statement, naming the field; a
        // start that collides with another interval is refused by the database, explained
        // and in its words. Either way the dialog stays as it was.
        for (auto [start, said] :
             {std::pair{"2003.02.30 00:00:00", "Новая STARTDATE: "},
              std::pair{"2001.01.01 00:00:00",
                        "У этого канала уже есть интервал, начинающийся 2001.01.01 00:00:00 "
                        "(2001.01.01 00:00:00 / 2003.01.01 00:00:00): дата не изменена.\r\n"}}) {
            ui.clear();
            d.startEdit = start;
            EXPECT_FALSE(d.apply());
            ASSERT_EQ(ui.messages().size(), 1u);
            EXPECT_TRUE(ui.messages()[0].text.starts_with(said)) << ui.messages()[0].text;
            EXPECT_GT(ui.messages()[0].text.size(), std::string(said).size() + 10);
            EXPECT_EQ(ui.messages()[0].caption, "Редактор времени");
            EXPECT_EQ(d.intervals.selected, 1);
            EXPECT_EQ(d.networks.selectedText(), "KZ");
        }

        // The open interval re-dated: the dialog stays on the key and on that interval.
        ui.clear();
        d.startEdit = "2004.06.01 00:00:00";
        EXPECT_TRUE(d.apply());
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].text, "Дата изменена!");
        EXPECT_EQ(ui.messages()[0].icon, Icon::None);
        EXPECT_EQ(ui.messages()[0].caption, "Редактор времени");
        EXPECT_EQ(d.stations.selectedText() + d.networks.selectedText() +
                      d.channels.selectedText() + d.locations.selectedText(),
                  "KIVKZBHZ00");
        EXPECT_EQ(d.intervals.selectedText(), "2004.06.01 00:00:00 / до настоящего времени");

        // Dates that overlap another interval of the key, or leave two open ones, are asked
        // about naming it: Нет changes nothing, Да stores them as given.
        d.pickInterval(0);
        for (auto [end, other] :
             {std::pair{"2005.01.01 00:00:00", "2004.06.01 00:00:00 / до настоящего времени"},
              std::pair{"", "2004.06.01 00:00:00 / до настоящего времени"}}) {
            ui.clear();
            ui.answer(Answer::No);
            d.endEdit = end;
            EXPECT_FALSE(d.apply());
            ASSERT_EQ(ui.messages().size(), 1u);
            EXPECT_EQ(ui.messages()[0].icon, Icon::Question);
            EXPECT_EQ(ui.messages()[0].defaultAnswer, Answer::No); // Enter changes nothing
            EXPECT_NE(ui.messages()[0].text.find(std::string("перекрывает интервал ") + other),
                      std::string::npos)
                << ui.messages()[0].text;
        }
        ui.clear();
        ui.answer(Answer::Yes);
        d.endEdit = "2005.01.01 00:00:00";
        EXPECT_TRUE(d.apply());
        EXPECT_EQ(ui.messageTexts().back(), "Дата изменена!");
        EXPECT_EQ(d.intervals.selectedText(), "2001.01.01 00:00:00 / 2005.01.01 00:00:00");
        EXPECT_EQ(d.networks.selectedText(), "KZ");
        d.endEdit = "2003.01.01 00:00:00";
        EXPECT_TRUE(d.apply());
    };
    window->openDateEditor();
    ASSERT_TRUE(shown);
    const ResponseBrowser& b = window->browser;
    EXPECT_EQ(b.networks.selectedText(), "KZ");
    EXPECT_EQ(b.intervals.entries,
              (Strings{"2004.06.01 00:00:00", "2001.01.01 00:00:00 / 2003.01.01 00:00:00"}));
    EXPECT_EQ(b.intervals.selected, 0);
    EXPECT_EQ(rows(), 4u);
}

TEST_P(History, TheDateEditorFindsAKeyWithAnEmptyLocationAndNoOtherKey) {
    add("AA", "AAA", "BHZ", "2001-01-01 00:00:00", "");
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS,ID_SENS,FREQ,"
            "ID_FREQ,SAC,LDDATE) VALUES('KZ','','KIV','BHZ',{ts '2003-01-01 00:00:00'},1,1,1,0,"
            "'SAC',{ts '2020-01-01 00:00:00'})");
    window->startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ"});
    ASSERT_TRUE(window->connected());
    window->browser.requestSelection("KIV", "KZ", "BHZ", "");
    window->fillDatabasePanel();
    ASSERT_EQ(window->browser.currentKey().location, "");
    bool shown = false;
    window->dateEditorDialog = [&](DateEditorDialog& d) {
        shown = true;
        EXPECT_EQ(d.stations.selectedText() + "|" + d.networks.selectedText() + "|" +
                      d.channels.selectedText() + "|" + d.locations.selectedText(),
                  "KIV|KZ|BHZ|");
        EXPECT_EQ(d.intervals.selectedText(), "2003.01.01 00:00:00 / до настоящего времени");
        d.startEdit = "2004.01.01 00:00:00";
        EXPECT_TRUE(d.apply());
    };
    window->openDateEditor();
    ASSERT_TRUE(shown);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION WHERE STA = 'AAA' AND STARTDATE = {ts "
                        "'2001-01-01 00:00:00'}"),
              "1");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION WHERE STA = 'KIV' AND STARTDATE = {ts "
                        "'2004-01-01 00:00:00'}"),
              "1");
}

TEST_P(History, DeletingAsksThenShowsTheSameKeyOrTheNearestOne) {
    add("KZ", "KIV", "BHZ", "2001-01-01 00:00:00", "2003-01-01 00:00:00");
    add("KZ", "KIV", "BHZ", "2003-01-01 00:00:00", "2005-01-01 00:00:00", "SAC", "FAP");
    add("KZ", "KIV", "BHZ", "2005-01-01 00:00:00", "");
    add("KZ", "KIV", "SHZ", "2004-01-01 00:00:00", "");
    show("KZ", "KIV", "BHZ", 1);
    ResponseBrowser& b = window->browser;
    ASSERT_EQ(b.intervals.selectedText(), "2003.01.01 00:00:00 / 2005.01.01 00:00:00");

    // Cancel, or No twice: nothing changes.
    ui.answer(Answer::Cancel);
    window->deleteFromDatabase();
    ui.answer(Answer::No);
    ui.answer(Answer::No);
    window->deleteFromDatabase();
    // The questions name the record under their words.
    const std::string shown = "\nСеть KZ, станция KIV, канал BHZ, локация 00, интервал "
                              "2003.01.01 00:00:00 / 2005.01.01 00:00:00";
    EXPECT_EQ(ui.messageTexts(), (Strings{"Вы хотите удалить запись полностью?" + shown,
                                          "Вы хотите удалить запись полностью?" + shown,
                                          "Вы хотите очистить поле SAC?" + shown}));
    EXPECT_EQ(ui.messages()[0].buttons, ui::Buttons::YesNoCancel);
    EXPECT_EQ(ui.messages()[0].caption, "Удаление из базы");
    // Enter deletes nothing: Нет is the default of both questions.
    EXPECT_EQ(ui.messages()[0].defaultAnswer, Answer::No);
    EXPECT_EQ(ui.messages()[2].defaultAnswer, Answer::No);
    EXPECT_EQ(rows(), 4u);

    // Emptying FAP in the FAP view: the same record is shown again, now without a text.
    b.chooseView(false);
    ui.clear();
    ui.answer(Answer::No);
    ui.answer(Answer::Yes);
    window->deleteFromDatabase();
    EXPECT_EQ(ui.messageTexts(),
              (Strings{"Вы хотите удалить запись полностью?" + shown,
                       "Вы хотите очистить поле FAP?" + shown, "Запись успешно удалена!"}));
    EXPECT_EQ(ui.messages()[2].icon, Icon::Information);
    EXPECT_EQ(b.intervals.selected, 1);
    EXPECT_EQ(b.storedText, "");
    EXPECT_EQ(rows(), 4u);

    // The whole record: the next older interval is shown.
    ui.clear();
    window->deleteFromDatabase();
    EXPECT_EQ(ui.messageTexts().back(), "Запись успешно удалена!");
    EXPECT_EQ(b.intervals.selectedText(), "2001.01.01 00:00:00 / 2003.01.01 00:00:00");
    EXPECT_EQ(rows(), 3u);

    // The only interval of a channel: the channel is gone, the first one left is shown.
    b.pickChannel(1);
    ASSERT_EQ(b.channels.selectedText(), "SHZ");
    window->deleteFromDatabase();
    EXPECT_EQ(b.channels.entries, Strings{"BHZ"});
    EXPECT_EQ(b.channels.selectedText(), "BHZ");
    EXPECT_TRUE(b.startSelectionMissed);
    EXPECT_EQ(b.intervals.selected, 0);
    EXPECT_FALSE(window->busy);

    // A record deleted meanwhile by someone else: said so, and the panel refilled.
    db.exec("DELETE FROM CALIBRATION WHERE STARTDATE={ts '2005-01-01 00:00:00'}");
    ui.clear();
    window->deleteFromDatabase();
    EXPECT_EQ(ui.messageTexts().back(), "В базе нет такой записи: ничего не изменено.");
    EXPECT_EQ(b.intervals.entries, Strings{"2001.01.01 00:00:00 / 2003.01.01 00:00:00"});
}

TEST_P(History, AStoredResponseWrittenToAFileLoadsBackAsItWas) {
    std::ifstream karc(std::string(GAINBOOK_TEST_DATA) + "/obspy_SAC_PZs_KARC_BHZ");
    std::string sac;
    for (std::string line; std::getline(karc, line);)
        sac += line + "|"; // as the editor stores a text
    const std::string fap = " 1.0000000  2.0000000e+009  0.0| 2.0000000  4.0000000e+009  0.0|";
    add("KZ", "KARC", "BHZ", "2005-01-31 00:00:00", "2006-01-01 00:00:00", sac, fap);
    show("KZ", "KARC", "BHZ");
    const ResponseBrowser& b = window->browser;
    const std::string sacPath = (dir / "out.sac").string();

    ui.chooseFile(sacPath);
    window->writeStoredToFile();
    ASSERT_EQ(ui.shown().size(), 2u);
    EXPECT_EQ(ui.shown()[0].choice.fileName, "KARC_BHZ_2005jan31");
    // The choice says which text the view writes.
    EXPECT_EQ(ui.shown()[0].choice.title, "Запись в файл: текст SAC (полюса и нули)");
    EXPECT_EQ(ui.shown()[0].choice.filter, formats::kSacSaveFilter);
    EXPECT_EQ(ui.shown()[1].text, "Запись прошла успешно!");
    EXPECT_EQ(ui.shown()[1].icon, Icon::None);

    ui.chooseFile(sacPath);
    window->loadFromFile();
    const FilePanel& f = window->file;
    EXPECT_EQ(f.fileLabel, "  out.sac (SAC)");
    EXPECT_EQ(Strings({f.network, f.station, f.channel, f.location, f.time}),
              Strings({"KZ", "KARC", "BHZ", "00", "2005.01.31 00:00:00 / 2006.01.01 00:00:00"}));
    EXPECT_EQ(f.text, b.storedText);

    // FAP in both flavours loads back as the same ORV text.
    window->browser.chooseView(false);
    for (LoadedFileKind kind : {LoadedFileKind::FapOrv, LoadedFileKind::FapGse2}) {
        flavour = kind;
        const std::string path = (dir / ("out" + std::to_string(int(kind)) + ".fap")).string();
        ui.clear();
        ui.chooseFile(path);
        window->writeStoredToFile();
        EXPECT_EQ(ui.shown()[0].choice.filter, formats::kFapSaveFilter);
        EXPECT_EQ(ui.shown()[0].choice.title, "Запись в файл: текст FAP (таблица АЧХ)");
        EXPECT_EQ(ui.messageTexts(), Strings{"Запись прошла успешно!"});
        ui.chooseFile(path);
        window->loadFromFile();
        EXPECT_EQ(f.text, b.storedText);
        EXPECT_EQ(f.loadedKind, LoadedFileKind::FapOrv);
    }

    // No flavour named: nothing written. A folder that cannot be written: said so.
    flavour.reset();
    ui.clear();
    ui.chooseFile((dir / "none.fap").string());
    window->writeStoredToFile();
    EXPECT_FALSE(std::filesystem::exists(dir / "none.fap"));
    EXPECT_TRUE(ui.messages().empty());
    flavour = LoadedFileKind::FapOrv;
    const orv::test::UnwritableFolder readOnly = orv::test::unwritableFolder(dir);
    ASSERT_FALSE(readOnly.reason.empty());
    ui.clear();
    ui.chooseFile((readOnly.path / "x.fap").string());
    window->writeStoredToFile();
    // The file and the system's reason on the line under the message.
    EXPECT_EQ(ui.messageTexts(),
              Strings{"Ошибка при попытке записи в файл\r\n" + (readOnly.path / "x.fap").string() +
                      ": " + readOnly.reason});
    EXPECT_EQ(ui.messages()[0].caption, "Запись в файл");
    EXPECT_EQ(ui.messages()[0].icon, Icon::Exclamation);
    EXPECT_FALSE(std::filesystem::exists(readOnly.path / "x.fap"));
}

// The key shown, every interval of it and nothing else, with its station, as StationXML; a
// station without its SITE row is said instead of an empty document, and what the export
// reports is said in Russian, a line each, at most five and then how many more.
TEST_P(History, TheKeyShownIsWrittenAsStationXml) {
    const std::string sac = "ZEROS 3|POLES 2|-0.037 0.037|-0.037 -0.037|CONSTANT 6.0e8|";
    add("KZ", "KARC", "BHZ", "2005-01-31 00:00:00", "2006-01-01 00:00:00", sac);
    add("KZ", "KARC", "BHZ", "2006-01-01 00:00:00", "", sac);
    add("KZ", "KARC", "SHZ", "2006-01-01 00:00:00", "", sac);
    show("KZ", "KARC", "BHZ");
    const auto path = dir / "karc.xml";
    ui.chooseFile(path.string());
    window->writeKeyAsStationXml();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Станции нет в таблице SITE: документ без неё пуст.");
    EXPECT_FALSE(std::filesystem::exists(path));

    db.createSiteTable();
    db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME) VALUES('KARC',43.3,77.0,1100,'KARC')");
    ui.clear();
    ui.chooseFile(path.string());
    window->writeKeyAsStationXml();
    ASSERT_EQ(ui.shown().size(), 2u);
    EXPECT_EQ(ui.shown()[0].choice.fileName, "KZ.KARC.00.BHZ.xml");
    // Written, and the stored SENS (1.5) that the text does not give is said.
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text.rfind("Запись прошла успешно!\r\n", 0), 0u);
    EXPECT_NE(ui.messages()[0].text.find("\r\nKZ.KARC.00.BHZ 2005-01-31 00:00:00: SENS 1.5 "
                                         "отличается от чувствительности 6"),
              std::string::npos)
        << ui.messages()[0].text;
    std::ifstream in(path);
    const std::string xml((std::istreambuf_iterator<char>(in)), {});
    std::size_t channels = 0;
    for (auto at = xml.find("<Channel code=\"BHZ\" locationCode=\"00\""); at != std::string::npos;
         at = xml.find("<Channel ", at + 1))
        ++channels;
    EXPECT_EQ(channels, 2u) << xml;
    EXPECT_EQ(xml.find("SHZ"), std::string::npos);
    EXPECT_NE(xml.find("<InstrumentSensitivity>"), std::string::npos);

    // Intervals that overlap, and more problems than the box lists.
    add("KZ", "KARC", "BHZ", "2005-06-01 00:00:00", "2005-07-01 00:00:00", sac);
    for (const char* year : {"2001", "2002", "2003", "2004"})
        add("KZ", "KARC", "BHZ", std::string(year) + "-01-01 00:00:00",
            std::string(year) + "-02-01 00:00:00", sac);
    ui.clear();
    ui.chooseFile(path.string());
    window->writeKeyAsStationXml();
    ASSERT_EQ(ui.messages().size(), 1u);
    const std::string box = ui.messages()[0].text;
    std::vector<std::string> lines;
    for (std::size_t from = 0; from <= box.size();) {
        const std::size_t end = std::min(box.size(), box.find("\r\n", from));
        lines.push_back(box.substr(from, end - from));
        from = end + 2;
    }
    // Seven SENS lines and one overlap: five of them, then the rest counted.
    ASSERT_EQ(lines.size(), 7u) << box;
    EXPECT_EQ(lines[0], "Запись прошла успешно!");
    EXPECT_EQ(lines[6], "и ещё 3");
    db.exec("UPDATE CALIBRATION SET SENS=6e8");
    ui.clear();
    ui.chooseFile(path.string());
    window->writeKeyAsStationXml();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Запись прошла успешно!\r\nKZ.KARC.00.BHZ: интервал "
                                     "2005-01-31 00:00:00 – 2006-01-01 00:00:00 перекрывает "
                                     "интервал 2005-06-01 00:00:00 – 2005-07-01 00:00:00; оба "
                                     "записаны как хранятся");
}

// The choice proposes the whole key (the stored empty location "??" as FDSN's empty one)
// and opens in the folder of the last document, else in the installation's folder; a
// document that cannot be written names its file and the system's reason.
TEST_P(History, TheStationXmlChoiceNamesTheWholeKeyWhereTheLastDocumentWent) {
    db.createSiteTable();
    db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME) VALUES('HO1',43.3,77.0,1100,'HO1')");
    gainbook::test::insertResponse(db, "XX", "HO1", "BHZ", "??", "2005-01-31 00:00:00", "",
                                   "ZEROS 0|POLES 1|-1 0|CONSTANT 1|");
    std::filesystem::create_directories(dir / "inst" / "RESPONSE");
    std::ofstream(dir / "Sitewright.ini") << "[ORV]\nDIR=" << (dir / "inst").string() << "\n";
    window->startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ"});
    ASSERT_TRUE(window->connected());
    ASSERT_EQ(window->browser.currentKey().location, "??");
    ui.clear();

    ui.chooseFile(std::nullopt);
    window->writeKeyAsStationXml();
    ASSERT_EQ(ui.shown().size(), 1u);
    EXPECT_EQ(ui.shown()[0].choice.title, "Запись в StationXML");
    EXPECT_EQ(ui.shown()[0].choice.fileName, "XX.HO1..BHZ.xml");
    EXPECT_EQ(ui.shown()[0].choice.directory, (dir / "inst").string());

    const orv::test::UnwritableFolder readOnly = orv::test::unwritableFolder(dir);
    ASSERT_FALSE(readOnly.reason.empty());
    const std::string refused = (readOnly.path / "XX.HO1..BHZ.xml").string();
    ui.clear();
    ui.chooseFile(refused);
    window->writeKeyAsStationXml();
    EXPECT_EQ(ui.messageTexts(),
              Strings{"Ошибка при попытке записи в файл\r\n" + refused + ": " + readOnly.reason});
    EXPECT_EQ(ui.messages()[0].caption, "Запись в StationXML");

    std::filesystem::create_directory(dir / "out");
    for (int run = 0; run < 2; ++run) {
        ui.clear();
        ui.chooseFile((dir / "out" / "XX.HO1..BHZ.xml").string());
        window->writeKeyAsStationXml();
        EXPECT_EQ(ui.messages().at(0).text.rfind("Запись прошла успешно!", 0), 0u);
    }
    EXPECT_EQ(ui.shown()[0].choice.directory, (dir / "out").string());
}

INSTANTIATE_TEST_SUITE_P(Backends, History, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
