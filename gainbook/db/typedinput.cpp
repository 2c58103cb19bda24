#include "db/typedinput.h"

#include "text/text.h"

namespace orv::gainbook {

using orv::odbc::Timestamp;

namespace {

// Where the digits of a date text stand; every other character is the separator shown.
constexpr std::string_view kDatePattern = "9999.99.99 99:99:99";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The text as it is quoted in a message: blanks around dropped, at most a field's length.
std::string quoted(std::string_view text) {
    std::string q = "\"";
    q += orv::text::truncateChars(orv::text::trim(text), 41);
    q += '"';
    return q;
}

// Written out rather than left to strptime, which takes one-digit fields and blanks.
std::optional<Timestamp> readDateText(std::string_view text) {
    const std::string t = orv::text::trim(text);
    if (t.size() != kDatePattern.size())
        return std::nullopt;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (kDatePattern[i] == '9' ? !isDigit(t[i]) : t[i] != kDatePattern[i])
            return std::nullopt;
    const auto number = [&t](std::size_t from, std::size_t digits) {
        int v = 0;
        for (std::size_t i = from; i < from + digits; ++i)
            v = v * 10 + (t[i] - '0');
        return v;
    };
    const Timestamp time{number(0, 4),  number(5, 2),  number(8, 2),
                         number(11, 2), number(14, 2), number(17, 2)};
    if (!time.isValid())
        return std::nullopt;
    return time;
}

} // namespace

TypedDate readTypedDate(std::string_view field, std::string_view text) {
    if (auto time = readDateText(text))
        return {time, {}};
    std::string error = std::string(field) + ": должна быть существующая дата в форме " +
                        std::string(kDateTextForm);
    if (!orv::text::trim(text).empty())
        error += ", а не " + quoted(text);
    return {std::nullopt, error + "."};
}

TypedInterval readTypedInterval(std::string_view startField, std::string_view startText,
                                std::string_view endField, std::string_view endText) {
    TypedInterval interval;
    const TypedDate start = readTypedDate(startField, startText);
    if (!start.value) {
        interval.error = start.error;
        return interval;
    }
    interval.start = *start.value;
    if (orv::text::trim(endText).empty())
        return interval;
    const TypedDate end = readTypedDate(endField, endText);
    if (!end.value) {
        interval.error = end.error;
        return interval;
    }
    if (*end.value <= *start.value) {
        interval.error = std::string(endField) + ": конец интервала должен быть позже начала";
        interval.error +=
            startField == endField ? std::string(".") : " (" + std::string(startField) + ").";
        return interval;
    }
    interval.end = end.value;
    return interval;
}

TypedInterval readTypedInterval(std::string_view field, std::string_view text) {
    const auto slash = text.find(" / ");
    if (slash == std::string_view::npos)
        return readTypedInterval(field, text, field, {});
    const std::string_view end = text.substr(slash + 3);
    if (orv::text::trim(end).empty()) {
        // "start / " has an end that is missing, not an open one.
        TypedInterval refused;
        refused.error = readTypedDate(field, end).error;
        return refused;
    }
    return readTypedInterval(field, text.substr(0, slash), field, end);
}

TypedNumber readTypedNumber(std::string_view field, std::string_view text) {
    double value = 0;
    if (orv::text::parseDouble(text, value))
        return {value, {}};
    std::string error =
        std::string(field) + ": должно быть конечное десятичное число (например 1.5 или 1,5)";
    if (!orv::text::trim(text).empty())
        error += ", а не " + quoted(text);
    return {std::nullopt, error + "."};
}

std::optional<std::string> codeRefusal(std::string_view field, std::string_view code) {
    // A control character (a NUL byte, a tab, an escape sequence's start, or one of the
    // C1 controls U+0080 to U+009F) would cut the code, break the listings' columns or
    // reach the terminal.
    for (std::size_t i = 0; i < code.size(); ++i) {
        const auto c = static_cast<unsigned char>(code[i]);
        const bool c1 = c == 0xC2 && i + 1 < code.size() &&
                        static_cast<unsigned char>(code[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(code[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1)
            return std::string(field) + ": в коде управляющий символ (код " +
                   std::to_string(c1 ? static_cast<unsigned char>(code[i + 1]) : c) +
                   "), такой код не может быть записан.";
    }
    const std::size_t chars = orv::text::length(code);
    if (chars <= kMaxCodeChars)
        return std::nullopt;
    return std::string(field) + ": код должен быть не длиннее " + std::to_string(kMaxCodeChars) +
           " символов, а в \"" + orv::text::truncateChars(code, 41) + (chars > 41 ? "..." : "") +
           "\" их " + std::to_string(chars) + ".";
}

} // namespace orv::gainbook
