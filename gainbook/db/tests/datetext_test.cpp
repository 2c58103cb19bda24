#include "db/datetext.h"

#include <gtest/gtest.h>

using orv::gainbook::formatDateText;
using orv::gainbook::intervalText;
using orv::gainbook::parseDateText;
using orv::odbc::Timestamp;

TEST(DateText, FormatsWithTwoDigitFields) {
    EXPECT_EQ(formatDateText({2003, 7, 15, 8, 5, 0}), "2003.07.15 08:05:00");
    EXPECT_EQ(formatDateText({1999, 12, 31, 23, 59, 59}), "1999.12.31 23:59:59");
    EXPECT_EQ(intervalText({2003, 1, 1, 0, 0, 0}, std::nullopt), "2003.01.01 00:00:00");
    EXPECT_EQ(intervalText({2003, 1, 1, 0, 0, 0}, Timestamp{2005, 6, 1, 12, 0, 0}),
              "2003.01.01 00:00:00 / 2005.06.01 12:00:00");
}

TEST(DateText, ReadsWhatItWrites) {
    const Timestamp t{2003, 7, 15, 8, 5, 9};
    EXPECT_EQ(parseDateText(formatDateText(t)), t);
    // Also a year before 1000, which a typed date may give.
    const Timestamp early{10, 1, 2, 3, 4, 5};
    EXPECT_EQ(formatDateText(early), "0010.01.02 03:04:05");
    EXPECT_EQ(parseDateText(formatDateText(early)), early);
}

TEST(DateText, MissingFieldsReadAsZeroAndAnIntervalReadsAsItsStart) {
    EXPECT_EQ(parseDateText("2003.07.15"), (Timestamp{2003, 7, 15, 0, 0, 0}));
    EXPECT_EQ(parseDateText("2003.07.15 08"), (Timestamp{2003, 7, 15, 8, 0, 0}));
    EXPECT_EQ(parseDateText("2003.07.15 08:05"), (Timestamp{2003, 7, 15, 8, 5, 0}));
    EXPECT_EQ(parseDateText("2003.07.15 08:05:00 / 2004.01.01 00:00:00"),
              (Timestamp{2003, 7, 15, 8, 5, 0}));
    EXPECT_EQ(parseDateText("2003.07.15 / 2004.01.01"), (Timestamp{2003, 7, 15, 0, 0, 0}));
    EXPECT_EQ(parseDateText("до настоящего времени"), (Timestamp{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(parseDateText(""), (Timestamp{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(parseDateText("2003"), (Timestamp{2003, 0, 0, 0, 0, 0}));
}
