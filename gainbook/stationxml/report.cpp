#include "stationxml/report.h"

#include <array>
#include <charconv>
#include <string_view>

namespace orv::stationxml {

namespace {

struct Texts {
    ProblemKind kind;
    // %k is the key, %1 to %4 the values; "%r" (response problems) the common head.
    std::string_view english, russian;
};

// Every kind's English and Russian text, side by side.
constexpr std::array kTexts{
    Texts{ProblemKind::NoSiteRow, "station %k has no SITE row: its responses are left out",
          "станции %k нет в таблице SITE: её отклики не записаны"},
    Texts{ProblemKind::ListedUnderDefault, "station %k has no response: listed under network %1",
          "у станции %k нет откликов: она записана в сеть %1"},
    Texts{ProblemKind::StationValueRefused, "station %k left out: %1 %2 is out of range",
          "станция %k не записана: %1 %2 вне допустимых пределов"},
    Texts{ProblemKind::StationValueMissing, "station %k left out: SITE has no %1",
          "станция %k не записана: в таблице SITE не задано %1"},
    Texts{ProblemKind::ElevationMissing, "station %k: SITE has no ELEV, Elevation written as 0",
          "станция %k: в таблице SITE не задано ELEV, высота записана как 0"},
    Texts{ProblemKind::ChannelValueRefused,
          "station %k left out: channel %1 has %2 %3, which is out of range",
          "станция %k не записана: у канала %1 %2 %3 вне допустимых пределов"},
    Texts{ProblemKind::NetworkCodeNotFdsn, "network code \"%k\" is not an FDSN code",
          "код сети \"%k\" не соответствует правилам FDSN"},
    Texts{ProblemKind::StationCodeNotFdsn, "station code \"%k\" is not an FDSN code",
          "код станции \"%k\" не соответствует правилам FDSN"},
    Texts{ProblemKind::LocationCodeNotFdsn, "location code \"%k\" is not an FDSN code",
          "код местоположения \"%k\" не соответствует правилам FDSN"},
    Texts{ProblemKind::ChannelCodeNotFdsn, "channel code \"%k\" is not an FDSN code",
          "код канала \"%k\" не соответствует правилам FDSN"},
    Texts{ProblemKind::TextReplaced,
          "%k: %1 holds characters XML cannot carry: each written as U+FFFD",
          "%k: в %1 есть символы, недопустимые в XML: каждый записан как U+FFFD"},
    Texts{ProblemKind::SampleRateLeftOut, "%k: SPS %1 is not a finite number: SampleRate left out",
          "%k: SPS %1 не является конечным числом: частота дискретизации не записана"},
    Texts{ProblemKind::EpochsOverlap,
          "%k: interval %1 - %2 overlaps interval %3 - %4; both exported as stored",
          "%k: интервал %1 – %2 перекрывает интервал %3 – %4; оба записаны как хранятся"},
    Texts{ProblemKind::NoCalibrationFrequency, "%r no calibration frequency",
          "%r не задана частота калибровки FREQ"},
    Texts{ProblemKind::NoResponseText, "%r no response text", "%r нет текста отклика"},
    Texts{ProblemKind::SacUnreadable, "%r the SAC text cannot be read", "%r текст SAC не читается"},
    Texts{ProblemKind::NoGainAtFrequency,
          "%r the poles and zeros give no finite gain at the calibration frequency",
          "%r полюсы и нули не дают конечного усиления на частоте калибровки"},
    Texts{ProblemKind::NoSensitivityFromConstant, "%r the SAC text's CONSTANT gives no sensitivity",
          "%r CONSTANT текста SAC не даёт чувствительности"},
    Texts{ProblemKind::PolesZerosNotFinite, "%r a pole or zero is not a finite number",
          "%r полюс или нуль не является конечным числом"},
    Texts{ProblemKind::FapTooFewRows, "%r the FAP text has fewer than 4 rows",
          "%r в тексте FAP меньше 4 строк"},
    Texts{ProblemKind::FapNotIncreasing, "%r the FAP text's frequencies are not increasing",
          "%r частоты текста FAP не возрастают"},
    Texts{ProblemKind::FapNotFinite, "%r the FAP text holds a number that is not finite",
          "%r в тексте FAP есть число, не являющееся конечным"},
    Texts{ProblemKind::FapNoSensitivity,
          "%r the FAP text gives no sensitivity at the calibration frequency",
          "%r текст FAP не даёт чувствительности на частоте калибровки"},
    Texts{ProblemKind::SensDiffers,
          "%k: stored SENS %1 differs from %2, the sensitivity the text gives, by more than 1 %; "
          "the text's is exported",
          "%k: SENS %1 отличается от чувствительности %2 по тексту более чем на 1 %; записана "
          "чувствительность по тексту"},
};

constexpr std::string_view kResponseHead[] = {"%k: no response exported:",
                                              "%k: отклик не записан:"};
constexpr std::string_view kOpen[] = {"open", "открыт"};
constexpr std::string_view kMore[] = {"and %1 more", "и ещё %1"};

std::size_t index(Language language) {
    return language == Language::English ? 0 : 1;
}

std::string substitute(std::string_view pattern, const std::string& key,
                       const std::vector<std::string>& values, Language language) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            out += pattern[i];
            continue;
        }
        const char c = pattern[++i];
        if (c == 'k') {
            out += key;
        } else if (c == 'r') {
            out += substitute(kResponseHead[index(language)], key, values, language);
        } else if (c >= '1' && c <= '9') {
            const std::size_t n = std::size_t(c - '1');
            const std::string value = n < values.size() ? values[n] : std::string();
            out += value.empty() ? std::string(kOpen[index(language)]) : value;
        } else {
            out += '%';
            out += c;
        }
    }
    return out;
}

} // namespace

std::string reportNumber(double value) {
    char buffer[32];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return ec == std::errc{} ? std::string(buffer, end) : std::string("?");
}

std::string render(const Problem& problem, Language language) {
    for (const Texts& t : kTexts)
        if (t.kind == problem.kind)
            return substitute(language == Language::English ? t.english : t.russian, problem.key,
                              problem.values, language);
    return problem.key;
}

std::string renderLines(const std::vector<Problem>& problems, Language language,
                        std::size_t maxLines, const std::string& separator) {
    std::string out;
    const std::size_t shown = problems.size() > maxLines ? maxLines : problems.size();
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0)
            out += separator;
        out += render(problems[i], language);
    }
    if (problems.size() > shown)
        out += separator + substitute(kMore[index(language)], {},
                                      {std::to_string(problems.size() - shown)}, language);
    return out;
}

} // namespace orv::stationxml
