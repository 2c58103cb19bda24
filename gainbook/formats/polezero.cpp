#include "formats/polezero.h"

#include "formats/responsetext.h"
#include "text/text.h"

#include <algorithm>
#include <optional>
#include <string>

namespace orv::gainbook::formats {
namespace {

// A count may exceed the lines that follow it (zeros at the origin need no line), but
// not by more than this: such a count cannot be real and would only exhaust memory.
constexpr long long kCountSlack = 64;

constexpr std::string_view kZeros = "ZEROS";
constexpr std::string_view kPoles = "POLES";
constexpr std::string_view kConstant = "CONSTANT";

enum class ReadOutcome { Read, NoZeros, Refused };

// The text from pos to the next line end; empty when no line end follows.
std::string_view currentLine(std::string_view text, std::size_t pos) {
    const std::size_t end = text.find(kCrLf, pos);
    if (end == std::string_view::npos)
        return {};
    return text.substr(pos, end - pos);
}

// Past the current line and its line end; unchanged when no line end follows.
std::size_t nextLine(std::string_view text, std::size_t pos) {
    const std::size_t end = text.find(kCrLf, pos);
    return end == std::string_view::npos ? pos : end + kCrLf.size();
}

// Where numbers are read from: the whole text (for positions) and, in the main window's
// reader, the first place where a number token was not wholly a number.
struct NumberReader {
    std::string_view text;
    bool strict = true;
    std::size_t badPos = std::string_view::npos;

    bool failed() const { return badPos != std::string_view::npos; }
    void fail(std::string_view at) {
        if (!failed())
            badPos = static_cast<std::size_t>(at.data() - text.data());
    }
    // A number token (blanks and tabs around it dropped); in the lenient reader what atof
    // reads of it.
    double number(std::string_view token) {
        const std::string trimmed = orv::text::trim(orv::text::replaceAll(token, "\t", " "));
        if (const std::optional<double> v = readFileNumber(trimmed))
            return *v;
        if (strict)
            fail(token);
        return orv::text::toDouble(token);
    }
    long long count(std::string_view token) {
        long long n = 0;
        if (orv::text::parseInt(orv::text::replaceAll(token, "\t", " "), n))
            return n;
        if (strict)
            fail(token);
        return orv::text::toLongLong(token);
    }
};

// "real imaginary": the first word (blanks, tabs and line ends separate it) is the real
// part; the rest of the line up to a tab is the imaginary part (0 when there is none).
Complex readValueLine(std::string_view line, NumberReader& numbers) {
    constexpr std::string_view firstDelims = " \r\n\t";
    const std::size_t start = line.find_first_not_of(firstDelims);
    if (start == std::string_view::npos)
        return {};
    std::size_t end = line.find_first_of(firstDelims, start);
    Complex value;
    value.re = numbers.number(line.substr(start, end - start));
    if (end == std::string_view::npos || end + 1 >= line.size())
        return value;
    std::string_view rest = line.substr(end + 1);
    const std::size_t imStart = rest.find_first_not_of('\t');
    if (imStart == std::string_view::npos)
        return value;
    rest = rest.substr(imStart);
    rest = rest.substr(0, rest.find('\t'));
    if (rest.find_first_not_of(' ') != std::string_view::npos)
        value.im = numbers.number(rest);
    return value;
}

// The count after a keyword at pos: the keyword and one character after it are dropped,
// the count is read from the rest of the line. Returns the position after that line.
std::size_t readCount(std::string_view text, std::size_t keywordPos, std::size_t keywordSize,
                      long long& count, NumberReader& numbers) {
    const std::size_t pos = std::min(text.size(), keywordPos + keywordSize + 1);
    const std::size_t end = text.find(kCrLf, pos);
    const std::string_view line =
        text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    count = numbers.count(line);
    return end == std::string_view::npos ? text.size() : end + kCrLf.size();
}

// The last line before `before` that begins with `word`; npos when there is none.
std::size_t lineStartingWith(std::string_view text, std::string_view word, std::size_t before) {
    std::size_t pos = text.rfind(word, before);
    while (pos != std::string_view::npos) {
        if (pos == 0 || text[pos - 1] == '\n')
            return pos;
        pos = text.rfind(word, pos - 1);
    }
    return std::string_view::npos;
}

// A GSE1 calibration block begins with a line "CAL1 ... PAZ".
bool beginsWithCal1Paz(std::string_view text) {
    const std::string_view first = text.substr(0, text.find('\n'));
    return first.starts_with("CAL1") && first.find(" PAZ") != std::string_view::npos;
}

bool plausible(long long count, long long lines) {
    return count >= 0 && count <= lines + kCountSlack;
}

// A GSE1 calibration block, "CAL1 ... PAZ" followed by the pole count, the poles, the
// zero count, the zeros and the gain, one item a line: the same response in another layout.
ReadOutcome readCal1Paz(std::string_view text, PoleZeroResponse& r, long long lines,
                        NumberReader& numbers) {
    std::size_t pos = nextLine(text, 0);
    auto lineAt = [&](std::size_t at) {
        const std::size_t end = text.find(kCrLf, at);
        return text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    };
    auto readValues = [&](std::vector<Complex>& values, int& count) {
        if (pos >= text.size())
            return false;
        const long long n = numbers.count(lineAt(pos));
        if (numbers.failed() || !plausible(n, lines))
            return false;
        pos = nextLine(text, pos);
        for (long long i = 0; i < n; ++i) {
            if (pos >= text.size())
                return false;
            values.push_back(readValueLine(lineAt(pos), numbers));
            pos = nextLine(text, pos);
        }
        count = static_cast<int>(n);
        return true;
    };
    if (!readValues(r.poles, r.poleCount) || !readValues(r.zeros, r.zeroCount) ||
        pos >= text.size())
        return ReadOutcome::Refused;
    r.constant = numbers.number(lineAt(pos));
    return numbers.failed() ? ReadOutcome::Refused : ReadOutcome::Read;
}

ReadOutcome readText(std::string_view text, PoleZeroResponse& r, bool lenient,
                     NumberReader& numbers) {
    r = PoleZeroResponse{};
    const long long lines = 1 + static_cast<long long>(std::count(text.begin(), text.end(), '\n'));
    if (beginsWithCal1Paz(text) && text.find(kZeros) == std::string_view::npos)
        return readCal1Paz(text, r, lines, numbers);

    std::size_t zerosPos = text.find(kZeros);
    std::size_t pos;
    long long n = 0;
    if (zerosPos == std::string_view::npos) {
        if (!lenient)
            return ReadOutcome::NoZeros;
        // Read as though the keyword stood at the start: from the sixth character on.
        zerosPos = 0;
        pos = readCount(text, 0, kZeros.size() - 1, n, numbers);
    } else {
        pos = readCount(text, zerosPos, kZeros.size(), n, numbers);
    }
    if (numbers.failed() || !plausible(n, lines))
        return ReadOutcome::Refused;
    for (long long i = 0; i < n; ++i) {
        const std::string_view line = currentLine(text, pos);
        if (line.find(kPoles) != std::string_view::npos) {
            r.zeros.push_back({});
            continue;
        }
        r.zeros.push_back(readValueLine(line, numbers));
        pos = nextLine(text, pos);
    }

    const std::size_t polesPos = text.find(kPoles, pos);
    if (polesPos == std::string_view::npos)
        return ReadOutcome::Refused;
    long long m = 0;
    pos = readCount(text, polesPos, kPoles.size(), m, numbers);
    if (numbers.failed() || !plausible(m, lines))
        return ReadOutcome::Refused;
    for (long long i = 0; i < m; ++i) {
        // Missing pole lines are poles at the origin; the constant's line is not one.
        const std::string_view line = currentLine(text, pos);
        if (line.find(kConstant) != std::string_view::npos) {
            r.poles.push_back({});
            continue;
        }
        r.poles.push_back(readValueLine(line, numbers));
        pos = nextLine(text, pos);
    }

    // The constant normally follows the poles, before the next response of the file
    // begins. Some layouts put it on a line of its own in front of "ZEROS" instead.
    std::size_t constantPos = std::string_view::npos;
    if (zerosPos > 0)
        constantPos = lineStartingWith(text, kConstant, zerosPos);
    if (constantPos == std::string_view::npos) {
        constantPos = text.find(kConstant, pos);
        const std::size_t nextZeros = text.find(kZeros, pos);
        if (constantPos == std::string_view::npos ||
            (nextZeros != std::string_view::npos && nextZeros < constantPos))
            return ReadOutcome::Refused;
    }
    const std::size_t valuePos = std::min(text.size(), constantPos + kConstant.size() + 1);
    const std::size_t valueEnd = text.find(kCrLf, valuePos);
    r.constant = numbers.number(text.substr(valuePos, valueEnd == std::string_view::npos
                                                          ? std::string_view::npos
                                                          : valueEnd - valuePos));
    if (numbers.failed())
        return ReadOutcome::Refused;

    r.zeroCount = static_cast<int>(n);
    r.poleCount = static_cast<int>(m);
    return ReadOutcome::Read;
}

} // namespace

bool readPoleZeroText(std::string_view text, PoleZeroResponse& response, std::size_t* badLine) {
    NumberReader numbers{text, true};
    if (readText(text, response, false, numbers) == ReadOutcome::Read)
        return true;
    response = PoleZeroResponse{};
    if (badLine && numbers.failed())
        *badLine = 1 + static_cast<std::size_t>(
                           std::count(text.begin(), text.begin() + numbers.badPos, '\n'));
    return false;
}

bool isPoleZeroText(std::string_view text) {
    return text.find(kZeros) != std::string_view::npos || beginsWithCal1Paz(text);
}

void readPoleZeroTextLenient(std::string_view text, PoleZeroResponse& response) {
    NumberReader numbers{text, false};
    if (readText(text, response, true, numbers) != ReadOutcome::Read)
        response = PoleZeroResponse{};
}

} // namespace orv::gainbook::formats
