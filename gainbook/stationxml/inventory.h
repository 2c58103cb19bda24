// The inventory of the database as networks, stations and channel epochs, streamed to a
// visitor in network, station, location, channel and start order.
#pragma once

#include "db/responsewriter.h"
#include "odbc/odbc.h"
#include "stationxml/report.h"
#include "stationxml/selection.h"

#include <complex>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::stationxml {

class ResponseConversions;

struct NetworkInfo {
    std::string code;
    std::string description;
    std::optional<odbc::Timestamp> start, end;
};

struct StationInfo {
    std::string code;
    double latitude = 0, longitude = 0, elevation = 0;
    std::string siteName, description;
    odbc::Timestamp start;
    std::optional<odbc::Timestamp> end;
};

// One point of a response table: frequency in Hz, amplitude, phase in degrees.
struct ListPoint {
    double frequency = 0, amplitude = 0, phase = 0;
};

// One stage of a response: poles and zeros (Laplace, rad/s) or a response table.
struct Stage {
    enum class Kind { PolesZeros, ResponseList };
    Kind kind = Kind::PolesZeros;
    std::string inputUnits;            // "m", "m/s" or "m/s**2"
    std::string outputUnits = "count"; // counts of the digitizer
    // PolesZeros: A0 at the normalization frequency (Hz); poles and zeros in rad/s.
    double normalizationFactor = 1;
    double normalizationFrequency = 1;
    std::vector<std::complex<double>> zeros, poles;
    // ResponseList: the table, frequencies strictly increasing.
    std::vector<ListPoint> list;
    std::string description;
    double gain = 1;
    double gainFrequency = 1;
};

struct Response {
    double sensitivity = 0;          // counts per input unit
    double sensitivityFrequency = 1; // Hz
    std::string inputUnits, outputUnits = "count";
    std::vector<Stage> stages;
};

struct ChannelEpoch {
    std::string code, location; // location "" is the empty location (stored as "??" too)
    odbc::Timestamp start;
    std::optional<odbc::Timestamp> end;
    double latitude = 0, longitude = 0, elevation = 0, depth = 0, azimuth = 0, dip = 0;
    std::optional<double> sampleRate;
    std::string sensorDescription;
    std::optional<Response> response; // set at level response
};

class InventoryVisitor { // called in network, station, location, channel, start order
public:
    virtual ~InventoryVisitor() = default;
    virtual void beginNetwork(const NetworkInfo&) = 0;
    virtual void endNetwork() = 0;
    virtual void beginStation(const StationInfo&) = 0;
    virtual void endStation() = 0;
    virtual void channel(const ChannelEpoch&) = 0;
};

// What the reading tells about what it left out, changed or found doubtful.
using Warn = std::function<void(const Problem&)>;

struct ReadSummary {
    std::size_t networks = 0, stations = 0, channels = 0;
    bool refusedSome = false; // a station left out for a value the schema refuses
};

struct ReadOptions {
    // The network of stations that have no CALIBRATION row: the code the response editor
    // writes for an empty network.
    std::string defaultNetwork = gainbook::kEmptyNetworkCode;
    // A database without the CALIBRATION table (or, at level response, ID_FREQ) fails the
    // reading, instead of listing every station without responses (or every response
    // without its frequency unit): a service's answers never pass a dropped table off as an
    // archive without responses.
    bool responseTablesRequired = false;
    // Where responses converted before are found (stored.h); none: each is converted anew.
    std::shared_ptr<ResponseConversions> conversions;
    // The caller bounds the reading to a few channels (it names their stations and codes
    // exactly): without times, their epochs are read once, before the stations are visited,
    // and tell the channels' first starts too, instead of a statement of those apart.
    bool fewChannels = false;
};

// Streams what the selection picks, down to selection.level, without holding the archive
// in memory. Throws std::runtime_error, naming the table and the driver's message, when a
// read fails (a failed fetch included).
ReadSummary readInventory(orv::odbc::Connection& connection, const Selection& selection,
                          InventoryVisitor& visitor, const Warn& warn,
                          const ReadOptions& options = {});
// The same for what any of several selections picks (the level is the first's): each
// channel epoch and station once, however many selections match it.
ReadSummary readInventory(orv::odbc::Connection& connection, std::span<const Selection> selections,
                          InventoryVisitor& visitor, const Warn& warn,
                          const ReadOptions& options = {});

} // namespace orv::stationxml
