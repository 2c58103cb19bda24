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

void failure(const std::string& message) {
    std::string line = "stationws: " + utcNow() + " " + message;
    for (const char* key : {"PWD=", "pwd=", "Pwd=", "PASSWORD=", "password="})
        for (std::size_t at = line.find(key); at != std::string::npos;
             at = line.find(key, at + 1)) {
            const std::size_t end = std::min(line.size(), line.find(';', at));
            line.replace(at, end - at, std::string(key) + "***");
        }
    std::cerr << line + "\n" << std::flush;
}

} // namespace orv::stationws::log
