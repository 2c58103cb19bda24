#include "settings.h"

#include "ini/inifile.h"
#include "mainwindow.h"
#include "testdb.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace orv;
using namespace orv::gainbook;
using orv::test::TempDir;

TEST(SettingsFiles, ReadAndWriteTheConnectionKeysOnly) {
    TempDir dir;
    const auto file = dir / "ORV.ini";
    {
        std::ofstream out(file);
        out << "[ORV]\nDIR=/srv/orv\n[database]\nodbc=ORV\nUser=ORV\nDIR=/data\n";
    }
    EXPECT_EQ(readConnectionSettings(file), (ConnectionSettings{"ORV", "ORV", ""}));
    EXPECT_EQ(readConnectionSettings(dir / "missing.ini"), (ConnectionSettings{}));

    ASSERT_TRUE(writeConnectionSettings(file, {"PG", "ANNA", "secret"}));
    EXPECT_EQ(readConnectionSettings(file), (ConnectionSettings{"PG", "ANNA", "secret"}));
    const ini::IniFile ini(file);
    EXPECT_EQ(ini.read("ORV", "DIR", ""), "/srv/orv");
    EXPECT_EQ(ini.read("DATABASE", "DIR", ""), "/data");

    std::ofstream(dir / "long.ini") << "[DATABASE]\nODBC=" << std::string(100, 'x') << "\n";
    EXPECT_EQ(readConnectionSettings(dir / "long.ini").dataSource, std::string(63, 'x'));
}

TEST(SaveSettingsDialog, OffersNothingForTheCommandLineOrTheSameDataSource) {
    TempDir dir;
    SaveSettingsDialog fromCommandLine({"OTHER", "", ""}, SettingsSource::CommandLineOrDialog,
                                       "ORV", dir.path(), dir / "ORV.ini");
    EXPECT_TRUE(fromCommandLine.closesAtOnce());
    // Same data source, other user: nothing is offered.
    SaveSettingsDialog sameSource({"orv", "NEW", "PWD"}, SettingsSource::LocalFile, "ORV",
                                  dir.path(), dir / "ORV.ini");
    EXPECT_TRUE(sameSource.closesAtOnce());
}

TEST(SaveSettingsDialog, FromTheLocalFileOnlyTheLocalFileIsOffered) {
    TempDir dir;
    SaveSettingsDialog d({"PG", "U", "P"}, SettingsSource::LocalFile, "ORV", dir.path(),
                         dir / "ORV.ini");
    EXPECT_FALSE(d.closesAtOnce());
    EXPECT_TRUE(d.localSelected());
    EXPECT_FALSE(d.systemEnabled());
    d.chooseSystem();
    EXPECT_TRUE(d.localSelected());
    ASSERT_TRUE(d.save());
    EXPECT_EQ(readConnectionSettings(dir / "Gainbook.ini"), (ConnectionSettings{"PG", "U", "P"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "ORV.ini"));
}

TEST(SaveSettingsDialog, FromTheSystemFileEitherFileMayBeChosen) {
    TempDir dir;
    SaveSettingsDialog d({"PG", "U", "P"}, SettingsSource::SystemFile, "ORV", dir.path(),
                         dir / "ORV.ini");
    EXPECT_FALSE(d.closesAtOnce());
    EXPECT_TRUE(d.localSelected());
    EXPECT_TRUE(d.systemEnabled());
    d.chooseSystem();
    EXPECT_FALSE(d.localSelected());
    ASSERT_TRUE(d.save());
    EXPECT_EQ(readConnectionSettings(dir / "ORV.ini"), (ConnectionSettings{"PG", "U", "P"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "Gainbook.ini"));
}

// The file panel's choice opens where the response files live, DIR/RESPONSE, with DIR
// taken as the station editor takes it; where that folder is missing, as before.
TEST(ResponseDirectory, FollowsTheStationEditorsDirAndOpensTheFileChoiceThere) {
    TempDir dir;
    const auto here = dir / "here";
    std::filesystem::create_directories(here);
    std::filesystem::create_directories(dir / "local" / "RESPONSE");
    std::filesystem::create_directories(dir / "system" / "RESPONSE");
    std::filesystem::create_directories(dir / "env" / "RESPONSE");
    const auto system = dir / "ORV.ini";
    const char* saved = std::getenv("ORV");
    const std::string savedEnv = saved ? saved : "";
    ::setenv("ORV", (dir / "env").c_str(), 1);
    EXPECT_EQ(responseDirectory(here, system), (dir / "env" / "RESPONSE").string());
    std::ofstream(system) << "[ORV]\nDIR=" << (dir / "system").string() << "\n";
    EXPECT_EQ(responseDirectory(here, system), (dir / "system" / "RESPONSE").string());
    std::ofstream(here / "Sitewright.ini") << "[ORV]\nDIR=" << (dir / "local").string() << "\n";
    EXPECT_EQ(responseDirectory(here, system), (dir / "local" / "RESPONSE").string());

    ui::ScriptedInteraction ui;
    MainWindow window(ui, {}, here, system);
    window.loadFromFile(); // the choice is cancelled
    ASSERT_EQ(ui.shown().size(), 1u);
    EXPECT_EQ(ui.shown()[0].choice.directory, (dir / "local" / "RESPONSE").string());

    // DIR without a RESPONSE folder: the current directory, as the choice opens otherwise.
    std::filesystem::remove(dir / "local" / "RESPONSE");
    EXPECT_EQ(responseDirectory(here, system), "");
    if (saved)
        ::setenv("ORV", savedEnv.c_str(), 1);
    else
        ::unsetenv("ORV");
}
