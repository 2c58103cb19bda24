// A small option parser for the subcommands: "--name value", "--name=value" and flags.
#pragma once

#include <map>
#include <optional>
#include <string>
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

ParsedOptions parseOptions(const std::vector<std::string>& args,
                           const std::vector<OptionSpec>& specs);

} // namespace orv::gainbook::cli
