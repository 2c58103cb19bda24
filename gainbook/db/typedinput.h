// What a person types into the response editor's fields, read strictly before anything
// reaches the database: dates in the date text form and numbers. A refusal comes with a
// message that names the field, ready for a box.
//
// Dates the system wrote itself (lists, stored rows, the offered edits) are read back
// with parseDateText; these readers are for what the user may have typed.
#pragma once

#include "db/connection.h"
#include "odbc/odbc.h"

#include <optional>
#include <string>
#include <string_view>

namespace orv::gainbook {

// The form of a date text as the labels spell it.
inline constexpr std::string_view kDateTextForm = "гггг.мм.дд чч:мм:сс";

struct TypedDate {
    std::optional<orv::odbc::Timestamp> value;
    std::string error; // without a value: names the field and the expected form
};

// Exactly "YYYY.MM.DD HH:MM:SS" (blanks around allowed) of a date and time that exist.
TypedDate readTypedDate(std::string_view field, std::string_view text);

struct TypedInterval {
    orv::odbc::Timestamp start;
    std::optional<orv::odbc::Timestamp> end; // none: the interval is open
    std::string error;                       // not empty when refused
    bool ok() const { return error.empty(); }
};

// A start and an end typed into two fields (they may be the same field); an end that is
// blank leaves the interval open. The end must come after the start.
TypedInterval readTypedInterval(std::string_view startField, std::string_view startText,
                                std::string_view endField, std::string_view endText);
// A field that holds the start alone, or the start and end joined by " / ".
TypedInterval readTypedInterval(std::string_view field, std::string_view text);

struct TypedNumber {
    std::optional<double> value;
    std::string error; // without a value: names the field
};

// A finite decimal number; a decimal comma reads as the point (orv::text::parseDouble).
TypedNumber readTypedNumber(std::string_view field, std::string_view text);

// A code (network, station, channel, location) is taken as typed, never cut: the refusal,
// naming the field, of a code longer than kMaxCodeChars characters or holding a control
// character (a NUL byte or a tab among them); nullopt when it fits.
std::optional<std::string> codeRefusal(std::string_view field, std::string_view code);

} // namespace orv::gainbook
