#include "db/datetext.h"

#include "text/text.h"

namespace orv::gainbook {

using orv::odbc::Timestamp;
using orv::text::format;
using orv::text::toInt;

std::string formatDateText(const Timestamp& t) {
    // The year takes four characters: years before 1000 with leading zeros, so that the
    // text reads back as the same date.
    std::string year = format("%04d", t.year);
    if (year.size() > 4)
        year.resize(4);
    return year + format(".%02d.%02d %02d:%02d:%02d", t.month, t.day, t.hour, t.minute, t.second);
}

Timestamp parseDateText(std::string_view text) {
    Timestamp t{0, 0, 0, 0, 0, 0};
    t.year = toInt(text.substr(0, 4));
    std::string_view rest = text.size() > 5 ? text.substr(5) : std::string_view();

    if (const auto dot = rest.find('.'); dot != std::string_view::npos) {
        t.month = toInt(rest.substr(0, dot));
        rest.remove_prefix(dot + 1);
    } else {
        t.month = 0;
    }

    if (rest.substr(0, 5).find(" / ") != std::string_view::npos ||
        rest.find(' ') == std::string_view::npos) {
        t.day = toInt(rest);
        return t;
    }
    const auto blank = rest.find(' ');
    t.day = toInt(rest.substr(0, blank));
    rest.remove_prefix(blank + 1);

    auto colon = rest.find(':');
    if (colon == std::string_view::npos) {
        t.hour = toInt(rest);
        return t;
    }
    t.hour = toInt(rest.substr(0, colon));
    rest.remove_prefix(colon + 1);
    colon = rest.find(':');
    if (colon == std::string_view::npos) {
        t.minute = toInt(rest);
        return t;
    }
    t.minute = toInt(rest.substr(0, colon));
    rest.remove_prefix(colon + 1);
    t.second = toInt(rest);
    return t;
}

std::string intervalText(const Timestamp& start, const std::optional<Timestamp>& end) {
    return end ? formatDateText(start) + " / " + formatDateText(*end) : formatDateText(start);
}

Timestamp nowToTheSecond() {
    return parseDateText(formatDateText(Timestamp::now()));
}

} // namespace orv::gainbook
