#include "filters.h"

#include <algorithm>
#include <cmath>

namespace orv::stationws {

namespace {

// The arc, in degrees, between two points of the sphere (haversine form, good at small
// and large distances alike).
double arcDegrees(double lat1, double lon1, double lat2, double lon2) {
    constexpr double rad = 3.14159265358979323846 / 180;
    const double dLat = (lat2 - lat1) * rad;
    const double dLon = (lon2 - lon1) * rad;
    const double a =
        std::sin(dLat / 2) * std::sin(dLat / 2) +
        std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * std::asin(std::min(1.0, std::sqrt(a))) / rad;
}

} // namespace

bool Filter::insideRing(double latitude, double longitude) const {
    const double d = arcDegrees(selection_.latitude.value_or(0), selection_.longitude.value_or(0),
                                latitude, longitude);
    return d >= selection_.minRadius.value_or(0) && d <= selection_.maxRadius.value_or(180);
}

stationxml::Level readingLevel(const Query& q) {
    const auto& s = q.selections.front();
    if (q.level == Level::Network && (q.format == Format::Text || s.minRadius || s.maxRadius))
        return Level::Station;
    if (q.format == Format::Text && q.level == Level::Channel)
        return Level::Response;
    return q.level;
}

} // namespace orv::stationws
