// What the database commands share: the connection options and their help, the console
// that stands in for the windows' boxes, the connection with the editor's schema check,
// and the code-list options. The copy opens its two sides by the same calls.
#pragma once

#include "cli/options.h"
#include "db/connection.h"
#include "db/typedinput.h"
#include "text/text.h"
#include "ui/console.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orv::gainbook::cli {

// The help lines of --dsn, --user, --password and --yes.
extern const char* const kConnectionHelp;
extern const std::vector<OptionSpec> kConnectionOptions;

// Boxes and questions of the windows, on the console: "caption: text", a question's answer
// after it.
class ConsoleInteraction : public ui::HeadlessInteraction {
public:
    ConsoleInteraction(std::ostream& err, bool yes) : HeadlessInteraction(yes), err_(err) {}

protected:
    void said(std::string_view text, std::string_view caption, ui::Buttons buttons,
              ui::Answer answer) override {
        err_ << (caption.empty() ? kProgramTitle : caption) << ": "
             << orv::text::replaceAll(orv::text::trim(text), "\r\n", "\n")
             << answerText(buttons, answer) << "\n";
    }

private:
    std::ostream& err_;
};

// The connection settings: options first, then the settings files Gainbook would use.
ConnectionSettings resolveSettings(const ParsedOptions& opts);

// Connects and runs the schema check; null (after saying why) when the editor could not
// work on the database.
DatabaseConnection connectChecked(const ParsedOptions& opts, ui::Interaction& ui,
                                  const std::string& command, std::ostream& err);

// Replaces a checked connection by a second one under which the driver streams the rows it
// reads; where that cannot be had, the first one stays (said on stderr).
void streamRows(DatabaseConnection& connection, const ParsedOptions& opts,
                const std::string& command, std::ostream& err);

// The connection of the settings; null after saying why on err, after who ("gainbook-cli
// list").
DatabaseConnection openOrSay(const ConnectionSettings& settings, const std::string& who,
                             std::ostream& err);

// Replaces a connection by a second one under which the driver streams the rows it reads;
// where that cannot be had, the first one stays and reads results whole (said on err, after
// who).
void streamOrSay(DatabaseConnection& connection, const ConnectionSettings& settings,
                 const std::string& who, std::ostream& err);

// Comma-separated code patterns of an option.
std::vector<std::string> codeList(const ParsedOptions& opts, const char* name);

// --net, --sta, --chan, --loc (comma-separated patterns; "--" is the empty location, as in
// FDSN queries) and --start, --end into a selection that has those lists and times; the
// reason when a date is refused.
template <typename Selection>
std::optional<std::string> readCodesAndTimes(const ParsedOptions& opts, Selection& s) {
    s.networks = codeList(opts, "net");
    s.stations = codeList(opts, "sta");
    s.channels = codeList(opts, "chan");
    s.locations = codeList(opts, "loc");
    for (std::string& location : s.locations)
        if (location == "--")
            location.clear();
    for (const char* name : {"start", "end"})
        if (const auto v = opts.value(name)) {
            const TypedDate date = readTypedDate(std::string("--") + name, *v);
            if (!date.value)
                return date.error;
            (std::string_view(name) == "start" ? s.start : s.end) = date.value;
        }
    return std::nullopt;
}

} // namespace orv::gainbook::cli
