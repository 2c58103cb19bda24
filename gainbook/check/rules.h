// The archive's station-metadata rules: what each checks and how severe a breach is, and
// the checks themselves on plain rows (SITE, SITECHAN, CALIBRATION). No database reading,
// no widgets: the caller hands the rows in, one station or one key at a time.
#pragma once

#include "db/inventoryrows.h"

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::check {

enum class Severity { Error, Warning };

struct RuleInfo {
    std::string_view id;
    Severity severity;
    std::string_view what;      // one line, English
    std::string_view whatRu;    // the same line in Russian, for the window
    std::string_view fieldRule; // the field's rule it follows ("" where there is none)
    std::string_view fixRu;     // what to change, in Russian, for the window
};

// Every rule, in the order they are listed.
std::span<const RuleInfo> rules();
// The rule of an id; nullptr for an unknown id.
const RuleInfo* findRule(std::string_view id);

// Where a finding is: network "" for SITE and SITECHAN rows (they belong to no network),
// channel "" for a station's own row, start unset where no interval is concerned.
struct FindingKey {
    std::string network, station, location, channel;
    std::optional<odbc::Timestamp> start;
};

struct Finding {
    std::string_view rule;
    Severity severity = Severity::Error;
    FindingKey key;
    std::string message; // the values involved and what to change, English
};

using Sink = std::function<void(Finding)>;

// The unit tables: id -> name.
struct Units {
    std::map<long long, std::string> sens, freq;
};

// The checks of one SITE row: its code, place and dates.
void checkSite(const SiteRow& site, const Sink& sink);

// The checks of one station's SITECHAN rows (all of them, in any order) beside its SITE
// row (nullptr when it has none). hasResponse(location, channel) tells whether CALIBRATION
// holds a response of the channel at any time; responseDir is DIR/RESPONSE when it can be
// read (the CALIBFILE check runs only then).
void checkStationChannels(
    const SiteRow* site, std::span<const SiteChanRow> channels,
    const std::function<bool(const std::string&, const std::string&)>& hasResponse,
    const std::optional<std::filesystem::path>& responseDir, const Sink& sink);

// What one response text gives at a FREQ with its units: the findings of the text itself
// (with no key) and the sensitivity it gives (nullopt where it gives none). The intervals of
// a key mostly share their text: a check keeps the last evaluation and takes it again for
// the next row with the same text, FREQ and unit ids.
struct TextEvaluation {
    std::string text;
    bool sac = true;
    double freq = 0;
    std::optional<long long> sensUnit, freqUnit;
    std::vector<Finding> findings;
    std::optional<double> sensitivity;
};

// The checks of the CALIBRATION rows of one key (network, station, location, channel),
// fed in start order: codes once, then each interval against the ones before it and
// against the station's dates, then each response. Call begin() for every new key.
class KeyCheck {
public:
    KeyCheck(const Units& units, const Sink& sink) : units_(units), sink_(sink) {}
    // site: the station's SITE row (nullptr when it has none); hasChannel: SITECHAN holds
    // the channel.
    void begin(const CalibrationRow& first, const SiteRow* site, bool hasChannel);
    void add(const CalibrationRow& row);

private:
    void epochs(const CalibrationRow& row);
    const Units& units_;
    const Sink& sink_;
    std::optional<TextEvaluation> lastText_;
    const SiteRow* site_ = nullptr;
    bool any_ = false;
    bool previousOpen_ = false;
    odbc::Timestamp latestEnd_{};
};

// The checks of one stored response (its texts, SENS, FREQ and unit ids). With last, the
// text is evaluated only when it, FREQ or a unit id differs from the evaluation held there,
// which is then replaced.
void checkResponse(const CalibrationRow& row, const Units& units, const Sink& sink,
                   std::optional<TextEvaluation>* last = nullptr);

// "YYYY-MM-DDTHH:MM:SSZ"
std::string isoTime(const odbc::Timestamp& t);

} // namespace orv::gainbook::check
