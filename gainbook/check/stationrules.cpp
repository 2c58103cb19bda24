// The checks of one station's SITECHAN rows beside its SITE row.
#include "check/rules.h"
#include "check/ruleshelp.h"
#include "text/text.h"

#include <cmath>
#include <system_error>

namespace orv::gainbook::check {

namespace {

constexpr double kMaxDistanceMetres = 1000;
constexpr double kMaxDepthMetres = 5000;

std::string number(double v) {
    return text::format("%g", v);
}

bool usableRate(const std::optional<double>& rate) {
    return rate && std::isfinite(*rate) && *rate > 0;
}

void checkDistance(const SiteRow* site, const SiteChanRow& c, const FindingKey& key,
                   const Sink& sink) {
    if (!site || !site->latitude || !site->longitude || !c.latitude || !c.longitude)
        return;
    const double lat = *site->latitude, lon = *site->longitude;
    if (!std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(*c.latitude) ||
        !std::isfinite(*c.longitude))
        return;
    const double d = distanceMetres(lat, lon, *c.latitude, *c.longitude);
    if (d > kMaxDistanceMetres)
        emit(sink, "chan-distance", key,
             "SITECHAN LAT/LON " + number(*c.latitude) + ", " + number(*c.longitude) + " is " +
                 text::format("%.0f", d) + " m from SITE " + number(lat) + ", " + number(lon) +
                 ": correct the channel's place, or make it a station of its own.");
}

void checkDepth(const SiteChanRow& c, const FindingKey& key, const Sink& sink) {
    if (!c.depth)
        return;
    if (!std::isfinite(*c.depth))
        emit(sink, "not-finite", key,
             "SITECHAN depth is not a finite number: store the depth in metres.");
    else if (*c.depth < 0 || *c.depth > kMaxDepthMetres)
        emit(sink, "chan-depth", key,
             "SITECHAN depth " + number(*c.depth) + " m is " +
                 (*c.depth < 0 ? "negative (above the station)" : "deeper than 5000 m") +
                 ": store the depth below the surface in metres.");
}

void checkRate(const SiteChanRow& c, bool withResponse, const FindingKey& key, const Sink& sink) {
    if (c.sampleRate && !std::isfinite(*c.sampleRate) && !withResponse)
        emit(sink, "not-finite", key, "SITECHAN.SPS is not a finite number: store the rate.");
    if (withResponse && !usableRate(c.sampleRate)) {
        emit(sink, "rate-zero", key,
             "SITECHAN.SPS is " +
                 (c.sampleRate ? std::isfinite(*c.sampleRate) ? number(*c.sampleRate)
                                                              : std::string("not a number")
                               : std::string("missing")) +
                 " on a channel with a response: store its samples per second.");
        return;
    }
    if (!withResponse && usableRate(c.sampleRate))
        emit(sink, "chan-no-response", key,
             "SITECHAN has the channel at " + number(*c.sampleRate) +
                 " samples per second, CALIBRATION has no response of it: write its "
                 "response, or remove the channel.");
    if (!usableRate(c.sampleRate) || c.channel.empty())
        return;
    const char band = text::toUpper(c.channel)[0];
    const std::optional<BandRange> range = bandRange(band);
    if (range && !(*c.sampleRate >= range->low && *c.sampleRate < range->high))
        emit(sink, "band-rate", key,
             std::string("band code ") + band + " stands for " + number(range->low) + " to " +
                 number(range->high) + " samples per second, SITECHAN.SPS is " +
                 number(*c.sampleRate) + ": correct the rate or the channel code.");
}

void checkCalibFile(const SiteChanRow& c, const std::filesystem::path& dir, const FindingKey& key,
                    const Sink& sink) {
    const std::string name = text::trim(c.calibFile);
    if (name.empty())
        return;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(dir / name, ec))
        emit(sink, "calibfile", key,
             "SITECHAN.CALIBFILE \"" + name + "\" is not in " + dir.string() +
                 ": put the file there, or correct the name.");
}

// The channels of one NGROUP (and location) with different rates: one finding per group,
// at its first channel.
void checkGroups(std::span<const SiteChanRow> channels, const Sink& sink) {
    std::map<std::pair<long long, std::string>, std::vector<const SiteChanRow*>> groups;
    for (const SiteChanRow& c : channels)
        if (c.group && usableRate(c.sampleRate))
            groups[{*c.group, c.location}].push_back(&c);
    for (const auto& [id, members] : groups) {
        std::string rates;
        bool differ = false;
        for (const SiteChanRow* c : members) {
            differ = differ || *c->sampleRate != *members.front()->sampleRate;
            rates += (rates.empty() ? "" : ", ") + c->channel + " " + number(*c->sampleRate);
        }
        if (differ)
            emit(sink, "group-rates",
                 FindingKey{"", members.front()->station, id.second, members.front()->channel,
                            std::nullopt},
                 "group " + std::to_string(id.first) + " has the rates " + rates +
                     ": give its components one sample rate.");
    }
}

} // namespace

void checkStationChannels(
    const SiteRow* site, std::span<const SiteChanRow> channels,
    const std::function<bool(const std::string&, const std::string&)>& hasResponse,
    const std::optional<std::filesystem::path>& responseDir, const Sink& sink) {
    for (const SiteChanRow& c : channels) {
        const FindingKey key{"", c.station, c.location, c.channel, std::nullopt};
        checkCode(CodeKind::Channel, c.channel, key, "SITECHAN.CHAN", sink);
        checkCode(CodeKind::Location, c.location, key, "SITECHAN.LCODE", sink);
        checkPlace(c.latitude, c.longitude, false, key, "SITECHAN", sink);
        checkDistance(site, c, key, sink);
        checkDepth(c, key, sink);
        checkRate(c, hasResponse(c.location, c.channel), key, sink);
        if (responseDir)
            checkCalibFile(c, *responseDir, key, sink);
    }
    checkGroups(channels, sink);
}

} // namespace orv::gainbook::check
