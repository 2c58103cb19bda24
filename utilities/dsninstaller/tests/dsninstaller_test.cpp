// dsninstaller against unixODBC, run as a program of its own with the driver manager's
// folder, the settings folder and the database in temporary folders of each test.
#include "dsninstaller.h"
#include "program.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;
using orv::test::ProgramRun;
using orv::test::readFile;
using orv::test::TempDir;

namespace {

using Section = std::map<std::string, std::string>;

// The key=value lines of one section, read here without the installer or our ini reader.
Section iniSection(const fs::path& file, const std::string& name) {
    std::ifstream in(file);
    Section section;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('[')) {
            inside = line == "[" + name + "]";
        } else if (const auto eq = line.find('='); inside && eq != std::string::npos) {
            section[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return section;
}

} // namespace

class DsnInstaller : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(odbcDir);
        fs::create_directories(settingsDir);
    }
    void setDatabaseDir(const std::string& value) {
        std::ofstream(settingsDir / "ORV.ini") << "[DATABASE]\nODBC=ORV\nDIR=" << value << "\n";
    }
    std::vector<std::pair<std::string, std::string>> environment(const fs::path& odbcSys) const {
        return {{"ODBCSYSINI", odbcSys.string()},
                {"ODBCINI", (dir / "user-odbc.ini").string()},
                {"ORV_SETTINGS_DIR", settingsDir.string()}};
    }
    ProgramRun install(const fs::path& odbcSys) {
        return orv::test::runProgram(DSNINSTALLER, {}, environment(odbcSys), dir.path());
    }
    ProgramRun install() { return install(odbcDir); }

    TempDir dir;
    const fs::path odbcDir = dir / "odbc";
    const fs::path settingsDir = dir / "settings";
    const fs::path dataDir = dir / "orv data";
};

TEST(DsnInstallerSettings, OneClosingSeparatorIsRemovedAndNoDirectoryMeansTheRoot) {
    TempDir dir;
    const auto dirOf = [&](const std::string& value) {
        std::ofstream(dir / "ORV.ini") << "[database]\ndir=" << value << "\n";
        return orv::dsninstaller::databaseDirectory(dir / "ORV.ini");
    };
    EXPECT_EQ(dirOf("/srv/orv/"), "/srv/orv");
    EXPECT_EQ(dirOf("/srv/orv"), "/srv/orv");
    EXPECT_EQ(dirOf("/srv/orv//"), "/srv/orv/");
    EXPECT_EQ(dirOf("/"), "");

    const std::string none = orv::dsninstaller::databaseDirectory(dir / "missing.ini");
    EXPECT_EQ(none, "");
    const auto attributes = orv::dsninstaller::dataSourceAttributes(none);
    std::vector<std::string> texts;
    for (const auto& a : attributes)
        texts.push_back(a.text());
    EXPECT_EQ(texts, (std::vector<std::string>{"UID=ORV", "PWD=KTZ", "DBQ=/ORV.db", "DefaultDir=",
                                               "FIL=MS Access", "Database=/ORV.db"}));
}

TEST_F(DsnInstaller, RegistersTheDriverAndADataSourceThatTheResponseEditorCanUse) {
    setDatabaseDir(dataDir.string() + "/");
    const ProgramRun r = install();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");

    EXPECT_EQ(iniSection(odbcDir / "odbcinst.ini", "ACCESS"),
              (Section{{"Driver", ORV_SQLITE_ODBC_DRIVER},
                       {"FileUsage", "2"},
                       {"FileExtns", "*.db"},
                       {"Threads", "3"},
                       {"UsageCount", "1"}}));
    const std::string file = (dataDir / "ORV.db").string();
    EXPECT_EQ(iniSection(odbcDir / "odbc.ini", "ORV"), (Section{{"Driver", "ACCESS"},
                                                                {"UID", "ORV"},
                                                                {"PWD", "KTZ"},
                                                                {"DBQ", file},
                                                                {"DefaultDir", dataDir.string()},
                                                                {"FIL", "MS Access"},
                                                                {"Database", file}}));
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 0u);

    // The response editor connects through the data source and its schema check creates
    // the response tables in the file.
    const ProgramRun gainbook = orv::test::runProgram(
        GAINBOOK_CLI, {"list", "--dsn", "ORV", "--user", "ORV", "--password", "KTZ", "--yes"},
        environment(odbcDir), dir.path());
    EXPECT_EQ(gainbook.status, 0) << gainbook.err;
    EXPECT_GT(fs::file_size(file), 0u);
}

TEST_F(DsnInstaller, ASecondRunWithoutTheClosingSeparatorChangesAndReportsNothing) {
    setDatabaseDir(dataDir.string() + "/");
    ASSERT_EQ(install().status, 0);
    std::ofstream(dataDir / "ORV.db", std::ios::binary) << "kept as it is";
    const std::string drivers = readFile(odbcDir / "odbcinst.ini");
    const std::string dataSources = readFile(odbcDir / "odbc.ini");

    setDatabaseDir(dataDir.string());
    const ProgramRun again = install();
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(readFile(odbcDir / "odbcinst.ini"), drivers);
    EXPECT_EQ(readFile(odbcDir / "odbc.ini"), dataSources);
    EXPECT_EQ(readFile(dataDir / "ORV.db"), "kept as it is");
}

TEST_F(DsnInstaller, AReadOnlyDriverManagerFolderReportsEachFailingStepAndGoesOn) {
    // Permissions do not stop root; nobody can create a file in the kernel's /sys.
    fs::path readOnly = "/sys";
    if (geteuid() != 0) {
        readOnly = dir / "read-only";
        fs::create_directory(readOnly);
        fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    }
    setDatabaseDir(dataDir.string());
    const ProgramRun r = install(readOnly);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "dsninstaller: Error in SQLInstallDriverEx\n"
                     "dsninstaller: Error in SQLConfigDataSource\n");
    EXPECT_TRUE(fs::exists(dataDir / "ORV.db"));
}
