#include "db/typedinput.h"

#include <gtest/gtest.h>

using orv::gainbook::codeRefusal;
using orv::gainbook::readTypedDate;
using orv::gainbook::readTypedInterval;
using orv::gainbook::readTypedNumber;
using orv::odbc::Timestamp;

TEST(TypedDate, OnlyTheFullFormOfADateThatExistsIsTaken) {
    EXPECT_EQ(readTypedDate("Время", "2009.03.15 07:08:09").value,
              (Timestamp{2009, 3, 15, 7, 8, 9}));
    EXPECT_EQ(readTypedDate("Время", " 2024.02.29 23:59:59 ").value,
              (Timestamp{2024, 2, 29, 23, 59, 59}));
    for (const char* bad :
         {"15.03.2009 00:00:00", "2009-03-15 00:00:00", "2009.3.15 00:00:00", "2009.03.15",
          "2009.03.15 00:00", "2009.03.15  00:00:00", "2009.03.15 00:00:00x", "+009.03.15 00:00:00",
          "2009.02.29 00:00:00", "2000.04.31 00:00:00", "2009.13.01 00:00:00",
          "2009.00.10 00:00:00", "2009.03.00 00:00:00", "0000.01.01 00:00:00",
          "2009.03.15 24:00:00", "2009.03.15 00:60:00", "2009.03.15 00:00:60",
          "до настоящего времени", ""}) {
        const auto typed = readTypedDate("STARTDATE", bad);
        EXPECT_FALSE(typed.value) << bad;
        EXPECT_TRUE(typed.error.starts_with("STARTDATE: ")) << typed.error;
        EXPECT_NE(typed.error.find("гггг.мм.дд чч:мм:сс"), std::string::npos) << typed.error;
    }
    EXPECT_EQ(readTypedDate("Время", "15.03.2009 00:00:00").error,
              "Время: должна быть существующая дата в форме гггг.мм.дд чч:мм:сс, а не "
              "\"15.03.2009 00:00:00\".");
}

TEST(TypedDate, AnIntervalEndsAfterItStartsAndABlankEndLeavesItOpen) {
    const auto open = readTypedInterval("Время", "2009.03.15 00:00:00");
    EXPECT_TRUE(open.ok());
    EXPECT_EQ(open.start, (Timestamp{2009, 3, 15, 0, 0, 0}));
    EXPECT_FALSE(open.end);
    const auto closed = readTypedInterval("Время", "2009.03.15 00:00:00 / 2010.01.01 00:00:00");
    EXPECT_EQ(closed.end, (Timestamp{2010, 1, 1, 0, 0, 0}));
    EXPECT_TRUE(readTypedInterval("STARTDATE", "2009.03.15 00:00:00", "ENDDATE", "  ").ok());

    EXPECT_EQ(readTypedInterval("Время", "2009.03.15 00:00:00 / 2009.03.15 00:00:00").error,
              "Время: конец интервала должен быть позже начала.");
    EXPECT_EQ(
        readTypedInterval("STARTDATE", "2009.03.15 00:00:00", "ENDDATE", "2001.01.01 00:00:00")
            .error,
        "ENDDATE: конец интервала должен быть позже начала (STARTDATE).");
    EXPECT_TRUE(
        readTypedInterval("STARTDATE", "2009.03.15 00:00:00", "ENDDATE", "2010.02.30 00:00:00")
            .error.starts_with("ENDDATE: "));
    EXPECT_FALSE(readTypedInterval("Время", "2009.03.15 00:00:00 / ").ok());
    EXPECT_FALSE(readTypedInterval("Время", "2009.03.15 00:00:00 / 2010").ok());
    EXPECT_FALSE(readTypedInterval("Время", "2009.03.15 00:00:00 / 2010.01.01 00:00:00 x").ok());
}

TEST(TypedNumber, ADecimalCommaIsThePointAndTheRefusalNamesTheField) {
    EXPECT_EQ(readTypedNumber("FREQ (CALPER)", " 1,75 ").value, 1.75);
    EXPECT_EQ(readTypedNumber("CALIB", "nan").error,
              "CALIB: должно быть конечное десятичное число (например 1.5 или 1,5), а не \"nan\".");
    for (const char* bad : {"inf", "0x10", "1e999", "1.2.3", "", "abc"})
        EXPECT_TRUE(readTypedNumber("CALIB", bad).error.starts_with("CALIB: ")) << bad;
}

TEST(TypedCode, EightCharactersOfAnyScriptFitAndALongerCodeIsRefusedByName) {
    for (const char* fits : {"", "KIV", "ABCDEFGH", "СТАНЦИЯ8"})
        EXPECT_FALSE(codeRefusal("Станция", fits)) << fits;
    EXPECT_EQ(codeRefusal("Канал", "СТАНЦИЯ89"),
              "Канал: код должен быть не длиннее 8 символов, а в \"СТАНЦИЯ89\" их 9.");
    // A very long one is quoted by its beginning, with its length.
    EXPECT_EQ(codeRefusal("--sta", std::string(50, 'A')),
              "--sta: код должен быть не длиннее 8 символов, а в \"" + std::string(41, 'A') +
                  "...\" их 50.");
}

TEST(TypedCode, AControlCharacterIsRefusedWhereverItStands) {
    EXPECT_EQ(codeRefusal("Станция", std::string("NU\0LLX", 6)),
              "Станция: в коде управляющий символ (код 0), такой код не может быть записан.");
    for (const std::string bad : {"A\tB", "\x1B[31mX", "X\x7F", "\x01", "Ж\xC2\x9B"})
        EXPECT_TRUE(codeRefusal("--sta", bad)) << bad;
    // Blanks, dots, slashes and letters of any script are codes.
    for (const char* fits : {"A B", "../..", "Ё/Ж", "\xC2\xA0"})
        EXPECT_FALSE(codeRefusal("--sta", fits)) << fits;
}
