// The findings of a check written as text (grouped by rule, with counts), JSON (an array of
// objects) or CSV, and the summary of the counts per severity.
#pragma once

#include "check/rules.h"

#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace orv::gainbook::check {

enum class Format { Text, Json, Csv };

class Report {
public:
    Report(std::ostream& out, Format format);
    // Written at once as JSON and CSV; kept until finish() as text (grouped by rule).
    void add(const Finding& finding);
    // Ends the output.
    void finish();
    std::size_t errors() const { return counts_[0]; }
    std::size_t warnings() const { return counts_[1]; }
    // "N errors, M warnings"
    std::string summary() const;

private:
    std::ostream& out_;
    Format format_;
    std::array<std::size_t, 2> counts_{};
    bool first_ = true;
    std::vector<std::vector<Finding>> byRule_; // text only
};

// "NET.STA.LOC.CHA" with " from START" when the finding names an interval.
std::string keyText(const FindingKey& key);

// The rules as --rules lists them: id, severity, what, the field rule.
void listRules(std::ostream& out);

} // namespace orv::gainbook::check
