// A small option parser for the subcommands: "--name value", "--name=value" and flags.
#pragma once

#include <iosfwd>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::cli {

struct OptionSpec {
    const char* name; // without the leading "--"
    bool takesValue;
};

struct ParsedOptions {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values; // flags hold ""
    bool help = false;
    std::string error; // not empty when the arguments cannot be understood

    bool has(const std::string& name) const { return values.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;
};

// Says what is wrong with the command line of a command, and where its help is; the
// usage-error status.
int usageError(std::ostream& err, const std::string& command, const std::string& what);

ParsedOptions parseOptions(const std::vector<std::string>& args,
                           const std::vector<OptionSpec>& specs);

// The checked value of one option.
struct OptionValue {
    std::optional<std::string> text; // nothing when the option is not given or is refused
    std::string error;               // not empty, naming the option, when it is refused
};

enum class NumberKind { Real, Integer };

// A number typed as a person types it, read by orv::text::parseDouble or parseInt: a
// decimal comma reads as the point; hexadecimal forms, "nan", "inf" and other texts are
// refused. The text is given back in the C locale, as the computations read it.
OptionValue numberOption(const ParsedOptions& opts, const std::string& name, NumberKind kind);

// One of the given words, compared exactly.
OptionValue choiceOption(const ParsedOptions& opts, const std::string& name,
                         std::span<const std::string_view> choices);

} // namespace orv::gainbook::cli
