#include "log.h"

#include "text/text.h"

#include <ctime>
#include <iostream>

namespace orv::stationws::log {

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    return text::format("%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                        tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string printable(std::string_view text, std::size_t limit) {
    std::string out;
    for (const char c : text.substr(0, limit))
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    if (text.size() > limit)
        out += "...";
    return out;
}

std::string milliseconds(std::chrono::steady_clock::duration d) {
    return text::format("%.1f ms", std::chrono::duration<double, std::milli>(d).count());
}

std::string withoutPasswords(std::string text) {
    // The keys are found in an upper-case copy kept beside the text, each replacement made
    // in both.
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    for (const std::string_view key : {"PWD=", "PASSWORD="})
        for (std::size_t at = upper.find(key); at != std::string::npos;
             at = upper.find(key, at + 1)) {
            const std::size_t value = at + key.size();
            const std::size_t end = std::min(text.size(), text.find(';', value));
            text.replace(value, end - value, "***");
            upper.replace(value, end - value, "***");
        }
    return text;
}

void failure(const std::string& message) {
    std::cerr << withoutPasswords("stationws: " + utcNow() + " " + message) + "\n" << std::flush;
}

} // namespace orv::stationws::log
