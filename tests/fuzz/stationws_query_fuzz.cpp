// The station service's query reader: the input as a POST body, and its lines as GET
// parameters "name=value". What is taken holds codes of the allowed characters only, times
// that exist and coordinates in their ranges; what is refused says why in printable ASCII.
#include "fuzz.h"

#include "query.h"

#include <cctype>
#include <cmath>

using namespace orv::stationws;

namespace {

void checkCodes(const std::vector<std::string>& codes) {
    ORV_FUZZ_CHECK(codes.size() <= kMaxListItems);
    for (const std::string& c : codes) {
        ORV_FUZZ_CHECK(c.size() <= 8);
        for (const char ch : c)
            ORV_FUZZ_CHECK(std::isalnum(static_cast<unsigned char>(ch)) || ch == '*' || ch == '?');
    }
}

void checkInRange(const std::optional<double>& v, double low, double high) {
    ORV_FUZZ_CHECK(!v || (std::isfinite(*v) && *v >= low && *v <= high));
}

void check(const QueryResult& r) {
    if (!r.query) {
        ORV_FUZZ_CHECK(!r.error.empty());
        for (const char c : r.error)
            ORV_FUZZ_CHECK(c >= 0x20 && c < 0x7f);
        return;
    }
    ORV_FUZZ_CHECK(!r.query->selections.empty() && r.query->selections.size() <= kMaxPostLines);
    ORV_FUZZ_CHECK(r.query->nodata == 204 || r.query->nodata == 404);
    ORV_FUZZ_CHECK(
        !(r.query->format == Format::Text && r.query->level == orv::stationxml::Level::Response));
    for (const auto& s : r.query->selections) {
        checkCodes(s.networks);
        checkCodes(s.stations);
        checkCodes(s.channels);
        checkCodes(s.locations);
        for (const auto* t :
             {&s.start, &s.end, &s.startBefore, &s.startAfter, &s.endBefore, &s.endAfter})
            ORV_FUZZ_CHECK(!*t || (*t)->isValid());
        ORV_FUZZ_CHECK(!(s.start && s.end && *s.start > *s.end));
        checkInRange(s.minLatitude, -90, 90);
        checkInRange(s.maxLatitude, -90, 90);
        checkInRange(s.latitude, -90, 90);
        checkInRange(s.minLongitude, -180, 180);
        checkInRange(s.maxLongitude, -180, 180);
        checkInRange(s.longitude, -180, 180);
        checkInRange(s.minRadius, 0, 180);
        checkInRange(s.maxRadius, 0, 180);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = orv::fuzz::asText(data, size);
    check(parsePostBody(text));
    Parameters params;
    for (const std::string& line : orv::fuzz::lines(text)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            params.emplace_back(line, "");
        else
            params.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    check(parseQuery(params));
    if (const auto t = parseTime(text))
        ORV_FUZZ_CHECK(t->isValid());
    return 0;
}
