#include "formats/gse2header.h"

#include <gtest/gtest.h>

#include <string>

using orv::gainbook::formats::buildGse2Header;

namespace {

std::string line(const std::string& header, int n) {
    std::size_t start = 0;
    for (int i = 0; i < n; ++i)
        start = header.find('\n', start) + 1;
    return header.substr(start, header.find('\n', start) - start);
}

} // namespace

TEST(Gse2Header, FieldsStandAtTheirPositions) {
    const std::string h = buildGse2Header("ABC", "BHZ", "2020/01/02 03:04", 12, "ORV");
    const std::string l1 = line(h, 0);
    const std::string l2 = line(h, 1);
    EXPECT_EQ(l1, "CAL2 ABC   BHZ" + std::string(43, ' ') + "2020/01/02 03:04");
    EXPECT_EQ(l1.find("2020"), 57u);
    EXPECT_EQ(l2, "FAP2 0  C" + std::string(15, ' ') + "12  ORV FAP Triplets 12");
    EXPECT_EQ(l2.substr(28, 3), "ORV");
    // Exactly two lines, each ended by a line feed.
    EXPECT_EQ(h, l1 + "\n" + l2 + "\n");
}

TEST(Gse2Header, CountAndFlavourWidths) {
    const std::string l2 = line(buildGse2Header("ABCDE", "HHZ", "t", 999, "GSE2"), 1);
    EXPECT_EQ(l2.substr(24), "999 GSE2 FAP Triplets 999");
    EXPECT_EQ(line(buildGse2Header("ABCDE", "HHZ", "t", 1, "GSE2"), 1).substr(24),
              "1   GSE2 FAP Triplets 1");
}

TEST(Gse2Header, StationLengthsShiftTheChannel) {
    EXPECT_EQ(line(buildGse2Header("ABCDE", "HHZ", "t", 1, "ORV"), 0).substr(0, 14),
              "CAL2 ABCDE HHZ");
    EXPECT_EQ(line(buildGse2Header("ABCDEF", "HHZ", "t", 1, "ORV"), 0).substr(0, 15),
              "CAL2 ABCDEFHHZ ");
    // From the seventh character on the station stands behind the channel.
    EXPECT_EQ(line(buildGse2Header("ABCDEFG", "HHZ", "t", 1, "ORV"), 0).substr(0, 16),
              "CAL2 ABCDEFHHZG ");
    EXPECT_EQ(line(buildGse2Header("", "", "T", 1, "ORV"), 0), "CAL2" + std::string(53, ' ') + "T");
}

TEST(Gse2Header, MoreThan999TripletsLeaveTheCountFieldBlank) {
    const std::string l2 = line(buildGse2Header("ABC", "BHZ", "t", 1000, "ORV"), 1);
    EXPECT_EQ(l2, "FAP2 0  C" + std::string(19, ' ') + "ORV FAP Triplets 1000");
}
