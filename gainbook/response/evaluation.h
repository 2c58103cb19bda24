// Evaluating a pole-zero response at a frequency f in hertz, s = 2*pi*i*f:
//   N = prod (s - z) over effectiveZeros of the zeros, D = prod (s - p) over the poles.
// When fewer zeros are used than the record holds, zeros at the origin are left out first
// (the last of them first), then the last ones.
#pragma once

#include "formats/polezero.h"
#include "formats/responsetext.h"

#include <array>
#include <complex>
#include <numbers>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::response {

enum class Motion { Displacement, Velocity, Acceleration };

inline constexpr double kTwoPi = 2 * std::numbers::pi;

// The main window's form: G = 1 / (c * N / D).
formats::Complex evaluateGain(const formats::PoleZeroResponse& r, double f, int effectiveZeros);

// The frequency-response window's form: A = |N / D| * c over the first poleCount poles
// (a negative constant gives a negative amplitude).
double evaluateAmplitude(const formats::PoleZeroResponse& r, double f, int effectiveZeros,
                         int poleCount);

// The zeros that enter N when effectiveZeros of them are used, in their order.
std::vector<formats::Complex> zerosUsed(const formats::PoleZeroResponse& r, int effectiveZeros);

// The pole-zero product at s (2*pi*i*f for f in hertz): N / D, N = prod (s - z) over the
// zeros, D = prod (s - p) over the poles.
std::complex<double> poleZeroRatio(std::span<const std::complex<double>> zeros,
                                   std::span<const std::complex<double>> poles,
                                   std::complex<double> s);

// N / D over the given zeros and the first poleCount poles.
formats::Complex ratioOver(const std::vector<formats::Complex>& zeros,
                           const formats::PoleZeroResponse& r, double f, int poleCount);

// |N / D| * c over the given zeros and the first poleCount poles: the dialog form with the
// zeros chosen once for a whole curve.
double amplitudeOver(const std::vector<formats::Complex>& zeros, const formats::PoleZeroResponse& r,
                     double f, int poleCount);

// Zeros used for a kind of motion: all for displacement, one fewer for velocity, two
// fewer for acceleration.
int effectiveZeroCount(int zeroCount, Motion motion);
// Zeros used for a CALIB unit: one fewer for "nm/counts*sec", two fewer for
// "nm/counts*sec**2", all otherwise.
int effectiveZeroCountForUnit(int zeroCount, std::string_view calibUnit);

// The CALIB and FREQ units the sensitivity computation tells apart (the first rows of the
// unit tables); any other unit counts as the first of its list.
inline constexpr std::array<std::string_view, 3> kCalibUnits = {"nm/counts", "nm/counts*sec",
                                                                "nm/counts*sec**2"};
inline constexpr std::array<std::string_view, 2> kFreqUnits = {"Hz", "rad/sec"};

// The inputs of the sensitivity computation in the file panel.
struct CalibInputs {
    std::string freqField = "1.0";
    std::string calibUnit = "nm/counts*sec";
    std::string freqUnit = "Hz";
};

enum class CalibStatus {
    Set,         // calib holds the new CALIB text
    Unchanged,   // nothing to compute; CALIB keeps what it held
    WrongFormat, // report kWrongFormatMessage and empty the panel
    TooLong,     // report kTextTooLongMessage
};

struct CalibResult {
    CalibStatus status = CalibStatus::Unchanged;
    std::string calib;
};

// CALIB of a pole-zero text: 1e9 * |G| at FREQ (in "rad/sec" turned into hertz first),
// printed "%lg". Only for the SAC kind and a text that is not empty.
CalibResult sacSensitivity(std::string_view text, formats::LoadedFileKind kind,
                           const CalibInputs& inputs);

// CALIB as the file panel computes it after a load: the sensitivity for a pole-zero
// text, the FAP evaluation for a FAP text.
CalibResult panelCalib(std::string_view text, formats::LoadedFileKind kind,
                       const CalibInputs& inputs);

} // namespace orv::gainbook::response
