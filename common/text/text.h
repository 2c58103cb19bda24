// Text and number handling shared by every program.
//
// Inside the programs all text is UTF-8. Files written by older Windows installations
// may be in Windows-1251; decodeLegacy() reads either. Numbers are always read and
// printed in the C locale (decimal point), whatever the process locale is, and printed
// the way the stored files of this system have them: exponents with at least three
// digits ("5.0000000e+017").
#pragma once

#include <cstdarg>
#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace orv::text {

// --- encodings -------------------------------------------------------------------

bool isValidUtf8(std::string_view bytes);
std::string cp1251ToUtf8(std::string_view bytes);
// Characters that Windows-1251 cannot hold become '?'.
std::string utf8ToCp1251(std::string_view utf8);
// UTF-8 when the bytes are valid UTF-8, otherwise Windows-1251 converted to UTF-8.
std::string decodeLegacy(std::string_view bytes);

// --- characters ------------------------------------------------------------------

// Number of characters (code points) in a UTF-8 text.
std::size_t length(std::string_view utf8);
// The first maxChars characters of a UTF-8 text; never cuts a character in two.
std::string truncateChars(std::string_view utf8, std::size_t maxChars);
// Upper and lower case for ASCII and Cyrillic (the letters Windows-1251 holds);
// every other character is kept as it is.
std::string toUpper(std::string_view utf8);
std::string toLower(std::string_view utf8);
bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view text, std::string_view prefix);
// Position of needle in text, compared without regard to case; npos when absent.
std::size_t findNoCase(std::string_view text, std::string_view needle);

std::string trim(std::string_view text);
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

// --- numbers in the C locale ---------------------------------------------------------

// Like atof/atoi: leading blanks skipped, the longest prefix that reads as a number is
// taken, 0 when there is none. Always with a decimal point.
double toDouble(std::string_view text);
int toInt(std::string_view text);
long long toLongLong(std::string_view text);
// Strict reading of a number a person typed: the whole text (blanks around allowed) must
// be a finite decimal number. A decimal comma, as a Russian desktop types it, reads as the
// decimal point; hexadecimal forms, "nan", "inf" and values beyond the double range are
// refused. value is left unchanged on refusal.
bool parseDouble(std::string_view text, double& value);
bool parseInt(std::string_view text, long long& value);

// printf-style formatting in the C locale. Conversions %e, %E, %g and %G print at least
// three exponent digits, as the system's stored texts have them.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* fmt, std::va_list args);

// strftime in the C locale.
std::string formatTime(const char* fmt, const std::tm& time);
// The current local time.
std::tm localNow();

} // namespace orv::text
