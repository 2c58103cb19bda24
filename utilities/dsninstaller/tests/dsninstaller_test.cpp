// dsninstaller against unixODBC, run as a program of its own with the driver manager's
// folder, the settings folder and the database in temporary folders of each test.
#include "dsninstaller.h"
#include "program.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <grp.h>
#include <map>
#include <sys/stat.h>
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
        fs::create_directories(machineDir);
    }
    void setDatabaseDir(const std::string& value) {
        std::ofstream(settingsDir / "ORV.ini") << "[DATABASE]\nODBC=ORV\nDIR=" << value << "\n";
    }
    std::vector<std::pair<std::string, std::string>> environment(const fs::path& odbcSys) const {
        return {{"ODBCSYSINI", odbcSys.string()},
                {"ODBCINI", (dir / "user-odbc.ini").string()},
                {"ORV_SETTINGS_DIR", settingsDir.string()},
                {"ORV_MACHINE_SETTINGS_DIR", machineDir.string()}};
    }
    ProgramRun install(const fs::path& odbcSys) {
        return orv::test::runProgram(DSNINSTALLER, {}, environment(odbcSys), dir.path());
    }
    ProgramRun install() { return install(odbcDir); }

    TempDir dir;
    const fs::path odbcDir = dir / "odbc";
    const fs::path settingsDir = dir / "settings";
    const fs::path machineDir = dir / "machine";
    const fs::path dataDir = dir / "orv data";
};

TEST(DsnInstallerSettings, TheFirstFileNamingAnAbsoluteDirectoryGivesItWithoutQuotes) {
    TempDir dir;
    const fs::path machine = dir / "machine.ini", user = dir / "user.ini";
    const auto dirOf = [&](const std::string& machineValue, const std::string& userValue) {
        std::ofstream(machine) << "[database]\n" << machineValue << "\n";
        std::ofstream(user) << "[DATABASE]\n" << userValue << "\n";
        return orv::dsninstaller::databaseDirectory({machine, user});
    };
    const auto d = dirOf("dir=/srv/orv/", "DIR=/home/u/orv");
    EXPECT_EQ(d.directory, "/srv/orv");
    EXPECT_EQ(d.settingsFile, machine);
    EXPECT_EQ(d.refusal, "");
    EXPECT_EQ(dirOf("dir=/srv/orv//", "").directory, "/srv/orv/");
    EXPECT_EQ(dirOf("dir=/", "").directory, "");
    EXPECT_EQ(dirOf("ODBC=ORV", "DIR=/home/u/orv").settingsFile, user);
    EXPECT_EQ(dirOf("DIR=\"/srv/orv data\"", "").directory, "/srv/orv data");
    EXPECT_EQ(dirOf("DIR='/srv/orv data/'", "").directory, "/srv/orv data");
    // Empty quotes name no directory: the next file is asked.
    EXPECT_EQ(dirOf("DIR=\"\"", "DIR=/home/u/orv").settingsFile, user);

    // A Windows path, a relative one or quotes that do not enclose the value are refused,
    // naming the file.
    for (const char* value :
         {"C:\\ORV\\DB\\", "\"C:\\ORV\\DB\"", "orv/db", "./db", "\"/srv/orv\"data", "~/orv"}) {
        const auto refused = dirOf(std::string("DIR=") + value, "DIR=/home/u/orv");
        EXPECT_NE(refused.refusal.find(machine.string()), std::string::npos) << value;
        EXPECT_NE(refused.refusal.find("не абсолютный путь"), std::string::npos) << value;
    }

    // Neither names one: both files are named in the refusal.
    const auto none = dirOf("ODBC=ORV", "DIR=");
    EXPECT_EQ(none.refusal, "Ни один файл настроек не задаёт каталог базы данных ([DATABASE] "
                            "DIR); просмотрены:\n  " +
                                machine.string() + "\n  " + user.string() +
                                "\nНичего не создано и не зарегистрировано.");
    EXPECT_EQ(orv::dsninstaller::databaseFile("/srv/orv"), "/srv/orv/ORV.db");
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
    // What it registered, on standard output; the file's group and mode as stat finds them
    // (the group orv, which would own it, is the package's and missing here).
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", st.st_mode & 07777);
    EXPECT_EQ(r.out, "driver ACCESS: " ORV_SQLITE_ODBC_DRIVER " (in " + odbcDir.string() +
                         "/odbcinst.ini)\nsystem data source ORV: driver ACCESS, database " + file +
                         " (in " + odbcDir.string() + "/odbc.ini)\ndatabase file " + file +
                         ": group " + getgrgid(st.st_gid)->gr_name + ", mode " + mode + "\n");

    // The response editor connects through the data source and its schema check creates
    // the response tables in the file.
    const ProgramRun gainbook = orv::test::runProgram(
        GAINBOOK_CLI, {"list", "--dsn", "ORV", "--user", "ORV", "--password", "KTZ", "--yes"},
        environment(odbcDir), dir.path());
    EXPECT_EQ(gainbook.status, 0) << gainbook.err;
    EXPECT_GT(fs::file_size(file), 0u);
}

TEST_F(DsnInstaller, ASecondRunWithoutTheClosingSeparatorChangesNothing) {
    setDatabaseDir(dataDir.string() + "/");
    const ProgramRun first = install();
    ASSERT_EQ(first.status, 0);
    std::ofstream(dataDir / "ORV.db", std::ios::binary) << "kept as it is";
    const std::string drivers = readFile(odbcDir / "odbcinst.ini");
    const std::string dataSources = readFile(odbcDir / "odbc.ini");

    setDatabaseDir(dataDir.string());
    const ProgramRun again = install();
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(again.out, first.out);
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
                     "dsninstaller: Error in SQLConfigDataSource\n(каталог " +
                         dataDir.string() + " из [DATABASE] DIR файла " +
                         (settingsDir / "ORV.ini").string() + ")\n");
    EXPECT_TRUE(fs::exists(dataDir / "ORV.db"));
}

TEST_F(DsnInstaller, WithoutADirectoryOrWithAWindowsOneNothingIsCreatedOrRegistered) {
    const auto nothingWritten = [&](const std::string& what) {
        EXPECT_TRUE(fs::is_empty(odbcDir)) << what;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            EXPECT_TRUE(entry.path() == odbcDir || entry.path() == settingsDir ||
                        entry.path() == machineDir ||
                        entry.path().filename().string().starts_with("program."))
                << what << ": " << entry.path();
    };
    std::ofstream(settingsDir / "ORV.ini") << "[DATABASE]\nODBC=ORV\n";
    ProgramRun r = install();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find((machineDir / "ORV.ini").string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find((settingsDir / "ORV.ini").string()), std::string::npos) << r.err;
    nothingWritten("no DIR");

    for (const char* value : {"C:\\ORV\\DB\\", "\"orv data\"", "relative/db"}) {
        std::ofstream(machineDir / "orv.INI") << "[DATABASE]\nDIR=" << value << "\n";
        r = install();
        EXPECT_EQ(r.status, 1) << value;
        EXPECT_NE(r.err.find((machineDir / "orv.INI").string()), std::string::npos) << r.err;
        nothingWritten(value);
    }
}
