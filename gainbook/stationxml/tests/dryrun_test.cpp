// gainbook-cli import --dry-run against real databases: what it promises, read from the
// stored intervals, is what the import then does.
#include "clirunner.h"
#include "documentchecks.h"
#include "handmade.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <fstream>

using orv::gainbook::test::Outcome;
using orv::stationxml::test::document;
using orv::stationxml::test::HandmadeChannel;

namespace {

std::string written(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

class ImportDryRun : public orv::stationxml::test::CliOnDatabase {};

// Stored: BHZ 2020-2025 and HHZ open from 2020. The document: BHZ 2018-2022 (refused: it
// would overlap the stored BHZ, which starts inside it and ends later), HHZ 2021-2022 (cuts
// the stored HHZ at 2021) and a new LHZ.
TEST_P(ImportDryRun, PromisesWhatTheImportThenDoes) {
    const HandmadeChannel c;
    const std::string stored =
        written(dir / "stored.xml",
                document({c.named("BHZ").during("2020-01-01T00:00:00", "2025-01-01T00:00:00"),
                          c.named("HHZ")}));
    ASSERT_EQ(run({"import", stored, "--yes"}).status, 0);
    const std::string doc =
        written(dir / "new.xml",
                document({c.named("BHZ").during("2018-01-01T00:00:00", "2022-01-01T00:00:00"),
                          c.named("HHZ").during("2021-01-01T00:00:00", "2022-01-01T00:00:00"),
                          c.named("LHZ")}));

    const Outcome dry = run({"import", doc, "--dry-run"});
    const Outcome real = run({"import", doc, "--yes"});
    EXPECT_EQ(dry.status, 1) << dry.err;
    EXPECT_EQ(real.status, 1) << real.err;
    const std::string refused =
        "XX.STA.00.BHZ 2018.01.01 00:00:00 / 2022.01.01 00:00:00: не записано: Новый интервал "
        "2018.01.01 00:00:00 / 2022.01.01 00:00:00 перекрывает интервал 2020.01.01 00:00:00 / "
        "2025.01.01 00:00:00, уже записанный в базе. Запись в базу не выполнена.\n";
    EXPECT_TRUE(has(dry.err, refused)) << dry.err;
    EXPECT_TRUE(has(real.err, refused)) << real.err;
    const std::string cut = "2020.01.01 00:00:00 / до настоящего времени -> 2020.01.01 00:00:00 / "
                            "2021.01.01 00:00:00\n";
    EXPECT_TRUE(has(dry.out, "; заменило бы в базе: " + cut)) << dry.out;
    EXPECT_TRUE(has(real.out, "; заменено в базе: " + cut)) << real.out;
    EXPECT_TRUE(has(dry.out, "(--dry-run: было бы записано 2, заменено хранимых интервалов 1)"))
        << dry.out;
    EXPECT_TRUE(has(real.out, "записано 2 из 3, заменено хранимых интервалов 1\n")) << real.out;
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION WHERE CHAN='BHZ'"), "1");
}

// Without a database to read, the dry run checks the document alone and says so; a database
// without CALIBRATION has no stored intervals.
TEST_P(ImportDryRun, WithoutStoredIntervalsItSaysSo) {
    const std::string doc = written(dir / "one.xml", document({HandmadeChannel{}}));
    Outcome r = orv::gainbook::test::runCli(dir.path(),
                                            {"import", doc, "--dry-run", "--dsn", "NO_SUCH_DSN"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, "--dry-run: хранимые интервалы не прочитаны: ")) << r.err;
    EXPECT_TRUE(has(r.out, "(--dry-run: было бы записано 1)")) << r.out;
    r = run({"import", doc, "--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, "в базе нет таблицы CALIBRATION: хранимых интервалов нет")) << r.err;
    EXPECT_FALSE(db.connect()->tableExists("CALIBRATION"));
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportDryRun, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
