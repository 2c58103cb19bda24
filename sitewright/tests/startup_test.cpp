#include "dialog_fixture.h"

#include "core/app.h"
#include "core/messages.h"
#include "core/startup.h"
#include "ini/inifile.h"
#include "ui/scripted.h"

#include "testdb.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace orv::sitewright;
using orv::test::Backend;
using orv::test::ScopedCurrentDir;
using orv::test::ScopedEnv;
using orv::test::TempDir;
using orv::test::TestDatabase;

TEST(CommandLine, KeywordsAreCaseSensitiveAndFoundAnywhereInAToken) {
    const StartupValues v = parseCommandLine("odbc=x");
    EXPECT_EQ(v.requestedStation, "ODBC=X");
    EXPECT_EQ(v.dsn, "");

    const StartupValues w = parseCommandLine("ODBC=DS1 USER=ivan PASSWORD=secret kiv");
    EXPECT_EQ(w.dsn, "DS1");
    EXPECT_EQ(w.user, "ivan");
    EXPECT_EQ(w.password, "secret");
    EXPECT_EQ(w.requestedStation, "KIV");
    EXPECT_FALSE(w.checkSchema);
}

TEST(CommandLine, SchemaSwitchInEveryAcceptedForm) {
    for (const char* token : {"-CHKDB", "/CHKDB", "-xCHKDB", "CHKDB"})
        EXPECT_TRUE(parseCommandLine(token).checkSchema) << token;
    const StartupValues lower = parseCommandLine("-chkdb");
    EXPECT_FALSE(lower.checkSchema);
    EXPECT_EQ(lower.requestedStation, ""); // a switch that is not known is ignored
}

TEST(CommandLine, EmptyValuesBlanksAndTheLastFreeToken) {
    EXPECT_EQ(parseCommandLine("ODBC=").dsn, "");
    const StartupValues v = parseCommandLine("   first    second  ");
    EXPECT_EQ(v.requestedStation, "SECOND");
    // Only blanks separate tokens.
    EXPECT_EQ(parseCommandLine("a\tb").requestedStation, "A\tB");
    // Cyrillic codes are raised too.
    EXPECT_EQ(parseCommandLine("кив").requestedStation, "КИВ");
}

TEST(CommandLine, OverlongValuesAreCutNeverOverrun) {
    const StartupValues v =
        parseCommandLine("ODBC=" + std::string(50, 'D') + " USER=" + std::string(100, 'u') + " " +
                         std::string(40, 's'));
    EXPECT_EQ(v.dsn, std::string(31, 'D'));
    EXPECT_EQ(v.user, std::string(63, 'u'));
    EXPECT_EQ(v.requestedStation, std::string(19, 'S'));
    // The whole line is cut at 1023 characters: a token beyond it is never seen.
    const StartupValues w = parseCommandLine(std::string(1030, ' ') + "KIV");
    EXPECT_EQ(w.requestedStation, "");
}

class Settings : public testing::Test {
protected:
    void writeFile(const std::filesystem::path& path, const std::string& body) {
        std::ofstream(path) << body;
    }
    TempDir dir;
    std::filesystem::path local = dir / "Sitewright.ini";
    std::filesystem::path shared = dir / "orv.ini";
};

TEST_F(Settings, WithoutCommandLineAndFilesTheDefaultsAreUsed) {
    const ConnectionSettings s = resolveSettings({}, local, shared);
    EXPECT_EQ(s.dsn, "ORV");
    EXPECT_EQ(s.user, "ORV");
    EXPECT_EQ(s.password, "KTZ");
    EXPECT_EQ(connectString(s), "DSN=ORV;UID=ORV;PWD=KTZ;");
}

TEST_F(Settings, EachValueComesFromTheFirstSourceThatGivesOne) {
    writeFile(local, "[database]\nuser=local_user\nPassword=local_pw\n");
    writeFile(shared, "[DATABASE]\nODBC=SHARED\nUSER=shared_user\nPASSWORD=shared_pw\n");
    ConnectionSettings s = resolveSettings({}, local, shared);
    EXPECT_EQ(s.dsn, "SHARED");
    EXPECT_EQ(s.user, "local_user");
    EXPECT_EQ(s.password, "local_pw");

    StartupValues cmd;
    cmd.password = "cmd_pw";
    s = resolveSettings(cmd, local, shared);
    EXPECT_EQ(s.password, "cmd_pw");
    EXPECT_EQ(s.user, "local_user");

    // A key present with an empty value hands over to the shared file.
    writeFile(local, "[DATABASE]\nODBC=\nUSER=\n");
    s = resolveSettings({}, local, shared);
    EXPECT_EQ(s.dsn, "SHARED");
    EXPECT_EQ(s.user, "shared_user");
    EXPECT_EQ(s.password, "KTZ");
}

TEST_F(Settings, TheSharedDataSourceNameIsCutTo31Characters) {
    writeFile(shared, "[DATABASE]\nODBC=" + std::string(40, 'X') + "\n");
    EXPECT_EQ(resolveSettings({}, local, shared).dsn, std::string(31, 'X'));
}

TEST(StartupConnection, AFailureWithTheDriversTextShowsItAfterTheConnectString) {
    orv::test::odbcIniDir(); // the test process's own data sources
    orv::ui::ScriptedInteraction ui;
    ConnectionSettings s;
    s.dsn = "NO_SUCH_SOURCE";
    EXPECT_EQ(openStartupConnection(s, ui), nullptr);
    ASSERT_EQ(ui.messages().size(), 1u);
    const auto m = ui.messages()[0];
    EXPECT_EQ(m.icon, orv::ui::Icon::Stop);
    EXPECT_EQ(m.text.rfind("DSN=NO_SUCH_SOURCE;UID=ORV;PWD=KTZ;\n", 0), 0u) << m.text;
    EXPECT_GT(m.text.size(), std::string("DSN=NO_SUCH_SOURCE;UID=ORV;PWD=KTZ;\n").size());
}

TEST(StartupConnection, TheProgramEndsWithoutTheDialogWhenItCannotConnect) {
    orv::test::odbcIniDir();
    TempDir dir;
    ScopedCurrentDir here(dir.path());
    orv::ui::ScriptedInteraction ui;
    RecordingLauncher launcher;
    bool dialogShown = false;
    const int status =
        runSitewright("ODBC=NO_SUCH_SOURCE KIV", ui, launcher,
                      [&](const DialogContext&, const std::string&) { dialogShown = true; });
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(dialogShown);
    ASSERT_EQ(ui.messages().size(), 1u);
}

class Startup : public testing::TestWithParam<Backend> {
protected:
    Startup() : db(GetParam()) {}
    TestDatabase db;
};

TEST_P(Startup, ConnectsAndHandsTheRequestedStationToTheDialog) {
    ORV_SKIP_IF_UNAVAILABLE(db);
    TempDir dir;
    ScopedCurrentDir here(dir.path());
    orv::ui::ScriptedInteraction ui;
    RecordingLauncher launcher;
    std::string shown;
    DialogContext seen;
    const int status =
        runSitewright("ODBC=" + db.dsn() + " USER=ORV PASSWORD=KTZ kiv", ui, launcher,
                      [&](const DialogContext& c, const std::string& station) {
                          shown = station;
                          seen = c;
                          ASSERT_NE(c.startupConnection, nullptr);
                          EXPECT_TRUE(c.startupConnection->isOpen());
                      });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(shown, "KIV");
    EXPECT_EQ(seen.settings.dsn, db.dsn());
    EXPECT_TRUE(ui.messages().empty());
}

TEST_P(Startup, TheStationCountFindsCodesWithApostrophes) {
    ORV_SKIP_IF_UNAVAILABLE(db);
    db.createSiteTable();
    db.exec("INSERT INTO SITE (STA) VALUES ('O''K')");
    auto c = db.connect();
    EXPECT_TRUE(stationCount(*c, "SITE", "O'K"));
    EXPECT_FALSE(stationCount(*c, "SITE", "OK"));
    EXPECT_FALSE(stationCount(*c, "NO_SUCH_TABLE", "OK"));
}

INSTANTIATE_TEST_SUITE_P(Backends, Startup, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

TEST_P(Startup, TheSchemaSwitchUpgradesBeforeTheDialogOpens) {
    ORV_SKIP_IF_UNAVAILABLE(db);
    db.exec("CREATE TABLE SITE (STA VARCHAR(8))");
    TempDir dir;
    ScopedCurrentDir here(dir.path());
    orv::ui::ScriptedInteraction ui;
    RecordingLauncher launcher;
    bool upgraded = false;
    runSitewright("-CHKDB ODBC=" + db.dsn(), ui, launcher,
                  [&](const DialogContext& c, const std::string&) {
                      upgraded = c.startupConnection->columnExists("SITE", "DEAST");
                  });
    EXPECT_TRUE(upgraded);
    // SITECHAN, ORIGIN and ARRIVAL are missing: one message per listed column.
    EXPECT_EQ(ui.messages().size(), 22u);
}
