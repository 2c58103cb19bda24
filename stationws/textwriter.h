// The service's plain-text answer: one header line and one '|'-separated line per network,
// station or channel epoch, written as the inventory is visited.
#pragma once

#include "stationxml/inventory.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orv::stationws {

class TextWriter : public stationxml::InventoryVisitor {
public:
    using Sink = std::function<void(std::string_view)>;
    // level: Network, Station or Channel. At network level the visit must reach the
    // stations (they are counted); at channel level the responses (they give the scale).
    TextWriter(Sink sink, stationxml::Level level);

    void begin();
    void beginNetwork(const stationxml::NetworkInfo&) override;
    void endNetwork() override;
    void beginStation(const stationxml::StationInfo&) override;
    void endStation() override {}
    void channel(const stationxml::ChannelEpoch&) override;
    void finish();

private:
    void flush(bool always);

    Sink sink_;
    stationxml::Level level_;
    std::string buffer_;
    std::optional<stationxml::NetworkInfo> network_;
    std::string station_;
    std::size_t stationCount_ = 0;
};

// "YYYY-MM-DDThh:mm:ss"
std::string isoTime(const odbc::Timestamp& t);

} // namespace orv::stationws
