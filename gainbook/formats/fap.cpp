#include "formats/fap.h"

#include "text/text.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace orv::gainbook::formats {
namespace {

constexpr double kFlavourFactor = 1e18;

std::vector<std::string_view> tokens(std::string_view text, std::string_view delims) {
    std::vector<std::string_view> out;
    std::size_t pos = text.find_first_not_of(delims);
    while (pos != std::string_view::npos) {
        const std::size_t end = text.find_first_of(delims, pos);
        out.push_back(text.substr(pos, end == std::string_view::npos ? end : end - pos));
        if (end == std::string_view::npos)
            break;
        pos = text.find_first_not_of(delims, end);
    }
    return out;
}

} // namespace

bool fitsWorkingBuffer(std::string_view utf8Text) {
    return orv::text::length(utf8Text) < kWorkingBufferSize;
}

std::optional<double> readFileNumber(std::string_view token) {
    std::string s(token);
    // Only the characters of a decimal number: no decimal comma (files are written in the
    // C locale), no blanks inside.
    if (s.empty() || s.find_first_not_of("0123456789+-.eEdD") != std::string::npos)
        return std::nullopt;
    const std::size_t d = s.find_first_of("dD");
    if (d != std::string::npos)
        s[d] = 'e';
    double value = 0;
    if (!orv::text::parseDouble(s, value))
        return std::nullopt;
    return value;
}

double fileNumberOrPrefix(std::string_view token) {
    return readFileNumber(token).value_or(orv::text::toDouble(token));
}

std::optional<std::size_t> firstBadFapLine(std::string_view text, bool gse2) {
    std::size_t line = 1;
    std::size_t field = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\n') {
            ++line;
            ++pos;
            continue;
        }
        if (c == ' ' || c == '\r' || c == '\t') {
            ++pos;
            continue;
        }
        std::size_t end = text.find_first_of(" \r\n\t", pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (field != 2) {
            const std::optional<double> v = readFileNumber(text.substr(pos, end - pos));
            if (!v || (gse2 && field == 1 && !std::isfinite(kFlavourFactor / *v)))
                return line;
        }
        field = (field + 1) % 3;
        pos = end;
    }
    return std::nullopt;
}

std::optional<std::string> formatFapTriplets(std::string_view text, bool invert) {
    const std::string lf = orv::text::replaceAll(text, kCrLf, "\n");
    std::string out;
    int field = 0;
    for (std::string_view token : tokens(lf, " \n")) {
        switch (field) {
        case 0:
            out += orv::text::format("%10.7lf  ", fileNumberOrPrefix(token));
            break;
        case 1: {
            double a = fileNumberOrPrefix(token);
            if (invert)
                a = kFlavourFactor / a;
            out += orv::text::format("%10.7le  ", a);
            break;
        }
        default:
            out += "0.0\r\n";
            break;
        }
        field = (field + 1) % 3;
        if (out.size() > kMaxTextChars)
            return std::nullopt;
    }
    return out;
}

std::string tripletLine(double frequency, double amplitude) {
    return orv::text::format("%10.7lf  %10.7le  0.0\r\n", frequency, amplitude);
}

std::optional<std::size_t> fapRowCount(std::string_view text) {
    // Split as the formatter splits.
    const std::string lf = orv::text::replaceAll(text, kCrLf, "\n");
    const std::vector<std::string_view> words = tokens(lf, " \n");
    for (std::size_t i = 0; i < words.size(); ++i)
        if (i % 3 != 2 && !readFileNumber(words[i]))
            return std::nullopt;
    return (words.size() + 2) / 3;
}

std::optional<std::vector<FapRow>> readFapRows(std::string_view text) {
    const std::vector<std::string_view> words = tokens(text, " \t\r\n");
    std::vector<FapRow> rows;
    for (std::size_t i = 0; i + 1 < words.size(); i += 3) {
        const std::optional<double> frequency = readFileNumber(words[i]);
        const std::optional<double> amplitude = readFileNumber(words[i + 1]);
        if (!frequency || !amplitude)
            return std::nullopt;
        rows.push_back({*frequency, *amplitude});
    }
    if (words.size() % 3 == 1 && !readFileNumber(words.back()))
        return std::nullopt;
    return rows;
}

FapCalib evaluateFapCalib(std::string_view freqField, std::string_view text, LoadedFileKind kind) {
    const double f = orv::text::toDouble(orv::text::truncateChars(freqField, 31));
    if (text.empty())
        return {};
    // A pole-zero text loaded as such is not this evaluation's business; only a text
    // given as FAP that turns out to be a pole-zero text is refused.
    if (kind == LoadedFileKind::Sac)
        return {};
    if (text.find("ZEROS") != std::string_view::npos)
        return {FapCalibStatus::WrongFormat, {}};
    if (!fitsWorkingBuffer(text))
        return {FapCalibStatus::TooLong, {}};

    const std::vector<std::string_view> words = tokens(text, " \r\n");
    double previousFreq = 0.0;
    double previousAmp = 0.0;
    // An incomplete last triplet has no amplitude to use and ends the walk.
    for (std::size_t i = 0; i + 1 < words.size(); i += 3) {
        const double freq = fileNumberOrPrefix(words[i]);
        const double amp = fileNumberOrPrefix(words[i + 1]);
        if (freq == f)
            return {FapCalibStatus::Set, orv::text::format("%lg", kFlavourFactor / amp)};
        if (previousFreq < f && freq > f)
            return {FapCalibStatus::Set,
                    orv::text::format("%lg", kFlavourFactor / ((previousAmp + amp) * 0.5))};
        previousFreq = freq;
        previousAmp = amp;
    }
    return {};
}

bool freqEditTriggersEvaluation(std::string_view freqField) {
    if (freqField.empty() || freqField.front() == '.')
        return false;
    return orv::text::toDouble(freqField) != 0.0;
}

} // namespace orv::gainbook::formats
