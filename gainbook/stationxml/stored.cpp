#include "stationxml/stored.h"

#include "formats/fap.h"
#include "formats/polezero.h"
#include "response/evaluation.h"
#include "stationxml/xmlwriter.h"
#include "text/text.h"

#include <cmath>

namespace orv::stationxml {

namespace fmt = orv::gainbook::formats;
namespace rsp = orv::gainbook::response;

std::string inputUnitName(long long sensUnit) {
    if (sensUnit == 1)
        return "m/s";
    if (sensUnit == 2)
        return "m/s**2";
    return "m";
}

namespace {

int motionIndex(long long sensUnit) {
    return sensUnit == 1 || sensUnit == 2 ? int(sensUnit) : 0;
}

// The texts are read with "\r\n" line ends, as the panels hold them.
std::string crlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

std::string freqField(double f) {
    return orv::text::format("%.17g", f);
}

// The CALIB the file panel computes for the text, unit and frequency; nullopt when it
// computes none.
std::optional<double> panelCalib(std::string_view text, fmt::LoadedFileKind kind,
                                 const StoredResponse& s) {
    rsp::CalibInputs in;
    in.freqField = freqField(*s.freq);
    in.calibUnit = std::string(rsp::kCalibUnits[std::size_t(motionIndex(s.sensUnit))]);
    in.freqUnit = s.freqUnitName == "rad/sec" ? "rad/sec" : "Hz";
    const rsp::CalibResult r = rsp::panelCalib(text, kind, in);
    if (r.status != rsp::CalibStatus::Set)
        return std::nullopt;
    double v = 0;
    if (!orv::text::parseDouble(r.calib, v) || !std::isfinite(v) || v == 0)
        return std::nullopt;
    return v;
}

// What a conversion tells: the key it concerns and where to.
struct Teller {
    const std::string& key;
    const Warn& warn;
    std::nullopt_t refuse(ProblemKind kind) const {
        warn(Problem{kind, key, {}});
        return std::nullopt;
    }
};

// The stored SENS is 10^9 / CALIB as the write computed it: the sensitivity the text gives.
// Only its size is compared (CALIB is a modulus).
void checkSens(const StoredResponse& s, double sensitivity, const Teller& tell) {
    if (s.sens &&
        !(std::abs(std::abs(*s.sens) - std::abs(sensitivity)) <= 0.01 * std::abs(sensitivity)))
        tell.warn(Problem{ProblemKind::SensDiffers,
                          tell.key,
                          {reportNumber(*s.sens), reportNumber(std::abs(sensitivity))}});
}

bool finite(const std::vector<std::complex<double>>& roots) {
    for (const std::complex<double>& r : roots)
        if (!std::isfinite(r.real()) || !std::isfinite(r.imag()))
            return false;
    return true;
}

std::optional<Response> fromSac(const StoredResponse& s, double f0, const Teller& tell) {
    fmt::PoleZeroResponse pz;
    if (!fmt::readPoleZeroText(s.sac, pz))
        return tell.refuse(ProblemKind::SacUnreadable);
    const std::vector<fmt::Complex> all = rsp::zerosUsed(pz, pz.zeroCount);
    int origin = 0;
    for (const fmt::Complex& z : all)
        origin += z == fmt::Complex{} ? 1 : 0;
    // Fewer origin zeros than the unit's form has: every zero is kept, as displacement.
    const bool displacement = origin < motionIndex(s.sensUnit);
    const int drop = displacement ? 0 : motionIndex(s.sensUnit);
    const std::string unit = inputUnitName(displacement ? 0 : s.sensUnit);
    const std::vector<fmt::Complex> zeros = rsp::zerosUsed(pz, pz.zeroCount - drop);
    Stage st;
    st.kind = Stage::Kind::PolesZeros;
    st.inputUnits = unit;
    for (const fmt::Complex& z : zeros)
        st.zeros.emplace_back(z.re, z.im);
    for (int i = 0; i < pz.poleCount && i < int(pz.poles.size()); ++i)
        st.poles.emplace_back(pz.poles[std::size_t(i)].re, pz.poles[std::size_t(i)].im);
    if (!finite(st.zeros) || !finite(st.poles))
        return tell.refuse(ProblemKind::PolesZerosNotFinite);
    fmt::PoleZeroResponse unitGain = pz;
    unitGain.constant = 1;
    const double ratio = rsp::amplitudeOver(zeros, unitGain, f0, pz.poleCount);
    if (!std::isfinite(ratio) || ratio == 0 || !std::isfinite(1 / ratio))
        return tell.refuse(ProblemKind::NoGainAtFrequency);
    st.normalizationFactor = 1 / ratio;
    st.normalizationFrequency = f0;
    // The sign of CONSTANT is the channel's polarity: kept.
    st.gain = pz.constant * ratio;
    st.gainFrequency = f0;
    if (!std::isfinite(st.gain) || st.gain == 0)
        return tell.refuse(ProblemKind::NoSensitivityFromConstant);
    // Where the text has the origin zeros its unit removes, the panel's CALIB is 10^9 over
    // this very gain (the same zeros, poles and constant): no second reading of the text.
    // Otherwise the panel drops other zeros, and its CALIB is asked for.
    if (drop == motionIndex(s.sensUnit)) {
        checkSens(s, st.gain, tell);
    } else if (const auto calib = panelCalib(s.sac, fmt::LoadedFileKind::Sac, s)) {
        checkSens(s, 1e9 / *calib, tell);
    }
    Response r;
    r.sensitivity = st.gain;
    r.sensitivityFrequency = f0;
    r.inputUnits = unit;
    r.stages.push_back(std::move(st));
    return r;
}

std::optional<Response> fromFap(const StoredResponse& s, double f0, const Teller& tell) {
    if (fmt::firstBadFapLine(s.fap))
        return tell.refuse(ProblemKind::FapNotFinite);
    // Rows of numbers: frequency and amplitude (the phase is not kept).
    std::vector<ListPoint> rows;
    for (const fmt::FapRow& r : fmt::readFapRows(s.fap).value_or(std::vector<fmt::FapRow>{}))
        rows.push_back({r.frequency, r.amplitude, 0});
    if (rows.size() < 4)
        return tell.refuse(ProblemKind::FapTooFewRows);
    for (std::size_t i = 1; i < rows.size(); ++i)
        if (!(rows[i].frequency > rows[i - 1].frequency))
            return tell.refuse(ProblemKind::FapNotIncreasing);
    const auto calib = panelCalib(s.fap, fmt::LoadedFileKind::FapOrv, s);
    if (!calib)
        return tell.refuse(ProblemKind::FapNoSensitivity);
    checkSens(s, 1e9 / *calib, tell);
    const double atF0 = 1e18 / *calib; // the table's amplitude at f0
    Stage st;
    st.kind = Stage::Kind::ResponseList;
    st.inputUnits = inputUnitName(s.sensUnit);
    st.description = "phase unknown: the table holds amplitudes only";
    for (ListPoint& r : rows) {
        r.amplitude /= atF0;
        if (!std::isfinite(r.amplitude))
            return tell.refuse(ProblemKind::FapNotFinite);
        st.list.push_back(r);
    }
    st.gain = 1e9 / *calib;
    st.gainFrequency = f0;
    Response r;
    r.sensitivity = st.gain;
    r.sensitivityFrequency = f0;
    r.inputUnits = st.inputUnits;
    r.stages.push_back(std::move(st));
    return r;
}

} // namespace

std::optional<Response> convertStored(const StoredResponse& s, const std::string& key,
                                      const Warn& warn) {
    const Teller tell{key, warn};
    if (!s.freq || !std::isfinite(*s.freq) || *s.freq <= 0)
        return tell.refuse(ProblemKind::NoCalibrationFrequency);
    const double f0 = s.freqUnitName == "rad/sec" ? *s.freq / rsp::kTwoPi : *s.freq;
    const std::string sac = crlf(s.sac), fap = crlf(s.fap);
    StoredResponse lines = s;
    lines.sac = sac;
    lines.fap = fap;
    if (!sac.empty())
        return fromSac(lines, f0, tell);
    if (!fap.empty())
        return fromFap(lines, f0, tell);
    return tell.refuse(ProblemKind::NoResponseText);
}

namespace {

// What a response's memory takes, about.
std::size_t bytesOf(const Response& r) {
    std::size_t n = sizeof r + r.inputUnits.capacity() + r.outputUnits.capacity();
    for (const Stage& s : r.stages)
        n += sizeof s + (s.zeros.capacity() + s.poles.capacity()) * sizeof s.zeros[0] +
             s.list.capacity() * sizeof(ListPoint) + s.description.capacity() +
             s.inputUnits.capacity() + s.outputUnits.capacity();
    return n;
}

} // namespace

std::optional<Response> ResponseConversions::convert(const StoredResponse& stored,
                                                     const std::string& key, const Warn& warn) {
    std::string values = ValueKey()
                             .text(stored.sac)
                             .text(stored.fap)
                             .integer(stored.sensUnit)
                             .optional(stored.freq)
                             .text(stored.freqUnitName)
                             .optional(stored.sens)
                             .take();
    if (const std::shared_ptr<const Response> found = kept_.find(values))
        return *found;
    bool told = false;
    const Warn telling = [&](const Problem& p) {
        told = true;
        warn(p);
    };
    std::optional<Response> response = convertStored(stored, key, telling);
    if (response && !told)
        kept_.keep(std::move(values), std::make_shared<const Response>(*response),
                   bytesOf(*response));
    return response;
}

} // namespace orv::stationxml
