#include "response/grid.h"

#include <algorithm>
#include <cmath>

namespace orv::gainbook::response {
namespace {

double key(double x) {
    return std::floor(x * 1e10);
}

// Largest power of ten not above x, found from 1 by steps of 10 or 0.1.
double decadeBelow(double x) {
    double d = 1.0;
    const double k = key(x);
    if (k >= key(1.0)) {
        while (key(d * 10.0) <= k)
            d *= 10.0;
    } else {
        while (key(d) > k)
            d *= 0.1;
    }
    return d;
}

} // namespace

std::optional<std::vector<double>> linearGrid(double low, double high, int points) {
    std::vector<double> grid;
    if (points < 2 || !std::isfinite(low) || !std::isfinite(high) || !(high > low))
        return grid;
    if (static_cast<std::size_t>(points) > kMaxGridPoints)
        return std::nullopt;
    // Each value from its index rather than by adding up steps, whose rounding could
    // leave out the high frequency.
    const double step = (high - low) / (points - 1);
    grid.reserve(static_cast<std::size_t>(points));
    for (int i = 0; i < points - 1; ++i)
        grid.push_back(std::min(high, low + step * i));
    grid.push_back(high);
    return grid;
}

std::optional<std::vector<double>> decadeGrid(double low, double high, int perDecade) {
    std::vector<double> grid;
    // Bounds whose keys cannot be formed, or at or below 0, would leave the decade search
    // without an end.
    if (perDecade <= 0 || !(low > 0.0) || !(high > 0.0) || !std::isfinite(key(low)) ||
        !std::isfinite(key(high) * 10.0))
        return grid;
    if (static_cast<std::size_t>(perDecade) > kMaxGridPoints)
        return std::nullopt;
    const double dLow = decadeBelow(low);
    const double dHigh = decadeBelow(high);
    const int decades =
        static_cast<int>(std::floor(std::fabs(std::log10(dHigh) - std::log10(dLow)) + 1.0));
    const double kLow = key(low);
    const double kHigh = key(high);
    double d = dLow;
    for (int i = 0; i < decades; ++i, d *= 10.0) {
        for (int k = 0; k < perDecade; ++k) {
            const double v = d + (10.0 * d - d) * k / perDecade;
            const double kv = key(v);
            if (kv > kHigh)
                return grid;
            if (kv < kLow)
                continue;
            if (grid.size() == kMaxGridPoints)
                return std::nullopt;
            grid.push_back(v);
        }
    }
    return grid;
}

} // namespace orv::gainbook::response
