#include "response/curve.h"

#include "formats/fap.h"
#include "response/grid.h"
#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace orv::gainbook::response {
namespace {

std::string listingLine(double f, const std::string& value) {
    return orv::text::format("%10.7lf", f) + "   " + value + "   0.0";
}

// The grid listing prints thousands of numbers per computation; these print exactly
// what "%10.7lf" and "%10.7le" print in the C locale (three exponent digits), without
// the cost of a formatted-output call per number.
void appendPadded(std::string& out, const char* begin, const char* end) {
    const std::size_t n = static_cast<std::size_t>(end - begin);
    if (n < 10)
        out.append(10 - n, ' ');
    out.append(begin, end);
}

void appendFixed7(std::string& out, double v) {
    if (!std::isfinite(v)) {
        out += orv::text::format("%10.7lf", v);
        return;
    }
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 7);
    appendPadded(out, buf, res.ptr);
}

void appendExp7(std::string& out, double v) {
    if (!std::isfinite(v)) {
        out += orv::text::format("%10.7le", v);
        return;
    }
    char buf[48];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 7);
    char* end = res.ptr;
    // to_chars writes at least two exponent digits; stored texts have three.
    char* e = std::find(buf, end, 'e');
    if (end - e == 4) { // "e+07"
        e[4] = e[3];
        e[3] = e[2];
        e[2] = '0';
        ++end;
    }
    appendPadded(out, buf, end);
}

std::string gridLine(double f, double value) {
    std::string line;
    line.reserve(40);
    appendFixed7(line, f);
    line += "   ";
    appendExp7(line, value);
    line += "   0.0";
    return line;
}

void computeSac(const CurveInputs& in, CurveResult& out) {
    formats::PoleZeroResponse r;
    formats::readPoleZeroTextLenient(in.sourceText, r);
    const int zeros = effectiveZeroCount(r.zeroCount, in.motion);
    const double low = orv::text::toDouble(in.low);
    const double high = orv::text::toDouble(in.high);
    const int n = orv::text::toInt(in.points);
    const std::optional<std::vector<double>> grid =
        in.decade ? decadeGrid(low, high, n) : linearGrid(low, high, n);
    if (!grid) {
        out.status = CurveStatus::TooManyPoints;
        return;
    }
    const bool inverse = in.units == UnitDirection::Inverse;
    const std::vector<formats::Complex> used = zerosUsed(r, zeros);
    out.points.reserve(grid->size());
    out.lines.reserve(grid->size());
    for (double f : *grid) {
        double a = amplitudeOver(used, r, f, r.poleCount);
        if (inverse)
            a = 1.0 / a;
        out.points.push_back({f, a});
        out.lines.push_back(gridLine(f, a * (inverse ? 1e9 : 1e-9)));
    }
}

void computeFap(const CurveInputs& in, CurveResult& out) {
    const bool direct = in.units == UnitDirection::Direct;
    const std::string_view text = in.sourceText;
    constexpr std::string_view delims = " \r\n\t";
    std::string_view words[3];
    int field = 0;
    std::size_t pos = text.find_first_not_of(delims);
    while (pos != std::string_view::npos) {
        const std::size_t end = text.find_first_of(delims, pos);
        words[field] = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        pos = end == std::string_view::npos ? end : text.find_first_not_of(delims, end);
        if (++field < 3)
            continue;
        field = 0;
        const double f = orv::text::toDouble(words[0]);
        const double a = orv::text::toDouble(words[1]);
        double v = direct ? a * 1000.0 : 1e18 / a;
        if (in.derivative && in.motion == Motion::Displacement)
            v = direct ? v * kTwoPi / f : v * kTwoPi * f;
        else if (in.derivative && in.motion == Motion::Acceleration)
            v = direct ? v / (kTwoPi / f) : v / (kTwoPi * f);
        out.points.push_back({f, v});
        out.lines.push_back(listingLine(f, orv::text::format("%10.7lg", v)));
    }
    if (!out.points.empty())
        out.fapFields = GridFields{orv::text::format("%lf", out.points.front().frequency),
                                   orv::text::format("%lf", out.points.back().frequency),
                                   orv::text::format("%d", static_cast<int>(out.points.size()))};
}

} // namespace

std::string gridListingLine(double frequency, double value) {
    return gridLine(frequency, value);
}

std::string CurveResult::text() const {
    std::string t;
    for (const std::string& line : lines)
        t += line + "\r\n";
    return t;
}

CurveResult computeCurve(const CurveInputs& inputs) {
    CurveResult out;
    if (!formats::fitsWorkingBuffer(inputs.sourceText))
        out.status = CurveStatus::TooLong;
    else if (inputs.kind == SourceKind::Sac)
        computeSac(inputs, out);
    else
        computeFap(inputs, out);
    return out;
}

bool derivativeAfterUnitClick(UnitDirection clicked, Motion motion) {
    return clicked == UnitDirection::Direct ? motion == Motion::Displacement
                                            : motion == Motion::Acceleration;
}

const char* unitCaption(UnitDirection direction, Motion motion) {
    const bool inverse = direction == UnitDirection::Inverse;
    switch (motion) {
    case Motion::Displacement:
        return inverse ? "nm/counts" : "counts/nm";
    case Motion::Velocity:
        break;
    case Motion::Acceleration:
        return inverse ? "nm/counts*sec**2" : "counts*sec**2/nm";
    }
    return inverse ? "nm/counts*sec" : "counts*sec/nm";
}

} // namespace orv::gainbook::response
