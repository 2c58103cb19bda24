#include "query.h"

#include "text/text.h"

#include <array>
#include <cmath>
#include <ctime>
#include <map>
#include <set>
#include <utility>

namespace orv::stationws {

namespace {

using stationxml::Level;
using stationxml::Selection;

enum class Kind { Time, Code, Number, Level, Format, NoData, Flag, FalseOnly, Unsupported };

struct Known {
    std::string_view name, shortName;
    Kind kind;
};

constexpr std::array kKnown{
    Known{"starttime", "start", Kind::Time},
    Known{"endtime", "end", Kind::Time},
    Known{"startbefore", "", Kind::Time},
    Known{"startafter", "", Kind::Time},
    Known{"endbefore", "", Kind::Time},
    Known{"endafter", "", Kind::Time},
    Known{"network", "net", Kind::Code},
    Known{"station", "sta", Kind::Code},
    Known{"location", "loc", Kind::Code},
    Known{"channel", "cha", Kind::Code},
    Known{"minlatitude", "minlat", Kind::Number},
    Known{"maxlatitude", "maxlat", Kind::Number},
    Known{"minlongitude", "minlon", Kind::Number},
    Known{"maxlongitude", "maxlon", Kind::Number},
    Known{"latitude", "lat", Kind::Number},
    Known{"longitude", "lon", Kind::Number},
    Known{"minradius", "", Kind::Number},
    Known{"maxradius", "", Kind::Number},
    Known{"level", "", Kind::Level},
    Known{"format", "", Kind::Format},
    Known{"nodata", "", Kind::NoData},
    Known{"includerestricted", "", Kind::Flag},
    Known{"includeavailability", "", Kind::FalseOnly},
    Known{"matchtimeseries", "", Kind::FalseOnly},
    Known{"updatedafter", "", Kind::Unsupported},
};

const Known* findKnown(std::string_view name) {
    for (const Known& k : kKnown)
        if (name == k.name || (!k.shortName.empty() && name == k.shortName))
            return &k;
    return nullptr;
}

bool digits(std::string_view text, std::size_t from, std::size_t count, int& value) {
    if (from + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// One code item: letters, digits and the wildcards, at most 8 characters (the width of the
// code columns); for a location "--" is the empty location.
bool readCodeItem(std::string_view item, bool location, std::string& out) {
    if (location && item == "--") {
        out.clear();
        return true;
    }
    if (item.empty() || item.size() > 8)
        return false;
    for (const char c : item) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '*' || c == '?';
        if (!ok)
            return false;
    }
    out.assign(item);
    return true;
}

class Reader {
public:
    // Reads one "name=value"; false with error set when it cannot be used.
    bool take(std::string_view name, std::string_view value) {
        const Known* known = findKnown(name);
        if (!known)
            return fail("Unknown parameter: " + printable(name));
        if (!seen_.insert(known->name).second)
            return fail("Parameter given more than once: " + std::string(known->name));
        const std::string key(known->name);
        switch (known->kind) {
        case Kind::Time:
            return takeTime(key, value);
        case Kind::Code:
            return codes(key, value, codeField(key));
        case Kind::Number:
            return takeNumber(key, value);
        case Kind::Level:
        case Kind::Format:
        case Kind::NoData:
            return takeChoice(known->kind, value);
        case Kind::Flag:
        case Kind::FalseOnly:
            return takeFlag(key, value, known->kind == Kind::FalseOnly);
        case Kind::Unsupported:
            return fail(key + " is not supported by this service");
        }
        return true;
    }

    // Checks what only the whole query shows; the finished query, or nullopt with error set.
    std::optional<Query> finish(std::vector<Selection> lines) {
        if (query_.format == Format::Text && query_.level == Level::Response)
            return failed("format=text is not available at level=response");
        if (base_.start && base_.end &&
            std::pair(*base_.start, fractions_["starttime"]) >
                std::pair(*base_.end, fractions_["endtime"]))
            return failed("starttime is after endtime");
        // The stored times are whole seconds: a time with a fraction is compared as the
        // second after it where a stored time must be at or after it (the window's start:
        // epochs that end at or after it) or before it (startbefore, endbefore), and as its
        // own second where a stored time must be after it or at or before it.
        for (const char* key : {"starttime", "startbefore", "endbefore"})
            if (fractions_[key] > 0)
                timeField(key) = nextSecond(*timeField(key));
        if (base_.minRadius && base_.maxRadius && *base_.minRadius > *base_.maxRadius)
            return failed("minradius is greater than maxradius");
        if (base_.minRadius || base_.maxRadius) {
            if (!base_.latitude)
                base_.latitude = 0;
            if (!base_.longitude)
                base_.longitude = 0;
        }
        base_.level = query_.level;
        if (lines.empty()) {
            query_.selections.push_back(base_);
        } else {
            for (Selection& s : lines) {
                Selection merged = base_;
                merged.networks = std::move(s.networks);
                merged.stations = std::move(s.stations);
                merged.locations = std::move(s.locations);
                merged.channels = std::move(s.channels);
                merged.start = s.start;
                merged.end = s.end;
                query_.selections.push_back(std::move(merged));
            }
        }
        return std::move(query_);
    }

    // Reads the code list of one field of a selection line.
    bool codes(const std::string& key, std::string_view value, std::vector<std::string>& out) {
        out.clear();
        const bool location = key == "location";
        std::size_t pos = 0;
        while (true) {
            const std::size_t comma = std::min(value.size(), value.find(',', pos));
            std::string item;
            if (!readCodeItem(value.substr(pos, comma - pos), location, item))
                return fail("Invalid " + key +
                            " code: " + printable(value.substr(pos, comma - pos)) +
                            " (letters, digits, * and ?, at most 8 characters" +
                            (location ? std::string(", or -- for the empty location)") : ")"));
            if (out.size() == kMaxListItems)
                return fail("Too many items in the " + key + " list (at most " +
                            std::to_string(kMaxListItems) + ")");
            out.push_back(std::move(item));
            if (comma == value.size())
                break;
            pos = comma + 1;
        }
        // A list with "*" selects every code.
        for (const std::string& item : out)
            if (item == "*") {
                out.clear();
                break;
            }
        return true;
    }

    bool fail(std::string message) {
        error_ = std::move(message);
        return false;
    }
    std::optional<Query> failed(std::string message) {
        error_ = std::move(message);
        return std::nullopt;
    }
    const std::string& error() const { return error_; }

    // A value shown back to the client: at most 60 bytes, anything but printable ASCII
    // replaced by '?', so that an error body never carries invalid UTF-8 or control bytes.
    static std::string printable(std::string_view value) {
        std::string out;
        for (const char c : value.substr(0, 60))
            out += (c >= 0x20 && c < 0x7f) ? c : '?';
        if (value.size() > 60)
            out += "...";
        return out;
    }

private:
    bool takeTime(const std::string& key, std::string_view value) {
        int fraction = 0;
        const auto t = parseTime(value, &fraction);
        if (!t)
            return fail("Invalid time for " + key + ": " + printable(value));
        timeField(key) = *t;
        if (fraction > 0)
            fractions_[key] = fraction;
        return true;
    }

    bool takeNumber(const std::string& key, std::string_view value) {
        double v = 0;
        // Written by programs: a decimal point only, no blanks.
        if (value.find_first_of(", \t") != std::string_view::npos ||
            !orv::text::parseDouble(value, v) || !std::isfinite(v))
            return fail("Invalid number for " + key + ": " + printable(value));
        const bool latitude = key.find("latitude") != std::string::npos;
        const bool radius = key.find("radius") != std::string::npos;
        const double low = radius ? 0 : latitude ? -90 : -180;
        const double high = radius ? 180 : latitude ? 90 : 180;
        if (v < low || v > high)
            return fail(key + " must be between " + orv::text::format("%g", low) + " and " +
                        orv::text::format("%g", high) + ": " + printable(value));
        numberField(key) = v;
        return true;
    }

    // level, format and nodata: one of the values each takes.
    bool takeChoice(Kind kind, std::string_view value) {
        if (kind == Kind::Level) {
            if (value == "network")
                query_.level = Level::Network;
            else if (value == "station")
                query_.level = Level::Station;
            else if (value == "channel")
                query_.level = Level::Channel;
            else if (value == "response")
                query_.level = Level::Response;
            else
                return fail("Invalid level: " + printable(value) +
                            " (network, station, channel or response)");
            return true;
        }
        if (kind == Kind::Format) {
            if (value == "xml")
                query_.format = Format::Xml;
            else if (value == "text")
                query_.format = Format::Text;
            else
                return fail("Unsupported format: " + printable(value) + " (xml or text)");
            return true;
        }
        if (value == "204")
            query_.nodata = 204;
        else if (value == "404")
            query_.nodata = 404;
        else
            return fail("Invalid nodata: " + printable(value) + " (204 or 404)");
        return true;
    }

    bool takeFlag(const std::string& key, std::string_view value, bool falseOnly) {
        const bool on = orv::text::equalsNoCase(value, "true");
        if (!on && !orv::text::equalsNoCase(value, "false"))
            return fail("Invalid value for " + key + ": " + printable(value) + " (true or false)");
        if (on && falseOnly)
            return fail(key + "=true is not supported by this service");
        return true;
    }

    std::optional<odbc::Timestamp>& timeField(const std::string& key) {
        if (key == "starttime")
            return base_.start;
        if (key == "endtime")
            return base_.end;
        if (key == "startbefore")
            return base_.startBefore;
        if (key == "startafter")
            return base_.startAfter;
        if (key == "endbefore")
            return base_.endBefore;
        return base_.endAfter;
    }
    std::vector<std::string>& codeField(const std::string& key) {
        if (key == "network")
            return base_.networks;
        if (key == "station")
            return base_.stations;
        if (key == "location")
            return base_.locations;
        return base_.channels;
    }
    std::optional<double>& numberField(const std::string& key) {
        if (key == "minlatitude")
            return base_.minLatitude;
        if (key == "maxlatitude")
            return base_.maxLatitude;
        if (key == "minlongitude")
            return base_.minLongitude;
        if (key == "maxlongitude")
            return base_.maxLongitude;
        if (key == "latitude")
            return base_.latitude;
        if (key == "longitude")
            return base_.longitude;
        if (key == "minradius")
            return base_.minRadius;
        return base_.maxRadius;
    }

    Query query_;
    Selection base_;
    std::set<std::string_view> seen_;
    // The fractions of a second of the time parameters, in microseconds.
    std::map<std::string, int> fractions_;
    std::string error_;
};

QueryResult failure(const Reader& reader) {
    return {std::nullopt, reader.error()};
}

// The blank-separated fields of a line.
std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        std::size_t end = pos;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            ++end;
        if (end > pos)
            out.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

} // namespace

odbc::Timestamp nextSecond(const odbc::Timestamp& t) {
    std::tm tm = t.toTm();
    const std::time_t next = timegm(&tm) + 1;
    std::tm out{};
    gmtime_r(&next, &out);
    const odbc::Timestamp later = odbc::Timestamp::fromTm(out);
    return later.year <= 9999 ? later : t;
}

std::optional<odbc::Timestamp> parseTime(std::string_view text, int* microseconds) {
    if (!text.empty() && text.back() == 'Z')
        text.remove_suffix(1);
    odbc::Timestamp t{};
    t.hour = t.minute = t.second = 0;
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !digits(text, 0, 4, t.year) ||
        !digits(text, 5, 2, t.month) || !digits(text, 8, 2, t.day))
        return std::nullopt;
    if (text.size() > 10) {
        if (text.size() < 19 || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
            !digits(text, 11, 2, t.hour) || !digits(text, 14, 2, t.minute) ||
            !digits(text, 17, 2, t.second))
            return std::nullopt;
        if (text.size() > 19) {
            int fraction = 0;
            const std::size_t count = text.size() - 20;
            if (text[19] != '.' || count < 1 || count > 6 || !digits(text, 20, count, fraction))
                return std::nullopt;
            for (std::size_t i = count; i < 6; ++i)
                fraction *= 10;
            if (microseconds)
                *microseconds = fraction;
        }
    }
    if (!t.isValid())
        return std::nullopt;
    return t;
}

QueryResult parseQuery(const Parameters& parameters) {
    Reader reader;
    for (const auto& [name, value] : parameters)
        if (!reader.take(name, value))
            return failure(reader);
    auto query = reader.finish({});
    if (!query)
        return failure(reader);
    return {std::move(query), {}};
}

QueryResult parsePostBody(std::string_view body) {
    Reader reader;
    std::vector<Selection> lines;
    std::size_t pos = 0;
    std::size_t number = 0;
    while (pos < body.size()) {
        const std::size_t end = std::min(body.size(), body.find('\n', pos));
        std::string_view line = body.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::vector<std::string_view> parts = fields(line);
        if (parts.empty())
            continue;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            if (!lines.empty())
                return {std::nullopt, where + "a parameter after the selection lines"};
            const std::string name = orv::text::trim(line.substr(0, eq));
            const std::string value = orv::text::trim(line.substr(eq + 1));
            if (!reader.take(name, value))
                return {std::nullopt, where + reader.error()};
            continue;
        }
        if (parts.size() != 6)
            return {std::nullopt,
                    where + "a selection line has six fields: NET STA LOC CHA START END"};
        if (lines.size() == kMaxPostLines)
            return {std::nullopt,
                    "Too many selection lines (at most " + std::to_string(kMaxPostLines) + ")"};
        Selection s;
        int fractions[2] = {0, 0};
        if (!reader.codes("network", parts[0], s.networks) ||
            !reader.codes("station", parts[1], s.stations) ||
            !reader.codes("location", parts[2], s.locations) ||
            !reader.codes("channel", parts[3], s.channels))
            return {std::nullopt, where + reader.error()};
        for (int i = 4; i < 6; ++i) {
            if (parts[i] == "*")
                continue;
            const auto t = parseTime(parts[i], &fractions[i - 4]);
            if (!t)
                return {std::nullopt, where + "Invalid time: " + Reader::printable(parts[i])};
            (i == 4 ? s.start : s.end) = *t;
        }
        if (s.start && s.end && std::pair(*s.start, fractions[0]) > std::pair(*s.end, fractions[1]))
            return {std::nullopt, where + "the start is after the end"};
        if (s.start && fractions[0] > 0)
            s.start = nextSecond(*s.start);
        lines.push_back(std::move(s));
    }
    if (lines.empty())
        return {std::nullopt, "A POST body needs at least one selection line"};
    auto query = reader.finish(std::move(lines));
    if (!query)
        return failure(reader);
    return {std::move(query), {}};
}

} // namespace orv::stationws
