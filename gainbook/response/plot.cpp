#include "response/plot.h"

#include "text/text.h"

#include <algorithm>
#include <cmath>

namespace orv::gainbook::response {
namespace {

// Coordinates far outside any page are held there, so that a curve drawn outside its
// frame (frequencies beyond the fields) still converts to integers.
constexpr double kFarOutside = 1e6;

std::optional<int> truncated(double v) {
    if (!std::isfinite(v))
        return std::nullopt;
    return static_cast<int>(std::clamp(v, -kFarOutside, kFarOutside));
}

bool onLogAxis(double v) {
    return std::isfinite(v) && v > 0.0;
}

} // namespace

PlotMapping::PlotMapping(const PlotRect& rect, const PlotInputs& in)
    : rect_(rect), logX_(in.logX), logY_(in.logY), modulus_(reversedPolarity(in.points)),
      low_(in.low), high_(in.high) {
    for (const CurvePoint& p : in.points) {
        const double a = shown(p.amplitude);
        if (!std::isfinite(a) || (logY_ && a <= 0.0))
            continue;
        aMin_ = aMin_ ? std::min(*aMin_, a) : a;
        aMax_ = aMax_ ? std::max(*aMax_, a) : a;
    }
    if (logX_ && !onLogAxis(low_)) {
        std::optional<double> lowest;
        for (const CurvePoint& p : in.points)
            if (onLogAxis(p.frequency))
                lowest = lowest ? std::min(*lowest, p.frequency) : p.frequency;
        if (lowest)
            low_ = *lowest;
    }
}

std::optional<int> PlotMapping::x(double f) const {
    const int width = rect_.right - rect_.left - 4;
    if (!logX_)
        return truncated(rect_.left + width * (f - low_) / (high_ - low_) + 2);
    if (!onLogAxis(f) || !onLogAxis(low_) || !onLogAxis(high_))
        return std::nullopt;
    return truncated(rect_.left +
                     width * (std::log10(f) - std::log10(low_)) / std::log10(high_ / low_) + 2);
}

double PlotMapping::shown(double a) const {
    return modulus_ ? std::fabs(a) : a;
}

std::optional<int> PlotMapping::y(double amplitude) const {
    const double a = shown(amplitude);
    if (!aMin_ || !std::isfinite(a))
        return std::nullopt;
    const int height = rect_.bottom - rect_.top - 8;
    if (!logY_)
        return truncated((rect_.bottom - 4) - height * (a - *aMin_) / (*aMax_ - *aMin_));
    if (a <= 0.0)
        return std::nullopt;
    return truncated((rect_.bottom - 4) -
                     height * (std::log10(a) - std::log10(*aMin_)) / std::log10(*aMax_ / *aMin_));
}

std::optional<PlotPoint> PlotMapping::map(const CurvePoint& p) const {
    const std::optional<int> px = x(p.frequency);
    const std::optional<int> py = y(p.amplitude);
    if (!px || !py)
        return std::nullopt;
    return PlotPoint{*px, *py};
}

bool reversedPolarity(const std::vector<CurvePoint>& points) {
    bool negative = false;
    for (const CurvePoint& p : points) {
        if (p.amplitude > 0.0)
            return false;
        negative = negative || p.amplitude < 0.0;
    }
    return negative;
}

std::optional<std::string> plotNote(const PlotInputs& in) {
    if (!reversedPolarity(in.points) || plotRefusal(in))
        return std::nullopt;
    return kReversedPolarityNote;
}

std::optional<std::string> plotRefusal(const PlotInputs& in) {
    if (in.points.empty())
        return std::nullopt;
    const PlotRect any{0, 0, 100, 100};
    const PlotMapping m(any, in);
    const double span = in.logX ? m.high() / m.low() : m.high() - m.low();
    if (!std::isfinite(span) && (!in.logX || (onLogAxis(m.low()) && onLogAxis(m.high()))))
        return kFrequencySpanMessage;
    if (!m.minAmplitude()) {
        if (in.logY)
            return kNoPositiveAmplitudeMessage;
        return std::nullopt;
    }
    const double aSpan =
        in.logY ? *m.maxAmplitude() / *m.minAmplitude() : *m.maxAmplitude() - *m.minAmplitude();
    if (!std::isfinite(aSpan))
        return kAmplitudeSpanMessage;
    return std::nullopt;
}

PlotShapes plotShapes(const PlotRect& r, const PlotInputs& in) {
    PlotShapes shapes;
    if (in.points.empty() || plotRefusal(in))
        return shapes;
    const PlotMapping m(r, in);
    if (!m.minAmplitude()) {
        // No point has a usable amplitude.
    } else if (std::floor((*m.maxAmplitude() - *m.minAmplitude()) * 1e10) == 0.0) {
        const int y = r.bottom - (r.bottom - r.top) / 2;
        shapes.middleLine = PlotLine{{r.left, y}, {r.right - 4, y}};
    } else {
        for (const CurvePoint& p : in.points)
            if (const std::optional<PlotPoint> q = m.map(p))
                shapes.curve.push_back(*q);
    }
    if (in.logX && onLogAxis(m.low()) && onLogAxis(m.high())) {
        const double decades = std::log10(m.high() / m.low());
        const int most = std::max(0, r.right - r.left);
        for (int k = 1; k < decades && k <= most; ++k) {
            const int x = *truncated(r.left + static_cast<double>(r.right - r.left) * k / decades);
            shapes.decadeLines.push_back({{x, r.bottom - 2}, {x, r.top}});
        }
    }
    return shapes;
}

std::string pageTitle(const PageTexts& t) {
    return "Станция: " + t.station + "   Канал: " + t.channel + "   Время: " + t.time;
}

std::string pageFrequency(double frequency) {
    return orv::text::format("%f", frequency);
}

std::string pageLowText(const PlotInputs& in) {
    return pageFrequency(PlotMapping({0, 0, 100, 100}, in).low());
}

std::string pageHighText(const PlotInputs& in) {
    return pageFrequency(in.high);
}

PageTexts previewTexts(const PageTexts& t) {
    return {orv::text::truncateChars(t.station, kPreviewStationChars),
            orv::text::truncateChars(t.channel, kPreviewChannelChars),
            orv::text::truncateChars(t.time, kPreviewTimeChars)};
}

PlotRect printFrame(int pageWidth, int pageHeight) {
    return {199, 199, pageWidth - 199, pageHeight - 99};
}

} // namespace orv::gainbook::response
