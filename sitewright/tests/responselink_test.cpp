#include "dialog_fixture.h"

#include "ini/inifile.h"
#include "program.h"

#include <fstream>

using namespace orv::sitewright;
using orv::test::ScopedCurrentDir;
using orv::test::ScopedEnv;

TEST(ResponseLink, TheCommandLineForTheResponseEditor) {
    ConnectionSettings s{"ORV", "ivan", "secret"};
    EXPECT_EQ(gainbookArguments(s, "KIV", "BHN", "00"),
              "ODBC=ORV USER=ivan PASSWORD=secret KIV:BHN:00");
    // Eight-character codes reach the response editor whole.
    EXPECT_EQ(gainbookArguments(s, "ABCDEFGH", "BHZ", "LOCATION"),
              "ODBC=ORV USER=ivan PASSWORD=secret ABCDEFGH:BHZ:LOCATION");
    EXPECT_EQ(gainbookCommandLine("/opt/my orv/gainbook", "ODBC=X"),
              "\"/opt/my orv/gainbook\" ODBC=X");
    EXPECT_EQ(gainbookCommandLine("/opt/orv/gainbook", "ODBC=X"), "/opt/orv/gainbook ODBC=X");
}

TEST(ResponseLink, CandidatesInOrder) {
    ResponseLinkSettings s;
    s.gainbookDir = "/gb";
    auto c = gainbookCandidates(s, "/here");
    EXPECT_EQ(c, (std::vector<std::string>{"/gb/gainbook", "/here/gainbook", "../gainbook/gainbook",
                                           "/opt/orv/util/gainbook/gainbook"}));
    s.orvEnv = "/orv";
    EXPECT_EQ(gainbookCandidates(s, "/here")[3], "/orv/util/gainbook/gainbook");
}

TEST(ResponseLink, TheResponseDirectory) {
    EXPECT_EQ(responseDirectory(""), "/RESPONSE");
    EXPECT_EQ(responseDirectory("/opt/orv"), "/opt/orv/RESPONSE");
    EXPECT_EQ(responseDirectory("/opt/orv/"), "/opt/orv/RESPONSE");
}

TEST(ResponseLink, TheBaseDirectoryFallsBackFromLocalToSharedToEnvironment) {
    orv::test::TempDir dir;
    ScopedEnv env("ORV", "/from/env");
    std::ofstream(dir / "orv.ini") << "[ORV]\nDIR=/from/shared\n";
    auto s = readResponseLinkSettings(dir / "Sitewright.ini", dir / "orv.ini");
    EXPECT_EQ(s.baseDir, "/from/shared");
    EXPECT_FALSE(s.useDb);
    std::ofstream(dir / "Sitewright.ini")
        << "[SYSTEM]\nUSE_DB=1\nGAINBOOK_DIR=/gb\n[ORV]\nDIR=/local\n";
    s = readResponseLinkSettings(dir / "Sitewright.ini", dir / "orv.ini");
    EXPECT_EQ(s.baseDir, "/local");
    EXPECT_TRUE(s.useDb);
    EXPECT_EQ(s.gainbookDir, "/gb");
    s = readResponseLinkSettings(dir / "none.ini", dir / "none2.ini");
    EXPECT_EQ(s.baseDir, "/from/env");
}

TEST(ResponseLink, TheSetUpCreatesTheResponseFolderSitewrightOffers) {
    orv::test::TempDir home;
    const std::string script = std::string(ORV_SOURCE_DIR) + "/scripts/embedded-db.sh";
    const std::vector<std::pair<std::string, std::string>> env = {
        {"HOME", home.path().string()},
        {"ODBCINI", (home / ".odbc.ini").string()},
        {"ORV_DATA_DIR", (home / "data").string()},
        {"ORV_SETTINGS_DIR", (home / "config").string()}};
    ScopedEnv settingsDir("ORV_SETTINGS_DIR", (home / "config").c_str());
    ScopedEnv orv("ORV", nullptr);
    ScopedCurrentDir here(home.path());
    auto offered = [&] {
        return responseDirectory(
            readResponseLinkSettings(home / "Sitewright.ini", orv::ini::systemSettingsFile())
                .baseDir);
    };
    // The embedded set-up: DIR of the shared settings it writes, the database's folder.
    orv::test::ProgramRun run = orv::test::runProgram("bash", {script}, env, home.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(offered(), (home / "data" / "RESPONSE").string());
    EXPECT_TRUE(std::filesystem::is_directory(offered()));
    // A local DIR comes first.
    std::ofstream(home / "Sitewright.ini")
        << "[orv]\r\n dir = " << (home / "local").string() << "\r\n";
    run = orv::test::runProgram("bash", {script}, env, home.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(offered(), (home / "local" / "RESPONSE").string());
    EXPECT_TRUE(std::filesystem::is_directory(offered()));
}

class SmallButtons : public DialogTest {
protected:
    void writeLocal(const std::string& body) { std::ofstream(dir / "Sitewright.ini") << body; }
};

TEST_P(SmallButtons, WithUseDbTheResponseEditorStartsOnTheChannel) {
    orv::test::TempDir gb;
    std::ofstream(gb / "gainbook") << "#!/bin/sh\n";
    writeLocal("[SYSTEM]\nUSE_DB=1\nGAINBOOK_DIR=" + gb.path().string() + "\n");
    addSite("KIV", 1, 2);
    addChan("KIV", "BHN", 2, 1, ", LCODE", ", '00'");
    auto d = openDialog("KIV");
    d->onResponseButton(2, 1);
    const std::string program = (gb / "gainbook").string();
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0].first, program);
    EXPECT_EQ(launcher.started[0].second,
              (std::vector<std::string>{program, "ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ",
                                        "KIV:BHN:00"}));
    EXPECT_TRUE(ui.shown().empty());
}

TEST_P(SmallButtons, WithoutTheEditorTheFileChoiceOpensAndKeepsOnlyTheName) {
    orv::test::TempDir empty;
    ScopedCurrentDir here(empty.path());
    ScopedEnv env("ORV", nullptr);
    writeLocal("[SYSTEM]\nUSE_DB=1\nGAINBOOK_DIR=/nonexistent\n");
    addSite("KIV", 1, 1);
    addChan("KIV", "BHZ", 1, 0, ", CALIBFILE", ", 'old.pz'");
    auto d = openDialog("KIV");
    ui.chooseFile("/data/RESPONSE/kiv_bhz.pz");
    d->onResponseButton(1, 0);
    ASSERT_EQ(ui.shown().size(), 1u);
    const auto& choice = ui.shown()[0].choice;
    EXPECT_EQ(choice.title, "Выбрать файл с АЧХ (KIV BHZ)");
    EXPECT_EQ(choice.directory, "/RESPONSE");
    EXPECT_EQ(choice.fileName, "old.pz");
    EXPECT_EQ(choice.filter, "All files|*.*||");
    EXPECT_EQ(d->controls().responseFile[0], "kiv_bhz.pz");
    // Written with the next write.
    d->onWrite();
    EXPECT_EQ(db.scalar("SELECT CALIBFILE FROM SITECHAN WHERE CHAN='BHZ'"), "kiv_bhz.pz");
    // Cancelling changes nothing.
    ui.chooseFile(std::nullopt);
    d->onResponseButton(1, 0);
    EXPECT_EQ(d->controls().responseFile[0], "kiv_bhz.pz");
}

INSTANTIATE_TEST_SUITE_P(Backends, SmallButtons, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
