#include "stationxml/xsvalues.h"

#include "text/text.h"

#include <libxml/xmlschemastypes.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

namespace orv::stationxml {

namespace {

struct ValueFree {
    void operator()(xmlSchemaVal* v) const { xmlSchemaFreeValue(v); }
};
using SchemaValue = std::unique_ptr<xmlSchemaVal, ValueFree>;

// The value of text as the built-in type; null when the text is not of its lexical space.
SchemaValue schemaValue(xmlSchemaValType type, const std::string& text) {
    xmlSchemaValPtr value = nullptr;
    if (xmlSchemaValPredefTypeNode(xmlSchemaGetBuiltInType(type),
                                   reinterpret_cast<const xmlChar*>(text.c_str()), &value,
                                   nullptr) != 0) {
        xmlSchemaFreeValue(value);
        return nullptr;
    }
    return SchemaValue(value);
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

} // namespace

std::optional<double> readXsDouble(std::string_view text, std::string& why) {
    const std::string s(text);
    if (!schemaValue(XML_SCHEMAS_DOUBLE, s)) {
        why = quoted(text) + " is not a number";
        return std::nullopt;
    }
    // Blanks around are allowed; from_chars takes no '+'.
    std::string digits = orv::text::trim(s);
    if (!digits.empty() && digits[0] == '+')
        digits.erase(0, 1);
    double v = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec == std::errc::result_out_of_range) {
        why = quoted(text) + " is beyond the range of a number";
        return std::nullopt;
    }
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(v)) {
        why = quoted(text) + " is not a finite number";
        return std::nullopt;
    }
    return v;
}

std::optional<XsDateTime> readXsDateTime(std::string_view text, std::string& why) {
    const SchemaValue value = schemaValue(XML_SCHEMAS_DATETIME, std::string(text));
    const xmlChar* canonical = nullptr;
    why = quoted(text) + " is not a date and time (YYYY-MM-DDThh:mm:ss)";
    if (!value || xmlSchemaGetCanonValue(value.get(), &canonical) != 0 || !canonical)
        return std::nullopt;
    // The canonical form: in UTC when the text named a zone, as written otherwise (taken
    // as UTC then); the seconds may have a fraction ("0.5").
    const std::string form = reinterpret_cast<const char*>(canonical);
    xmlFree(const_cast<xmlChar*>(canonical));
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0;
    if (std::sscanf(form.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s) != 6)
        return std::nullopt;
    if (y < 1 || y > 9999) {
        why = quoted(text) + ": the year is beyond 1-9999";
        return std::nullopt;
    }
    using namespace std::chrono;
    const double whole = std::floor(s + 0.5);
    // 24:00:00 and a second rounded up to 60 carry into the next minute, hour or day.
    const sys_seconds at = sys_days(year(y) / month(unsigned(mo)) / day(unsigned(d))) + hours(h) +
                           minutes(mi) + seconds(static_cast<long long>(whole));
    const sys_days date = floor<days>(at);
    const year_month_day ymd(date);
    const hh_mm_ss<seconds> clock(at - date);
    XsDateTime out;
    out.time = {int(ymd.year()),
                int(unsigned(ymd.month())),
                int(unsigned(ymd.day())),
                int(clock.hours().count()),
                int(clock.minutes().count()),
                int(clock.seconds().count())};
    out.rounded = whole != s;
    if (out.time.year > 9999) {
        why = quoted(text) + ": the year is beyond 1-9999";
        return std::nullopt;
    }
    why.clear();
    return out;
}

} // namespace orv::stationxml
