// The options of gainbook-cli, one argument a line of the input: the parser, and the
// numbers and words read from what it gives.
#include "fuzz.h"

#include "cli/options.h"
#include "text/text.h"

#include <cstring>

using namespace orv::gainbook::cli;

namespace {

const std::vector<OptionSpec> kSpecs = {{"low", true},  {"high", true}, {"points", true},
                                        {"freq", true}, {"unit", true}, {"yes", false}};
constexpr std::string_view kUnits[] = {"Hz", "rad/sec"};

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ParsedOptions opts =
        parseOptions(orv::fuzz::lines(orv::fuzz::asText(data, size)), kSpecs);
    if (!opts.error.empty())
        return 0;
    for (const char* name : {"low", "high", "freq"}) {
        const OptionValue v = numberOption(opts, name, NumberKind::Real);
        ORV_FUZZ_CHECK(v.text.has_value() != !v.error.empty() || !opts.has(name));
        // The text handed on reads, the way the computations read it, as the number typed.
        double typed = 0;
        if (v.text)
            ORV_FUZZ_CHECK(orv::text::parseDouble(*opts.value(name), typed) &&
                           sameBits(orv::text::toDouble(*v.text), typed));
    }
    const OptionValue points = numberOption(opts, "points", NumberKind::Integer);
    long long typed = 0;
    if (points.text)
        ORV_FUZZ_CHECK(orv::text::parseInt(*opts.value("points"), typed) &&
                       orv::text::toLongLong(*points.text) == typed);
    const OptionValue unit = choiceOption(opts, "unit", kUnits);
    ORV_FUZZ_CHECK(unit.text.has_value() == (opts.has("unit") && unit.error.empty()));
    return 0;
}
