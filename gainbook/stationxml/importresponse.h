// A channel epoch's response as StationXML gives it, turned into the text the database
// stores: the analog PolesZeros stages as one SAC pole-zero text in the displacement form,
// or a lone ResponseList as a FAP text. No database, no widgets.
#pragma once

#include "stationxml/xmlreader.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::stationxml {

// Ground motion in a unit of length: 0 displacement, 1 velocity, 2 acceleration, and the
// metres in one unit of length (1e-9 for nm/s).
struct GroundMotion {
    int motion = 0;
    double metres = 1;
};
// nullopt for units that are no ground motion. Without regard to case: M, CM, MM, UM, NM;
// /S or /SEC; /S**2, /S^2, /S2, /S/S (and with SEC).
std::optional<GroundMotion> groundMotion(std::string_view units);

// Left-out digital stages (Z-transform PolesZeros, IIR Coefficients) may change the
// stored response by at most this much between the lowest frequency the response names
// and 0.4 times the Nyquist frequency; beyond it the epoch is skipped.
inline constexpr double kDigitalDeviationLimit = 0.05;

// Where the stages' response at the sensitivity's frequency differs from the stated
// sensitivity by more than this (or in sign), both values are said.
inline constexpr double kContradictionLimit = 0.05;

struct SacResponse {
    std::string text;   // SAC pole-zero text, lines ended by "\r\n", with header comments
    long long sensUnit; // 0 displacement, 1 velocity, 2 acceleration
    double frequency;   // Hz
    double sensitivity; // counts per metre (per second, ...); negative for a reversed polarity
    double a0;
    std::vector<std::string> notes; // what was left out or assumed, for the user
};

// The analog PolesZeros stages combined into one SAC text; CONSTANT = A0 x sensitivity,
// negative where the sensitivity or the product of the stage gains is. nullopt with the
// reason in why when the epoch has no such response.
std::optional<SacResponse> toSac(const ImportedEpoch& epoch, std::string& why);

// An epoch whose only stage is a ResponseList as a FAP text in the ORV flavour (amplitude =
// 10^9 x counts per metre unit, so that the FAP evaluation at fs gives the sensitivity);
// nullopt with the reason in why otherwise.
struct FapResponse {
    std::string text; // triplet lines
    long long sensUnit;
    double frequency; // Hz
    std::vector<std::string> notes;
};
std::optional<FapResponse> toFap(const ImportedEpoch& epoch, std::string& why);

} // namespace orv::stationxml
