#include "text/text.h"

#include "testdb.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

using namespace orv::text;

TEST(Encoding, Windows1251IsReadAndWrittenBack) {
    const std::string cp = "\xD1\xF2\xE0\xED\xF6\xE8\xFF \xA8\xB8 \xB9"; // "Станция Ёё №"
    const std::string utf = cp1251ToUtf8(cp);
    EXPECT_EQ(utf, "Станция Ёё №");
    EXPECT_EQ(utf8ToCp1251(utf), cp);
    EXPECT_EQ(utf8ToCp1251("日本"), "??");
}

TEST(Encoding, EveryByteOfAWindows1251TextSurvivesTheWayThereAndBack) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf = cp1251ToUtf8(all);
    EXPECT_TRUE(isValidUtf8(utf));
    EXPECT_EQ(utf8ToCp1251(utf), all);
    // 0x98, which Windows-1251 leaves undefined, as in "И" of a UTF-8 text read as one.
    EXPECT_EQ(cp1251ToUtf8("\xD0\x98"), "Р\xC2\x98");
}

TEST(Encoding, DecodeLegacyTakesUtf8AsItIsAndWindows1251Otherwise) {
    EXPECT_EQ(decodeLegacy("Почва"), "Почва");
    EXPECT_EQ(decodeLegacy("\xCF\xEE\xF7\xE2\xE0"), "Почва");
    EXPECT_EQ(decodeLegacy("plain ASCII"), "plain ASCII");
    EXPECT_FALSE(isValidUtf8("\xD0"));     // a lead byte cut off at the end
    EXPECT_FALSE(isValidUtf8("\xC0\xAF")); // an overlong form
    EXPECT_TRUE(isValidUtf8("ЖЁ"));
}

TEST(Characters, CaseMappingRaisesCyrillicToo) {
    EXPECT_EQ(toUpper("kiv ёлка bhz"), "KIV ЁЛКА BHZ");
    EXPECT_EQ(toLower("ЁЛКА KIV"), "ёлка kiv");
    EXPECT_TRUE(equalsNoCase("Microsoft ACCESS", "microsoft access"));
    EXPECT_TRUE(startsWithNoCase("nm/COUNTS*sec", "NM/counts"));
    EXPECT_EQ(findNoCase("Microsoft SQL Server", "sql"), 10u);
}

TEST(Characters, TruncateCountsCharactersNotBytes) {
    EXPECT_EQ(length("Пароль"), 6u);
    EXPECT_EQ(truncateChars("Пароль", 3), "Пар");
    EXPECT_EQ(truncateChars("abc", 10), "abc");
    EXPECT_EQ(truncateChars("", 0), "");
}

TEST(Numbers, ReadingTakesTheLongestPrefixLikeAtof) {
    EXPECT_DOUBLE_EQ(toDouble("12.5abc"), 12.5);
    EXPECT_DOUBLE_EQ(toDouble("  -3e2"), -300.0);
    EXPECT_DOUBLE_EQ(toDouble("abc"), 0.0);
    EXPECT_DOUBLE_EQ(toDouble("1,5"), 1.0); // a decimal comma is not a decimal point
    EXPECT_EQ(toInt("42 groups"), 42);
    EXPECT_EQ(toInt("x"), 0);
    EXPECT_EQ(toInt("99999999999"), INT32_MAX);
    double d = 0;
    EXPECT_TRUE(parseDouble(" 45.5 ", d));
    EXPECT_DOUBLE_EQ(d, 45.5);
    EXPECT_FALSE(parseDouble("45.5x", d));
    EXPECT_FALSE(parseDouble("", d));
    // What a person types: a decimal comma reads as the point; nothing else slips through.
    EXPECT_TRUE(parseDouble(" 1,75 ", d));
    EXPECT_DOUBLE_EQ(d, 1.75);
    EXPECT_TRUE(parseDouble("-2,5e3", d));
    EXPECT_DOUBLE_EQ(d, -2500.0);
    for (const char* bad : {"nan", "inf", "-inf", "1e999", "0x10", "1,5.0", "1,,5", "1 5"})
        EXPECT_FALSE(parseDouble(bad, d)) << bad;
    EXPECT_DOUBLE_EQ(d, -2500.0);
    long long i = 0;
    EXPECT_TRUE(parseInt("-7", i));
    EXPECT_EQ(i, -7);
    EXPECT_FALSE(parseInt("7.5", i));
}

TEST(Numbers, ExponentsHaveThreeDigitsAsTheStoredTextsHave) {
    EXPECT_EQ(format("%10.7le", 2.0), "2.0000000e+000");
    EXPECT_EQ(format("%10.7le", 5.0e17), "5.0000000e+017");
    EXPECT_EQ(format("%10.7le", -1.25e-5), "-1.2500000e-005");
    EXPECT_EQ(format("%lg", 1e-5), "1e-005");
    EXPECT_EQ(format("%lg", 0.5), "0.5");
    EXPECT_EQ(format("%10.7lg", 123.0), "       123");
    EXPECT_EQ(format("%E", 1e100), "1.000000E+100");
    // The width counts the widened exponent.
    EXPECT_EQ(format("[%16.7le]", 2.0), "[  2.0000000e+000]");
    EXPECT_EQ(format("[%-16.3e]", 2.0), "[2.000e+000      ]");
    EXPECT_EQ(format("[%012.3e]", -2.0), "[-02.000e+000]");
}

TEST(Numbers, PrintfConversionsBehaveAsPrintf) {
    EXPECT_EQ(format("%d|%5d|%-5d|%05d", 7, 7, 7, -7), "7|    7|7    |-0007");
    EXPECT_EQ(format("%f %.3f %0.0f %0.4f", 45.0, 1.25, 20.0, 0.5), "45.000000 1.250 20 0.5000");
    EXPECT_EQ(format("%s='%s' %c %%", "STA", "KIV", 'x'), "STA='KIV' x %");
    EXPECT_EQ(format("%.2s|%*d|%ld|%lld", "abcdef", 4, 3, 5L, 6LL), "ab|   3|5|6");
    EXPECT_EQ(format("%04d-%02d-%02d", 2001, 5, 7), "2001-05-07");
}

TEST(Numbers, TheProcessLocaleDoesNotChangeNumbers) {
    // ./test compiles a Russian locale into a directory of its own and names it here.
    const char* localeDir = std::getenv("ORV_TEST_LOCPATH");
    orv::test::ScopedEnv locpath("LOCPATH", localeDir);
    const char* localeWithComma = nullptr;
    for (const char* name : {"ru_RU.UTF-8", "ru_RU.utf8", "de_DE.UTF-8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_ALL, name)) {
            localeWithComma = name;
            break;
        }
    }
    if (!localeWithComma)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5") << "the locale " << localeWithComma << " should use a decimal comma";
    EXPECT_EQ(format("%.2f %10.7le", 1.5, 2.0), "1.50 2.0000000e+000");
    EXPECT_DOUBLE_EQ(toDouble("1.5"), 1.5);
    std::setlocale(LC_ALL, "C");
}

TEST(Text, TrimAndReplace) {
    EXPECT_EQ(trim(" \t KIV \r\n"), "KIV");
    EXPECT_EQ(replaceAll("O'Brien's", "'", "''"), "O''Brien''s");
    EXPECT_EQ(replaceAll("a|b|", "|", "\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(formatTime("%Y-%m-%d %H:%M:%S", std::tm{5, 4, 3, 7, 4, 101, 0, 0, 0, 0, nullptr}),
              "2001-05-07 03:04:05");
}
