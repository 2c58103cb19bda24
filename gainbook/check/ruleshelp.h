// The pieces the checks of the several tables share (inside the check module only).
#pragma once

#include "check/rules.h"

namespace orv::gainbook::check {

enum class CodeKind { Network, Station, Location, Channel };

// Hands the rule's finding to the sink.
void emit(const Sink& sink, std::string_view id, const FindingKey& key, std::string message);

// A stored code: its form (case and blanks) and, upper-cased and trimmed, its characters.
// where names the column ("SITE.STA").
void checkCode(CodeKind kind, const std::string& stored, const FindingKey& key,
               const std::string& where, const Sink& sink);

// Latitude and longitude of a row of table; required: a missing value is a finding.
void checkPlace(const std::optional<double>& latitude, const std::optional<double>& longitude,
                bool required, const FindingKey& key, const std::string& table, const Sink& sink);

// Great-circle distance in metres between two places in degrees.
double distanceMetres(double lat1, double lon1, double lat2, double lon2);

// The sample rates (samples per second) a SEED band code stands for: [low, high).
struct BandRange {
    double low, high;
};
std::optional<BandRange> bandRange(char band);

} // namespace orv::gainbook::check
