// The compactor's outcomes, and the program on real SQLite files found through a system
// data source in a temporary driver manager folder.
#include "compactor.h"
#include "program.h"
#include "testdb.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <memory>

namespace fs = std::filesystem;
using namespace orv::compactor;
using orv::test::ProgramRun;
using orv::test::readFile;
using orv::test::TempDir;
using orv::ui::Icon;
using orv::ui::ScriptedInteraction;

namespace {

using Db = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

Db open(const fs::path& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    return Db(db, sqlite3_close);
}

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
}

long long scalar(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    const long long v = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    return v;
}

constexpr int kRows = 20000;
// Rows whose ID is a multiple of 5 are kept: their count and the sum of their IDs.
constexpr long long kKeptRows = kRows / 5;
constexpr long long kKeptIdSum = 5LL * (kKeptRows - 1) * kKeptRows / 2;

// A database of kRows rows of 200 characters with four in five deleted.
void makeDatabaseWithDeletedRows(const fs::path& file) {
    const Db db = open(file);
    exec(db.get(), "CREATE TABLE CALIBRATION (ID INTEGER, SAC TEXT)");
    exec(db.get(), "WITH RECURSIVE N(I) AS (SELECT 0 UNION ALL SELECT I + 1 FROM N WHERE I < " +
                       std::to_string(kRows - 1) +
                       ") INSERT INTO CALIBRATION SELECT I, printf('%200d', I) FROM N");
    exec(db.get(), "DELETE FROM CALIBRATION WHERE ID % 5 <> 0");
}

} // namespace

TEST(CompactorRun, EachOutcomeHasItsStatusAndIconAndNoPathMeansNoCompaction) {
    int calls = 0;
    const auto succeeds = [&](const std::string&) { return ++calls, CompactResult{true, {}}; };
    const auto fails = [&](const std::string&) { return ++calls, CompactResult{false, "locked"}; };

    ScriptedInteraction ui;
    EXPECT_EQ(run(ui, "", succeeds), -1);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(run(ui, "/srv/orv/ORV.db", fails), -2);
    EXPECT_EQ(run(ui, "/srv/orv/ORV.db", succeeds), 1);
    EXPECT_EQ(calls, 2);

    const auto shown = ui.messages();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "Database compact error");
    // SQLite's reason on the line below the text every failure keeps.
    EXPECT_EQ(shown[1].text, "Database compact error\nlocked");
    for (int i : {0, 1})
        EXPECT_EQ(shown[i].icon, Icon::Stop);
    EXPECT_EQ(shown[2].text, "ORV Database compacted");
    EXPECT_EQ(shown[2].icon, Icon::Information);
    for (const auto& s : shown)
        EXPECT_EQ(s.caption, "ORV");
}

TEST(CompactFile, AFileThatIsNotADatabaseIsAnErrorAndStaysAsItWas) {
    TempDir dir;
    const std::string text(4096, 'x');
    std::ofstream(dir / "notes.db", std::ios::binary) << text;
    const CompactResult r = compactFile((dir / "notes.db").string());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "file is not a database");
    EXPECT_EQ(readFile(dir / "notes.db"), text);
}

class CompactorProgram : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(odbcDir); }
    void setDataSource(const std::string& lines) { std::ofstream(odbcDir / "odbc.ini") << lines; }
    ProgramRun compact() {
        return orv::test::runProgram(
            COMPACTOR, {},
            {{"ODBCSYSINI", odbcDir.string()}, {"ODBCINI", (dir / "user-odbc.ini").string()}},
            dir.path());
    }

    TempDir dir;
    const fs::path odbcDir = dir / "odbc";
};

TEST_F(CompactorProgram, ADatabaseWithDeletedRowsShrinksAndKeepsEveryRow) {
    // A path well over 64 characters, with blanks.
    const fs::path folder =
        dir / "station and response database of the seismological data centre" / "ORV files";
    fs::create_directories(folder);
    const fs::path file = folder / "ORV.db";
    ASSERT_GT(file.string().size(), 64u);
    makeDatabaseWithDeletedRows(file);
    setDataSource("[ORV]\nDriver=ACCESS\nDBQ=" + file.string() + "\nDatabase=/elsewhere.db\n");
    const auto before = fs::file_size(file);

    const ProgramRun r = compact();
    EXPECT_EQ(r.status, kCompacted);
    EXPECT_EQ(r.err, "compactor: ORV Database compacted\n");
    const auto after = fs::file_size(file);
    std::cout << "compacted " << before << " bytes to " << after << "\n";
    EXPECT_LT(after * 3, before);
    const Db db = open(file);
    EXPECT_EQ(scalar(db.get(), "SELECT COUNT(*) FROM CALIBRATION"), kKeptRows);
    EXPECT_EQ(scalar(db.get(), "SELECT SUM(ID) FROM CALIBRATION"), kKeptIdSum);
    EXPECT_EQ(scalar(db.get(), "SELECT COUNT(*) FROM CALIBRATION WHERE LENGTH(SAC) <> 200"), 0);
}

TEST_F(CompactorProgram, NoDataSourceGivesMinusOneAndAMissingFileMinusTwo) {
    setDataSource("[OTHER]\nDriver=ACCESS\nDBQ=/srv/other.db\n");
    ProgramRun r = compact();
    EXPECT_EQ(r.status, kNotConfigured & 0xFF);
    EXPECT_EQ(r.err, "compactor: Database compact error\n");

    // Without DBQ the driver's own key names the file; a missing one is not created.
    const fs::path missing = dir / "ORV.db";
    setDataSource("[ORV]\nDriver=ACCESS\nDBQ=\nDatabase=" + missing.string() + "\n");
    r = compact();
    EXPECT_EQ(r.status, kFailed & 0xFF);
    EXPECT_EQ(r.err, "compactor: Database compact error\nunable to open database file\n");
    EXPECT_FALSE(fs::exists(missing));

    // Random bytes and the first half of a database.
    std::ofstream(missing, std::ios::binary) << std::string(3000, '\x5a');
    r = compact();
    EXPECT_EQ(r.err, "compactor: Database compact error\nfile is not a database\n");
    const fs::path whole = dir / "whole.db";
    makeDatabaseWithDeletedRows(whole);
    const std::string bytes = readFile(whole);
    std::ofstream(missing, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    r = compact();
    EXPECT_EQ(r.status, kFailed & 0xFF);
    EXPECT_EQ(r.err, "compactor: Database compact error\ndatabase disk image is malformed\n");
}

TEST_F(CompactorProgram, WithoutASystemOdbcIniNothingIsCreated) {
    const ProgramRun r = compact();
    EXPECT_EQ(r.status, kNotConfigured & 0xFF);
    EXPECT_EQ(r.err, "compactor: Database compact error\n");
    EXPECT_TRUE(fs::is_empty(odbcDir));
}

TEST_F(CompactorProgram, ADatabaseLockedByAWriterGivesMinusTwoAndIsUnchanged) {
    const fs::path file = dir / "ORV.db";
    makeDatabaseWithDeletedRows(file);
    setDataSource("[ORV]\nDriver=ACCESS\nDBQ=" + file.string() + "\n");
    const std::string bytes = readFile(file);

    const Db writer = open(file);
    exec(writer.get(), "BEGIN IMMEDIATE");
    exec(writer.get(), "INSERT INTO CALIBRATION VALUES (-1, 'written meanwhile')");
    const ProgramRun r = compact();
    EXPECT_EQ(r.status, kFailed & 0xFF);
    EXPECT_EQ(r.err, "compactor: Database compact error\ndatabase is locked\n");
    EXPECT_EQ(readFile(file), bytes);

    exec(writer.get(), "COMMIT");
    EXPECT_EQ(scalar(writer.get(), "SELECT COUNT(*) FROM CALIBRATION"), kKeptRows + 1);

    // A reader in the middle of its reading blocks the compaction too.
    const std::string committed = readFile(file);
    exec(writer.get(), "BEGIN");
    EXPECT_EQ(scalar(writer.get(), "SELECT COUNT(*) FROM CALIBRATION"), kKeptRows + 1);
    const ProgramRun blocked = compact();
    EXPECT_EQ(blocked.status, kFailed & 0xFF);
    EXPECT_EQ(blocked.err, "compactor: Database compact error\ndatabase is locked\n");
    EXPECT_EQ(readFile(file), committed);
    exec(writer.get(), "COMMIT");
}
