#include "response/complex.h"
#include "response/evaluation.h"

#include <gtest/gtest.h>

#include "text/text.h"

#include <cmath>

using namespace orv::gainbook::response;
using orv::gainbook::formats::LoadedFileKind;
using orv::gainbook::formats::PoleZeroResponse;

TEST(ComplexArithmetic, Operations) {
    const Complex a{3, 4};
    const Complex b{1, -2};
    EXPECT_EQ(a * b, (Complex{11, -2}));
    EXPECT_EQ(a - b, (Complex{2, 6}));
    const Complex q = a / b; // (3+4i)/(1-2i) = -1 + 2i
    EXPECT_DOUBLE_EQ(q.re, -1.0);
    EXPECT_DOUBLE_EQ(q.im, 2.0);
    const Complex r = reciprocal(a); // (3-4i)/25
    EXPECT_DOUBLE_EQ(r.re, 0.12);
    EXPECT_DOUBLE_EQ(r.im, -0.16);
    EXPECT_DOUBLE_EQ(modulus(a), 5.0);
    EXPECT_FALSE(std::isfinite(reciprocal(Complex{0, 0}).re));
}

namespace {

// One zero at -1 and one at the origin over one pole at -2, constant 3.
PoleZeroResponse simple() {
    PoleZeroResponse r;
    r.zeroCount = 2;
    r.zeros = {{-1, 0}, {0, 0}};
    r.poleCount = 1;
    r.poles = {{-2, 0}};
    r.constant = 3;
    return r;
}

double w(double f) {
    return kTwoPi * f;
}

} // namespace

TEST(PoleZeroEvaluation, DialogAndMainWindowForms) {
    const PoleZeroResponse r = simple();
    const double f = 0.5;
    const double expected = 3 * std::sqrt(1 + w(f) * w(f)) * w(f) / std::sqrt(4 + w(f) * w(f));
    EXPECT_NEAR(evaluateAmplitude(r, f, 2, 1), expected, 1e-12 * expected);
    EXPECT_NEAR(modulus(evaluateGain(r, f, 2)), 1 / expected, 1e-12 / expected);
    // G is the reciprocal of c * N / D, phase included: at s = i*w, N/D = i*w(i*w+1)/(i*w+2).
    const Complex g = evaluateGain(r, f, 2);
    const Complex s{0, w(f)};
    const Complex h = reciprocal(s * (s - Complex{-1, 0}) / (s - Complex{-2, 0}) * Complex{3, 0});
    EXPECT_NEAR(g.re, h.re, 1e-15);
    EXPECT_NEAR(g.im, h.im, 1e-15);
    // The dialog form can leave poles out; a negative constant gives a negative amplitude.
    EXPECT_NEAR(evaluateAmplitude(r, f, 2, 0), 3 * std::sqrt(1 + w(f) * w(f)) * w(f), 1e-12);
    PoleZeroResponse negative = r;
    negative.constant = -3;
    EXPECT_NEAR(evaluateAmplitude(negative, f, 2, 1), -expected, 1e-12);
}

TEST(PoleZeroEvaluation, EffectiveZeroCounts) {
    EXPECT_EQ(effectiveZeroCount(3, Motion::Displacement), 3);
    EXPECT_EQ(effectiveZeroCount(3, Motion::Velocity), 2);
    EXPECT_EQ(effectiveZeroCount(3, Motion::Acceleration), 1);
    EXPECT_EQ(effectiveZeroCountForUnit(3, "nm/counts*sec"), 2);
    EXPECT_EQ(effectiveZeroCountForUnit(3, "nm/counts*sec**2"), 1);
    EXPECT_EQ(effectiveZeroCountForUnit(3, "nm/counts"), 3);
    EXPECT_EQ(effectiveZeroCountForUnit(3, "counts/nm"), 3);
}

TEST(PoleZeroEvaluation, LeftOutZerosAreTakenFromTheOriginFirst) {
    const PoleZeroResponse r = simple(); // zeros -1, 0
    const double f = 2.0;
    const double all = evaluateAmplitude(r, f, 2, 1);
    // One zero fewer: the origin zero goes, whatever its place in the list.
    EXPECT_NEAR(evaluateAmplitude(r, f, 1, 1), all / w(f), 1e-12 * all);
    PoleZeroResponse swapped = r;
    swapped.zeros = {{0, 0}, {-1, 0}};
    EXPECT_NEAR(evaluateAmplitude(swapped, f, 1, 1), all / w(f), 1e-12 * all);
    // Without origin zeros the last zeros go.
    PoleZeroResponse none = r;
    none.zeros = {{-1, 0}, {-5, 0}};
    const double both = evaluateAmplitude(none, f, 2, 1);
    EXPECT_NEAR(evaluateAmplitude(none, f, 1, 1), both / std::hypot(5, w(f)), 1e-12 * both);
    // No zeros at all for a count of 0 or less.
    const double bare = 3 / std::hypot(2, w(f));
    EXPECT_NEAR(evaluateAmplitude(r, f, 0, 1), bare, 1e-15);
    EXPECT_NEAR(evaluateAmplitude(r, f, -1, 1), bare, 1e-15);
    // More than the record holds uses what it holds.
    EXPECT_NEAR(evaluateAmplitude(r, f, 7, 1), all, 1e-12 * all);
}

TEST(SacSensitivity, CalibIsBillionTimesTheGain) {
    // Zeros 0, 0 (displacement), pole -1, constant 2.
    const std::string text = "ZEROS 2\r\nPOLES 1\r\n-1 0\r\nCONSTANT 2\r\n";
    const double f = 1.0;
    CalibInputs in; // FREQ 1.0, "nm/counts*sec", "Hz": one origin zero is used
    CalibResult c = sacSensitivity(text, LoadedFileKind::Sac, in);
    ASSERT_EQ(c.status, CalibStatus::Set);
    EXPECT_EQ(c.calib, orv::text::format("%lg", 1e9 * std::hypot(1, w(f)) / (2 * w(f))));

    in.calibUnit = "nm/counts";
    EXPECT_EQ(sacSensitivity(text, LoadedFileKind::Sac, in).calib,
              orv::text::format("%lg", 1e9 * std::hypot(1, w(f)) / (2 * w(f) * w(f))));
    in.calibUnit = "nm/counts*sec**2";
    EXPECT_EQ(sacSensitivity(text, LoadedFileKind::Sac, in).calib,
              orv::text::format("%lg", 1e9 * std::hypot(1, w(f)) / 2));

    // FREQ in "rad/sec" is the same frequency as FREQ / (2*pi) in hertz.
    in.calibUnit = "nm/counts*sec";
    in.freqUnit = "Hz";
    in.freqField = "0.5";
    const std::string atHalfHertz = sacSensitivity(text, LoadedFileKind::Sac, in).calib;
    in.freqUnit = "rad/sec";
    in.freqField = orv::text::format("%.17g", 0.5 * kTwoPi);
    EXPECT_EQ(sacSensitivity(text, LoadedFileKind::Sac, in).calib, atHalfHertz);
    in.freqField = "0.5";
    EXPECT_NE(sacSensitivity(text, LoadedFileKind::Sac, in).calib, atHalfHertz);
}

TEST(SacSensitivity, NothingOrRefusal) {
    const CalibInputs in;
    EXPECT_EQ(sacSensitivity("", LoadedFileKind::Sac, in).status, CalibStatus::Unchanged);
    EXPECT_EQ(
        sacSensitivity("ZEROS 0\r\nPOLES 0\r\nCONSTANT 1\r\n", LoadedFileKind::FapOrv, in).status,
        CalibStatus::Unchanged);
    EXPECT_EQ(sacSensitivity(" 1.0000000  2.0e+000  0.0\r\n", LoadedFileKind::Sac, in).status,
              CalibStatus::WrongFormat);
    // Held to the working buffer as a FAP text is.
    const std::string pz = "ZEROS 0\r\nPOLES 0\r\nCONSTANT 1\r\n";
    const std::string padding(orv::gainbook::formats::kMaxTextChars - pz.size(), '*');
    EXPECT_EQ(sacSensitivity(pz + padding, LoadedFileKind::Sac, in).status, CalibStatus::Set);
    EXPECT_EQ(sacSensitivity(pz + padding + "*", LoadedFileKind::Sac, in).status,
              CalibStatus::TooLong);
}

TEST(PanelCalib, ChoosesTheEvaluationByKind) {
    const CalibInputs at2{.freqField = "2"};
    const std::string fap = " 1.0  2.0e+009  0.0\r\n 2.0  4.0e+009  0.0\r\n";
    EXPECT_EQ(panelCalib(fap, LoadedFileKind::FapOrv, at2).calib, "2.5e+008");
    EXPECT_EQ(panelCalib(fap, LoadedFileKind::Sac, at2).status, CalibStatus::WrongFormat);
    const CalibInputs at3{.freqField = "3"};
    EXPECT_EQ(panelCalib(fap, LoadedFileKind::FapOrv, at3).status, CalibStatus::Unchanged);
    EXPECT_EQ(
        panelCalib("ZEROS 0\r\nPOLES 0\r\nCONSTANT 1\r\n", LoadedFileKind::FapOrv, at3).status,
        CalibStatus::WrongFormat);
}

TEST(PoleZeroEvaluation, ManyPolesStayFinite) {
    // 80 poles near -300 rad/s: |D| is about 1e198, so |D|^2 lies beyond the double range.
    // The expected values are summed in log space, factor by factor.
    PoleZeroResponse r;
    r.zeroCount = 3;
    r.zeros = {{0, 0}, {0, 0}, {-50, 20}};
    for (int i = 0; i < 80; ++i)
        r.poles.push_back({-300.0 - i, i % 2 ? 40.0 : -40.0});
    r.poleCount = static_cast<int>(r.poles.size());
    r.constant = 1e190;
    const double f = 1.5;
    const auto logModulus = [f](const std::vector<Complex>& roots) {
        long double sum = 0;
        for (const Complex& p : roots)
            sum += std::log(
                std::hypot(static_cast<long double>(p.re), static_cast<long double>(w(f) - p.im)));
        return sum;
    };
    const long double logAmplitude =
        logModulus(r.zeros) - logModulus(r.poles) + std::log(static_cast<long double>(r.constant));
    const double amplitude = static_cast<double>(std::exp(logAmplitude));
    ASSERT_TRUE(std::isnormal(amplitude));
    EXPECT_NEAR(evaluateAmplitude(r, f, 3, r.poleCount), amplitude, 1e-12 * amplitude);
    // The main window's form takes the reciprocal of a value about 1e-8 wide.
    EXPECT_NEAR(modulus(evaluateGain(r, f, 3)), 1 / amplitude, 1e-12 / amplitude);

    std::string text = "ZEROS 3\r\n-50 20\r\nPOLES 80\r\n";
    for (const Complex& p : r.poles)
        text += orv::text::format("%.17g %.17g\r\n", p.re, p.im);
    text += "CONSTANT 1e190\r\n";
    CalibInputs in;
    in.freqField = "1.5";
    in.calibUnit = "nm/counts";
    const CalibResult c = sacSensitivity(text, LoadedFileKind::Sac, in);
    ASSERT_EQ(c.status, CalibStatus::Set);
    EXPECT_EQ(c.calib, orv::text::format("%lg", 1e9 / amplitude));
}
