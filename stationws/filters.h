// What an answer shows of the inventory read for it: the ring of a selection, the level
// asked for, and whether anything matched.
#pragma once

#include "query.h"
#include "spool.h"
#include "stationxml/inventory.h"

#include <optional>

namespace orv::stationws {

using stationxml::Level;

// Passes everything on, notes whether the answer holds anything of the level asked for, and
// tells the spool at each item that the reading is alive.
class Watch : public stationxml::InventoryVisitor {
public:
    Watch(stationxml::InventoryVisitor& next, Level level, Spool& spool)
        : next_(next), level_(level), spool_(spool) {}
    void beginNetwork(const stationxml::NetworkInfo& n) override {
        if (level_ == Level::Network)
            matched_ = true;
        spool_.touch();
        next_.beginNetwork(n);
    }
    void endNetwork() override { next_.endNetwork(); }
    void beginStation(const stationxml::StationInfo& st) override {
        if (level_ == Level::Station)
            matched_ = true;
        spool_.touch();
        next_.beginStation(st);
    }
    void endStation() override { next_.endStation(); }
    void channel(const stationxml::ChannelEpoch& c) override {
        matched_ = true;
        spool_.touch();
        next_.channel(c);
    }
    bool matched() const { return matched_; }

private:
    stationxml::InventoryVisitor& next_;
    Level level_;
    Spool& spool_;
    bool matched_ = false;
};

// The arc, in degrees, between two points of the sphere (haversine form, good at small
// and large distances alike).
inline double arcDegrees(double lat1, double lon1, double lat2, double lon2) {
    constexpr double rad = 3.14159265358979323846 / 180;
    const double dLat = (lat2 - lat1) * rad;
    const double dLon = (lon2 - lon1) * rad;
    const double a =
        std::sin(dLat / 2) * std::sin(dLat / 2) +
        std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * std::asin(std::min(1.0, std::sqrt(a))) / rad;
}

// Passes on what the answer shows: stations inside the ring of the selection (when it has
// one), a network only once one of its stations is shown (or at once when no ring is
// asked for), no stations below the network level and no channels below the station level.
class Filter : public stationxml::InventoryVisitor {
public:
    Filter(stationxml::InventoryVisitor& next, Level shown, const stationxml::Selection& s)
        : next_(next), shown_(shown), selection_(s),
          ring_(s.minRadius.has_value() || s.maxRadius.has_value()) {}
    void beginNetwork(const stationxml::NetworkInfo& n) override {
        pending_ = n;
        if (!ring_)
            openNetwork();
    }
    void endNetwork() override {
        if (open_)
            next_.endNetwork();
        open_ = false;
        pending_.reset();
    }
    void beginStation(const stationxml::StationInfo& st) override {
        inside_ = !ring_ || insideRing(st.latitude, st.longitude);
        if (!inside_)
            return;
        openNetwork();
        if (shown_ != Level::Network)
            next_.beginStation(st);
    }
    void endStation() override {
        if (inside_ && shown_ != Level::Network)
            next_.endStation();
        inside_ = false;
    }
    void channel(const stationxml::ChannelEpoch& c) override {
        if (inside_ && (shown_ == Level::Channel || shown_ == Level::Response))
            next_.channel(c);
    }

private:
    void openNetwork() {
        if (open_ || !pending_)
            return;
        next_.beginNetwork(*pending_);
        open_ = true;
    }
    bool insideRing(double latitude, double longitude) const {
        const double d = arcDegrees(selection_.latitude.value_or(0),
                                    selection_.longitude.value_or(0), latitude, longitude);
        return d >= selection_.minRadius.value_or(0) && d <= selection_.maxRadius.value_or(180);
    }

    stationxml::InventoryVisitor& next_;
    Level shown_;
    const stationxml::Selection& selection_;
    bool ring_;
    std::optional<stationxml::NetworkInfo> pending_;
    bool open_ = false;
    bool inside_ = false;
};

// The level the reader must reach for an answer: text at network level counts stations,
// text at channel level shows the sensitivity.
inline Level readingLevel(const Query& q) {
    const auto& s = q.selections.front();
    if (q.level == Level::Network && (q.format == Format::Text || s.minRadius || s.maxRadius))
        return Level::Station;
    if (q.format == Format::Text && q.level == Level::Channel)
        return Level::Response;
    return q.level;
}

} // namespace orv::stationws
