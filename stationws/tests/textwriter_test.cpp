// The text answer: its header lines and fields at each level.
#include "stationxml/xmlwriter.h"
#include "textwriter.h"

#include <cstdlib>

#include <gtest/gtest.h>

using namespace orv::stationws;
using namespace orv::stationxml;
using orv::odbc::Timestamp;

namespace {

std::string writeAll(Level level) {
    std::string out;
    TextWriter w([&](std::string_view chunk) { out += chunk; }, level);
    w.begin();
    w.beginNetwork({"IU", "Global | Seismograph", Timestamp{1988, 1, 1, 0, 0, 0}, std::nullopt});
    StationInfo s;
    s.code = "ANMO";
    s.latitude = 34.94591;
    s.longitude = -106.4572;
    s.elevation = 1820;
    s.siteName = "Albuquerque, New Mexico";
    s.start = Timestamp{2002, 11, 19, 21, 7, 0};
    s.end = Timestamp{2008, 6, 30, 0, 0, 0};
    w.beginStation(s);
    ChannelEpoch c{};
    c.code = "BHZ";
    c.location = "00";
    c.start = Timestamp{2008, 6, 30, 20, 0, 0};
    c.latitude = 34.94591;
    c.longitude = -106.4572;
    c.elevation = 1671;
    c.depth = 145;
    c.azimuth = 0;
    c.dip = -90;
    c.sampleRate = 20;
    c.sensorDescription = "STS-1";
    Response r;
    r.sensitivity = 3.27508e9;
    r.sensitivityFrequency = 0.02;
    r.inputUnits = "m/s";
    c.response = r;
    w.channel(c);
    c.location = "";
    c.response.reset();
    c.sampleRate.reset();
    w.channel(c);
    w.endStation();
    s.code = "TUC";
    s.siteName = "Tucson";
    s.end.reset();
    w.beginStation(s);
    w.endStation();
    w.endNetwork();
    w.finish();
    return out;
}

} // namespace

TEST(StationwsText, NetworkLevelCountsTheStations) {
    EXPECT_EQ(writeAll(Level::Network), "#Network|Description|StartTime|EndTime|TotalStations\n"
                                        "IU|Global   Seismograph|1988-01-01T00:00:00||2\n");
}

TEST(StationwsText, StationLevel) {
    EXPECT_EQ(writeAll(Level::Station),
              "#Network|Station|Latitude|Longitude|Elevation|SiteName|StartTime|EndTime\n"
              "IU|ANMO|34.94591|-106.4572|1820|Albuquerque, New "
              "Mexico|2002-11-19T21:07:00|2008-06-30T00:00:00\n"
              "IU|TUC|34.94591|-106.4572|1820|Tucson|2002-11-19T21:07:00|\n");
}

TEST(StationwsText, ChannelLevelWithAndWithoutAResponse) {
    EXPECT_EQ(writeAll(Level::Channel),
              "#Network|Station|Location|Channel|Latitude|Longitude|Elevation|Depth|Azimuth|"
              "Dip|SensorDescription|Scale|ScaleFreq|ScaleUnits|SampleRate|StartTime|EndTime\n"
              "IU|ANMO|00|BHZ|34.94591|-106.4572|1671|145|0|-90|STS-1|3275080000|0.02|M/S|20|"
              "2008-06-30T20:00:00|\n"
              "IU|ANMO||BHZ|34.94591|-106.4572|1671|145|0|-90|STS-1||||"
              "|2008-06-30T20:00:00|\n");
}

// Scale carries every digit the XML answer's InstrumentSensitivity Value carries: read back
// with a plain float parse, each gives the same double.
TEST(StationwsText, ScaleReadsBackAsTheXmlValue) {
    for (const double value : {33527600000.163063, 3.27508e9, -1.0 / 3, 6.02214076e-23}) {
        std::string out;
        TextWriter w([&](std::string_view chunk) { out += chunk; }, Level::Channel);
        w.beginNetwork({"IU", "", std::nullopt, std::nullopt});
        w.beginStation(StationInfo{});
        ChannelEpoch c{};
        c.code = "BHZ";
        Response r;
        r.sensitivity = value;
        r.sensitivityFrequency = 0.02;
        c.response = r;
        w.channel(c);
        w.finish();
        // Scale is the twelfth field.
        std::size_t at = 0;
        for (int i = 0; i < 11; ++i)
            at = out.find('|', at) + 1;
        const std::string scale = out.substr(at, out.find('|', at) - at);
        EXPECT_EQ(std::strtod(scale.c_str(), nullptr), value) << scale;
        EXPECT_EQ(scale, numberText(value)) << "the XML answer's text";
    }
}
