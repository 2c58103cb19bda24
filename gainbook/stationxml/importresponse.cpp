#include "stationxml/importresponse.h"

#include "formats/fap.h"
#include "formats/responsetext.h"
#include "response/evaluation.h"
#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orv::stationxml {

namespace {

using orv::gainbook::response::kTwoPi;
using orv::gainbook::response::poleZeroRatio;
using Complex = std::complex<double>;
using Kind = ImportedStage::Kind;

std::string upper(std::string_view s) {
    return orv::text::toUpper(orv::text::trim(s));
}

bool isAnalogPolesZeros(const ImportedStage& s) {
    const std::string type = upper(s.transferType);
    return s.kind == Kind::PolesZeros && type.find("LAPLACE") != std::string::npos &&
           (type.find("RADIANS") != std::string::npos || type.find("HERTZ") != std::string::npos);
}

bool isDigitalPolesZeros(const ImportedStage& s) {
    return s.kind == Kind::PolesZeros && upper(s.transferType).find("DIGITAL") == 0;
}

// Coefficients with a denominator other than a lone 1: a recursive filter.
bool isRecursive(const ImportedStage& s) {
    return s.kind == Kind::Coefficients && !s.denominators.empty() &&
           !(s.denominators.size() == 1 && s.denominators[0] == 1);
}

bool isAnalogCoefficients(const ImportedStage& s) {
    return s.kind == Kind::Coefficients && upper(s.transferType).find("ANALOG") == 0 &&
           (s.numerators.size() > 1 || isRecursive(s));
}

// A stage that gives the response a shape, not a gain alone.
bool shapes(const ImportedStage& s) {
    switch (s.kind) {
    case Kind::GainOnly:
        return false;
    case Kind::Fir:
        return s.firCoefficients > 1;
    case Kind::Coefficients:
        return s.numerators.size() > 1 || isRecursive(s);
    default:
        return true;
    }
}

std::string stageName(const ImportedStage& s) {
    const char* what = s.kind == Kind::PolesZeros     ? "digital PolesZeros"
                       : s.kind == Kind::Coefficients ? "IIR Coefficients"
                                                      : "stage";
    return orv::text::format("stage %d (%s)", s.number, what);
}

// The epoch's response shape: why it cannot become a SAC text, or "" when it may.
std::string shapeRefusal(const ImportedEpoch& e) {
    if (e.hasPolynomial)
        return "an InstrumentPolynomial (a response that is not linear) is not imported";
    if (!e.hasResponse || (e.stages.empty() && !e.hasSensitivity))
        return "no response";
    if (std::none_of(e.stages.begin(), e.stages.end(), shapes))
        return "the response gives only a gain (no poles and zeros, no response list)";
    for (const ImportedStage& s : e.stages) {
        if (s.kind == Kind::Polynomial)
            return orv::text::format("stage %d is a Polynomial (a response that is not linear "
                                     "is not imported)",
                                     s.number);
        if (s.kind == Kind::PolesZeros && !isAnalogPolesZeros(s) && !isDigitalPolesZeros(s))
            return orv::text::format("stage %d gives PolesZeros of the unknown transfer function "
                                     "type \"%s\"",
                                     s.number, s.transferType.c_str());
        if (isAnalogCoefficients(s))
            return orv::text::format("stage %d gives analog Coefficients, which are not imported",
                                     s.number);
    }
    if (std::none_of(e.stages.begin(), e.stages.end(), isAnalogPolesZeros))
        return "no analog PolesZeros stage (polynomial and FIR-only responses are not imported)";
    return {};
}

struct Sensitivity {
    double value = 0;      // counts per metre unit, its magnitude
    bool reversed = false; // a negative sensitivity or product of the stage gains
    double frequency = 0;  // Hz
    GroundMotion units;
};

// A digitiser's units: count or counts, without regard to case.
bool isCounts(std::string_view units) {
    const std::string u = upper(units);
    return u == "COUNT" || u == "COUNTS";
}

// The sign of the product of the stage gains and of the analog normalisation factors.
bool stagesReverse(const ImportedEpoch& e) {
    bool negative = false;
    for (const ImportedStage& s : e.stages) {
        if (s.gain && *s.gain < 0)
            negative = !negative;
        if (isAnalogPolesZeros(s) && s.normalizationFactor < 0)
            negative = !negative;
    }
    return negative;
}

// InstrumentSensitivity, else (said in notes) the product of the stage gains at the first
// stage gain's frequency.
bool rawSensitivity(const ImportedEpoch& e, double& value, double& frequency, std::string& units,
                    std::string& outputUnits, std::vector<std::string>& notes, std::string& why) {
    if (e.hasSensitivity) {
        value = e.sensitivity.value_or(0);
        frequency = e.sensitivityFrequency.value_or(0);
        units = e.sensitivityInputUnits;
        outputUnits = e.sensitivityOutputUnits;
        std::string fault;
        if (!e.sensitivity || value == 0)
            fault = e.sensitivity ? "InstrumentSensitivity Value 0 is no sensitivity"
                                  : "InstrumentSensitivity has no Value";
        else if (!(frequency > 0))
            fault = e.sensitivityFrequency
                        ? orv::text::format("InstrumentSensitivity Frequency %g Hz is no frequency",
                                            frequency)
                        : "InstrumentSensitivity has no Frequency";
        if (!fault.empty())
            why = fault;
        return fault.empty();
    }
    value = 1;
    frequency = 0;
    for (const ImportedStage& s : e.stages) {
        if (!s.gain) {
            why = orv::text::format("no InstrumentSensitivity, and stage %d has no StageGain",
                                    s.number);
            return false;
        }
        value *= *s.gain;
        if (frequency <= 0)
            frequency = s.gainFrequency.value_or(0);
    }
    units = e.stages.empty() ? std::string() : e.stages.front().inputUnits;
    outputUnits = e.stages.empty() ? std::string() : e.stages.back().outputUnits;
    if (!(frequency > 0) || !std::isfinite(value) || value == 0) {
        why = "no InstrumentSensitivity, and the stage gains give no sensitivity";
        return false;
    }
    notes.push_back(orv::text::format("no InstrumentSensitivity: the product of the stage gains, "
                                      "%.10g at %g Hz, is used",
                                      value, frequency));
    return true;
}

// The sensitivity per metre unit; nullopt with why when the response gives none. Units
// the sensitivity does not name are fallbackUnits.
std::optional<Sensitivity> sensitivityOf(const ImportedEpoch& e, const std::string& fallbackUnits,
                                         std::vector<std::string>& notes, std::string& why) {
    double value = 0, frequency = 0;
    std::string units, outputUnits;
    if (!rawSensitivity(e, value, frequency, units, outputUnits, notes, why))
        return std::nullopt;
    if (!outputUnits.empty() && !isCounts(outputUnits)) {
        why = "the response's output units are \"" + outputUnits +
              "\", not counts: the stored sensitivity is in counts per ground motion";
        return std::nullopt;
    }
    if (units.empty())
        units = fallbackUnits;
    const auto motion = groundMotion(units);
    if (!motion) {
        why = "input units \"" + units + "\" are no ground motion";
        return std::nullopt;
    }
    Sensitivity s;
    s.value = std::abs(value) / motion->metres;
    // A stated sensitivity's sign is the polarity; else the stages' sign.
    s.reversed = e.hasSensitivity ? value < 0 : stagesReverse(e);
    s.frequency = frequency;
    s.units = *motion;
    if (!std::isfinite(s.value)) {
        why = orv::text::format("the sensitivity %g in %s is beyond the range of a number in "
                                "metres",
                                value, units.c_str());
        return std::nullopt;
    }
    return s;
}

// Units of one stage that are not those the stage before gives.
void unitChainNotes(const ImportedEpoch& e, std::vector<std::string>& notes) {
    for (std::size_t i = 1; i < e.stages.size(); ++i) {
        const ImportedStage &before = e.stages[i - 1], &s = e.stages[i];
        if (!before.outputUnits.empty() && !s.inputUnits.empty() &&
            !orv::text::equalsNoCase(before.outputUnits, s.inputUnits))
            notes.push_back(orv::text::format(
                "stage %d takes %s after stage %d gives %s: the stage units do not chain", s.number,
                s.inputUnits.c_str(), before.number, before.outputUnits.c_str()));
    }
}

// The analog part: the Laplace PolesZeros stages in order, in radians per second.
struct Analog {
    std::vector<Complex> zeros, poles;
    std::string inputUnits; // the first stage's
};

Analog analogPart(const ImportedEpoch& e) {
    Analog a;
    bool first = true;
    for (const ImportedStage& s : e.stages) {
        if (!isAnalogPolesZeros(s))
            continue;
        if (first)
            a.inputUnits = s.inputUnits;
        first = false;
        const double scale = upper(s.transferType).find("HERTZ") != std::string::npos ? kTwoPi : 1;
        for (const Complex& z : s.zeros)
            a.zeros.push_back(z * scale);
        for (const Complex& p : s.poles)
            a.poles.push_back(p * scale);
    }
    return a;
}

// The response of a digital stage at f, its samples taken at rate.
Complex digitalResponse(const ImportedStage& s, double rate, double f) {
    const Complex z = std::polar(1.0, kTwoPi * f / rate);
    Complex h = 1;
    if (s.kind == Kind::PolesZeros) {
        for (const Complex& zero : s.zeros)
            h *= z - zero;
        for (const Complex& pole : s.poles)
            h /= z - pole;
        return h;
    }
    // sum b_k z^-k / sum a_k z^-k
    Complex num = 0, den = 0, power = 1;
    const Complex inverse = 1.0 / z;
    for (std::size_t k = 0; k < std::max(s.numerators.size(), s.denominators.size()); ++k) {
        if (k < s.numerators.size())
            num += s.numerators[k] * power;
        if (k < s.denominators.size())
            den += s.denominators[k] * power;
        power *= inverse;
    }
    return num / den;
}

// The left-out digital stages with the sample rate each runs at.
struct Digital {
    std::vector<std::pair<const ImportedStage*, double>> stages;
    std::string names;
    double outputRate = 0;
};

bool digitalStages(const ImportedEpoch& e, Digital& d, std::string& why) {
    double lastRate = 0;
    for (const ImportedStage& s : e.stages) {
        if (s.inputSampleRate && *s.inputSampleRate > 0)
            lastRate = *s.inputSampleRate / double(s.decimationFactor.value_or(1));
        if (!isDigitalPolesZeros(s) && !isRecursive(s))
            continue;
        const double rate = s.inputSampleRate.value_or(e.sampleRate.value_or(0));
        if (!(rate > 0)) {
            why = stageName(s) + " has no sample rate: its effect cannot be computed";
            return false;
        }
        d.stages.emplace_back(&s, rate);
        d.names += (d.names.empty() ? "" : ", ") + stageName(s);
    }
    d.outputRate = e.sampleRate.value_or(lastRate);
    if (!d.stages.empty() && !(d.outputRate > 0)) {
        why = d.names + " left out, and the channel has no sample rate to judge its effect by";
        return false;
    }
    return true;
}

// Leaving the digital stages out, the stored response is the document's times
// |Hd(fs)| / |Hd(f)|: its largest departure from 1 over a logarithmic grid from the lowest
// frequency the response names (the sensitivity's, the analog poles' corners) to 0.4 x
// Nyquist. A note, or why when it is beyond the limit.
bool judgeDigitalStages(const ImportedEpoch& e, const Analog& analog, double fs,
                        std::vector<std::string>& notes, std::string& why) {
    Digital d;
    if (!digitalStages(e, d, why))
        return false;
    if (d.stages.empty())
        return true;
    double low = fs;
    for (const Complex& p : analog.poles)
        if (std::abs(p) > 0)
            low = std::min(low, std::abs(p) / kTwoPi);
    const double high = 0.4 * d.outputRate / 2;
    const double from = std::min(low, high), to = std::max(low, high);
    const auto response = [&](double f) {
        double magnitude = 1;
        for (const auto& [stage, rate] : d.stages)
            magnitude *= std::abs(digitalResponse(*stage, rate, f));
        return magnitude;
    };
    const double atFs = response(fs);
    constexpr int kPoints = 1000;
    double worst = 0, worstAt = from;
    for (int i = 0; i < kPoints; ++i) {
        const double f = from * std::pow(to / from, double(i) / (kPoints - 1));
        const double m = response(f);
        const double deviation =
            m > 0 ? std::abs(atFs / m - 1) : std::numeric_limits<double>::infinity();
        if (!(deviation <= worst)) {
            worst = deviation;
            worstAt = f;
        }
    }
    const std::string figure = orv::text::format("%.3g %% at %.3g Hz (between %.3g and %.3g Hz)",
                                                 worst * 100, worstAt, from, to);
    if (!(worst <= kDigitalDeviationLimit)) {
        why = d.names + " cannot be held in the SAC form: left out, it changes the response by " +
              figure + ", more than 5 %";
        return false;
    }
    notes.push_back(d.names + " left out: it changes the response by at most " + figure);
    return true;
}

// The response the stages give at f: the product of their gains, with each analog
// PolesZeros stage taken at f (NormalizationFactor x its poles and zeros) instead of at its
// gain's frequency; nullopt when a stage has no gain.
std::optional<double> stagesProduct(const ImportedEpoch& e, double f) {
    double product = 1;
    for (const ImportedStage& st : e.stages) {
        if (!st.gain)
            return std::nullopt;
        product *= *st.gain;
        if (!isAnalogPolesZeros(st))
            continue;
        const bool hertz = upper(st.transferType).find("HERTZ") != std::string::npos;
        const Complex s(0, hertz ? f : kTwoPi * f);
        const Complex h = st.normalizationFactor * poleZeroRatio(st.zeros, st.poles, s);
        product *= st.normalizationFactor < 0 ? -std::abs(h) : std::abs(h);
    }
    return product;
}

// Where the stages contradict the stated sensitivity (in sign, or by more than 5 % at its
// frequency), both values are said; the stated one is stored.
void contradictionNotes(const ImportedEpoch& e, double fs, std::vector<std::string>& notes) {
    if (!e.hasSensitivity || !e.sensitivity)
        return;
    const auto product = stagesProduct(e, fs);
    if (!product || !std::isfinite(*product))
        return;
    const double stated = *e.sensitivity;
    const std::string both = orv::text::format(
        "the stages give %.10g at %g Hz, InstrumentSensitivity states %.10g", *product, fs, stated);
    if ((*product < 0) != (stated < 0))
        notes.push_back(both + ": they disagree in sign, the stated sensitivity's sign is kept");
    else if (std::abs(*product / stated - 1) > kContradictionLimit)
        notes.push_back(both + orv::text::format(": they differ by %.3g %%, the stated "
                                                 "sensitivity is kept",
                                                 std::abs(*product / stated - 1) * 100));
}

std::string dateText(const odbc::Timestamp& t) {
    return t.toIsoText();
}

std::string sacText(const ImportedEpoch& e, const Analog& a, const SacResponse& r) {
    std::string t;
    auto line = [&](const char* name, const std::string& value) {
        t += orv::text::format("* %-12s: %s\r\n", name, value.c_str());
    };
    t += "* **************************************************\r\n";
    line("NETWORK", e.network);
    line("STATION", e.station);
    line("LOCATION", e.location);
    line("CHANNEL", e.channel);
    line("START", dateText(e.start));
    line("END", e.end ? dateText(*e.end) : "");
    line("INPUT UNIT", "M");
    line("SENSITIVITY", orv::text::format("%.10g (%s)", r.sensitivity,
                                          r.sensUnit == 0   ? "M"
                                          : r.sensUnit == 1 ? "M/S"
                                                            : "M/S**2"));
    line("A0", orv::text::format("%.10g", r.a0));
    t += "* **************************************************\r\n";
    // The displacement form: one or two more zeros at the origin.
    t += orv::text::format("ZEROS %zu\r\n", a.zeros.size() + std::size_t(r.sensUnit));
    for (long long i = 0; i < r.sensUnit; ++i)
        t += " +0.000000e+00 +0.000000e+00\r\n";
    for (const auto& z : a.zeros)
        t += orv::text::format(" %+.6e %+.6e\r\n", z.real(), z.imag());
    t += orv::text::format("POLES %zu\r\n", a.poles.size());
    for (const auto& p : a.poles)
        t += orv::text::format(" %+.6e %+.6e\r\n", p.real(), p.imag());
    // More digits than the usual six: the text must give the sensitivity back exactly.
    t += orv::text::format("CONSTANT %.10e\r\n", r.a0 * r.sensitivity);
    return t;
}

} // namespace

std::optional<GroundMotion> groundMotion(std::string_view units) {
    std::string u;
    for (const char c : upper(units))
        if (c != ' ')
            u += c;
    const std::size_t slash = u.find('/');
    const std::string length = u.substr(0, slash);
    const std::string time = slash == std::string::npos ? std::string() : u.substr(slash);
    GroundMotion g;
    static const std::pair<const char*, double> kLengths[] = {
        {"M", 1}, {"CM", 1e-2}, {"MM", 1e-3}, {"UM", 1e-6}, {"NM", 1e-9}};
    const auto l = std::find_if(std::begin(kLengths), std::end(kLengths),
                                [&](const auto& k) { return length == k.first; });
    if (l == std::end(kLengths))
        return std::nullopt;
    g.metres = l->second;
    static const char* const kVelocity[] = {"/S", "/SEC"};
    static const char* const kAcceleration[] = {"/S**2",   "/S^2",   "/S2",   "/S/S",
                                                "/SEC**2", "/SEC^2", "/SEC2", "/SEC/SEC"};
    const auto among = [&](const auto& list) {
        return std::find(std::begin(list), std::end(list), time) != std::end(list);
    };
    if (time.empty())
        g.motion = 0;
    else if (among(kVelocity))
        g.motion = 1;
    else if (among(kAcceleration))
        g.motion = 2;
    else
        return std::nullopt;
    return g;
}

std::optional<SacResponse> toSac(const ImportedEpoch& e, std::string& why) {
    if (why = shapeRefusal(e); !why.empty())
        return std::nullopt;
    const Analog analog = analogPart(e);
    const std::string pzUnits =
        analog.inputUnits.empty() ? e.sensitivityInputUnits : analog.inputUnits;
    const auto motion = groundMotion(pzUnits);
    if (!motion) {
        why = "input units \"" + pzUnits + "\" are no ground motion";
        return std::nullopt;
    }
    SacResponse out;
    const auto sensitivity = sensitivityOf(e, pzUnits, out.notes, why);
    if (!sensitivity)
        return std::nullopt;
    if (sensitivity->units.motion != motion->motion) {
        why = "the sensitivity is given in \"" + e.sensitivityInputUnits +
              "\", the poles and zeros take \"" + pzUnits + "\"";
        return std::nullopt;
    }
    const double fs = sensitivity->frequency;
    if (!judgeDigitalStages(e, analog, fs, out.notes, why))
        return std::nullopt;
    unitChainNotes(e, out.notes);
    contradictionNotes(e, fs, out.notes);
    const Complex s(0, kTwoPi * fs);
    const Complex ratio = poleZeroRatio(analog.zeros, analog.poles, s);
    out.a0 = 1 / std::abs(ratio);
    if (!std::isfinite(out.a0) || out.a0 == 0) {
        why = "the poles and zeros give no finite gain at the sensitivity frequency";
        return std::nullopt;
    }
    out.sensUnit = motion->motion;
    out.frequency = fs;
    out.sensitivity = sensitivity->reversed ? -sensitivity->value : sensitivity->value;
    out.text = sacText(e, analog, out);
    return out;
}

namespace {

// The list's amplitude at fs as the FAP evaluation takes it: the row of that frequency,
// else the mean of the two rows around it; NaN outside the list.
double amplitudeAt(const std::vector<std::pair<double, double>>& list, double fs) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].first == fs)
            return list[i].second;
        if (list[i].first > fs)
            return i == 0 ? NAN : (list[i - 1].second + list[i].second) / 2;
    }
    return NAN;
}

// Why the rows cannot make a stored FAP text, or "".
std::string listRefusal(const std::vector<std::pair<double, double>>& list) {
    if (list.size() < 4)
        return "the response list has fewer than 4 rows";
    if (list.size() > orv::gainbook::formats::kMaxFapRows)
        return orv::text::format("the response list has %zu rows, more than the %zu a stored "
                                 "FAP text holds",
                                 list.size(), orv::gainbook::formats::kMaxFapRows);
    for (std::size_t i = 1; i < list.size(); ++i)
        if (!(list[i].first > list[i - 1].first))
            return "the response list's frequencies are not increasing";
    return {};
}

} // namespace

std::optional<FapResponse> toFap(const ImportedEpoch& e, std::string& why) {
    if (!e.hasResponse || e.stages.size() != 1 || e.stages[0].kind != Kind::ResponseList) {
        why = "no response list as the only stage";
        return std::nullopt;
    }
    const ImportedStage& st = e.stages[0];
    if (why = listRefusal(st.list); !why.empty())
        return std::nullopt;
    FapResponse out;
    const auto sensitivity = sensitivityOf(e, st.inputUnits, out.notes, why);
    if (!sensitivity)
        return std::nullopt;
    const double fs = sensitivity->frequency;
    const double atFs = amplitudeAt(st.list, fs);
    if (!std::isfinite(atFs) || atFs == 0) {
        why = "the response list does not cover the sensitivity frequency";
        return std::nullopt;
    }
    // Amplitudes relative to fs first: a large amplitude overflows only when its value
    // itself is beyond the range of a number.
    const double atFsStored = sensitivity->value * 1e9;
    for (std::size_t i = 0; i < st.list.size(); ++i) {
        const double amplitude = std::abs(st.list[i].second / atFs) * atFsStored;
        if (!std::isfinite(amplitude)) {
            why = orv::text::format("ResponseListElement %zu: the amplitude %g scaled to the "
                                    "sensitivity is beyond the range of a number",
                                    i + 1, st.list[i].second);
            return std::nullopt;
        }
        out.text += orv::gainbook::formats::tripletLine(st.list[i].first, amplitude);
    }
    if (sensitivity->reversed)
        out.notes.push_back("the polarity is reversed, which a FAP text (amplitudes only) cannot "
                            "hold: stored as not reversed");
    out.sensUnit = sensitivity->units.motion;
    out.frequency = fs;
    return out;
}

} // namespace orv::stationxml
