// The computation of the frequency-response window as a function of its inputs: the
// window gathers the source text and its choices, and shows the points (plot) and the
// listing (result box) that come back.
#pragma once

#include "response/evaluation.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::response {

enum class SourceKind { Sac, Fap };
// Inverse: nm per count (and so on by motion); direct: counts per nm.
enum class UnitDirection { Inverse, Direct };

struct CurveInputs {
    std::string sourceText;
    SourceKind kind = SourceKind::Sac;
    Motion motion = Motion::Velocity;
    UnitDirection units = UnitDirection::Direct;
    // The texts of the grid fields as typed: finite decimal numbers, a decimal comma
    // reading as the point (orv::text::parseDouble, parseInt).
    std::string low = "0.001";
    std::string high = "20";
    std::string points = "300";
    bool decade = true; // the "Log10" box of the frequency axis
    bool derivative = false;

    friend bool operator==(const CurveInputs&, const CurveInputs&) = default;
};

struct CurvePoint {
    double frequency = 0.0;
    double amplitude = 0.0;
};

// What a FAP source puts into the grid fields (which it disables).
struct GridFields {
    std::string low;
    std::string high;
    std::string points;
};

enum class CurveStatus {
    Computed,
    TooLong,       // a text beyond the working buffer: kTextTooLongMessage
    TooManyPoints, // the grid would exceed kMaxGridPoints: kTooManyPointsMessage
    Unreadable,    // a grid field is not a number: message names it
    NoPoints,      // the grid or the table holds no point: kNoPointsMessage
};

inline constexpr const char* kTooManyPointsMessage = "Слишком много точек: не более 1000000";
inline constexpr const char* kNoPointsMessage = "ни одной точки: проверьте частоты и число точек";

struct CurveResult {
    CurveStatus status = CurveStatus::Computed;
    std::vector<CurvePoint> points;
    // The listing, one line a point, every line followed by the line end asked for (the
    // result box holds CR LF). Written straight into one buffer.
    std::string listing;
    std::optional<GridFields> fapFields;
    // What went wrong, for a status other than Computed.
    std::string message;

    const std::string& text() const { return listing; }
    // The lines of the listing without their line ends.
    std::vector<std::string> lines() const;
};

// How the listing is written.
struct ListingStyle {
    std::string_view lineEnd = "\r\n";
    // The third column of a pole-zero listing holds the phase of the listed response
    // H = c * N / D (1 / H for the inverse units) in degrees instead of "0.0": the first
    // point's principal value (-180, 180], the next ones continued from it without jumps
    // of a full turn. The second column is then |H| (1 / |H|), so that amplitude times
    // e^(i phase) is the response, a negative constant counted once, in the phase. A FAP
    // table keeps "0.0": the stored tables hold no phase.
    bool phase = false;
};

CurveResult computeCurve(const CurveInputs& inputs, const ListingStyle& style = {});

// One line of a pole-zero listing: "%10.7lf", three blanks, "%10.7le", "   0.0".
std::string gridListingLine(double frequency, double value);

// The derivative flag after a click on a unit button: set by the direct button with
// displacement and by the inverse button with acceleration, cleared otherwise.
bool derivativeAfterUnitClick(UnitDirection clicked, Motion motion);

// Captions of the unit buttons for a kind of motion.
const char* unitCaption(UnitDirection direction, Motion motion);

} // namespace orv::gainbook::response
