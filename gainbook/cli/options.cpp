#include "cli/options.h"
#include "cli/command.h"

#include "text/text.h"

#include <algorithm>
#include <ostream>

namespace orv::gainbook::cli {

std::optional<std::string> ParsedOptions::value(const std::string& name) const {
    const auto it = values.find(name);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

int usageError(std::ostream& err, const std::string& command, const std::string& what) {
    err << "gainbook-cli " << command << ": " << what << "\n(gainbook-cli " << command
        << " --help)\n";
    return kUsageError;
}

ParsedOptions parseOptions(const std::vector<std::string>& args,
                           const std::vector<OptionSpec>& specs) {
    ParsedOptions parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help") {
            parsed.help = true;
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? eq : eq - 2);
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : specs)
            if (name == s.name)
                spec = &s;
        if (!spec) {
            parsed.error = "неизвестный параметр --" + name;
            return parsed;
        }
        if (parsed.has(name)) {
            parsed.error = "параметр --" + name + " задан дважды";
            return parsed;
        }
        if (!spec->takesValue) {
            if (eq != std::string::npos) {
                parsed.error = "параметр --" + name + " не принимает значения";
                return parsed;
            }
            parsed.values[name] = "";
        } else if (eq != std::string::npos) {
            parsed.values[name] = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            parsed.values[name] = args[++i];
        } else {
            parsed.error = "параметру --" + name + " не хватает значения";
            return parsed;
        }
    }
    return parsed;
}

OptionValue numberOption(const ParsedOptions& opts, const std::string& name, NumberKind kind) {
    const std::optional<std::string> v = opts.value(name);
    if (!v)
        return {};
    double real = 0;
    long long integer = 0;
    if (kind == NumberKind::Integer ? !orv::text::parseInt(*v, integer)
                                    : !orv::text::parseDouble(*v, real))
        return {std::nullopt, "--" + name + ": ожидается " +
                                  (kind == NumberKind::Integer ? "целое" : "десятичное") +
                                  " число, а не \"" + *v + "\""};
    // What parseDouble accepted reads the same with the point in place of the comma.
    return {orv::text::replaceAll(orv::text::trim(*v), ",", "."), {}};
}

OptionValue choiceOption(const ParsedOptions& opts, const std::string& name,
                         std::span<const std::string_view> choices) {
    const std::optional<std::string> v = opts.value(name);
    if (!v || std::find(choices.begin(), choices.end(), *v) != choices.end())
        return {v, {}};
    std::string list;
    for (std::size_t i = 0; i < choices.size(); ++i)
        list += (i == 0 ? "" : i + 1 == choices.size() ? " или " : ", ") + std::string(choices[i]);
    return {std::nullopt, "--" + name + ": ожидается " + list + ", а не \"" + *v + "\""};
}

} // namespace orv::gainbook::cli
