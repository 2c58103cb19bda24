// The StationXML writer on its own: what it writes is read back by xmllint, against FDSN's
// schema.
#include "documentchecks.h"
#include "stationxml/xmlwriter.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

using orv::stationxml::ChannelEpoch;
using orv::stationxml::NetworkInfo;
using orv::stationxml::StationInfo;
using orv::stationxml::StationXmlWriter;
using orv::stationxml::test::expectSchemaValid;
using orv::stationxml::test::runShell;

namespace {

// A document of one network, station and channel with the texts given.
std::string document(const std::string& network, const std::string& station,
                     const std::string& description) {
    std::string xml;
    StationXmlWriter writer([&](std::string_view chunk) { xml += chunk; });
    writer.begin();
    NetworkInfo n;
    n.code = network;
    writer.beginNetwork(n);
    StationInfo s;
    s.code = station;
    s.siteName = "Site";
    s.description = description;
    writer.beginStation(s);
    ChannelEpoch c;
    c.code = "BHZ";
    writer.channel(c);
    writer.endStation();
    writer.endNetwork();
    writer.finish();
    return xml;
}

std::string xpath(const std::filesystem::path& file, const std::string& expression) {
    int status = 0;
    std::string out = runShell("xmllint --xpath " + orv::gainbook::test::shellQuote(expression) +
                                   " " + orv::gainbook::test::shellQuote(file) + " 2>&1",
                               status);
    EXPECT_EQ(status, 0) << out;
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

} // namespace

// Codes and texts holding markup characters are escaped; control characters and bytes that
// are not UTF-8 become U+FFFD: the document stays well-formed and valid, and gives the codes
// back as they were.
TEST(StationXmlWriter, CodesAndTextsAreWrittenSoThatAParserGivesThemBack) {
    orv::test::TempDir dir;
    const auto file = dir / "escaped.xml";
    std::ofstream(file, std::ios::binary) << document(
        "A&B", "S<\"1'>", "bell\a, nul-like \xC0\x80, half \xED\xA0\x80, \xF0\x9F\x98\x80");
    expectSchemaValid(file);
    EXPECT_EQ(xpath(file, "string(//*[local-name()='Network']/@code)"), "A&B");
    EXPECT_EQ(xpath(file, "string(//*[local-name()='Station']/@code)"), "S<\"1'>");
    EXPECT_EQ(xpath(file, "string(//*[local-name()='Station']/*[local-name()='Description'])"),
              "bell\xEF\xBF\xBD, nul-like \xEF\xBF\xBD, half \xEF\xBF\xBD, \xF0\x9F\x98\x80");
}

// Created is the time in UTC, whatever the local time zone.
TEST(StationXmlWriter, CreatedIsUtc) {
    const std::string xml = [] {
        orv::test::ScopedEnv zone("TZ", "Asia/Kamchatka"); // UTC+12 all year
        tzset();
        std::string out = document("XX", "S1", "");
        return out;
    }();
    tzset();
    const std::size_t at = xml.find("<Created>");
    ASSERT_NE(at, std::string::npos) << xml;
    std::tm tm{};
    ASSERT_NE(strptime(xml.c_str() + at + 9, "%Y-%m-%dT%H:%M:%SZ", &tm), nullptr) << xml;
    EXPECT_LT(std::abs(double(timegm(&tm) - std::time(nullptr))), 60.0) << xml;
}
