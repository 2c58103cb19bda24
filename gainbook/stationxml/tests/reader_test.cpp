// The StationXML reader on documents made by hand: numbers and dates read strictly, each
// fault refusing its own epoch and naming what it found; FDSN's empty location.
#include "handmade.h"
#include "stationxml/xmlreader.h"

#include "testdb.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

using orv::odbc::Timestamp;
using orv::stationxml::ImportedEpoch;
using orv::stationxml::readStationXml;
using orv::stationxml::readStationXmlFile;
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

// 512 MiB is the limit: one byte more is refused for its size before it is parsed.
TEST(StationXmlReader, ADocumentOverTheLimitIsRefusedForItsSize) {
    orv::test::TempDir dir;
    const auto big = dir.path() / "big.xml";
    std::ofstream(big, std::ios::binary) << document({HandmadeChannel{}});
    std::filesystem::resize_file(big, 512u * 1024 * 1024 + 1);
    const auto reading = readStationXmlFile(big.string(), [](ImportedEpoch&) {});
    EXPECT_FALSE(reading.read);
    EXPECT_NE(reading.error.find("larger than 536870912 bytes"), std::string::npos)
        << reading.error;
}

namespace {

orv::stationxml::DocumentReading readAll(const std::string& doc, std::vector<ImportedEpoch>& out) {
    return readStationXml(doc, [&](ImportedEpoch& e) { out.push_back(e); });
}

std::string withRoot(const std::string& doc, const std::string& ns, const std::string& version) {
    const std::string from = "xmlns=\"http://www.fdsn.org/xml/station/1\" schemaVersion=\"1.2\"";
    std::string out = doc;
    return out.replace(out.find(from), from.size(),
                       (ns.empty() ? "" : "xmlns=\"" + ns + "\" ") +
                           (version.empty() ? "" : "schemaVersion=\"" + version + "\""));
}

} // namespace

// 1.0, 1.1 and 1.2 are read alike, each with elements of its own (1.0's StorageFormat, the
// later Identifier, WaterLevel and sourceID); a later 1.x is read and said; 2.0 and a
// foreign namespace are refused, naming what they give.
TEST(StationXmlReader, TheNamespaceAndTheVersionAreRead) {
    const std::string fdsn = "http://www.fdsn.org/xml/station/1";
    HandmadeChannel c;
    c.response = velocityResponse();
    std::string base = document({c});
    const std::string channelStart = "<Channel code=\"HHZ\"";
    const std::map<std::string, std::pair<std::string, std::string>> own = {
        {"1.0", {"", "<StorageFormat>Steim2</StorageFormat>"}},
        {"1.1", {" sourceID=\"FDSN:XX_STA_00_H_H_Z\"", "<Identifier>doi:10.1/x</Identifier>"}},
        {"1.2", {" sourceID=\"FDSN:XX_STA_00_H_H_Z\"", "<WaterLevel>2</WaterLevel>"}}};
    for (const auto& [version, parts] : own) {
        std::string doc = withRoot(base, fdsn, version);
        doc.insert(doc.find(channelStart) + channelStart.size(), parts.first);
        doc.insert(doc.find("<Latitude>1</Latitude><Longitude>2</Longitude><Elevation>3</Elevation>"
                            "<Depth>"),
                   parts.second);
        std::vector<ImportedEpoch> epochs;
        const auto reading = readAll(doc, epochs);
        ASSERT_TRUE(reading.read) << version << ": " << reading.error;
        EXPECT_TRUE(reading.warnings.empty()) << version;
        ASSERT_EQ(epochs.size(), 1u) << version;
        EXPECT_EQ(epochs[0].refusal, "") << version;
        EXPECT_EQ(epochs[0].stages.size(), 2u) << version;
        EXPECT_EQ(epochs[0].sensitivity, 1.5e9) << version;
    }
    std::vector<ImportedEpoch> epochs;
    auto reading = readAll(withRoot(base, fdsn, "1.3"), epochs);
    EXPECT_TRUE(reading.read);
    EXPECT_EQ(epochs.size(), 1u);
    ASSERT_EQ(reading.warnings.size(), 1u);
    EXPECT_NE(reading.warnings[0].find("schemaVersion 1.3 is later than 1.2"), std::string::npos)
        << reading.warnings[0];
    const std::vector<std::pair<std::string, std::string>> refused = {
        {withRoot(base, fdsn, "2.0"), "schemaVersion \"2.0\" is not read"},
        {withRoot(base, "http://example.org/other", "1.2"),
         "namespace http://example.org/other, not StationXML's " + fdsn},
        {withRoot(base, "", "1.2"), "has no namespace"}};
    for (const auto& [doc, why] : refused) {
        epochs.clear();
        reading = readAll(doc, epochs);
        EXPECT_FALSE(reading.read) << why;
        EXPECT_NE(reading.error.find(why), std::string::npos) << reading.error;
        EXPECT_TRUE(epochs.empty()) << why;
    }
}

// Elements of another namespace are skipped wherever they stand: one named like the
// station's Latitude is not its latitude, one inside a stage is not the stage's filter.
TEST(StationXmlReader, ElementsOfOtherNamespacesAreSkipped) {
    std::string doc = document({HandmadeChannel{}});
    const std::string ext = " xmlns:ext=\"http://example.org/ext\"";
    doc.insert(doc.find("<Latitude>1</Latitude>"), "<ext:Latitude" + ext + ">80</ext:Latitude>");
    doc.insert(doc.find("<PolesZeros>"),
               "<ext:Filter" + ext + "><ext:Poles>3</ext:Poles></ext:Filter>");
    const auto epochs = read(doc);
    ASSERT_EQ(epochs.size(), 1u);
    EXPECT_EQ(epochs[0].stationLatitude, 1);
    ASSERT_EQ(epochs[0].stages.size(), 2u);
    EXPECT_EQ(epochs[0].stages[0].kind, orv::stationxml::ImportedStage::Kind::PolesZeros);
    EXPECT_EQ(epochs[0].stages[0].poles.size(), 2u);
}
