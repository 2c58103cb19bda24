// What every fuzz target shares: the entry point libFuzzer calls, the input as text and
// as lines, and a check that stops the run when a promise of the code under test is broken
// (libFuzzer then keeps the input that broke it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace orv::fuzz {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at every line feed (the line feeds dropped), as separate arguments.
inline std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    for (std::size_t end; (end = text.find('\n', pos)) != std::string_view::npos; pos = end + 1)
        out.emplace_back(text.substr(pos, end - pos));
    out.emplace_back(text.substr(pos));
    return out;
}

[[noreturn]] inline void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, condition);
    std::abort();
}

} // namespace orv::fuzz

#define ORV_FUZZ_CHECK(condition)                                                                  \
    ((condition) ? void(0) : orv::fuzz::fail(#condition, __FILE__, __LINE__))
