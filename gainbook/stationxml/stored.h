// A stored response (a SAC or FAP text with its unit and frequency) as a StationXML
// response: one PolesZeros or ResponseList stage and the instrument sensitivity. No
// database, no widgets.
#pragma once

#include "stationxml/inventory.h"
#include "stationxml/report.h"

#include "stationxml/keptbyvalue.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orv::stationxml {

struct StoredResponse {
    std::string_view sac, fap;
    // The row's unit: 0 displacement, 1 velocity, 2 acceleration (ID_SENS).
    long long sensUnit = 1;
    // The calibration frequency in the unit freqUnitName names ("Hz" or "rad/sec").
    std::optional<double> freq;
    std::string freqUnitName = "Hz";
    // The stored SENS (counts per input unit, 10^9 / CALIB as the write stores it),
    // checked against the text.
    std::optional<double> sens;
};

// The response; nullopt, with the reason told to warn under key, when the texts give none.
// A stored SENS whose size is more than 1 % away from the text's sensitivity is told too
// (the text's value is exported). A negative CONSTANT gives a negative gain and
// sensitivity: the polarity is kept.
std::optional<Response> convertStored(const StoredResponse& stored, const std::string& key,
                                      const Warn& warn);

// Stored responses once converted, by what is stored (the texts, the values and their
// units): a response that many epochs share is parsed once. Only a conversion that told
// nothing is kept, so that each epoch's doubts are still told under its own key. Shared by
// readers on several threads; at most `bytes` are held, past them what is held is dropped
// and the keeping starts again.
class ResponseConversions {
public:
    explicit ResponseConversions(std::size_t bytes) : kept_(bytes) {}
    // convertStored(stored, key, warn), or what it gave before for the same stored values.
    std::optional<Response> convert(const StoredResponse& stored, const std::string& key,
                                    const Warn& warn);
    std::size_t held() const { return kept_.held(); }

private:
    KeptByValue<Response> kept_;
};

// "m", "m/s" or "m/s**2" for the unit ids 0, 1, 2 (any other id counts as displacement,
// as the file panel takes any other unit as the first of its list).
std::string inputUnitName(long long sensUnit);

} // namespace orv::stationxml
