// What the reading of an answer passes through on its way to the document writer: a watch
// that notes what matched and keeps the spool told the reading is alive, and the filter of
// what the answer shows (a ring around a point, the level asked for).
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
    bool insideRing(double latitude, double longitude) const;

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
stationxml::Level readingLevel(const Query& q);

} // namespace orv::stationws
