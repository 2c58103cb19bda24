// Frequency grids of the frequency-response window.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace orv::gainbook::response {

// No grid is made with more values than this; a request beyond it gives no grid.
inline constexpr std::size_t kMaxGridPoints = 1'000'000;

// points values low, low + step, ..., high, step = (high - low) / (points - 1).
// Empty for fewer than two points or a high frequency not above the low one; nothing
// for more than kMaxGridPoints points.
std::optional<std::vector<double>> linearGrid(double low, double high, int points);

// perDecade values in every decade from the power of ten at or below low, equally spaced
// inside the decade (d + 9d * k / perDecade), kept from low up to high. Grid values and
// bounds are compared as floor(x * 1e10), so values that differ only in the eleventh
// decimal count as equal. Empty for bounds not above 0 or no points per decade; nothing
// when the grid would hold more than kMaxGridPoints values.
std::optional<std::vector<double>> decadeGrid(double low, double high, int perDecade);

} // namespace orv::gainbook::response
