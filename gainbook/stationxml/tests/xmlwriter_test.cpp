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

namespace {

using orv::stationxml::ListPoint;
using orv::stationxml::Response;
using orv::stationxml::ResponseTexts;
using orv::stationxml::Stage;

// Responses that differ in one thing each: poles and zeros, a table, none known, two
// stages, a zero's sign only, a description that must be escaped.
std::vector<Response> variedResponses() {
    Stage pz;
    pz.inputUnits = "m/s";
    pz.normalizationFactor = 6.0077e7;
    pz.normalizationFrequency = 1;
    pz.zeros = {{0, 0}, {0, 0}};
    pz.poles = {{-0.037004, 0.037016}, {-0.037004, -0.037016}, {-251.33, 0}};
    pz.gain = 1500;
    Response a;
    a.sensitivity = 6.0e8;
    a.inputUnits = "m/s";
    a.stages = {pz};
    Stage table;
    table.kind = Stage::Kind::ResponseList;
    table.inputUnits = "m";
    table.list = {ListPoint{0.1, 2.5, -10}, ListPoint{1, 3.5, 45.25}, ListPoint{10, 1e-3, 179}};
    table.description = "table <FAP> & \"more\"";
    Response b;
    b.sensitivity = 3.5;
    b.inputUnits = "m";
    b.stages = {table};
    Response none;
    Response two = a;
    two.stages.push_back(table);
    Response signedZero = a;
    signedZero.stages[0].zeros[1] = {-0.0, 0};
    return {a, b, none, two, signedZero};
}

// A document of one station whose channel epochs have the responses given, in order.
std::string documentOf(const std::vector<Response>& responses,
                       std::shared_ptr<ResponseTexts> texts) {
    std::string xml;
    orv::stationxml::WriterOptions options;
    options.created = orv::odbc::Timestamp{2020, 1, 1, 0, 0, 0};
    options.responseTexts = std::move(texts);
    StationXmlWriter writer([&](std::string_view chunk) { xml += chunk; }, options);
    writer.begin();
    writer.beginNetwork(NetworkInfo{"XX", "", {}, {}});
    StationInfo s;
    s.code = "S1";
    s.siteName = "Site";
    writer.beginStation(s);
    int year = 2000;
    for (const Response& r : responses) {
        ChannelEpoch c;
        c.code = "BHZ";
        c.start = orv::odbc::Timestamp{year++, 1, 1, 0, 0, 0};
        c.sampleRate = 40;
        c.response = r;
        writer.channel(c);
    }
    writer.endStation();
    writer.endNetwork();
    writer.finish();
    return xml;
}

} // namespace

// Responses kept as written are the very bytes the writer gives without them, each response
// in its own epochs (a zero's sign alone makes another text), and the document is valid.
TEST(StationXmlWriter, KeptResponsesAreTheBytesWrittenAnew) {
    std::vector<Response> responses = variedResponses();
    const std::vector<Response> once = responses;
    responses.insert(responses.end(), once.rbegin(), once.rend()); // each asked again
    const auto texts = std::make_shared<ResponseTexts>(1 << 20);
    const std::string kept = documentOf(responses, texts);
    EXPECT_EQ(kept, documentOf(responses, nullptr));
    EXPECT_EQ(documentOf(responses, texts), kept) << "the second document, all found";
    EXPECT_NE(kept.find("<Real>-0</Real>"), std::string::npos) << kept;
    orv::test::TempDir dir;
    std::ofstream(dir / "kept.xml", std::ios::binary) << kept;
    expectSchemaValid(dir / "kept.xml");
}

// What is kept stays within its bound, whatever is written through it.
TEST(StationXmlWriter, KeptResponsesStayWithinTheirBound) {
    const auto texts = std::make_shared<ResponseTexts>(16 << 10);
    std::vector<Response> many;
    for (int i = 0; i < 200; ++i) {
        Response r = variedResponses()[0];
        r.sensitivity = 1000 + i;
        many.push_back(r);
    }
    const std::string xml = documentOf(many, texts);
    EXPECT_EQ(xml, documentOf(many, nullptr));
    EXPECT_GT(texts->held(), 0u);
    EXPECT_LE(texts->held(), std::size_t(16) << 10);
}
