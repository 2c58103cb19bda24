#include "check/rules.h"

#include "check/ruleshelp.h"
#include "text/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <system_error>

namespace orv::gainbook::check {

namespace {

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

// clang-format off
constexpr std::array kRules = {
    RuleInfo{"net-code", E, "network code empty, longer than 8 characters or not of [A-Z0-9]",
             "код сети пуст, длиннее 8 знаков или не из [A-Z0-9]", "validator 101",
             "дайте сети код из 1-8 знаков A-Z и 0-9"},
    RuleInfo{"net-long", W, "network code of 3 to 8 characters (many clients take 2 only)",
             "код сети из 3-8 знаков (многие программы берут только 2)", "validator 101",
             "по возможности дайте сети код из 2 знаков"},
    RuleInfo{"sta-code", E, "station code not 1 to 5 characters of [A-Z0-9]",
             "код станции не из 1-5 знаков [A-Z0-9]", "validator 201",
             "дайте станции код из 1-5 знаков A-Z и 0-9"},
    RuleInfo{"loc-code", E, "location code neither empty nor 1 to 2 characters of [A-Z0-9-]",
             "код местоположения не пуст и не из 1-2 знаков [A-Z0-9-]", "validator 302",
             "оставьте код местоположения пустым или дайте 1-2 знака A-Z, 0-9 и -"},
    RuleInfo{"cha-code", E, "channel code not 3 characters of [A-Z0-9]",
             "код канала не из 3 знаков [A-Z0-9]", "validator 301",
             "дайте каналу код из 3 знаков A-Z и 0-9"},
    RuleInfo{"code-form", W, "stored code in lower case or with blanks",
             "хранимый код в нижнем регистре или с пробелами", "",
             "запишите код заглавными буквами без пробелов"},
    RuleInfo{"epoch-overlap", E, "two intervals of one key overlap, or two are open",
             "интервалы одного ключа перекрываются или открыты оба", "validator 111, 211",
             "закройте более ранний интервал в начале этого"},
    RuleInfo{"epoch-order", E, "an interval (or a station's dates) ends before it starts or has zero length",
             "интервал (или даты станции) кончается раньше начала или нулевой длины",
             "validator 110, 210, 310",
             "исправьте дату конца (или одну из дат станции)"},
    RuleInfo{"epoch-station", E, "a response interval outside its station's ONDATE/OFFDATE",
             "интервал отклика вне ONDATE/OFFDATE станции", "validator 212",
             "исправьте интервал или ONDATE/OFFDATE станции"},
    RuleInfo{"epoch-gap", W, "a gap between two intervals of a channel's history",
             "разрыв между интервалами в истории канала", "",
             "продлите более ранний интервал или запишите отклик разрыва"},
    RuleInfo{"station-missing", E, "a response whose station has no SITE row",
             "отклик станции без строки SITE", "",
             "запишите место станции в SITE"},
    RuleInfo{"lat-range", E, "latitude outside [-90, 90]", "широта вне [-90, 90]",
             "schema (Latitude), validator 206/306",
             "запишите широту в градусах"},
    RuleInfo{"lon-range", E, "longitude outside [-180, 180]", "долгота вне [-180, 180]",
             "schema (Longitude), validator 207/307",
             "запишите долготу в градусах"},
    RuleInfo{"not-finite", E, "a place, depth or rate that is missing or not a finite number",
             "координата, глубина или частота отсутствует или не число", "schema",
             "запишите значение числом"},
    RuleInfo{"chan-distance", W, "a SITECHAN channel more than 1 km from its SITE row",
             "канал SITECHAN дальше 1 км от своей строки SITE", "validator 222",
             "исправьте место канала или сделайте его отдельной станцией"},
    RuleInfo{"chan-depth", W, "a channel above the station (negative EDEPTH) or deeper than 5 km",
             "канал выше станции (отрицательная EDEPTH) или глубже 5 км", "",
             "запишите глубину под поверхностью в метрах"},
    RuleInfo{"chan-no-response", W, "a SITECHAN channel with a sample rate and no response at any time",
             "канал SITECHAN с частотой отсчётов и без отклика", "",
             "запишите отклик канала или удалите канал"},
    RuleInfo{"response-no-chan", W, "a response with no SITECHAN channel",
             "отклик без канала SITECHAN", "",
             "добавьте канал к его станции в SITECHAN"},
    RuleInfo{"rate-zero", E, "a sample rate of 0, negative or not finite on a channel with a response",
             "частота отсчётов 0, отрицательна или не число у канала с откликом",
             "validator 310",
             "запишите число отсчётов в секунду"},
    RuleInfo{"band-rate", W, "the channel's band code does not fit its sample rate (SEED band codes)",
             "код диапазона канала не соответствует частоте отсчётов (коды SEED)", "SEED band codes",
             "исправьте частоту отсчётов или код канала"},
    RuleInfo{"group-rates", W, "the channels of one group have different sample rates",
             "каналы одной группы с разной частотой отсчётов", "",
             "дайте компонентам группы одну частоту отсчётов"},
    RuleInfo{"sens-text", E, "the stored SENS more than 1 % away from what its SAC or FAP text gives at FREQ",
             "хранимая SENS отличается больше чем на 1 % от чувствительности по тексту",
             "sensitivity agrees with its stages",
             "запишите отклик заново из файла или исправьте SENS"},
    RuleInfo{"pz-normalisation", E, "the pole-zero text gives no amplitude at FREQ (CONSTANT 0, or FREQ on a pole or zero)",
             "полюсы и нули не дают амплитуды на FREQ (CONSTANT 0 или FREQ на полюсе или нуле)",
             "StationXML export",
             "исправьте CONSTANT или выберите FREQ вдали от полюсов и нулей"},
    RuleInfo{"pz-unstable", E, "a pole in the right half plane (an unstable response)",
             "полюс в правой полуплоскости (неустойчивый отклик)", "",
             "исправьте знак действительной части полюса"},
    RuleInfo{"fap-order", E, "FAP frequencies that do not increase", "частоты FAP не возрастают",
             "schema (ResponseList), StationXML export",
             "упорядочьте строки по возрастанию частоты"},
    RuleInfo{"fap-cover", E, "a FAP table that does not cover FREQ", "таблица FAP не покрывает FREQ",
             "",
             "выберите FREQ внутри таблицы или дополните таблицу"},
    RuleInfo{"fap-rows", E, "a FAP table with fewer than 3 rows", "в таблице FAP меньше 3 строк",
             "StationXML export",
             "запишите таблицу не менее чем из 3 частот"},
    RuleInfo{"response-text", E, "a response without a SAC or FAP text, or with one that cannot be read",
             "отклик без текста SAC или FAP, или текст не читается", "StationXML export",
             "загрузите отклик заново из файла"},
    RuleInfo{"calib-missing", E, "SENS (10^9 / CALIB) zero or missing", "SENS (10^9 / CALIB) нулевая или отсутствует",
             "StationXML (InstrumentSensitivity)",
             "запишите отклик заново, чтобы CALIB был вычислен"},
    RuleInfo{"freq-missing", E, "FREQ zero, negative or missing", "FREQ нулевая, отрицательная или отсутствует",
             "StationXML export",
             "запишите частоту калибровки"},
    RuleInfo{"unit-id", E, "an ID_SENS or ID_FREQ that the unit tables do not hold",
             "ID_SENS или ID_FREQ, которых нет в таблицах единиц", "validator units",
             "запишите один из кодов таблиц ID_SENS и ID_FREQ"},
    RuleInfo{"calibfile", W, "a SITECHAN.CALIBFILE not found in DIR/RESPONSE",
             "файл SITECHAN.CALIBFILE не найден в DIR/RESPONSE", "",
             "положите файл в DIR/RESPONSE или исправьте имя"},
};
// clang-format on

bool allOf(std::string_view code, std::string_view extra) {
    return std::all_of(code.begin(), code.end(), [&](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               extra.find(c) != std::string_view::npos;
    });
}

bool finite(const std::optional<double>& v) {
    return v && std::isfinite(*v);
}

} // namespace

std::span<const RuleInfo> rules() {
    return kRules;
}

const RuleInfo* findRule(std::string_view id) {
    for (const RuleInfo& r : kRules)
        if (r.id == id)
            return &r;
    return nullptr;
}

std::string isoTime(const odbc::Timestamp& t) {
    return t.toIsoText() + "Z";
}

void emit(const Sink& sink, std::string_view id, const FindingKey& key, std::string message) {
    const RuleInfo* rule = findRule(id);
    sink(Finding{rule->id, rule->severity, key, std::move(message)});
}

void checkCode(CodeKind kind, const std::string& stored, const FindingKey& key,
               const std::string& where, const Sink& sink) {
    const std::string code = text::toUpper(text::trim(stored));
    if (code != stored && !(kind == CodeKind::Location && code.empty()))
        emit(sink, "code-form", key,
             where + " is stored as \"" + stored + "\": store it as \"" + code + "\".");
    const auto bad = [&](const char* id, const char* want) {
        emit(sink, id, key, where + " \"" + code + "\" is not " + want + ": give it such a code.");
    };
    switch (kind) {
    case CodeKind::Network:
        if (code.empty() || code.size() > 8 || !allOf(code, ""))
            bad("net-code", "1 to 8 characters of A-Z and 0-9");
        else if (code.size() > 2)
            emit(sink, "net-long", key,
                 where + " \"" + code + "\" has " + std::to_string(code.size()) +
                     " characters: many clients take 2 only; use a 2-character code if you can.");
        break;
    case CodeKind::Station:
        if (code.empty() || code.size() > 5 || !allOf(code, ""))
            bad("sta-code", "1 to 5 characters of A-Z and 0-9");
        break;
    case CodeKind::Location:
        if (code.size() > 2 || !allOf(code, "-"))
            bad("loc-code", "empty or 1 to 2 characters of A-Z, 0-9 and -");
        break;
    case CodeKind::Channel:
        if (code.size() != 3 || !allOf(code, ""))
            bad("cha-code", "3 characters of A-Z and 0-9");
        break;
    }
}

void checkPlace(const std::optional<double>& latitude, const std::optional<double>& longitude,
                bool required, const FindingKey& key, const std::string& table, const Sink& sink) {
    const auto one = [&](const std::optional<double>& v, const char* column, double limit,
                         const char* range) {
        if (!v && !required)
            return;
        if (!finite(v)) {
            emit(sink, "not-finite", key,
                 table + "." + column + " is " + (v ? "not a finite number" : "missing") +
                     ": store the " + (column[1] == 'A' ? "latitude" : "longitude") +
                     " in degrees.");
        } else if (std::abs(*v) > limit) {
            emit(sink, range, key,
                 table + "." + column + " " + text::format("%.17g", *v) + " is outside [" +
                     text::format("%g", -limit) + ", " + text::format("%g", limit) +
                     "]: store it in degrees.");
        }
    };
    one(latitude, "LAT", 90, "lat-range");
    one(longitude, "LON", 180, "lon-range");
}

void checkSite(const SiteRow& site, const Sink& sink) {
    const FindingKey key{"", site.station, "", "", std::nullopt};
    checkCode(CodeKind::Station, site.station, key, "SITE.STA", sink);
    checkPlace(site.latitude, site.longitude, true, key, "SITE", sink);
    if (site.elevation && !std::isfinite(*site.elevation))
        emit(sink, "not-finite", key, "SITE.ELEV is not a finite number: store it in metres.");
    if (site.on && site.off && *site.off <= *site.on)
        emit(sink, "epoch-order", FindingKey{"", site.station, "", "", site.on},
             "SITE.OFFDATE " + isoTime(*site.off) + " is not after ONDATE " + isoTime(*site.on) +
                 ": correct one of the dates.");
}

// Great-circle distance in metres on a sphere of the Earth's mean radius.
double distanceMetres(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kRadius = 6371000.0, kDegree = std::numbers::pi / 180.0;
    const double dLat = (lat2 - lat1) * kDegree, dLon = (lon2 - lon1) * kDegree;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * kDegree) * std::cos(lat2 * kDegree) * std::sin(dLon / 2) *
                         std::sin(dLon / 2);
    return 2 * kRadius * std::asin(std::min(1.0, std::sqrt(a)));
}

std::optional<BandRange> bandRange(char band) {
    switch (band) {
    case 'F':
    case 'G':
        return BandRange{1000, 5000};
    case 'D':
    case 'C':
        return BandRange{250, 1000};
    case 'E':
    case 'H':
        return BandRange{80, 250};
    case 'S':
    case 'B':
        return BandRange{10, 80};
    case 'M':
        return BandRange{1, 10};
    case 'L':
        return BandRange{0.5, 2};
    case 'V':
        return BandRange{0.05, 0.2};
    case 'U':
        return BandRange{0.005, 0.02};
    case 'R':
        return BandRange{0.0001, 0.001};
    case 'P':
        return BandRange{0.00001, 0.0001};
    case 'T':
        return BandRange{0.000001, 0.00001};
    case 'Q':
        return BandRange{0, 0.000001};
    default:
        return std::nullopt; // A, O, I and others: no rate of their own
    }
}

} // namespace orv::gainbook::check
