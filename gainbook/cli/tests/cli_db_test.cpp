// gainbook-cli list and write against real databases, through the built program.
#include "clirunner.h"
#include "damagedsqlite.h"
#include "privateserver.h"
#include "testdb.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <future>
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

// A NUL byte or another control character in a file: refused naming its line, nothing
// stored, the key the header names (cut at the NUL) untouched.
TEST_P(CliDatabase, AFileWithAControlCharacterIsRefusedAndNothingIsStored) {
    ASSERT_EQ(run({"write", "--yes", exported("nu.pz", "NU")}).status, 0);
    const std::string before = run({"list"}).out;
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return run({"write", (dir / name).string(), "--sta", "KIV", "--chan", "BHZ", "--start",
                    "2004.01.01 00:00:00"});
    };
    const std::string pz = readAll(kPoleZeroFile);
    Outcome r = write("nul.pz", std::string("* comment with a NUL \0 in it\n", 29) + pz);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Строка 1 файла: управляющий символ (код 0); файл не загружен"),
              std::string::npos)
        << r.err;
    r = write("key.pz", std::string("# Station NU\0LLX\n# Channel BHZ\n# Location 00\n"
                                    "# Network KZ\n# Time 2010.01.01 00:00:00\n",
                                    85) +
                            pz);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Строка 1 файла: управляющий символ"), std::string::npos) << r.err;
    r = write("esc.pz", "* \x1B[2J\n" + pz);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(run({"list"}).out, before);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION"), "1");
}

// Old files mark exponents with "D"; "1,0e18" is no number and is never read as 1.
TEST_P(CliDatabase, NumbersOfAFileAreReadWholeOrTheFileIsRefused) {
    const std::string pz = orv::text::replaceAll(readAll(kPoleZeroFile), "-0.1480", "-1.480e-01");
    const std::string fortran =
        orv::text::replaceAll(orv::text::replaceAll(pz, "e-01", "D-01"), "e+20", "d+20");
    ASSERT_NE(fortran.find("-1.480D-01"), std::string::npos);
    std::ofstream(dir / "e.pz", std::ios::binary) << pz;
    std::ofstream(dir / "d.pz", std::ios::binary) << fortran;
    for (const auto& [file, sta] : {std::pair{"e.pz", "EEE"}, std::pair{"d.pz", "DDD"}})
        ASSERT_EQ(run({"write", "--yes", (dir / file).string(), "--sta", sta, "--chan", "BHZ",
                       "--start", "2004.01.01 00:00:00"})
                      .status,
                  0);
    EXPECT_EQ(db.scalar("SELECT SENS FROM CALIBRATION WHERE STA='DDD'"),
              db.scalar("SELECT SENS FROM CALIBRATION WHERE STA='EEE'"));

    std::ofstream(dir / "comma.fap", std::ios::binary)
        << "title\n1.0 1.0e18 0\n2.0 1,0e18 0\n3.0 1.0e18 0\n";
    const Outcome r =
        run({"write", (dir / "comma.fap").string(), "--format", "fap-orv", "--sta", "FAP", "--chan",
             "BHZ", "--start", "2004.01.01 00:00:00", "--freq", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Строка 3 файла: число записано неправильно"), std::string::npos) << r.err;
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION WHERE STA='FAP'"), "0");
}

// 80,000 characters of Cyrillic comments in a Windows-1251 file are more than 131071
// bytes in UTF-8: written and exported whole. A stored text beyond the limit is refused.
TEST_P(CliDatabase, ALongCyrillicTextIsExportedWholeAndALongerOneRefused) {
    std::string comments;
    while (orv::text::length(comments) < 80000)
        comments += "* Комментарий к отклику сейсмометра\n";
    const std::string source = exported("long.pz", "LNG");
    const std::string body = readAll(source);
    std::ofstream(source, std::ios::binary) << orv::text::utf8ToCp1251(
        body.substr(0, body.find("ZEROS")) + comments + body.substr(body.find("ZEROS")));
    Outcome r = run({"write", "--yes", source});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = (dir / "out.sac").string();
    r = run({"export", "--sta", "LNG", "--chan", "BHZ", "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string exportedText = readAll(out);
    EXPECT_GT(exportedText.size(), 131071u);
    EXPECT_NE(exportedText.find("CONSTANT"), std::string::npos);
    EXPECT_EQ(exportedText,
              orv::text::replaceAll(orv::text::cp1251ToUtf8(readAll(source)), "\n", "\r\n"));

    db.exec("UPDATE CALIBRATION SET SAC='" + std::string(131072, 'x') + "'");
    const std::string refused = (dir / "refused.sac").string();
    r = run({"export", "--sta", "LNG", "--chan", "BHZ", "--out", refused});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Текст длиннее 131071 символа и не может быть обработан"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(refused));
}

TEST_P(CliDatabase, ExportFindsTheExactCodeAndAnEmptyLocationAsWritten) {
    if (GetParam() == Backend::MariaDB)
        GTEST_SKIP() << "MariaDB's key compares codes without regard to case";
    for (const char* sta : {"TB", "tb"})
        ASSERT_EQ(run({"write", "--yes", kPoleZeroFile, "--sta", sta, "--chan", "BHZ", "--loc", "",
                       "--start", "2004.01.01 00:00:00"})
                      .status,
                  0);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION WHERE LOCATION='?"
                        "?'"),
              "2");
    const std::string out = (dir / "tb.sac").string();
    const Outcome r = run({"export", "--sta", "tb", "--chan", "BHZ", "--loc", "", "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, out + ": XYN tb BHZ ?? 2004.01.01 00:00:00 SAC\n");
    EXPECT_EQ(readAll(out).rfind("# Station tb\r\n# Channel BHZ\r\n# Location ??\r\n", 0), 0u);
}

TEST_P(CliDatabase, AGse2FileWithAnInfiniteAmplitudeIsNotWritten) {
    std::ofstream(dir / "zero.fap", std::ios::binary) << "title\n1.0 2.0e9 0\n2.0 0 0\n";
    ASSERT_EQ(run({"write", "--yes", (dir / "zero.fap").string(), "--format", "fap-orv", "--sta",
                   "ZRO", "--chan", "BHZ", "--start", "2004.01.01 00:00:00"})
                  .status,
              0);
    const std::string gse2 = (dir / "out.fap").string();
    Outcome r = run({"export", "--sta", "ZRO", "--chan", "BHZ", "--fap", "gse2", "--out", gse2});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Строка 4 файла FAP:"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(gse2));
    r = run({"export", "--sta", "ZRO", "--chan", "BHZ", "--fap", "orv", "--out", gse2});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(CliKeyOptions, ADateThatIsNotADateTextOrALongCodeIsRefusedBeforeConnecting) {
    orv::test::TempDir dir;
    // An end comes with a good start; the last one lies before it. Codes are never cut.
    for (const auto& [option, value] :
         {std::pair{"--start", "15.03.2009 00:00:00"}, std::pair{"--start", "2009-03-15 00:00:00"},
          std::pair{"--end", "2009.02.29 00:00:00"}, std::pair{"--end", "2000.01.01 00:00:00"},
          std::pair{"--sta", "KARCKARCX"}, std::pair{"--loc", "ДЛИННЫЙКОД"},
          std::pair{"--sta", "A\tB"}, std::pair{"--chan", "\x1B[2J"}, std::pair{"--freq", "-1"},
          std::pair{"--freq", "0"}}) {
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

// A server whose synchronous standby is away: the first write of a key that has no rows
// yet is committed on the primary and never confirmed. gainbook-cli says the write is kept
// there only, may be lost, and ends with status 3: neither a success nor a failure.
TEST(CliUnconfirmed, AFirstWriteTheStandbyNeverConfirmsEndsWithStatusThree) {
    orv::test::PrivateServer server(Backend::PostgreSQL);
    if (!server.available())
        GTEST_SKIP() << server.whyUnavailable();
    TestDatabase db(Backend::PostgreSQL);
    ORV_SKIP_IF_UNAVAILABLE(db);
    orv::test::TempDir dir;
    const auto write = [&](const std::string& station) {
        return runCli(dir.path(), {"write", kPoleZeroFile, "--yes", "--sta", station, "--chan",
                                   "BHZ", "--start", "2003.01.01 00:00:00", "--dsn", db.dsn(),
                                   "--user", "ORV", "--password", "KTZ"});
    };
    ASSERT_EQ(write("KIV").status, 0);
    db.exec("ALTER SYSTEM SET synchronous_standby_names = 'absent'");
    db.exec("SELECT pg_reload_conf()");
    const Outcome r = write("AAK");
    db.exec("ALTER SYSTEM RESET synchronous_standby_names");
    db.exec("SELECT pg_reload_conf()");

    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("Запись сохранена на основном сервере базы данных, но резервный сервер "
                         "не подтвердил её за 10 с: пока он недоступен, запись есть только на "
                         "основном сервере. Если этот сервер заменят другим до того, как "
                         "резервный получит запись, она будет потеряна"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Запись прошла успешно!"), std::string::npos) << r.err;
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION WHERE STA = 'AAK'"), "1");
}

// Two gainbook-cli writes of one new key started together on an SQLite file, 25 times.
// Each reads the key before it writes: were the write lock taken only at the first write,
// both could hold the file for reading while asking to write, and wait for each other
// until the driver's lock timeout (5 s in this data source, 100 s unless set). The second
// waits for the first to commit and then writes after it: each pair ends within 2 s, both
// written, the history as one after the other leaves it.
TEST(CliSQLite, TwoWritersOfANewKeyStartedTogetherEndAtOnceOneAfterTheOther) {
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    orv::test::TempDir dir;
    const std::string dsn = db.dsn() + "_TIMEOUT";
    std::ofstream(std::filesystem::path(std::getenv("ODBCSYSINI")) / "odbc.ini", std::ios::app)
        << "[" << dsn << "]\nDriver=SQLite3\nDatabase=" << (dir / "shared.sqlite").string()
        << "\nTimeout=5000\n\n";
    const auto write = [&](const std::string& station, const char* start, const char* in) {
        std::filesystem::create_directories(dir / in);
        return runCli(dir / in, {"write", kPoleZeroFile, "--yes", "--sta", station, "--chan", "BHZ",
                                 "--start", start, "--dsn", dsn});
    };
    ASSERT_EQ(write("KIV", "2003.01.01 00:00:00", "first").status, 0);
    orv::odbc::Connection c;
    ASSERT_FALSE(orv::odbc::isError(c.driverConnect("DSN=" + dsn + ";")));
    for (int pair = 0; pair < 25; ++pair) {
        const std::string station = "P" + std::to_string(pair);
        const auto began = std::chrono::steady_clock::now();
        auto first = std::async(std::launch::async, write, station, "2010.01.01 00:00:00", "a");
        auto second = std::async(std::launch::async, write, station, "2011.01.01 00:00:00", "b");
        const Outcome one = first.get();
        const Outcome other = second.get();
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

        EXPECT_LT(took, 2.0) << station;
        EXPECT_EQ(one.status, 0) << station << ": " << one.err;
        EXPECT_EQ(other.status, 0) << station << ": " << other.err;
        // As the two orders leave it: the later start closes the earlier's interval, or the
        // earlier start, written second, replaces the later one it covers.
        std::vector<std::string> history;
        orv::odbc::Statement st(c);
        ASSERT_FALSE(orv::odbc::isError(
            st.execDirect("SELECT STARTDATE, ENDDATE FROM CALIBRATION WHERE STA = '" + station +
                          "' ORDER BY STARTDATE")));
        while (orv::odbc::isSuccess(st.fetch()))
            history.push_back(st.getText(1).value_or("") + " / " + st.getText(2).value_or("-"));
        const std::vector<std::string> oneThenOther = {"2010-01-01 00:00:00 / 2011-01-01 00:00:00",
                                                       "2011-01-01 00:00:00 / -"};
        const std::vector<std::string> otherThenOne = {"2010-01-01 00:00:00 / -"};
        EXPECT_TRUE(history == oneThenOther || history == otherThenOne)
            << station << ": " << testing::PrintToString(history) << station;
        if (HasFailure())
            break;
    }
}

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

TEST(CliSettings, TheMachinesSettingsFileServesAnAccountWithoutItsOwn) {
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    orv::test::TempDir dir;
    std::filesystem::create_directories(dir / "machine");
    orv::test::ScopedCurrentDir here(dir.path()); // no Gainbook.ini here
    orv::test::ScopedEnv user("ORV_SETTINGS_DIR", (dir / "user").c_str());
    orv::test::ScopedEnv machine("ORV_MACHINE_SETTINGS_DIR", (dir / "machine").c_str());
    const std::vector<std::string> list = {"list", "--yes"};
    Outcome r = runCli(dir.path(), list);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "gainbook-cli list: не задан источник данных: нет ни --dsn, ни [DATABASE] "
                     "ODBC в файлах настроек (" +
                         (dir / "Gainbook.ini").string() + " - нет файла, " +
                         (dir / "user" / "ORV.ini").string() + " - нет файла, " +
                         (dir / "machine" / "ORV.ini").string() + " - нет файла)\n");

    std::ofstream(dir / "machine" / "ORV.ini")
        << "[DATABASE]\nODBC=" << db.dsn() << "\nUSER=ORV\nPASSWORD=KTZ\n";
    r = runCli(dir.path(), {"write", kPoleZeroFile, "--yes", "--sta", "KIV", "--chan", "BHZ",
                            "--start", "2003.01.01 00:00:00"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = runCli(dir.path(), list);
    EXPECT_EQ(r.out, "XYN\tKIV\tBHZ\t??\t2003.01.01 00:00:00\n") << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "user")); // nothing written for the user
}
