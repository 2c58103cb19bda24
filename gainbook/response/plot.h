// The geometry of the response plot, shared by the plot in the frequency-response window,
// its full-screen page and the printed page: the mapping of (frequency, amplitude) points
// to device coordinates, the curve, its flat-curve middle line and the dashed decade lines,
// and the texts of a page. Plain arithmetic; the drawing itself is done by a Qt painter.
#pragma once

#include "response/curve.h"

#include <optional>
#include <string>
#include <vector>

namespace orv::gainbook::response {

// A rectangle in device units: left and top inside, right and bottom one past it.
struct PlotRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct PlotPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PlotPoint&, const PlotPoint&) = default;
};

struct PlotLine {
    PlotPoint from;
    PlotPoint to;
    friend bool operator==(const PlotLine&, const PlotLine&) = default;
};

// What a plot is drawn from: the points of the last computation, the low and high
// frequencies of the window's fields (not the extreme points) and the two "Log10" boxes.
struct PlotInputs {
    std::vector<CurvePoint> points;
    double low = 0.0;
    double high = 0.0;
    bool logX = false;
    bool logY = false;
};

// Maps points into a rectangle:
//   x(f) = left + (right - left - 4) * (f - L) / (H - L) + 2
//   y(a) = (bottom - 4) - (bottom - top - 8) * (a - a_min) / (a_max - a_min)
// with log10 of f, L, H and a, a_min, a_max on a logarithmic axis, every coordinate
// truncated to an integer. A curve of reversed polarity (see reversedPolarity) is mapped
// as |a|: an amplitude-frequency response is a modulus. A value a logarithmic axis cannot
// take (zero, negative, not finite) has no coordinate, and a_min, a_max are taken over the
// values the axis can take;
// with a low frequency at or below zero a logarithmic frequency axis starts at the
// smallest positive frequency of the points.
class PlotMapping {
public:
    PlotMapping(const PlotRect& rect, const PlotInputs& inputs);

    std::optional<int> x(double frequency) const;
    std::optional<int> y(double amplitude) const;
    std::optional<PlotPoint> map(const CurvePoint& p) const;

    // The amplitudes the y axis spans; nullopt when no point has a usable amplitude.
    std::optional<double> minAmplitude() const { return aMin_; }
    std::optional<double> maxAmplitude() const { return aMax_; }
    // The frequencies the x axis spans (the fields, or the points' for a bound a
    // logarithmic axis cannot take).
    double low() const { return low_; }
    double high() const { return high_; }

private:
    // The amplitude as the axis shows it.
    double shown(double a) const;

    PlotRect rect_;
    bool logX_;
    bool logY_;
    bool modulus_;
    double low_;
    double high_;
    std::optional<double> aMin_;
    std::optional<double> aMax_;
};

// What is drawn of a curve in a rectangle.
struct PlotShapes {
    // Drawn as segments from each point to the next.
    std::vector<PlotPoint> curve;
    // A flat curve (floor((a_max - a_min) * 1e10) == 0), a single point among them, draws
    // this line instead.
    std::optional<PlotLine> middleLine;
    // Log X only: a dashed vertical line for each whole decade between L and H, never more
    // lines than the rectangle is wide.
    std::vector<PlotLine> decadeLines;
};

// Nothing is drawn for a plot refused by plotRefusal().
PlotShapes plotShapes(const PlotRect& rect, const PlotInputs& inputs);

inline constexpr const char* kFrequencySpanMessage =
    "ВЧ и НЧ слишком далеки друг от друга: отношение частот не представимо числом, "
    "график не строится";
inline constexpr const char* kAmplitudeSpanMessage =
    "Амплитуды слишком далеки друг от друга: их отношение не представимо числом, "
    "график не строится";
inline constexpr const char* kNoPositiveAmplitudeMessage =
    "Все амплитуды равны нулю: на логарифмической шкале амплитуд (флажок Log10 над "
    "графиком) кривая не рисуется";
inline constexpr const char* kReversedPolarityNote =
    "обратная полярность: CONSTANT < 0, показан модуль";

// A negative constant (reversed polarity) makes every amplitude negative or zero: some
// amplitude is below zero and none above.
bool reversedPolarity(const std::vector<CurvePoint>& points);

// Why a plot of points shows no curve, or nullopt when the curve can be drawn: the span
// of the frequency axis (H / L with log X, H - L without) or of the amplitudes is not a
// finite number, or log Y is asked for amplitudes none of which is above zero in modulus.
std::optional<std::string> plotRefusal(const PlotInputs& inputs);

// What the frame and the page say beside the curve: kReversedPolarityNote for a curve of
// reversed polarity that is drawn, else nothing.
std::optional<std::string> plotNote(const PlotInputs& inputs);

// The texts of a page: the two end frequencies ("%f") and the title line.
struct PageTexts {
    std::string station;
    std::string channel;
    std::string time;
};
std::string pageTitle(const PageTexts& texts);
std::string pageFrequency(double frequency);
// The frequencies written under the frame: where the frequency axis starts and ends
// (a logarithmic axis with L at or below zero starts at the lowest positive frequency).
std::string pageLowText(const PlotInputs& inputs);
std::string pageHighText(const PlotInputs& inputs);

// The full-screen view keeps its texts in fields of 10, 8 and 42 bytes with their
// terminators: at most 9, 7 and 41 characters.
inline constexpr std::size_t kPreviewStationChars = 9;
inline constexpr std::size_t kPreviewChannelChars = 7;
inline constexpr std::size_t kPreviewTimeChars = 41;
PageTexts previewTexts(const PageTexts& texts);

// A page: the curve and the texts it is drawn with.
struct PlotPage {
    PlotInputs plot;
    PageTexts texts;
};

// The print page inside a page of the given size: shrunk by 199 on the left, top and
// right and by 99 at the bottom; the frame is drawn there and the curve 1 inside it.
PlotRect printFrame(int pageWidth, int pageHeight);

} // namespace orv::gainbook::response
