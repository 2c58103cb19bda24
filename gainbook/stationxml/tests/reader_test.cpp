// The StationXML reader on documents made by hand: numbers and dates read strictly, each
// fault refusing its own epoch and naming what it found; FDSN's empty location.
#include "handmade.h"
#include "stationxml/xmlreader.h"

#include <gtest/gtest.h>

using orv::odbc::Timestamp;
using orv::stationxml::ImportedEpoch;
using orv::stationxml::readStationXml;
using namespace orv::stationxml::test;

namespace {

std::vector<ImportedEpoch> read(const std::string& doc) {
    std::vector<ImportedEpoch> epochs;
    std::string error;
    EXPECT_TRUE(readStationXml(doc, epochs, error)) << error;
    return epochs;
}

} // namespace

// One bad number refuses its epoch, naming the element and the text; the channel beside it
// is read.
TEST(StationXmlReader, ANumberThatIsNotAFiniteNumberRefusesItsEpoch) {
    for (const std::string bad : {"NaN", "INF", "1e400", "", "-0.037x", "-0,037"}) {
        HandmadeChannel broken;
        broken.response = sensitivity("1.5e9", "1") + sensorStage("M/S", bad);
        const auto epochs = read(document({broken, HandmadeChannel{}.named("HHN")}));
        ASSERT_EQ(epochs.size(), 2u);
        EXPECT_NE(epochs[0].refusal.find("Stage 1 PolesZeros Pole 0 Real: \"" + bad + "\""),
                  std::string::npos)
            << epochs[0].refusal;
        EXPECT_EQ(epochs[1].refusal, "");
        EXPECT_EQ(epochs[1].stages.at(0).poles.at(0), std::complex<double>(-0.037, 0.037));
    }
}

// A sensitivity that cannot be read is refused, never replaced by the stage gains.
TEST(StationXmlReader, AnUnreadableSensitivityRefusesTheEpoch) {
    for (const std::string bad : {"abc", "NaN", ""}) {
        HandmadeChannel c;
        c.response = sensitivity(bad, "1") + sensorStage() + digitiserStage();
        const auto epochs = read(document({c}));
        EXPECT_NE(epochs.at(0).refusal.find("InstrumentSensitivity Value"), std::string::npos)
            << bad << ": " << epochs[0].refusal;
    }
}

// Dates are the full xs:dateTime: the offset taken to UTC, a fraction rounded and said;
// anything else refuses the epoch naming the attribute.
TEST(StationXmlReader, DatesAreReadAsXsDateTime) {
    struct Case {
        std::string start, end;
        std::string refusal; // part of it; "" for none
        Timestamp start_;
        bool note;
    };
    const Timestamp unused;
    const std::vector<Case> cases = {
        {"2020-01-01T00:00:00", "2021-02-30T00:00:00", "invalid end date: endDate \"2021-02-30",
         unused, false},
        {"2020-01-01T00:00:00", "soon", "invalid end date: endDate \"soon\"", unused, false},
        {"2020-01-01T00:00:00", "2021-06-01 12:30:00", "invalid end date", unused, false},
        {"2020-01-01T00:00:00", "2021-06-01", "invalid end date", unused, false},
        {"soon", "", "invalid start date: startDate \"soon\"", unused, false},
        {"2021-06-01T12:30:00+05:00", "", "", {2021, 6, 1, 7, 30, 0}, false},
        {"2021-06-01T12:30:00.000Z", "", "", {2021, 6, 1, 12, 30, 0}, false},
        {"2021-06-01T12:30:00.4", "", "", {2021, 6, 1, 12, 30, 0}, true},
        // 00:59:59.7 UTC on the first of January, rounded into the next hour
        {"2021-12-31T23:59:59.7-01:00", "", "", {2022, 1, 1, 1, 0, 0}, true},
    };
    for (const Case& c : cases) {
        const auto epochs = read(document({HandmadeChannel{}.during(c.start, c.end)}));
        const ImportedEpoch& e = epochs.at(0);
        if (!c.refusal.empty()) {
            EXPECT_NE(e.refusal.find(c.refusal), std::string::npos)
                << c.start << " " << c.end << ": " << e.refusal;
            continue;
        }
        EXPECT_EQ(e.refusal, "") << c.start;
        EXPECT_EQ(e.start, c.start_) << c.start << " read as " << e.start.toSqlText();
        EXPECT_EQ(e.notes.size(), c.note ? 1u : 0u) << c.start;
    }
}

// FDSN's empty location, a code of blanks and "??" (how CALIBRATION stores the empty one)
// are one location.
TEST(StationXmlReader, TheEmptyLocationHasOneSpelling) {
    const auto epochs = read(
        document({HandmadeChannel{}.named("HHZ", ""), HandmadeChannel{}.named("HHN", "  "),
                  HandmadeChannel{}.named("HHE", "??"), HandmadeChannel{}.named("HH1", "10")}));
    ASSERT_EQ(epochs.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(epochs[std::size_t(i)].location, "") << i;
    EXPECT_EQ(epochs[3].location, "10");
}

// 64 MiB is the limit: one byte more is refused for its size before it is parsed.
TEST(StationXmlReader, ADocumentOver64MiBIsRefusedForItsSize) {
    std::string big = document({HandmadeChannel{}});
    big.resize(64u * 1024 * 1024 + 1, ' ');
    std::vector<ImportedEpoch> epochs;
    std::string error;
    EXPECT_FALSE(readStationXml(big, epochs, error));
    EXPECT_NE(error.find("larger than 67108864 bytes"), std::string::npos) << error;
}
