// The query reader: what a URL or a POST body selects, and what it refuses.
#include "query.h"

#include <gtest/gtest.h>

using namespace orv::stationws;
using orv::odbc::Timestamp;
using orv::stationxml::Level;

namespace {

QueryResult get(Parameters p) {
    return parseQuery(p);
}

const orv::stationxml::Selection& only(const QueryResult& r) {
    EXPECT_TRUE(r.query) << r.error;
    EXPECT_EQ(r.query->selections.size(), 1u);
    return r.query->selections.front();
}

} // namespace

TEST(StationwsQuery, LongAndShortNamesListsWildcardsAndTheEmptyLocation) {
    const QueryResult r = get({{"net", "IU,G?"},
                               {"station", "AN*"},
                               {"loc", "--,00"},
                               {"cha", "BH?,*"},
                               {"minlat", "-10.5"},
                               {"maxlongitude", "170"},
                               {"start", "2010-02-03"},
                               {"endtime", "2011-01-01T12:30:45.123456Z"},
                               {"startafter", "2000-01-01T00:00:00"},
                               {"level", "channel"},
                               {"format", "text"},
                               {"nodata", "404"},
                               {"includerestricted", "TRUE"},
                               {"includeavailability", "false"},
                               {"matchtimeseries", "false"}});
    const auto& s = only(r);
    EXPECT_EQ(s.networks, (std::vector<std::string>{"IU", "G?"}));
    EXPECT_EQ(s.stations, (std::vector<std::string>{"AN*"}));
    EXPECT_EQ(s.locations, (std::vector<std::string>{"", "00"}));
    EXPECT_TRUE(s.channels.empty()); // a list with "*" selects every code
    EXPECT_EQ(s.minLatitude, -10.5);
    EXPECT_EQ(s.maxLongitude, 170);
    EXPECT_EQ(s.start, (Timestamp{2010, 2, 3, 0, 0, 0}));
    EXPECT_EQ(s.end, (Timestamp{2011, 1, 1, 12, 30, 45}));
    EXPECT_EQ(s.startAfter, (Timestamp{2000, 1, 1, 0, 0, 0}));
    EXPECT_EQ(s.level, Level::Channel);
    EXPECT_EQ(r.query->format, Format::Text);
    EXPECT_EQ(r.query->nodata, 404);
}

TEST(StationwsQuery, DefaultsAndARadiusAroundThePointOfOrigin) {
    const QueryResult r = get({{"maxradius", "10"}});
    const auto& s = only(r);
    EXPECT_EQ(r.query->level, Level::Station);
    EXPECT_EQ(r.query->format, Format::Xml);
    EXPECT_EQ(r.query->nodata, 204);
    EXPECT_EQ(s.latitude, 0);
    EXPECT_EQ(s.longitude, 0);
    EXPECT_EQ(s.maxRadius, 10);
    EXPECT_FALSE(s.minRadius);
}

TEST(StationwsQuery, RefusesWhatItCannotAnswerExactly) {
    const std::vector<Parameters> refused = {
        {{"sta", "AN'; DROP TABLE SITE;--"}},
        {{"sta", "A%"}},
        {{"sta", "A_B"}},
        {{"net", ""}},
        {{"net", "IU,"}},
        {{"sta", "ABCDEFGHI"}}, // wider than the code columns
        {{"loc", "-"}},
        {{"cha", "BH\xff"}},
        {{"start", "0000-01-01"}},
        {{"start", "99999-01-01"}},
        {{"start", "2010-02-30"}},
        {{"start", "2010-02-03T24:00:00"}},
        {{"start", "2010-02-03 10:00:00"}},
        {{"start", "2010-02-03T10:00:00.1234567"}},
        {{"start", "2011-01-01"}, {"end", "2010-01-01"}},
        {{"minlat", "91"}},
        {{"lon", "-180.5"}},
        {{"maxradius", "nan"}},
        {{"maxradius", "1e999"}},
        {{"minlat", "1,5"}},
        {{"minradius", "5"}, {"maxradius", "4"}},
        {{"level", "Station"}},
        {{"format", "json"}},
        {{"format", "text"}, {"level", "response"}},
        {{"nodata", "200"}},
        {{"includeavailability", "true"}},
        {{"matchtimeseries", "true"}},
        {{"includerestricted", "yes"}},
        {{"updatedafter", "2010-01-01"}},
        {{"bogus", "1"}},
        {{"net", "IU"}, {"network", "II"}}, // given twice under its two names
    };
    for (const Parameters& p : refused) {
        const QueryResult r = get(p);
        EXPECT_FALSE(r.query) << p.front().first << "=" << p.front().second;
        EXPECT_FALSE(r.error.empty());
        for (const char c : r.error)
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << r.error; // never echoes raw bytes
    }
}

TEST(StationwsQuery, ListsAreBounded) {
    std::string many;
    for (std::size_t i = 0; i < kMaxListItems; ++i)
        many += (i ? ",S" : "S") + std::to_string(i);
    EXPECT_TRUE(get({{"sta", many}}).query);
    EXPECT_FALSE(get({{"sta", many + ",X"}}).query);
}

TEST(StationwsQuery, PostBodyParametersThenSelectionLines) {
    const QueryResult r = parsePostBody("level=channel\r\n"
                                        "format = text\n"
                                        "minlat=10\n"
                                        "\n"
                                        "IU ANMO -- BHZ 2010-01-01T00:00:00 *\n"
                                        "II  KAPI 00,10 BH?   *   2012-01-01\n");
    ASSERT_TRUE(r.query) << r.error;
    EXPECT_EQ(r.query->level, Level::Channel);
    EXPECT_EQ(r.query->format, Format::Text);
    ASSERT_EQ(r.query->selections.size(), 2u);
    const auto& a = r.query->selections[0];
    EXPECT_EQ(a.networks, (std::vector<std::string>{"IU"}));
    EXPECT_EQ(a.locations, (std::vector<std::string>{""}));
    EXPECT_EQ(a.start, (Timestamp{2010, 1, 1, 0, 0, 0}));
    EXPECT_FALSE(a.end);
    EXPECT_EQ(a.minLatitude, 10);
    EXPECT_EQ(a.level, Level::Channel);
    const auto& b = r.query->selections[1];
    EXPECT_EQ(b.stations, (std::vector<std::string>{"KAPI"}));
    EXPECT_EQ(b.locations, (std::vector<std::string>{"00", "10"}));
    EXPECT_FALSE(b.start);
    EXPECT_EQ(b.end, (Timestamp{2012, 1, 1, 0, 0, 0}));
    EXPECT_EQ(b.minLatitude, 10);

    for (const char* bad :
         {"", "level=channel\n", "IU ANMO -- BHZ 2010-01-01\n", "IU ANMO -- BHZ * * extra\n",
          "IU ANMO -- BHZ * *\nlevel=channel\n", "IU AN%O -- BHZ * *\n",
          "IU ANMO -- BHZ 2012-01-01 2011-01-01\n", "bogus=1\nIU ANMO -- BHZ * *\n"})
        EXPECT_FALSE(parsePostBody(bad).query) << bad;

    std::string lines;
    for (std::size_t i = 0; i <= kMaxPostLines; ++i)
        lines += "IU ANMO -- BHZ * *\n";
    EXPECT_FALSE(parsePostBody(lines).query);
}
