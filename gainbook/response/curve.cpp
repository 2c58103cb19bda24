#include "response/curve.h"

#include "formats/fap.h"
#include "response/complex.h"
#include "response/grid.h"
#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace orv::gainbook::response {
namespace {

// The grid listing prints hundreds of thousands of numbers for a fine grid; these print
// exactly what "%10.7lf" and "%10.7le" print in the C locale (three exponent digits),
// without the cost of a formatted-output call per number. A line is put together in a
// small buffer and goes into the listing in one piece.
constexpr int kNumberRoom = 400; // "%f" of the largest double and more

char* putPadded(char* p, const char* begin, const char* end) {
    const std::ptrdiff_t n = end - begin;
    if (n < 10)
        p = std::fill_n(p, 10 - n, ' ');
    return std::copy(begin, end, p);
}

char* putText(char* p, const std::string& text) {
    return std::copy(text.begin(), text.end(), p);
}

char* putFixed(char* p, double v, int precision) {
    if (!std::isfinite(v))
        return putText(p, orv::text::format("%10.*lf", precision, v));
    char buf[kNumberRoom];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
    return putPadded(p, buf, res.ptr);
}

char* putExp7(char* p, double v) {
    if (!std::isfinite(v))
        return putText(p, orv::text::format("%10.7le", v));
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
    return putPadded(p, buf, end);
}

// "%10.7lf", three blanks, "%10.7le": the two numbers of a pole-zero listing line.
char* putGridNumbers(char* p, double f, double value) {
    p = putFixed(p, f, 7);
    p = std::fill_n(p, 3, ' ');
    return putExp7(p, value);
}

// The phase of one grid value in degrees, continued from the previous one so that the
// column has no jumps of a full turn.
class PhaseUnwrapper {
public:
    double next(double degrees) {
        if (!first_ && std::isfinite(previous_) && std::isfinite(degrees))
            degrees = previous_ + std::remainder(degrees - previous_, 360.0);
        first_ = false;
        previous_ = degrees;
        return degrees;
    }

private:
    bool first_ = true;
    double previous_ = 0.0;
};

void computeSac(const CurveInputs& in, const ListingStyle& style, CurveResult& out) {
    formats::PoleZeroResponse r;
    formats::readPoleZeroTextLenient(in.sourceText, r);
    const int zeros = effectiveZeroCount(r.zeroCount, in.motion);
    double low = 0.0;
    double high = 0.0;
    long long count = 0;
    const auto unreadable = [&out](const char* field, const std::string& text) {
        out.status = CurveStatus::Unreadable;
        out.message = std::string(field) + ": \"" + text + "\" - не число";
    };
    if (!orv::text::parseDouble(in.low, low))
        return unreadable("НЧ", in.low);
    if (!orv::text::parseDouble(in.high, high))
        return unreadable("ВЧ", in.high);
    if (!orv::text::parseInt(in.points, count))
        return unreadable(in.decade ? "Число точек на декаду" : "Число точек", in.points);
    const int n = static_cast<int>(
        std::clamp<long long>(count, -1, static_cast<long long>(kMaxGridPoints) + 1));
    const std::optional<std::vector<double>> grid =
        in.decade ? decadeGrid(low, high, n) : linearGrid(low, high, n);
    if (!grid) {
        out.status = CurveStatus::TooManyPoints;
        out.message = kTooManyPointsMessage;
        return;
    }
    const bool inverse = in.units == UnitDirection::Inverse;
    const double scale = inverse ? 1e9 : 1e-9;
    const std::vector<formats::Complex> used = zerosUsed(r, zeros);
    constexpr double kDegrees = 180.0 / std::numbers::pi;
    PhaseUnwrapper phase;
    out.points.reserve(grid->size());
    // A line is 33 bytes and its end below 1000 Hz; the phase takes 7 more.
    out.listing.reserve(grid->size() * (34 + style.lineEnd.size() + (style.phase ? 7 : 0)));
    // Room for the three numbers of a line, its blanks and its end.
    std::vector<char> line(3 * kNumberRoom + 16 + style.lineEnd.size());
    for (double f : *grid) {
        const formats::Complex h = ratioOver(used, r, f, r.poleCount);
        double a = modulus(h) * r.constant;
        if (inverse)
            a = 1.0 / a;
        out.points.push_back({f, a});
        char* p = putGridNumbers(line.data(), f, (style.phase ? std::fabs(a) : a) * scale);
        p = std::fill_n(p, 3, ' ');
        if (style.phase) {
            // The phase of c * N / D; the reciprocal of the inverse units mirrors it.
            const double im = h.im * r.constant;
            const double re = h.re * r.constant;
            p = putFixed(p, phase.next(std::atan2(inverse ? -im : im, re) * kDegrees), 4);
        } else {
            p = std::copy_n("0.0", 3, p);
        }
        p = std::copy(style.lineEnd.begin(), style.lineEnd.end(), p);
        out.listing.append(line.data(), p);
    }
}

void computeFap(const CurveInputs& in, const ListingStyle& style, CurveResult& out) {
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
        out.listing += orv::text::format("%10.7lf   %10.7lg   0.0", f, v);
        out.listing += style.lineEnd;
    }
    if (!out.points.empty())
        out.fapFields = GridFields{orv::text::format("%lf", out.points.front().frequency),
                                   orv::text::format("%lf", out.points.back().frequency),
                                   orv::text::format("%d", static_cast<int>(out.points.size()))};
}

} // namespace

std::string gridListingLine(double frequency, double value) {
    char line[2 * kNumberRoom];
    return std::string(line, putGridNumbers(line, frequency, value)) + "   0.0";
}

std::vector<std::string> CurveResult::lines() const {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string::npos)
            end = listing.size();
        std::size_t stop = end;
        if (stop > start && listing[stop - 1] == '\r')
            --stop;
        out.push_back(listing.substr(start, stop - start));
        start = end + 1;
    }
    return out;
}

CurveResult computeCurve(const CurveInputs& inputs, const ListingStyle& style) {
    CurveResult out;
    if (!formats::fitsWorkingBuffer(inputs.sourceText)) {
        out.status = CurveStatus::TooLong;
        out.message = formats::kTextTooLongMessage;
    } else if (inputs.kind == SourceKind::Sac) {
        computeSac(inputs, style, out);
    } else {
        computeFap(inputs, style, out);
    }
    if (out.status == CurveStatus::Computed && out.points.empty()) {
        out.status = CurveStatus::NoPoints;
        out.message = kNoPointsMessage;
    }
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
