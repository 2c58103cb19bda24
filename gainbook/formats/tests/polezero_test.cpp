#include "formats/polezero.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using orv::gainbook::formats::Complex;
using orv::gainbook::formats::isPoleZeroText;
using orv::gainbook::formats::PoleZeroResponse;
using orv::gainbook::formats::readPoleZeroText;
using orv::gainbook::formats::readPoleZeroTextLenient;

namespace {

PoleZeroResponse read(const std::string& text) {
    PoleZeroResponse r;
    EXPECT_TRUE(readPoleZeroText(text, r)) << text;
    return r;
}

} // namespace

TEST(PoleZeroReader, CountWithNoZeroLinesGivesZerosAtTheOrigin) {
    const PoleZeroResponse r = read("ZEROS 3\r\nPOLES 1\r\n-1.5 2.5\r\nCONSTANT 4e+02\r\n");
    EXPECT_EQ(r.zeroCount, 3);
    ASSERT_EQ(r.zeros.size(), 3u);
    for (const Complex& z : r.zeros)
        EXPECT_EQ(z, (Complex{0, 0}));
    EXPECT_EQ(r.poleCount, 1);
    ASSERT_EQ(r.poles.size(), 1u);
    EXPECT_EQ(r.poles[0], (Complex{-1.5, 2.5}));
    EXPECT_DOUBLE_EQ(r.constant, 400.0);
}

TEST(PoleZeroReader, ListedZerosComeBeforeTheImpliedOnes) {
    const PoleZeroResponse r = read("ZEROS 2\r\n-3 4\r\nPOLES 0\r\nCONSTANT 1\r\n");
    ASSERT_EQ(r.zeros.size(), 2u);
    EXPECT_EQ(r.zeros[0], (Complex{-3, 4}));
    EXPECT_EQ(r.zeros[1], (Complex{0, 0}));
}

TEST(PoleZeroReader, ReadsSignedFixedAndExponentFormsAndBlankSeparatedColumns) {
    // The layout of a tab-separated file after the tabs became blanks.
    const PoleZeroResponse r =
        read("* comment ZERO\r\nZEROS 1\r\n +1.0e+00 -2.5E-01 \r\nPOLES 2\r\n"
             "   -4.800400e-03   +0.000000e+00\r\n-22.7121 27.1065\r\nCONSTANT  6.985619e+13\r\n");
    EXPECT_EQ(r.zeros[0], (Complex{1.0, -0.25}));
    EXPECT_EQ(r.poles[0], (Complex{-4.8004e-3, 0.0}));
    EXPECT_EQ(r.poles[1], (Complex{-22.7121, 27.1065}));
    EXPECT_DOUBLE_EQ(r.constant, 6.985619e13);
}

TEST(PoleZeroReader, MalformedNumbersAndMissingLineEndsReadAsZero) {
    // The main window's reader refuses a number that is not one, naming its line; the
    // frequency-response window's reader takes such numbers as 0.
    const std::string malformed = "ZEROS 1\r\nabc def\r\nPOLES 2\r\n7\r\nCONSTANT x\r\n";
    PoleZeroResponse r;
    std::size_t badLine = 0;
    EXPECT_FALSE(readPoleZeroText(malformed, r, &badLine));
    EXPECT_EQ(badLine, 2u);
    readPoleZeroTextLenient(malformed, r);
    ASSERT_EQ(r.zeros.size(), 1u);
    ASSERT_EQ(r.poles.size(), 2u);
    EXPECT_EQ(r.zeros[0], (Complex{0, 0}));
    // One pole line for two poles: the missing pole lies at the origin, and the constant
    // is still found.
    EXPECT_EQ(r.poles[0], (Complex{7, 0}));
    EXPECT_EQ(r.poles[1], (Complex{0, 0}));
    EXPECT_EQ(r.constant, 0.0);
    r = read("ZEROS 0\r\nPOLES 3\r\n-1 1\r\nCONSTANT 8\r\n");
    ASSERT_EQ(r.poles.size(), 3u);
    EXPECT_EQ(r.poles[2], (Complex{0, 0}));
    EXPECT_EQ(r.constant, 8.0);

    // A value line without its line end is read as empty.
    r = read("CONSTANT 2\r\nZEROS 0\r\nPOLES 1\r\n5 6");
    ASSERT_EQ(r.poles.size(), 1u);
    EXPECT_EQ(r.poles[0], (Complex{0, 0}));
}

TEST(PoleZeroReader, EveryReadingStartsFromAnEmptyRecord) {
    PoleZeroResponse r = read("ZEROS 2\r\n1 1\r\n2 2\r\nPOLES 2\r\n3 3\r\n4 4\r\nCONSTANT 9\r\n");
    ASSERT_TRUE(readPoleZeroText("ZEROS 1\r\nPOLES 1\r\n5 5\r\nCONSTANT 1\r\n", r));
    EXPECT_EQ(r.zeros.size(), 1u);
    EXPECT_EQ(r.poles.size(), 1u);
    EXPECT_FALSE(readPoleZeroText("no keywords", r));
    EXPECT_TRUE(r.zeros.empty());
    EXPECT_TRUE(r.poles.empty());
}

TEST(PoleZeroReader, MainWindowVariantRefusesTextsThatAreNoPoleZeroTexts) {
    PoleZeroResponse r;
    EXPECT_FALSE(readPoleZeroText("", r));
    EXPECT_FALSE(readPoleZeroText("1.0 2.0 0.0\r\n", r));
    EXPECT_FALSE(readPoleZeroText("zeros 1\r\nPOLES 0\r\nCONSTANT 1\r\n", r)); // case matters
    // Sections missing after "ZEROS".
    EXPECT_FALSE(readPoleZeroText("ZEROS 0\r\nCONSTANT 1\r\n", r));
    EXPECT_FALSE(readPoleZeroText("ZEROS 0\r\nPOLES 1\r\n1 1\r\n", r));
}

TEST(PoleZeroReader, ImpossibleCountsAreRefusedAtOnce) {
    PoleZeroResponse r;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(readPoleZeroText("ZEROS 2000000000\r\nPOLES 1\r\n1 1\r\nCONSTANT 1\r\n", r));
    EXPECT_FALSE(readPoleZeroText("ZEROS 1\r\n0 0\r\nPOLES 99999999999\r\nCONSTANT 1\r\n", r));
    EXPECT_FALSE(readPoleZeroText("ZEROS -2\r\nPOLES 0\r\nCONSTANT 1\r\n", r));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(r.zeros.empty());
    // A few implied zeros beyond the lines are real.
    EXPECT_TRUE(readPoleZeroText("ZEROS 8\r\nPOLES 0\r\nCONSTANT 1\r\n", r));
    EXPECT_EQ(r.zeros.size(), 8u);

    readPoleZeroTextLenient("ZEROS 2000000000\r\nPOLES 1\r\n1 1\r\nCONSTANT 1\r\n", r);
    EXPECT_TRUE(r.zeros.empty());
    EXPECT_TRUE(r.poles.empty());
    EXPECT_EQ(r.constant, 0.0);
}

TEST(PoleZeroReader, LenientVariantReadsATextWithoutZerosFromItsSixthCharacter) {
    PoleZeroResponse r;
    readPoleZeroTextLenient("HEAD: 1\r\n3 4\r\nPOLES 1\r\n-1 0\r\nCONSTANT 2\r\n", r);
    EXPECT_EQ(r.zeroCount, 1);
    ASSERT_EQ(r.zeros.size(), 1u);
    EXPECT_EQ(r.zeros[0], (Complex{3, 4}));
    EXPECT_EQ(r.poles[0], (Complex{-1, 0}));
    EXPECT_DOUBLE_EQ(r.constant, 2.0);
}

TEST(PoleZeroReader, ConstantInFrontOfTheZerosIsFound) {
    const PoleZeroResponse r =
        read("* head\r\nCONSTANT              7.4592E-02\r\nZEROS   1\r\n 0.0 0.0\r\n"
             "POLES   1\r\n -1.5932E-01 1.5932E-01\r\n* <EOE>\r\n");
    EXPECT_DOUBLE_EQ(r.constant, 7.4592e-2);
    EXPECT_EQ(r.poles[0], (Complex{-0.15932, 0.15932}));
}

TEST(PoleZeroReader, OnlyTheFirstResponseOfAFileIsRead) {
    // Constant after the poles: the next response's constant must not be taken either
    // when its own is missing.
    const std::string second = "ZEROS 0\r\nPOLES 0\r\nCONSTANT 222\r\n";
    PoleZeroResponse r = read("ZEROS 0\r\nPOLES 1\r\n-1 0\r\nCONSTANT 111\r\n\r\n" + second);
    EXPECT_DOUBLE_EQ(r.constant, 111.0);
    EXPECT_EQ(r.poles.size(), 1u);
    // Constant in front of the zeros in every response.
    r = read("CONSTANT 111\r\nZEROS 0\r\nPOLES 1\r\n-1 0\r\nCONSTANT 222\r\nZEROS 0\r\n"
             "POLES 0\r\n");
    EXPECT_DOUBLE_EQ(r.constant, 111.0);
}

TEST(PoleZeroReader, AnIncompleteCalibrationBlockIsRefused) {
    PoleZeroResponse r;
    EXPECT_FALSE(readPoleZeroText("CAL1 KIV BHZ PAZ\r\n2000000000\r\n", r));
    EXPECT_FALSE(readPoleZeroText("CAL1 KIV BHZ PAZ\r\n2\r\n-1 0\r\n", r));
    EXPECT_FALSE(readPoleZeroText("CAL1 KIV BHZ PAZ\r\n1\r\n-1 0\r\n0\r\n", r)); // no gain
    EXPECT_TRUE(readPoleZeroText("CAL1 KIV BHZ PAZ\r\n1\r\n-1 0\r\n0\r\n7.5\r\n", r));
    EXPECT_DOUBLE_EQ(r.constant, 7.5);
    EXPECT_EQ(r.zeroCount, 0);
    // Without "PAZ" the first line names no pole-zero block.
    EXPECT_FALSE(readPoleZeroText("CAL1 KIV BHZ FAP\r\n1\r\n-1 0\r\n0\r\n7.5\r\n", r));
    // Nor does it when "PAZ" stands beyond the first line feed: the reader and the test
    // that keeps pole-zero texts out of FAP files agree on what the first line is.
    const char* const later = "CAL1 KIV BHZ\n PAZ\r\n1\r\n-1 0\r\n0\r\n7.5\r\n";
    EXPECT_FALSE(readPoleZeroText(later, r));
    EXPECT_FALSE(isPoleZeroText(later));
}
