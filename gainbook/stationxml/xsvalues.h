// The two value types a StationXML document is read by, read strictly: xs:double (a
// finite number: no NaN, INF, value beyond the range of a double, empty text, trailing
// characters or decimal comma) and xs:dateTime (the full form, a zone offset converted to
// UTC, a fraction rounded to the second). The lexical forms are checked by libxml2's
// schema types; the number itself is read by std::from_chars.
#pragma once

#include "odbc/odbc.h"

#include <optional>
#include <string>
#include <string_view>

namespace orv::stationxml {

// The number; nullopt with the reason (quoting the text) in why.
std::optional<double> readXsDouble(std::string_view text, std::string& why);

struct XsDateTime {
    odbc::Timestamp time; // UTC, to the second
    bool rounded = false; // the text had a fraction of a second other than 0
};
// The date and time; nullopt with the reason (quoting the text) in why. A year beyond
// 1-9999 (after the conversion to UTC) cannot be stored and is refused too.
std::optional<XsDateTime> readXsDateTime(std::string_view text, std::string& why);

} // namespace orv::stationxml
