#include "formats/fap.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

using namespace orv::gainbook::formats;

TEST(FapFormatter, WritesTheTripletLayoutAndDropsThePhase) {
    EXPECT_EQ(formatFapTriplets("1.0 2.0 45.0\r\n", false), " 1.0000000  2.0000000e+000  0.0\r\n");
    EXPECT_EQ(formatFapTriplets("0.5   1e-3\n  -7 20.25 3.5e2 1 1.0", false),
              " 0.5000000  1.0000000e-003  0.0\r\n"
              "20.2500000  3.5000000e+002  0.0\r\n"
              " 1.0000000  ");
    EXPECT_EQ(formatFapTriplets("", false), "");
}

TEST(FapFormatter, InvertTurnsOneFlavourIntoTheOther) {
    EXPECT_EQ(formatFapTriplets("1.0 2.0 45.0\r\n", true), " 1.0000000  5.0000000e+017  0.0\r\n");
    const std::string orv =
        " 1.0000000  4.0000000e+009  0.0\r\n10.0000000  2.5000000e+010  0.0\r\n";
    const auto gse2 = formatFapTriplets(orv, true);
    ASSERT_TRUE(gse2);
    EXPECT_EQ(*gse2, " 1.0000000  2.5000000e+008  0.0\r\n10.0000000  4.0000000e+007  0.0\r\n");
    EXPECT_EQ(formatFapTriplets(*gse2, true), orv);
}

TEST(FapFormatter, OnlyBlanksAndLineFeedsSeparateNumbers) {
    // Tabs are turned to blanks when a file is loaded; left in, they join the columns.
    EXPECT_EQ(formatFapTriplets("1.0\t2.0\t45.0\r\n", false), " 1.0000000  ");
}

TEST(FapFormatter, RefusesAResultBeyondTheWorkingBuffer) {
    // Measured on what it writes: 3971 rows of 33 characters fit, 3972 do not.
    std::string text;
    for (std::size_t i = 0; i < kMaxFapRows; ++i)
        text += "1 2 0\r\n";
    const auto formatted = formatFapTriplets(text, false);
    ASSERT_TRUE(formatted);
    EXPECT_EQ(formatted->size(), 3971u * 33u);
    EXPECT_FALSE(formatFapTriplets(text + "1 2 0\r\n", false));
}

namespace {
const std::string kTable = " 1.0000000  2.0000000e+009  0.0\r\n"
                           " 2.0000000  4.0000000e+009  0.0\r\n"
                           " 4.0000000  8.0000000e+009  0.0\r\n";
}

TEST(FapEvaluation, ExactRowNeighboursMeanOrUnchanged) {
    auto calib = [](const char* freq) {
        return evaluateFapCalib(freq, kTable, LoadedFileKind::FapOrv);
    };
    EXPECT_EQ(calib("2").status, FapCalibStatus::Set);
    EXPECT_EQ(calib("2").calib, "2.5e+008");       // 1e18 / 4e9
    EXPECT_EQ(calib("3.0").calib, "1.66667e+008"); // 1e18 / mean(4e9, 8e9)
    EXPECT_EQ(calib("1.5").calib, "3.33333e+008"); // mean, not interpolated
    EXPECT_EQ(calib("0.5").calib, "1e+009");       // walk starts from amplitude 0
    EXPECT_EQ(calib("4.5").status, FapCalibStatus::Unchanged);
    // An empty or unreadable FREQ reads as 0, which no row brackets.
    EXPECT_EQ(calib("").status, FapCalibStatus::Unchanged);
}

TEST(FapEvaluation, ReadsAtMost31CharactersOfFreq) {
    EXPECT_EQ(evaluateFapCalib(std::string(30, ' ') + "2", kTable, LoadedFileKind::FapOrv).calib,
              "2.5e+008");
    // The 32nd character is not read: FREQ reads as 0.
    EXPECT_EQ(evaluateFapCalib(std::string(31, ' ') + "2", kTable, LoadedFileKind::FapOrv).status,
              FapCalibStatus::Unchanged);
}

TEST(FapEvaluation, RefusesPoleZeroTextsOnlyWhenGivenAsFap) {
    const std::string pz = "ZEROS 1\r\nPOLES 0\r\nCONSTANT 1\r\n";
    EXPECT_EQ(evaluateFapCalib("1.0", pz, LoadedFileKind::FapOrv).status,
              FapCalibStatus::WrongFormat);
    EXPECT_EQ(evaluateFapCalib("1.0", pz, LoadedFileKind::FapGse2).status,
              FapCalibStatus::WrongFormat);
    // A loaded pole-zero text is left alone when FREQ is edited.
    EXPECT_EQ(evaluateFapCalib("1.0", pz, LoadedFileKind::Sac).status, FapCalibStatus::Unchanged);
    EXPECT_EQ(evaluateFapCalib("1.0", "", LoadedFileKind::FapOrv).status,
              FapCalibStatus::Unchanged);
}

TEST(FapEvaluation, EdgeTexts) {
    // An incomplete last triplet has no amplitude and ends the walk.
    EXPECT_EQ(evaluateFapCalib("3", " 1.0 2.0 0.0\r\n 5.0", LoadedFileKind::FapOrv).status,
              FapCalibStatus::Unchanged);
    // A zero amplitude gives an infinite CALIB, not a crash.
    EXPECT_EQ(evaluateFapCalib("1", "1 0 0\r\n", LoadedFileKind::FapOrv).calib, "inf");
    std::string big;
    while (big.size() < kWorkingBufferSize)
        big += kTable;
    EXPECT_EQ(evaluateFapCalib("2", big, LoadedFileKind::FapOrv).status, FapCalibStatus::TooLong);
}

TEST(FapEvaluation, FreqEditsThatRunIt) {
    EXPECT_TRUE(freqEditTriggersEvaluation("1.0"));
    EXPECT_TRUE(freqEditTriggersEvaluation("2e-1"));
    EXPECT_FALSE(freqEditTriggersEvaluation(""));
    EXPECT_FALSE(freqEditTriggersEvaluation(".5"));
    EXPECT_FALSE(freqEditTriggersEvaluation("0"));
    EXPECT_FALSE(freqEditTriggersEvaluation("abc"));
}

// The rows as the formatter splits the text: a phase of any form is skipped whole, a
// Fortran exponent is a number, and a last triplet cut after its amplitude is a row while
// one cut after its frequency is none.
TEST(FapRows, ReadAsTheFormatterSplitsTheText) {
    using Rows = std::vector<FapRow>;
    EXPECT_EQ(readFapRows(" 1.0000000  2.0000000e+009  0.0\r\n10.0  4d9  -/-\r\n"),
              (Rows{{1, 2e9}, {10, 4e9}}));
    EXPECT_EQ(readFapRows("1 2 0\r\n3\t4"), (Rows{{1, 2}, {3, 4}}));
    EXPECT_EQ(readFapRows("1 2 0\r\n3"), (Rows{{1, 2}}));
    EXPECT_EQ(readFapRows(""), Rows{});
    EXPECT_EQ(readFapRows("1 2 0\r\n3 x"), std::nullopt);
    EXPECT_EQ(readFapRows("1 2 0\r\nx"), std::nullopt);
    EXPECT_EQ(readFapRows("1 inf 0"), std::nullopt);
}

// A program whose process locale has a decimal comma (a Qt program takes the user's)
// reads the stored table the same.
TEST(FapRows, TheProcessLocaleDoesNotChangeThem) {
    // ./test compiles a Russian locale into a directory of its own and names it here.
    orv::test::ScopedEnv locpath("LOCPATH", std::getenv("ORV_TEST_LOCPATH"));
    const char* comma = nullptr;
    for (const char* name : {"ru_RU.UTF-8", "ru_RU.utf8", "de_DE.UTF-8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_ALL, name)) {
            comma = name;
            break;
        }
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    const auto rows = readFapRows(" 0.5000000  1.2500000e+002  0.0\r\n 1.5  3.5e2  0.0\r\n");
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(rows, (std::vector<FapRow>{{0.5, 125}, {1.5, 350}})) << comma;
}
