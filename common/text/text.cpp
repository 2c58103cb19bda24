#include "text/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iconv.h>
#include <locale.h>

namespace orv::text {

namespace {

locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// Switches the calling thread to the C locale for the lifetime of the object.
class CLocaleScope {
public:
    CLocaleScope() : previous_(uselocale(cLocale())) {}
    ~CLocaleScope() { uselocale(previous_); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_;
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one code point at pos; invalid bytes come back as themselves (one byte).
char32_t decodeAt(std::string_view s, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    std::size_t need = 0;
    char32_t c = b0;
    if (b0 >= 0xF0 && b0 < 0xF8) {
        need = 3;
        c = b0 & 0x07;
    } else if (b0 >= 0xE0) {
        need = b0 < 0xF0 ? 2 : 0;
        c = b0 & 0x0F;
    } else if (b0 >= 0xC0) {
        need = 1;
        c = b0 & 0x1F;
    }
    if (need == 0 || pos + need >= s.size()) {
        ++pos;
        return b0;
    }
    for (std::size_t i = 1; i <= need; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return b0;
        }
        c = (c << 6) | (b & 0x3F);
    }
    pos += need + 1;
    return c;
}

char32_t upperOf(char32_t c) {
    if (c >= 'a' && c <= 'z')
        return c - 32;
    if (c >= 0x0430 && c <= 0x044F)
        return c - 0x20;
    if (c >= 0x0450 && c <= 0x045F)
        return c - 0x50;
    if (c == 0x0491)
        return 0x0490;
    return c;
}

char32_t lowerOf(char32_t c) {
    if (c >= 'A' && c <= 'Z')
        return c + 32;
    if (c >= 0x0410 && c <= 0x042F)
        return c + 0x20;
    if (c >= 0x0400 && c <= 0x040F)
        return c + 0x50;
    if (c == 0x0490)
        return 0x0491;
    return c;
}

template <typename F> std::string mapChars(std::string_view utf8, F f) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t start = pos;
        const char32_t c = decodeAt(utf8, pos);
        const char32_t m = f(c);
        if (m == c)
            out.append(utf8.substr(start, pos - start));
        else
            appendUtf8(out, m);
    }
    return out;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Widens an exponent of fewer than three digits to three, as the stored texts have it.
void widenExponent(std::string& s) {
    const auto e = s.find_first_of("eE");
    if (e == std::string::npos || e + 1 >= s.size())
        return;
    std::size_t digits = e + 1;
    if (s[digits] == '+' || s[digits] == '-')
        ++digits;
    std::size_t end = digits;
    while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end])))
        ++end;
    const std::size_t count = end - digits;
    if (count > 0 && count < 3)
        s.insert(digits, 3 - count, '0');
}

// Converts between encodings with iconv; a byte sequence the source encoding does not
// define becomes the replacement text.
std::string convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(in);
    std::string out;
    std::string input(in);
    char* src = input.data();
    std::size_t srcLeft = input.size();
    char buffer[4096];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An undefined or incomplete sequence: replace one byte and go on.
            out.append(replacement);
            ++src;
            --srcLeft;
        }
    }
    iconv_close(cd);
    return out;
}

// Windows-1251 leaves the byte 0x98 undefined. It is read as U+0098 and written back as
// itself, as the WHATWG encoding standard has it, so that converting a text there and back
// keeps every byte: a UTF-8 file read as Windows-1251 for one stray byte holds 0x98 in
// every "И" (D0 98), and would lose them on being written back.
constexpr std::string_view kCp1251Undefined = "\x98";
constexpr std::string_view kCp1251UndefinedUtf8 = "\xC2\x98";

// Converts the parts of in between the separators and joins them with joint.
template <typename Convert>
std::string convertAround(std::string_view in, std::string_view separator, std::string_view joint,
                          Convert convertPart) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = in.find(separator, pos)) != std::string_view::npos;
         pos = hit + separator.size()) {
        out += convertPart(in.substr(pos, hit - pos));
        out += joint;
    }
    out += convertPart(in.substr(pos));
    return out;
}

} // namespace

bool isValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::size_t need;
        if (b0 < 0x80)
            need = 0;
        else if (b0 >= 0xC2 && b0 < 0xE0)
            need = 1;
        else if (b0 >= 0xE0 && b0 < 0xF0)
            need = 2;
        else if (b0 >= 0xF0 && b0 < 0xF5)
            need = 3;
        else
            return false;
        if (i + need >= s.size() && need > 0)
            return false;
        for (std::size_t k = 1; k <= need; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += need + 1;
    }
    return true;
}

std::string cp1251ToUtf8(std::string_view bytes) {
    return convertAround(bytes, kCp1251Undefined, kCp1251UndefinedUtf8, [](std::string_view part) {
        return convert("UTF-8", "CP1251", part, "\xEF\xBF\xBD");
    });
}

std::string utf8ToCp1251(std::string_view utf8) {
    return convertAround(utf8, kCp1251UndefinedUtf8, kCp1251Undefined, [](std::string_view part) {
        return convert("CP1251//TRANSLIT", "UTF-8", part, "?");
    });
}

std::string decodeLegacy(std::string_view bytes) {
    return isValidUtf8(bytes) ? std::string(bytes) : cp1251ToUtf8(bytes);
}

std::size_t length(std::string_view utf8) {
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < utf8.size(); ++n)
        decodeAt(utf8, pos);
    return n;
}

std::string truncateChars(std::string_view utf8, std::size_t maxChars) {
    std::size_t pos = 0;
    for (std::size_t n = 0; n < maxChars && pos < utf8.size(); ++n)
        decodeAt(utf8, pos);
    return std::string(utf8.substr(0, pos));
}

std::string toUpper(std::string_view utf8) {
    return mapChars(utf8, upperOf);
}
std::string toLower(std::string_view utf8) {
    return mapChars(utf8, lowerOf);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return toUpper(a) == toUpper(b);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return toUpper(text).starts_with(toUpper(prefix));
}

std::size_t findNoCase(std::string_view text, std::string_view needle) {
    return toUpper(text).find(toUpper(needle));
}

std::string trim(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty())
        return std::string(text);
    std::string out;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::string_view::npos;
         pos = hit + from.size()) {
        out.append(text.substr(pos, hit - pos));
        out.append(to);
    }
    out.append(text.substr(pos));
    return out;
}

double toDouble(std::string_view text) {
    const std::string s(text);
    return strtod_l(s.c_str(), nullptr, cLocale());
}

long long toLongLong(std::string_view text) {
    const std::string s(text);
    return strtoll(s.c_str(), nullptr, 10);
}

int toInt(std::string_view text) {
    const long long v = toLongLong(text);
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int>(v);
}

bool parseDouble(std::string_view text, double& value) {
    std::string s = trim(text);
    // Only digits, one sign per mantissa and exponent, a decimal separator and an
    // exponent mark: this keeps hexadecimal, "nan" and "inf" out before strtod sees them.
    if (s.empty() || s.find_first_not_of("0123456789+-.,eE") != std::string::npos)
        return false;
    if (s.find(',') != std::string::npos) {
        if (s.find('.') != std::string::npos)
            return false;
        std::replace(s.begin(), s.end(), ',', '.');
    }
    char* end = nullptr;
    errno = 0;
    const double v = strtod_l(s.c_str(), &end, cLocale());
    if (end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool parseInt(std::string_view text, long long& value) {
    const std::string s = trim(text);
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long long v = strtoll(s.c_str(), &end, 10);
    if (end != s.c_str() + s.size() || errno == ERANGE)
        return false;
    value = v;
    return true;
}

std::string format(const char* fmt, ...) {
    std::va_list args;
    va_start(args, fmt);
    std::string out = vformat(fmt, args);
    va_end(args);
    return out;
}

// The conversions are built from the caller's format one at a time, so their formats
// cannot be literals; the caller's format itself is checked by the compiler.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string vformat(const char* fmt, std::va_list args) {
    CLocaleScope cLocaleScope;
    std::string out;
    std::va_list ap;
    va_copy(ap, args);
    for (const char* p = fmt; *p;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            p += 2;
            continue;
        }
        // Parse one conversion: %[flags][width][.precision][length]conversion
        const char* q = p + 1;
        std::string flags;
        while (*q && std::string_view("-+ #0").find(*q) != std::string_view::npos)
            flags += *q++;
        int width = -1;
        if (*q == '*') {
            width = va_arg(ap, int);
            if (width < 0) {
                flags += '-';
                width = -width;
            }
            ++q;
        } else if (std::isdigit(static_cast<unsigned char>(*q))) {
            width = 0;
            while (std::isdigit(static_cast<unsigned char>(*q)))
                width = width * 10 + (*q++ - '0');
        }
        int precision = -1;
        if (*q == '.') {
            ++q;
            precision = 0;
            if (*q == '*') {
                precision = va_arg(ap, int);
                ++q;
            } else {
                while (std::isdigit(static_cast<unsigned char>(*q)))
                    precision = precision * 10 + (*q++ - '0');
            }
        }
        std::string length;
        while (*q && std::string_view("hlLqjzt").find(*q) != std::string_view::npos)
            length += *q++;
        const char conv = *q;
        if (!conv)
            break;
        p = q + 1;

        // Appended piece by piece: GCC 12 at -O3 misreads `"." + std::to_string(...)` as an
        // overlapping copy (-Wrestrict).
        std::string spec = "%";
        spec += flags;
        if (precision >= 0) {
            spec += '.';
            spec += std::to_string(precision);
        }
        char buf[512];
        std::string piece;
        const bool numeric =
            std::string_view("diouxXeEfFgGaA").find(conv) != std::string_view::npos;
        switch (conv) {
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            const bool isSigned = conv == 'd' || conv == 'i';
            if (length == "ll" || length == "q" || length == "j") {
                spec += std::string("ll") + conv;
                if (isSigned)
                    std::snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, long long));
                else
                    std::snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, unsigned long long));
            } else if (length == "l" || length == "z" || length == "t") {
                spec += std::string("l") + conv;
                if (isSigned)
                    std::snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, long));
                else
                    std::snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, unsigned long));
            } else {
                spec += (length == "h" ? "h" : length == "hh" ? "hh" : "") + std::string(1, conv);
                if (isSigned)
                    std::snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, int));
                else
                    std::snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, unsigned int));
            }
            piece = buf;
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            if (length == "L") {
                spec += std::string("L") + conv;
                std::snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, long double));
            } else {
                spec += conv;
                std::snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, double));
            }
            piece = buf;
            if (conv == 'e' || conv == 'E' || conv == 'g' || conv == 'G')
                widenExponent(piece);
            break;
        }
        case 'c':
            piece = std::string(1, static_cast<char>(va_arg(ap, int)));
            break;
        case 's': {
            const char* s = va_arg(ap, const char*);
            piece = s ? s : "(null)";
            if (precision >= 0 && piece.size() > static_cast<std::size_t>(precision))
                piece.resize(static_cast<std::size_t>(precision));
            break;
        }
        case 'p':
            std::snprintf(buf, sizeof buf, "%p", va_arg(ap, void*));
            piece = buf;
            break;
        default:
            piece = std::string("%") + flags + conv;
            break;
        }
        // Apply the width after the exponent has been widened.
        if (width > 0 && piece.size() < static_cast<std::size_t>(width)) {
            const std::size_t pad = static_cast<std::size_t>(width) - piece.size();
            const bool finite =
                piece.find_first_of("nN") == std::string::npos || conv == 'x' || conv == 'X';
            if (flags.find('-') != std::string::npos) {
                piece.append(pad, ' ');
            } else if (numeric && flags.find('0') != std::string::npos && finite &&
                       !(precision >= 0 &&
                         std::string_view("diouxX").find(conv) != std::string_view::npos)) {
                std::size_t at = 0;
                if (at < piece.size() && (piece[at] == '-' || piece[at] == '+' || piece[at] == ' '))
                    ++at;
                if (piece.size() > at + 1 && piece[at] == '0' &&
                    (piece[at + 1] == 'x' || piece[at + 1] == 'X'))
                    at += 2;
                piece.insert(at, pad, '0');
            } else {
                piece.insert(0, pad, ' ');
            }
        }
        out += piece;
    }
    va_end(ap);
    return out;
}

#pragma GCC diagnostic pop

std::string formatTime(const char* fmt, const std::tm& time) {
    char buf[256];
    const std::size_t n = strftime_l(buf, sizeof buf, fmt, &time, cLocale());
    return std::string(buf, n);
}

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

} // namespace orv::text
