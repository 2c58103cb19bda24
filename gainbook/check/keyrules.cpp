// The checks of one key's CALIBRATION rows: codes, intervals and the responses themselves.
#include "check/rules.h"
#include "check/ruleshelp.h"
#include "formats/fap.h"
#include "formats/polezero.h"
#include "response/evaluation.h"
#include "text/text.h"

#include <cmath>

namespace orv::gainbook::check {

namespace fmt = orv::gainbook::formats;
namespace rsp = orv::gainbook::response;

namespace {

std::string number(double v) {
    return text::format("%g", v);
}

FindingKey keyOf(const CalibrationRow& row, bool withStart) {
    return FindingKey{row.network, row.station, row.location, row.channel,
                      withStart ? std::optional<odbc::Timestamp>(row.start) : std::nullopt};
}

// The sensitivity (counts per unit) the response window computes for the text at the
// row's FREQ: 10^9 over the CALIB the file panel gives, the unit of ID_SENS choosing the
// zeros (0 displacement, 1 velocity, 2 acceleration), ID_FREQ "rad/sec" or hertz.
std::optional<double> textSensitivity(const std::string& text, fmt::LoadedFileKind kind,
                                      const CalibrationRow& row, const Units& units) {
    rsp::CalibInputs in;
    in.freqField = text::format("%.17g", *row.freq);
    const long long unit = row.sensUnit.value_or(0);
    in.calibUnit = std::string(rsp::kCalibUnits[unit == 1 || unit == 2 ? std::size_t(unit) : 0]);
    const auto freqUnit = units.freq.find(row.freqUnit.value_or(-1));
    in.freqUnit = freqUnit != units.freq.end() && freqUnit->second == "rad/sec" ? "rad/sec" : "Hz";
    const rsp::CalibResult r = rsp::panelCalib(text, kind, in);
    double calib = 0;
    if (r.status != rsp::CalibStatus::Set || !text::parseDouble(r.calib, calib) ||
        !std::isfinite(calib) || calib == 0)
        return std::nullopt;
    return 1e9 / calib;
}

// The frequency in hertz the evaluation takes.
double hertz(const CalibrationRow& row, const Units& units) {
    const auto u = units.freq.find(row.freqUnit.value_or(-1));
    return u != units.freq.end() && u->second == "rad/sec" ? *row.freq / rsp::kTwoPi : *row.freq;
}

void checkSac(const CalibrationRow& row, const Units& units, const Sink& sink) {
    const FindingKey key = keyOf(row, true);
    fmt::PoleZeroResponse pz;
    if (!fmt::readPoleZeroText(row.sac, pz)) {
        emit(sink, "response-text", key,
             "the SAC text cannot be read as poles, zeros and CONSTANT: load the file again.");
        return;
    }
    for (std::size_t i = 0; i < pz.poles.size() && int(i) < pz.poleCount; ++i)
        if (pz.poles[i].re > 0)
            emit(sink, "pz-unstable", key,
                 "pole " + std::to_string(i + 1) + " (" + number(pz.poles[i].re) + ", " +
                     number(pz.poles[i].im) +
                     ") has a positive real part: the response is unstable; correct the sign.");
    const double f = hertz(row, units);
    fmt::PoleZeroResponse unit = pz;
    unit.constant = 1;
    const double ratio = rsp::evaluateAmplitude(unit, f, pz.zeroCount, pz.poleCount);
    if (!std::isfinite(pz.constant) || pz.constant == 0 || !std::isfinite(ratio) || ratio == 0 ||
        !std::isfinite(1 / ratio)) {
        emit(sink, "pz-normalisation", key,
             "CONSTANT " + number(pz.constant) + " and the poles and zeros give the amplitude " +
                 number(pz.constant * ratio) + " at " + number(f) +
                 " Hz: correct CONSTANT, or choose a FREQ away from the poles and zeros.");
        return;
    }
}

void checkFap(const CalibrationRow& row, const Units& units, const Sink& sink) {
    const FindingKey key = keyOf(row, true);
    if (const auto line = fmt::firstBadFapLine(row.fap)) {
        emit(sink, "response-text", key,
             "FAP line " + std::to_string(*line) + " is not a number: load the table again.");
        return;
    }
    const std::vector<fmt::FapRow> rows =
        fmt::readFapRows(row.fap).value_or(std::vector<fmt::FapRow>{});
    if (rows.size() < 3)
        emit(sink, "fap-rows", key,
             "the FAP table has " + std::to_string(rows.size()) +
                 " rows: store a table of at least 3 frequencies.");
    for (std::size_t i = 1; i < rows.size(); ++i)
        if (!(rows[i].frequency > rows[i - 1].frequency)) {
            emit(sink, "fap-order", key,
                 "FAP row " + std::to_string(i + 1) + " has the frequency " +
                     number(rows[i].frequency) + " after " + number(rows[i - 1].frequency) +
                     ": order the rows by increasing frequency.");
            break;
        }
    const double f = hertz(row, units);
    if (!rows.empty() && (f < rows.front().frequency || f > rows.back().frequency))
        emit(sink, "fap-cover", key,
             "FREQ " + number(f) + " Hz is outside the table's " + number(rows.front().frequency) +
                 " to " + number(rows.back().frequency) +
                 " Hz: choose a FREQ inside it, or extend the table.");
}

// The findings of the row's text and the sensitivity it gives at the row's FREQ.
TextEvaluation evaluateText(const CalibrationRow& row, bool sac, const Units& units) {
    TextEvaluation e;
    e.text = sac ? row.sac : row.fap;
    e.sac = sac;
    e.freq = *row.freq;
    e.sensUnit = row.sensUnit;
    e.freqUnit = row.freqUnit;
    const Sink collect = [&e](Finding f) { e.findings.push_back(std::move(f)); };
    if (sac)
        checkSac(row, units, collect);
    else
        checkFap(row, units, collect);
    e.sensitivity = textSensitivity(
        e.text, sac ? fmt::LoadedFileKind::Sac : fmt::LoadedFileKind::FapOrv, row, units);
    return e;
}

bool sameInputs(const TextEvaluation& e, const CalibrationRow& row, bool sac) {
    return e.sac == sac && e.freq == *row.freq && e.sensUnit == row.sensUnit &&
           e.freqUnit == row.freqUnit && e.text == (sac ? row.sac : row.fap);
}

} // namespace

void checkResponse(const CalibrationRow& row, const Units& units, const Sink& sink,
                   std::optional<TextEvaluation>* last) {
    const FindingKey key = keyOf(row, true);
    if (!row.sensUnit || !units.sens.count(*row.sensUnit))
        emit(sink, "unit-id", key,
             "ID_SENS " + (row.sensUnit ? std::to_string(*row.sensUnit) : std::string("NULL")) +
                 " is not in ID_SENS: store one of its ids.");
    if (!row.freqUnit || !units.freq.count(*row.freqUnit))
        emit(sink, "unit-id", key,
             "ID_FREQ " + (row.freqUnit ? std::to_string(*row.freqUnit) : std::string("NULL")) +
                 " is not in ID_FREQ: store one of its ids.");
    const bool sens = row.sens && std::isfinite(*row.sens) && *row.sens != 0;
    if (!sens)
        emit(sink, "calib-missing", key,
             "SENS is " + (row.sens ? number(*row.sens) : std::string("missing")) +
                 ": write the response again so that its CALIB is computed.");
    const bool freq = row.freq && std::isfinite(*row.freq) && *row.freq > 0;
    if (!freq)
        emit(sink, "freq-missing", key,
             "FREQ is " + (row.freq ? number(*row.freq) : std::string("missing")) +
                 ": store the calibration frequency.");
    const bool sac = !text::trim(row.sac).empty();
    if (!sac && text::trim(row.fap).empty()) {
        emit(sink, "response-text", key, "neither SAC nor FAP holds a text: load the response.");
        return;
    }
    if (!freq)
        return;
    std::optional<TextEvaluation> own;
    std::optional<TextEvaluation>& held = last ? *last : own;
    if (!held || !sameInputs(*held, row, sac))
        held = evaluateText(row, sac, units);
    for (Finding f : held->findings) {
        f.key = key;
        sink(std::move(f));
    }
    if (!sens)
        return;
    const auto& text = held->sensitivity;
    if (text && !(std::abs(std::abs(*row.sens) - std::abs(*text)) <= 0.01 * std::abs(*text)))
        emit(sink, "sens-text", key,
             "SENS " + number(*row.sens) + " but the " + (sac ? "SAC" : "FAP") + " text gives " +
                 number(std::abs(*text)) + " at FREQ " + number(*row.freq) +
                 ": write the response again from its file, or correct SENS.");
}

void KeyCheck::begin(const CalibrationRow& first, const SiteRow* site, bool hasChannel) {
    site_ = site;
    any_ = false;
    previousOpen_ = false;
    latestEnd_ = {};
    const FindingKey key = keyOf(first, false);
    checkCode(CodeKind::Network, first.network, key, "CALIBRATION.NETWORK", sink_);
    checkCode(CodeKind::Station, first.station, key, "CALIBRATION.STA", sink_);
    checkCode(CodeKind::Location, first.location, key, "CALIBRATION.LOCATION", sink_);
    checkCode(CodeKind::Channel, first.channel, key, "CALIBRATION.CHAN", sink_);
    if (!site)
        emit(sink_, "station-missing", key,
             "SITE has no row " + first.station + ": write the station's place in SITE.");
    else if (!hasChannel)
        emit(sink_, "response-no-chan", key,
             "SITECHAN has no channel " + first.channel + " at location \"" + first.location +
                 "\": add the channel to its station.");
}

void KeyCheck::epochs(const CalibrationRow& row) {
    const FindingKey key = keyOf(row, true);
    if (row.end && *row.end <= row.start)
        emit(sink_, "epoch-order", key,
             "the interval ends " + isoTime(*row.end) + ", not after its start: correct ENDDATE.");
    if (any_ && previousOpen_)
        emit(sink_, "epoch-overlap", key,
             std::string(row.end ? "an earlier interval is open" : "two intervals are open") +
                 " and this one starts " + isoTime(row.start) +
                 ": close the earlier interval at this start.");
    else if (any_ && row.start < latestEnd_)
        emit(sink_, "epoch-overlap", key,
             "an earlier interval ends " + isoTime(latestEnd_) + ", after this start " +
                 isoTime(row.start) + ": end it at this start.");
    else if (any_ && row.start > latestEnd_)
        emit(sink_, "epoch-gap", key,
             "no response from " + isoTime(latestEnd_) + " to " + isoTime(row.start) +
                 ": extend the earlier interval, or write the response of the gap.");
    if (site_ && ((site_->on && row.start < *site_->on) ||
                  (site_->off && (!row.end || *row.end > *site_->off))))
        emit(sink_, "epoch-station", key,
             "the interval " + isoTime(row.start) + " to " +
                 (row.end ? isoTime(*row.end) : std::string("open")) +
                 " is not inside the station's " +
                 (site_->on ? isoTime(*site_->on) : std::string("any time")) + " to " +
                 (site_->off ? isoTime(*site_->off) : std::string("open")) +
                 ": correct the interval or SITE.ONDATE/OFFDATE.");
    const odbc::Timestamp end = row.end && *row.end > row.start ? *row.end : row.start;
    if (!any_ || previousOpen_ || end > latestEnd_)
        latestEnd_ = end;
    previousOpen_ = previousOpen_ || !row.end;
    any_ = true;
}

void KeyCheck::add(const CalibrationRow& row) {
    epochs(row);
    checkResponse(row, units_, sink_, &lastText_);
}

} // namespace orv::gainbook::check
