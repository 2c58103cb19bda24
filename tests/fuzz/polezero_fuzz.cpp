// The pole-zero readers, and what is computed from their record: the gain and amplitude,
// the sensitivity of the file panel, the curve of the frequency-response window.
#include "fuzz.h"

#include "formats/polezero.h"
#include "formats/responsetext.h"
#include "response/curve.h"
#include "response/evaluation.h"

#include <algorithm>
#include <cstring>
#include <utility>

using namespace orv::gainbook;

namespace {

// The record holds what its counts say, and a refused text leaves it empty.
void checkRecord(const formats::PoleZeroResponse& r, bool read) {
    ORV_FUZZ_CHECK(r.zeroCount >= 0 && r.poleCount >= 0);
    ORV_FUZZ_CHECK(r.zeros.size() == static_cast<std::size_t>(r.zeroCount));
    ORV_FUZZ_CHECK(r.poles.size() == static_cast<std::size_t>(r.poleCount));
    if (!read)
        ORV_FUZZ_CHECK(r.zeros.empty() && r.poles.empty() && r.constant == 0.0);
}

bool sameRecord(const formats::PoleZeroResponse& a, const formats::PoleZeroResponse& b) {
    const auto sameValues = [](const std::vector<formats::Complex>& x,
                               const std::vector<formats::Complex>& y) {
        return x.size() == y.size() &&
               (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof x[0]) == 0);
    };
    return a.zeroCount == b.zeroCount && a.poleCount == b.poleCount &&
           sameValues(a.zeros, b.zeros) && sameValues(a.poles, b.poles) &&
           std::memcmp(&a.constant, &b.constant, sizeof a.constant) == 0;
}

void evaluate(const formats::PoleZeroResponse& r) {
    for (const response::Motion motion :
         {response::Motion::Displacement, response::Motion::Velocity,
          response::Motion::Acceleration}) {
        const int zeros = response::effectiveZeroCount(r.zeroCount, motion);
        ORV_FUZZ_CHECK(response::zerosUsed(r, zeros).size() <=
                       static_cast<std::size_t>(std::max(0, zeros)));
        for (const double f : {0.0, 1.0, 1e-300, 1e300}) {
            response::evaluateGain(r, f, zeros);
            response::evaluateAmplitude(r, f, zeros, r.poleCount);
        }
    }
}

void curve(std::string_view text, bool decade) {
    response::CurveInputs in;
    in.sourceText = std::string(text);
    in.points = decade ? "5" : "50";
    in.decade = decade;
    in.units = decade ? response::UnitDirection::Inverse : response::UnitDirection::Direct;
    const response::CurveResult out = response::computeCurve(in);
    ORV_FUZZ_CHECK(out.points.size() == out.lines().size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = orv::fuzz::asText(data, size);

    formats::PoleZeroResponse strict;
    const bool read = formats::readPoleZeroText(text, strict);
    checkRecord(strict, read);
    // A text the main window reads is one that is no FAP table.
    if (read)
        ORV_FUZZ_CHECK(formats::isPoleZeroText(text));

    formats::PoleZeroResponse lenient;
    formats::readPoleZeroTextLenient(text, lenient);
    checkRecord(lenient, true);
    // Where the main window's reader reads, the window's lenient one reads the same.
    if (read)
        ORV_FUZZ_CHECK(sameRecord(strict, lenient));

    evaluate(strict);
    evaluate(lenient);

    for (const auto& [calibUnit, freqUnit] :
         {std::pair{"nm/counts", "Hz"}, std::pair{"nm/counts*sec**2", "rad/sec"}}) {
        response::CalibInputs in;
        in.calibUnit = calibUnit;
        in.freqUnit = freqUnit;
        const response::CalibResult c =
            response::sacSensitivity(text, formats::LoadedFileKind::Sac, in);
        ORV_FUZZ_CHECK((c.status == response::CalibStatus::Set) ==
                       (read && formats::fitsWorkingBuffer(text)));
        ORV_FUZZ_CHECK(c.status != response::CalibStatus::Set || !c.calib.empty());
    }
    curve(text, true);
    curve(text, false);
    return 0;
}
