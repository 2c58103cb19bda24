// The service's log on stderr: one line per request (the front writes it) and the
// failures and warnings of the database side, each line whole.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace orv::stationws::log {

// "YYYY-MM-DDThh:mm:ssZ", now.
std::string utcNow();
// Printable ASCII only, at most limit bytes ("..." after a cut).
std::string printable(std::string_view text, std::size_t limit = 2048);
// "12.3 ms"
std::string milliseconds(std::chrono::steady_clock::duration d);
// The text with the value of every PWD= and PASSWORD= key (in any case), up to its ';',
// written "***": a driver's message may repeat its connection string.
std::string withoutPasswords(std::string text);
// A line "stationws: TIME message", without passwords.
void failure(const std::string& message);

} // namespace orv::stationws::log
