// gainbook-cli list and write against real databases, through the built program.
#include "clirunner.h"
#include "damagedsqlite.h"
#include "testdb.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <iostream>

using orv::gainbook::test::Outcome;
using orv::gainbook::test::runCli;
using orv::test::Backend;
using orv::test::TestDatabase;

namespace {

const std::string kPoleZeroFile = std::string(GAINBOOK_TEST_DATA) + "/obspy_SAC_PZs_KARC_BHZ";

std::string readAll(const std::string& path) {
    return orv::gainbook::test::slurp(path);
}

} // namespace

class CliDatabase : public testing::TestWithParam<Backend> {
protected:
    CliDatabase() : db(GetParam()) {}
    void SetUp() override { ORV_SKIP_IF_UNAVAILABLE(db); }

    Outcome run(std::vector<std::string> args) {
        for (std::string a : {"--dsn", db.dsn().c_str(), "--user", "ORV", "--password", "KTZ"})
            args.push_back(a);
        return runCli(dir.path(), args);
    }
    std::string exported(const std::string& name, const std::string& station) {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary)
            << "# Station " << station << "\n# Channel BHZ\n# Location 00\n# Network KZ\n"
            << "# Time 2003.01.01 00:00:00\n"
            << readAll(kPoleZeroFile);
        return path.string();
    }

    TestDatabase db;
    orv::test::TempDir dir;
};

TEST_P(CliDatabase, WithoutYesTheMissingTablesAreNotCreatedAndNothingIsWritten) {
    const Outcome r = run({"write", kPoleZeroFile, "--sta", "KIV", "--chan", "BHZ", "--start",
                           "2003.01.01 00:00:00"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("В базе данных отсутствует таблица SITECHAN.\nСоздать? -> Нет"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(db.connect()->tableExists("CALIBRATION"));
}

TEST_P(CliDatabase, WritesFitTheHistoryAndListShowsIt) {
    Outcome r = run({"write", kPoleZeroFile, "--yes", "--sta", "KIV", "--chan", "BHZ", "--net",
                     "KZ", "--loc", "00", "--start", "2003.01.01 00:00:00"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("KZ KIV BHZ 00 SAC\n  + 2003.01.01 00:00:00\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("Таблица CALIBRATION создана успешно!"), std::string::npos);

    r = run({"write", kPoleZeroFile, "--sta", "KIV", "--chan", "BHZ", "--net", "KZ", "--loc", "00",
             "--start", "2005.01.01 00:00:00"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  - 2003.01.01 00:00:00\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  + 2003.01.01 00:00:00 / 2005.01.01 00:00:00\n"), std::string::npos);
    EXPECT_NE(r.out.find("  + 2005.01.01 00:00:00\n"), std::string::npos);

    r = run({"list"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "KZ\tKIV\tBHZ\t00\t2005.01.01 00:00:00\n"
                     "KZ\tKIV\tBHZ\t00\t2003.01.01 00:00:00 / 2005.01.01 00:00:00\n");
    // CALIB computed from the text: SENS = 1e9 / CALIB, finite and positive.
    const double sens = orv::text::toDouble(db.scalar("SELECT MIN(SENS) FROM CALIBRATION"));
    EXPECT_GT(sens, 0);
    EXPECT_TRUE(std::isfinite(sens));
}

TEST_P(CliDatabase, AFailedWriteChangesNothingAndExitsNonZero) {
    ASSERT_EQ(run({"write", kPoleZeroFile, "--yes", "--sta", "KIV", "--chan", "BHZ", "--start",
                   "2003.01.01 00:00:00"})
                  .status,
              0);
    const std::string before = run({"list"}).out;
    Outcome r = run({"write", kPoleZeroFile, "--sta", "KIV", "--chan", "BHZ", "--start",
                     "2004.01.01 00:00:00", "--calib", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("CALIB"), std::string::npos) << r.err;
    // Same start as a stored row that ends after the new end: the key refuses it and the
    // whole transaction, the closing of the open row included, is rolled back.
    ASSERT_EQ(run({"write", kPoleZeroFile, "--sta", "KIV", "--chan", "BHZ", "--start",
                   "2001.01.01 00:00:00", "--end", "2002.06.01 00:00:00"})
                  .status,
              0);
    const std::string middle = run({"list"}).out;
    r = run({"write", kPoleZeroFile, "--sta", "KIV", "--chan", "BHZ", "--start",
             "2001.01.01 00:00:00", "--end", "2002.01.01 00:00:00"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("При попытке записи в базу произошла ошибка:"), std::string::npos);
    EXPECT_EQ(r.err.find("Запись прошла успешно!"), std::string::npos) << r.err;
    EXPECT_EQ(run({"list"}).out, middle);
    EXPECT_NE(middle, before);

    r = run({"write", (dir / "missing.pz").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(run({"write"}).status, 2);
    EXPECT_EQ(run({"write", kPoleZeroFile, "--format", "xyz"}).status, 2);
}

TEST_P(CliDatabase, AFolderOfExportedFilesIsWrittenInOneRun) {
    std::vector<std::string> args = {"write", "--yes"};
    const int files = GetParam() == Backend::PostgreSQL ? 100 : 20;
    for (int i = 0; i < files; ++i)
        args.push_back(exported(orv::text::format("st%d.pz", i), orv::text::format("S%d", i)));
    const auto started = std::chrono::steady_clock::now();
    const Outcome r = run(args);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(r.status, 0) << r.err;
    // Not on a terminal: no progress line, only the summary.
    const std::string n = std::to_string(files);
    EXPECT_TRUE(r.err.ends_with("\ngainbook-cli write: записано " + n + " из " + n + "\n"));
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION"), std::to_string(files));
    EXPECT_EQ(db.scalar("SELECT COUNT(DISTINCT STA) FROM CALIBRATION WHERE NETWORK='KZ' AND "
                        "LOCATION='00' AND CHAN='BHZ'"),
              std::to_string(files));
    RecordProperty("seconds", std::to_string(seconds));
    std::cout << "[ measured ] " << files << " responses written in one run in " << seconds
              << " s\n";
}

TEST_P(CliDatabase, NumbersAreReadWithADecimalCommaAndUnknownUnitsRefused) {
    const std::vector<std::string> key = {
        "--yes", "--sta", "KIV", "--chan", "BHZ", "--start", "2003.01.01 00:00:00"};
    const auto write = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"write", kPoleZeroFile};
        args.insert(args.end(), key.begin(), key.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    };
    for (const auto& bad : std::vector<std::vector<std::string>>{{"--freq-unit", "rad/s"},
                                                                 {"--calib-unit", "nm"},
                                                                 {"--calib", "nan"},
                                                                 {"--freq", "0x10"}}) {
        const Outcome r = write(bad);
        EXPECT_EQ(r.status, 2) << bad[0];
        EXPECT_NE(r.err.find(bad[0]), std::string::npos) << r.err;
    }
    const Outcome r = write({"--calib", "2,5", "--freq", "0,5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT SENS FROM CALIBRATION")), 4e8);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT FREQ FROM CALIBRATION")), 0.5);
}

TEST_P(CliDatabase, ExportWritesTheStoredResponseAsTheFileItCameFrom) {
    const std::string source = exported("in.pz", "KIV");
    ASSERT_EQ(run({"write", "--yes", source}).status, 0);
    const std::string out = (dir / "out.sac").string();
    Outcome r = run({"export", "--sta", "KIV", "--chan", "BHZ", "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, out + ": KZ KIV BHZ 00 2003.01.01 00:00:00 SAC\n");
    // The file it was loaded from, every line ended in CR LF.
    EXPECT_EQ(readAll(out), orv::text::replaceAll(readAll(source), "\n", "\r\n"));

    // No FAP text stored, no such interval, no such key: exit 1 and no file.
    const std::string none = (dir / "none.fap").string();
    for (const auto& extra :
         std::vector<std::vector<std::string>>{{"--sta", "KIV", "--fap", "gse2"},
                                               {"--sta", "KIV", "--start", "2004.01.01 00:00:00"},
                                               {"--sta", "KIVA"}}) {
        std::vector<std::string> args = {"export", "--chan", "BHZ", "--out", none};
        args.insert(args.end(), extra.begin(), extra.end());
        r = run(args);
        EXPECT_EQ(r.status, 1) << extra.back();
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(none));
    EXPECT_EQ(
        run({"export", "--sta", "KIV", "--chan", "BHZ", "--out", none, "--fap", "sac"}).status, 2);
}

TEST(CliKeyOptions, ADateThatIsNotADateTextOrALongCodeIsRefusedBeforeConnecting) {
    orv::test::TempDir dir;
    // An end comes with a good start; the last one lies before it. Codes are never cut.
    for (const auto& [option, value] :
         {std::pair{"--start", "15.03.2009 00:00:00"}, std::pair{"--start", "2009-03-15 00:00:00"},
          std::pair{"--end", "2009.02.29 00:00:00"}, std::pair{"--end", "2000.01.01 00:00:00"},
          std::pair{"--sta", "KARCKARCX"}, std::pair{"--loc", "ДЛИННЫЙКОД"}}) {
        std::vector<std::string> args = {"write", kPoleZeroFile, option, value, "--dsn", "NONE"};
        if (std::string(option) == "--end")
            args.insert(args.end(), {"--start", "2009.03.15 00:00:00"});
        const Outcome r = runCli(dir.path(), args);
        EXPECT_EQ(r.status, 2) << value;
        EXPECT_NE(r.err.find("gainbook-cli write: " + std::string(option) + ": "),
                  std::string::npos)
            << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, CliDatabase, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

TEST(CliDamagedDatabase, ListAndExportFailWhenAFetchFails) {
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    orv::test::TempDir dir;
    const auto run = [&](std::vector<std::string> args) {
        for (std::string a : {"--dsn", db.dsn().c_str()})
            args.push_back(a);
        return runCli(dir.path(), args);
    };
    // The tables as the editor creates them, then emptied and filled for the damage.
    ASSERT_EQ(run({"write", kPoleZeroFile, "--yes", "--sta", "KIV", "--chan", "BHZ", "--start",
                   "2003.01.01 00:00:00"})
                  .status,
              0);
    db.exec("DELETE FROM CALIBRATION");
    orv::test::damageResponses(db);

    Outcome r = run({"list"});
    EXPECT_EQ(r.status, 1) << r.out.size() << " bytes listed";
    EXPECT_NE(r.err.find("gainbook-cli list: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("malformed"), std::string::npos) << r.err;

    r = run({"export", "--sta", "S2999", "--chan", "BHZ", "--out", (dir / "out.sac").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("malformed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("чтение из базы не удалось"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.sac"));
}
