#include "response/curve.h"

#include "text/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

using namespace orv::gainbook::response;

namespace {

// Zeros 0, 0, -1; pole -2; constant 4.
const char* const kPoleZero = "ZEROS 3\r\n-1 0\r\nPOLES 1\r\n-2 0\r\nCONSTANT 4\r\n";

CurveInputs linear(UnitDirection units, Motion motion = Motion::Displacement) {
    return {.sourceText = kPoleZero,
            .kind = SourceKind::Sac,
            .motion = motion,
            .units = units,
            .low = "1",
            .high = "2",
            .points = "3",
            .decade = false};
}

// |H| with all zeros: 4 * |s|^2 * |s + 1| / |s + 2|.
double h(double f) {
    const double w = kTwoPi * f;
    return 4 * w * w * std::hypot(1, w) / std::hypot(2, w);
}

} // namespace

TEST(SacCurve, DirectUnitsListNanoScaledAmplitude) {
    const CurveResult r = computeCurve(linear(UnitDirection::Direct));
    ASSERT_EQ(r.status, CurveStatus::Computed);
    ASSERT_EQ(r.points.size(), 3u);
    const double fs[] = {1, 1.5, 2};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r.points[i].frequency, fs[i]);
        EXPECT_NEAR(r.points[i].amplitude, h(fs[i]), 1e-12 * h(fs[i]));
        EXPECT_EQ(r.lines()[i],
                  orv::text::format("%10.7lf   %10.7le   0.0", fs[i], h(fs[i]) * 1e-9));
    }
    EXPECT_EQ(r.lines()[0], " 1.0000000   1.5236830e-007   0.0");
    EXPECT_EQ(r.text(), r.lines()[0] + "\r\n" + r.lines()[1] + "\r\n" + r.lines()[2] + "\r\n");
    EXPECT_FALSE(r.fapFields);
}

TEST(SacCurve, InverseUnitsListGigaScaledReciprocal) {
    const CurveResult r = computeCurve(linear(UnitDirection::Inverse));
    ASSERT_EQ(r.points.size(), 3u);
    EXPECT_NEAR(r.points[1].amplitude, 1 / h(1.5), 1e-12 / h(1.5));
    EXPECT_EQ(r.lines()[1], orv::text::format("%10.7lf   %10.7le   0.0", 1.5, 1e9 / h(1.5)));
}

TEST(SacCurve, MotionLeavesOutOriginZeros) {
    const double w = kTwoPi * 2;
    EXPECT_NEAR(computeCurve(linear(UnitDirection::Direct, Motion::Velocity)).points[2].amplitude,
                h(2) / w, 1e-12 * h(2));
    EXPECT_NEAR(
        computeCurve(linear(UnitDirection::Direct, Motion::Acceleration)).points[2].amplitude,
        h(2) / (w * w), 1e-12 * h(2));
}

TEST(SacCurve, GridChoiceAndDegenerateGrids) {
    CurveInputs in = linear(UnitDirection::Direct);
    in.decade = true;
    in.low = "0.001";
    in.high = "20";
    in.points = "300";
    const CurveResult r = computeCurve(in);
    EXPECT_EQ(r.lines().size(), 1234u);
    EXPECT_EQ(r.lines().back().substr(0, 10), "19.9000000");

    in.points = "0";
    EXPECT_TRUE(computeCurve(in).lines().empty());
    in.points = "abc";
    EXPECT_TRUE(computeCurve(in).lines().empty());
    in.points = "300";
    in.low = "0";
    EXPECT_TRUE(computeCurve(in).lines().empty());
    in.decade = false;
    in.low = "5";
    in.high = "5";
    EXPECT_TRUE(computeCurve(in).lines().empty());
    in.high = "6";
    in.points = "99999999";
    EXPECT_EQ(computeCurve(in).status, CurveStatus::TooManyPoints);
}

TEST(SacCurve, TextWithoutZerosIsReadFromItsSixthCharacter) {
    CurveInputs in = linear(UnitDirection::Direct);
    in.sourceText = "HEAD: 0\r\nPOLES 1\r\n-2 0\r\nCONSTANT 4\r\n";
    const CurveResult r = computeCurve(in);
    ASSERT_EQ(r.points.size(), 3u);
    EXPECT_NEAR(r.points[0].amplitude, 4 / std::hypot(2, kTwoPi), 1e-12);
}

namespace {

const char* const kFap = " 1.0000000  2.0000000e+009  0.0\r\n"
                         " 2.0000000  4.0000000e+009  0.0\r\n"
                         " 4.0000000  5.0000000e+009  0.0\r\n";

CurveInputs fap(UnitDirection units, Motion motion, bool derivative) {
    CurveInputs in;
    in.sourceText = kFap;
    in.kind = SourceKind::Fap;
    in.units = units;
    in.motion = motion;
    in.derivative = derivative;
    return in;
}

} // namespace

TEST(FapCurve, TableValuesInBothUnitDirections) {
    CurveResult r = computeCurve(fap(UnitDirection::Inverse, Motion::Velocity, false));
    ASSERT_EQ(r.points.size(), 3u);
    EXPECT_DOUBLE_EQ(r.points[0].amplitude, 5e8); // 1e18 / 2e9
    EXPECT_EQ(r.lines()[0], " 1.0000000       5e+008   0.0");
    EXPECT_EQ(r.lines()[2], " 4.0000000       2e+008   0.0");
    ASSERT_TRUE(r.fapFields);
    EXPECT_EQ(r.fapFields->low, "1.000000");
    EXPECT_EQ(r.fapFields->high, "4.000000");
    EXPECT_EQ(r.fapFields->points, "3");

    r = computeCurve(fap(UnitDirection::Direct, Motion::Velocity, false));
    EXPECT_DOUBLE_EQ(r.points[1].amplitude, 4e12); // 4e9 * 1000
    EXPECT_EQ(r.lines()[1], " 2.0000000       4e+012   0.0");
    // The grid fields play no part.
    CurveInputs in = fap(UnitDirection::Direct, Motion::Velocity, false);
    in.points = "0";
    in.low = "-1";
    EXPECT_EQ(computeCurve(in).points.size(), 3u);
}

TEST(FapCurve, DerivativeFlagScalesByFrequency) {
    const double f = 2.0;
    const double inv = 1e18 / 4e9;
    const double dir = 4e9 * 1000;
    EXPECT_DOUBLE_EQ(
        computeCurve(fap(UnitDirection::Inverse, Motion::Displacement, true)).points[1].amplitude,
        inv * kTwoPi * f);
    EXPECT_DOUBLE_EQ(
        computeCurve(fap(UnitDirection::Direct, Motion::Displacement, true)).points[1].amplitude,
        dir * kTwoPi / f);
    EXPECT_DOUBLE_EQ(
        computeCurve(fap(UnitDirection::Inverse, Motion::Acceleration, true)).points[1].amplitude,
        inv / (kTwoPi * f));
    EXPECT_DOUBLE_EQ(
        computeCurve(fap(UnitDirection::Direct, Motion::Acceleration, true)).points[1].amplitude,
        dir / (kTwoPi / f));
    // Velocity ignores the flag; without the flag no motion scales.
    EXPECT_DOUBLE_EQ(
        computeCurve(fap(UnitDirection::Direct, Motion::Velocity, true)).points[1].amplitude, dir);
    EXPECT_DOUBLE_EQ(
        computeCurve(fap(UnitDirection::Direct, Motion::Displacement, false)).points[1].amplitude,
        dir);
}

TEST(FapCurve, EmptyIncompleteAndTooLongTexts) {
    CurveInputs in = fap(UnitDirection::Direct, Motion::Velocity, false);
    in.sourceText = "";
    CurveResult r = computeCurve(in);
    EXPECT_TRUE(r.points.empty());
    EXPECT_FALSE(r.fapFields);
    in.sourceText = "1 2 0\r\n3\t4";
    r = computeCurve(in);
    EXPECT_EQ(r.points.size(), 1u);
    in.sourceText.clear();
    while (in.sourceText.size() < orv::gainbook::formats::kWorkingBufferSize)
        in.sourceText += kFap;
    r = computeCurve(in);
    EXPECT_EQ(r.status, CurveStatus::TooLong);
    EXPECT_TRUE(r.points.empty());
    // A pole-zero text is held to the same limit.
    in.kind = SourceKind::Sac;
    r = computeCurve(in);
    EXPECT_EQ(r.status, CurveStatus::TooLong);
    EXPECT_TRUE(r.listing.empty());
}

TEST(UnitButtons, DerivativeFlagAndCaptions) {
    EXPECT_TRUE(derivativeAfterUnitClick(UnitDirection::Direct, Motion::Displacement));
    EXPECT_FALSE(derivativeAfterUnitClick(UnitDirection::Direct, Motion::Velocity));
    EXPECT_FALSE(derivativeAfterUnitClick(UnitDirection::Direct, Motion::Acceleration));
    EXPECT_TRUE(derivativeAfterUnitClick(UnitDirection::Inverse, Motion::Acceleration));
    EXPECT_FALSE(derivativeAfterUnitClick(UnitDirection::Inverse, Motion::Velocity));
    EXPECT_FALSE(derivativeAfterUnitClick(UnitDirection::Inverse, Motion::Displacement));

    EXPECT_STREQ(unitCaption(UnitDirection::Inverse, Motion::Displacement), "nm/counts");
    EXPECT_STREQ(unitCaption(UnitDirection::Direct, Motion::Displacement), "counts/nm");
    EXPECT_STREQ(unitCaption(UnitDirection::Inverse, Motion::Velocity), "nm/counts*sec");
    EXPECT_STREQ(unitCaption(UnitDirection::Direct, Motion::Velocity), "counts*sec/nm");
    EXPECT_STREQ(unitCaption(UnitDirection::Inverse, Motion::Acceleration), "nm/counts*sec**2");
    EXPECT_STREQ(unitCaption(UnitDirection::Direct, Motion::Acceleration), "counts*sec**2/nm");
}

TEST(ListingLine, PrintsExactlyWhatTheFormattedOutputPrints) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  19.9,
                                  1e-300,
                                  1e300,
                                  -2.5e-7,
                                  0.00000005,
                                  0.00000015,
                                  999999.99999995,
                                  1e100,
                                  1.5e-100,
                                  123456789.123456789,
                                  5e17,
                                  9.99999995e5,
                                  0.5e-7,
                                  2.0000000500000001,
                                  -1e-5};
    std::uint64_t seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const double mantissa = static_cast<double>(seed >> 11) / 9007199254740992.0;
        const int exponent = static_cast<int>((seed >> 3) % 80) - 40;
        values.push_back((seed & 1 ? -1 : 1) * mantissa * std::pow(10.0, exponent));
    }
    values.push_back(std::numeric_limits<double>::infinity());
    values.push_back(-std::numeric_limits<double>::infinity());
    values.push_back(std::nan(""));
    for (double v : values)
        ASSERT_EQ(gridListingLine(std::fabs(v), v),
                  orv::text::format("%10.7lf   %10.7le   0.0", std::fabs(v), v))
            << std::to_string(v);
}

TEST(SacCurve, PhaseColumnIsTheUnwrappedPhaseOfTheListedResponse) {
    // Three poles at -1: the phase -3 atan(2 pi f) passes -180 degrees near 0.28 Hz.
    CurveInputs in = linear(UnitDirection::Direct);
    in.sourceText = "ZEROS 0\r\nPOLES 3\r\n-1 0\r\n-1 0\r\n-1 0\r\nCONSTANT 2\r\n";
    in.low = "0.01";
    in.high = "2";
    in.points = "50";
    const ListingStyle phase{"\n", true};
    for (UnitDirection units : {UnitDirection::Direct, UnitDirection::Inverse}) {
        in.units = units;
        const std::vector<std::string> plain = computeCurve(in).lines();
        const CurveResult r = computeCurve(in, phase);
        const std::vector<std::string> lines = r.lines();
        ASSERT_EQ(lines.size(), 50u);
        EXPECT_EQ(r.listing.find('\r'), std::string::npos);
        const double sign = units == UnitDirection::Direct ? -1 : 1;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            // Everything before the third column is the listing without the phase.
            const std::size_t third = plain[i].size() - 3;
            EXPECT_EQ(lines[i].substr(0, third), plain[i].substr(0, third));
            const double expected =
                sign * 3 * std::atan(kTwoPi * r.points[i].frequency) * 180 / M_PI;
            EXPECT_NEAR(orv::text::toDouble(lines[i].substr(third)), expected, 6e-5) << lines[i];
        }
    }
}

// A negative constant turns the response round once: the phase column is the argument of
// H itself (principal value first, then continued), and the amplitude beside it is |H|,
// so that amplitude times e^(i phase) gives H back.
TEST(SacCurve, PhaseOfANegativeConstantIsCountedOnceInThePhase) {
    CurveInputs in = linear(UnitDirection::Direct);
    in.sourceText = "ZEROS 0\r\nPOLES 1\r\n-1 0\r\nCONSTANT -2\r\n";
    in.low = "0.01";
    in.high = "2";
    in.points = "20";
    for (UnitDirection units : {UnitDirection::Direct, UnitDirection::Inverse}) {
        in.units = units;
        const CurveResult r = computeCurve(in, {"\n", true});
        const std::vector<std::string> lines = r.lines();
        ASSERT_EQ(lines.size(), 20u);
        double previous = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const double f = r.points[i].frequency;
            std::complex<double> hf = -2.0 / (std::complex<double>(0, kTwoPi * f) + 1.0);
            if (units == UnitDirection::Inverse)
                hf = 1.0 / hf;
            const double scale = units == UnitDirection::Direct ? 1e-9 : 1e9;
            const double amplitude = orv::text::toDouble(lines[i].substr(13, 14));
            const double phase = orv::text::toDouble(lines[i].substr(30));
            EXPECT_NEAR(amplitude, std::abs(hf) * scale, 1e-6 * std::abs(hf) * scale) << lines[i];
            const double principal = std::arg(hf) * 180 / M_PI;
            if (i == 0) {
                EXPECT_NEAR(phase, principal, 6e-5) << lines[i];
            } else { // continued: no jump of a turn, the same direction as H
                EXPECT_NEAR(std::remainder(phase - principal, 360.0), 0, 6e-5) << lines[i];
                EXPECT_LT(std::fabs(phase - previous), 90) << lines[i];
            }
            previous = phase;
        }
    }
}

// The grid fields are read as a person types them: a decimal comma is the point; a text
// that is no number, or a grid without points, is said rather than listed as nothing.
TEST(SacCurve, GridFieldsAreReadAsTypedAndAnEmptyGridIsSaid) {
    CurveInputs in = linear(UnitDirection::Direct);
    in.low = "1,5";
    in.high = " 2 ";
    in.points = "2";
    CurveResult r = computeCurve(in);
    ASSERT_EQ(r.status, CurveStatus::Computed) << r.message;
    ASSERT_EQ(r.points.size(), 2u);
    EXPECT_EQ(r.points[0].frequency, 1.5);
    in.decade = true;
    in.low = "0,01";
    in.points = "300";
    EXPECT_DOUBLE_EQ(computeCurve(in).points.front().frequency, 0.01);

    const struct {
        const char* low;
        const char* high;
        const char* points;
        const char* message;
    } refused[] = {
        {"0x10", "2", "300", "НЧ: \"0x10\" - не число"},
        {"1", "nan", "300", "ВЧ: \"nan\" - не число"},
        {"1", "2", "3,5", "Число точек на декаду: \"3,5\" - не число"},
        {"0", "20", "300", kNoPointsMessage}, // a decade grid from 0
        {"30", "20", "300", kNoPointsMessage},
    };
    for (const auto& c : refused) {
        in.low = c.low;
        in.high = c.high;
        in.points = c.points;
        r = computeCurve(in);
        EXPECT_NE(r.status, CurveStatus::Computed) << c.low;
        EXPECT_TRUE(r.points.empty());
        EXPECT_EQ(r.message, c.message);
    }
    // A FAP text without a single triplet.
    in.kind = SourceKind::Fap;
    in.sourceText = "1 2";
    EXPECT_EQ(computeCurve(in).message, kNoPointsMessage);
}
