#include "response/evaluation.h"

#include "formats/fap.h"
#include "response/complex.h"
#include "text/text.h"

#include <algorithm>
#include <vector>

namespace orv::gainbook::response {
// Factors are multiplied in the order given; the quotient is taken by std::complex, which
// scales it: |D|^2 overflows once |D| passes about 1e154, which a product over some 60 poles
// does.
std::complex<double> poleZeroRatio(std::span<const std::complex<double>> zeros,
                                   std::span<const std::complex<double>> poles,
                                   std::complex<double> s) {
    std::complex<double> n{1.0, 0.0};
    for (const std::complex<double>& z : zeros)
        n *= s - z;
    std::complex<double> d{1.0, 0.0};
    for (const std::complex<double>& p : poles)
        d *= s - p;
    return n / d;
}

namespace {

// The first count points of the record as std::complex.
std::vector<std::complex<double>> standard(const std::vector<Complex>& points, std::size_t count) {
    std::vector<std::complex<double>> out;
    out.reserve(std::min(count, points.size()));
    for (std::size_t i = 0; i < std::min(count, points.size()); ++i)
        out.emplace_back(points[i].re, points[i].im);
    return out;
}

} // namespace

// N / D at s = 2*pi*i*f; factors are multiplied in the order of the record.
Complex ratioOver(const std::vector<Complex>& zeros, const formats::PoleZeroResponse& r, double f,
                  int poles) {
    const std::size_t np = static_cast<std::size_t>(std::max(0, poles));
    const std::complex<double> q =
        poleZeroRatio(standard(zeros, zeros.size()), standard(r.poles, np), {0.0, kTwoPi * f});
    return {q.real(), q.imag()};
}

// Zeros left out are those at the origin, the last first, so that a text listing its
// zeros at the origin before the others (which some layouts do) is evaluated as one
// listing them after; when the origin holds too few, the last remaining zeros go.
std::vector<Complex> zerosUsed(const formats::PoleZeroResponse& r, int effectiveZeros) {
    const std::vector<Complex>& zeros = r.zeros;
    std::vector<bool> used(zeros.size(), true);
    std::size_t drop =
        zeros.size() - std::min(zeros.size(), std::size_t(std::max(0, effectiveZeros)));
    for (std::size_t i = zeros.size(); i-- > 0 && drop > 0;) {
        if (zeros[i] == Complex{}) {
            used[i] = false;
            --drop;
        }
    }
    for (std::size_t i = zeros.size(); i-- > 0 && drop > 0;) {
        if (used[i]) {
            used[i] = false;
            --drop;
        }
    }
    std::vector<Complex> out;
    for (std::size_t i = 0; i < zeros.size(); ++i)
        if (used[i])
            out.push_back(zeros[i]);
    return out;
}

double amplitudeOver(const std::vector<Complex>& zeros, const formats::PoleZeroResponse& r,
                     double f, int poleCount) {
    return modulus(ratioOver(zeros, r, f, poleCount)) * r.constant;
}

Complex evaluateGain(const formats::PoleZeroResponse& r, double f, int effectiveZeros) {
    return reciprocal(ratioOver(zerosUsed(r, effectiveZeros), r, f, r.poleCount) *
                      Complex{r.constant, 0.0});
}

double evaluateAmplitude(const formats::PoleZeroResponse& r, double f, int effectiveZeros,
                         int poleCount) {
    return amplitudeOver(zerosUsed(r, effectiveZeros), r, f, poleCount);
}

int effectiveZeroCount(int zeroCount, Motion motion) {
    switch (motion) {
    case Motion::Velocity:
        return zeroCount - 1;
    case Motion::Acceleration:
        return zeroCount - 2;
    case Motion::Displacement:
        break;
    }
    return zeroCount;
}

int effectiveZeroCountForUnit(int zeroCount, std::string_view calibUnit) {
    if (calibUnit == "nm/counts*sec")
        return zeroCount - 1;
    if (calibUnit == "nm/counts*sec**2")
        return zeroCount - 2;
    return zeroCount;
}

CalibResult sacSensitivity(std::string_view text, formats::LoadedFileKind kind,
                           const CalibInputs& inputs) {
    if (kind != formats::LoadedFileKind::Sac || text.empty())
        return {};
    if (!formats::fitsWorkingBuffer(text))
        return {CalibStatus::TooLong, {}};
    double f = orv::text::toDouble(orv::text::truncateChars(inputs.freqField, 63));
    formats::PoleZeroResponse r;
    if (!formats::readPoleZeroText(text, r))
        return {CalibStatus::WrongFormat, {}};
    const int zeros = effectiveZeroCountForUnit(r.zeroCount, inputs.calibUnit);
    // An angular frequency is turned into hertz, the unit the evaluation takes.
    if (inputs.freqUnit == "rad/sec")
        f /= kTwoPi;
    const Complex g = evaluateGain(r, f, zeros);
    return {CalibStatus::Set, orv::text::format("%lg", 1e9 * modulus(g))};
}

CalibResult panelCalib(std::string_view text, formats::LoadedFileKind kind,
                       const CalibInputs& inputs) {
    if (kind == formats::LoadedFileKind::Sac)
        return sacSensitivity(text, kind, inputs);
    const formats::FapCalib fap = formats::evaluateFapCalib(inputs.freqField, text, kind);
    switch (fap.status) {
    case formats::FapCalibStatus::Set:
        return {CalibStatus::Set, fap.calib};
    case formats::FapCalibStatus::WrongFormat:
        return {CalibStatus::WrongFormat, {}};
    case formats::FapCalibStatus::TooLong:
        return {CalibStatus::TooLong, {}};
    case formats::FapCalibStatus::Unchanged:
        break;
    }
    return {};
}

} // namespace orv::gainbook::response
