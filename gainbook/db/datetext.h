// The one textual form in which Gainbook shows and reads dates: "YYYY.MM.DD HH:MM:SS"
// (the date text), and validity intervals as the start's date text followed, when the
// interval is closed, by " / " and the end's date text (the interval text).
#pragma once

#include "odbc/odbc.h"

#include <optional>
#include <string>
#include <string_view>

namespace orv::gainbook {

// What the dialogs show in place of the end of an open interval.
inline constexpr const char* kOpenEndText = "до настоящего времени";

std::string formatDateText(const orv::odbc::Timestamp& time);

// Reads a date text field by field the way atoi reads numbers: missing fields read as 0,
// and an interval text reads as its start.
orv::odbc::Timestamp parseDateText(std::string_view text);

std::string intervalText(const orv::odbc::Timestamp& start,
                         const std::optional<orv::odbc::Timestamp>& end);

// The current local time to the second, as a date text read back (what is stored as
// LDDATE).
orv::odbc::Timestamp nowToTheSecond();

} // namespace orv::gainbook
