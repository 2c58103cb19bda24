// The start of the main window against real databases: where the connection comes from,
// the captions of failed connections, the schema check and the unit lists, and what is
// offered on exit.
#include "mainwindow.h"

#include "testdb.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::gainbook;
using orv::test::Backend;
using orv::test::ScopedCurrentDir;
using orv::test::TempDir;
using orv::test::TestDatabase;
using orv::ui::Answer;
using orv::ui::Icon;
using orv::ui::ScriptedInteraction;

namespace {

// A connection dialog that records how it was opened and answers with a connection to
// the given database, or cancels.
struct FakeDialog {
    const TestDatabase* db = nullptr;
    std::vector<ConnectionSettings> calls;

    ConnectionDialogRunner runner() {
        return [this](const ConnectionSettings& initial) -> std::optional<ConnectionChoice> {
            calls.push_back(initial);
            if (!db)
                return std::nullopt;
            ConnectionSettings s{db->dsn(), db->user(), db->password()};
            OpenResult open = openConnection(s);
            if (!open.connection)
                return std::nullopt;
            return ConnectionChoice{std::move(open.connection), s};
        };
    }
};

class MainWindowStart : public testing::TestWithParam<Backend> {
protected:
    TempDir dir;
    std::filesystem::path localDir() const { return dir.path(); }
    std::filesystem::path systemFile() const { return dir / "ORV.ini"; }
};

std::vector<std::string> captions(const ScriptedInteraction& ui) {
    std::vector<std::string> out;
    for (const auto& m : ui.messages())
        out.push_back(m.caption);
    return out;
}

} // namespace

TEST_P(MainWindowStart, CommandLineConnectsInUpperCaseAndCreatesTheTables) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    ScriptedInteraction ui;
    FakeDialog dialog;
    MainWindow w(ui, dialog.runner(), localDir(), systemFile());
    std::string lower = db.dsn();
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    w.startUp({"ODBC=" + lower, "USER=orv", "PASSWORD=ktz", "Kur:bHz:00"});

    ASSERT_TRUE(w.connected()) << testing::PrintToString(ui.messageTexts());
    EXPECT_TRUE(dialog.calls.empty());
    EXPECT_EQ(w.settings.user, "ORV");
    EXPECT_EQ(w.settings.password, "KTZ");
    EXPECT_EQ(w.title,
              "Gainbook   Источник данных: " + w.settings.dataSource + ", Пользователь: ORV");
    EXPECT_EQ(w.settingsSource, SettingsSource::CommandLineOrDialog);
    EXPECT_EQ(w.dbmsKind, GetParam() == Backend::SQLite       ? DbmsKind::SQLite
                          : GetParam() == Backend::PostgreSQL ? DbmsKind::PostgreSql
                                                              : DbmsKind::MySql);
    EXPECT_TRUE(w.browser.startSelectionRequested);
    EXPECT_EQ(w.browser.stationToSelect, "Kur");
    EXPECT_EQ(w.browser.channelToSelect, "bHz");

    // Four questions answered Yes, then the unit lists with their preferred entries.
    EXPECT_EQ(ui.messages().size(), 8u);
    EXPECT_EQ(w.file.calibUnits.entries,
              (std::vector<std::string>{"nm/counts", "nm/counts*sec", "nm/counts*sec**2"}));
    EXPECT_EQ(w.file.calibUnitText, "nm/counts*sec");
    EXPECT_EQ(w.file.freqUnits.entries, (std::vector<std::string>{"Hz", "rad/sec"}));
    EXPECT_EQ(w.file.freqUnitText, "Hz");
    EXPECT_EQ(w.file.calper, "1.0");
    EXPECT_FALSE(w.file.writeEnabled);
    EXPECT_TRUE(w.browser.browseByStation);
    EXPECT_TRUE(w.browser.viewSac);

    // Started from the command line: nothing is offered on exit.
    EXPECT_TRUE(w.close(localDir()).closesAtOnce());
    EXPECT_FALSE(w.connected());
}

TEST_P(MainWindowStart, LocalFileComesBeforeTheSystemFile) {
    TestDatabase local(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(local);
    TestDatabase system(GetParam());
    writeConnectionSettings(localSettingsPath(localDir()), {local.dsn(), "ORV", "KTZ"});
    writeConnectionSettings(systemFile(), {system.dsn(), "ORV", "KTZ"});
    ScriptedInteraction ui;
    FakeDialog dialog;
    MainWindow w(ui, dialog.runner(), localDir(), systemFile());
    w.startUp({"KUR"});
    ASSERT_TRUE(w.connected());
    EXPECT_EQ(w.settings.dataSource, local.dsn());
    EXPECT_EQ(w.settingsSource, SettingsSource::LocalFile);
    EXPECT_EQ(w.startupDataSource, local.dsn());
    EXPECT_EQ(w.browser.stationToSelect, "KUR");
    EXPECT_TRUE(dialog.calls.empty());
}

TEST_P(MainWindowStart, AFailedLocalFileLeadsToTheDialogNotToTheSystemFile) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    writeConnectionSettings(localSettingsPath(localDir()), {"NO_SUCH_SOURCE", "ORV", "KTZ"});
    writeConnectionSettings(systemFile(), {db.dsn(), "ORV", "KTZ"});
    ScriptedInteraction ui;
    FakeDialog dialog;
    dialog.db = &db;
    MainWindow w(ui, dialog.runner(), localDir(), systemFile());
    w.startUp({});
    ASSERT_FALSE(ui.messages().empty());
    const auto first = ui.messages().front();
    EXPECT_EQ(first.caption, "Ошибка при подключении к базе данных (файл Gainbook.ini)");
    EXPECT_EQ(first.icon, Icon::Exclamation);
    EXPECT_EQ(first.text.rfind("При попытке подключения к базе данных произошла ошибка:\r\n", 0),
              0u);
    ASSERT_EQ(dialog.calls.size(), 1u);
    EXPECT_EQ(dialog.calls[0], ConnectionSettings{}); // the dialog starts empty
    ASSERT_TRUE(w.connected());
    EXPECT_EQ(w.settingsSource, SettingsSource::CommandLineOrDialog);
}

TEST_P(MainWindowStart, AFailedSystemFileNamesOrvIni) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    writeConnectionSettings(systemFile(), {"NO_SUCH_SOURCE", "ORV", "KTZ"});
    ScriptedInteraction ui;
    FakeDialog dialog; // cancelled
    MainWindow w(ui, dialog.runner(), localDir(), systemFile());
    w.startUp({});
    EXPECT_EQ(captions(ui),
              (std::vector<std::string>{"Ошибка при подключении к базе данных (файл ORV.ini)"}));
    EXPECT_EQ(dialog.calls.size(), 1u);
    EXPECT_FALSE(w.connected());
    EXPECT_EQ(w.title, "Gainbook");
    // Cancelled again from the menu: nothing changes.
    w.chooseConnection();
    EXPECT_EQ(dialog.calls.size(), 2u);
    EXPECT_FALSE(w.connected());
    EXPECT_EQ(w.title, "Gainbook");
    EXPECT_TRUE(w.close(localDir()).closesAtOnce());
}

TEST_P(MainWindowStart, ACommandLineFailureUsesTheLocalCaptionAndSkipsBothFiles) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    writeConnectionSettings(localSettingsPath(localDir()), {db.dsn(), "ORV", "KTZ"});
    ScriptedInteraction ui;
    FakeDialog dialog;
    MainWindow w(ui, dialog.runner(), localDir(), systemFile());
    w.startUp({"ODBC=NO_SUCH_SOURCE"});
    EXPECT_EQ(captions(ui), (std::vector<std::string>{
                                "Ошибка при подключении к базе данных (файл Gainbook.ini)"}));
    EXPECT_EQ(dialog.calls.size(), 1u);
    EXPECT_FALSE(w.connected());
}

TEST_P(MainWindowStart, NothingGivenOpensTheDialogAtOnce) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    ScriptedInteraction ui;
    FakeDialog dialog;
    dialog.db = &db;
    MainWindow w(ui, dialog.runner(), localDir(), systemFile());
    ui.setDefaultAnswerNegative(true); // every table declined
    w.startUp({});
    EXPECT_EQ(dialog.calls.size(), 1u);
    // A declined table: the connection is closed again and the lists stay empty.
    EXPECT_FALSE(w.connected());
    EXPECT_TRUE(w.file.calibUnits.entries.empty());
    EXPECT_EQ(w.title, "Gainbook   Источник данных: " + db.dsn() + ", Пользователь: ORV");
}

TEST_P(MainWindowStart, ASystemFileStartThenAnotherSourceOffersBothFiles) {
    TestDatabase first(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(first);
    TestDatabase second(GetParam());
    writeConnectionSettings(systemFile(), {first.dsn(), "ORV", "KTZ"});
    ScriptedInteraction ui;
    FakeDialog dialog;
    dialog.db = &second;
    MainWindow w(ui, dialog.runner(), localDir(), systemFile());
    w.startUp({});
    ASSERT_TRUE(w.connected());
    EXPECT_EQ(w.settingsSource, SettingsSource::SystemFile);
    EXPECT_TRUE(dialog.calls.empty());

    ui.clear();
    w.chooseConnection();
    ASSERT_EQ(dialog.calls.size(), 1u);
    EXPECT_EQ(dialog.calls[0].dataSource, first.dsn()); // opened with the current settings
    EXPECT_EQ(w.settings.dataSource, second.dsn());
    EXPECT_EQ(w.title, "Gainbook   Источник данных: " + second.dsn() + ", Пользователь: ORV");
    EXPECT_EQ(ui.messages().size(), 8u); // the new database was brought into shape
    EXPECT_EQ(w.startupDataSource, first.dsn());

    TempDir elsewhere;
    SaveSettingsDialog save = w.close(elsewhere.path());
    EXPECT_FALSE(save.closesAtOnce());
    EXPECT_TRUE(save.localSelected());
    EXPECT_TRUE(save.systemEnabled());
    ASSERT_TRUE(save.save());
    // Written where the current directory is at the moment of closing.
    EXPECT_EQ(readConnectionSettings(elsewhere / "Gainbook.ini").dataSource, second.dsn());
    EXPECT_FALSE(std::filesystem::exists(localSettingsPath(localDir())));
}

TEST_P(MainWindowStart, AnUnreadableUnitTableStopsTheStartWithItsBox) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    // Without CALIB_UNITS; with its key, so that CALIBRATION can refer to it.
    db.exec("CREATE TABLE ID_SENS (ID_SENS INT NOT NULL PRIMARY KEY, SENS_UNITS VARCHAR(50))");
    ScriptedInteraction ui;
    FakeDialog dialog;
    dialog.db = &db;
    MainWindow w(ui, dialog.runner(), localDir(), systemFile());
    w.startUp({});
    ASSERT_FALSE(ui.messages().empty());
    const auto last = ui.messages().back();
    EXPECT_EQ(last.caption, "Чтение таблицы ID_SENS");
    EXPECT_EQ(last.icon, Icon::Stop);
    EXPECT_EQ(
        last.text.rfind("При попытке получения данных из таблицы ID_SENS произошла ошибка:\r\n", 0),
        0u);
    EXPECT_TRUE(w.file.freqUnits.entries.empty()); // the start stopped before ID_FREQ
    EXPECT_TRUE(w.connected());
}

INSTANTIATE_TEST_SUITE_P(Backends, MainWindowStart, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

TEST(MainWindowClose, EscapeClosesOnlyAfterASystemCommandAndEnterNever) {
    ScriptedInteraction ui;
    MainWindow w(ui, {}, ".", "ORV.ini");
    EXPECT_FALSE(w.acceptsCancel());
    EXPECT_FALSE(w.acceptsOk());
    w.systemCommand();
    EXPECT_TRUE(w.acceptsCancel());
    EXPECT_FALSE(w.acceptsOk());
}

TEST(UnitLists, KeepAlphabeticalOrderAndSelectByPrefix) {
    ChoiceList list;
    for (const char* u : {"nm/counts*sec**2", "Pa/counts", "nm/counts*sec", "nm/counts"})
        list.add(u);
    EXPECT_EQ(list.entries, (std::vector<std::string>{"nm/counts", "nm/counts*sec",
                                                      "nm/counts*sec**2", "Pa/counts"}));
    EXPECT_EQ(list.findPrefix("NM/COUNTS*SEC"), 1);
    EXPECT_EQ(list.findPrefix("Hz"), -1);
}
