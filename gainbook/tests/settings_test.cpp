#include "settings.h"

#include "ini/inifile.h"
#include "testdb.h"

#include <gtest/gtest.h>

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
