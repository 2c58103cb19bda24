// Small StationXML documents made by hand for the import tests: one station, channels
// whose attributes and responses the test chooses.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace orv::stationxml::test {

// The numbers of a SAC pole-zero text after ZEROS: counts, pairs and the constant, in order.
inline std::vector<double> sacNumbers(const std::string& text) {
    std::vector<double> out;
    std::istringstream in(text.substr(text.find("ZEROS")));
    for (std::string word; in >> word;) {
        char* end = nullptr;
        const double v = std::strtod(word.c_str(), &end);
        if (end != word.c_str() && *end == '\0')
            out.push_back(v);
    }
    return out;
}

inline std::string units(const std::string& in, const std::string& out) {
    return "<InputUnits><Name>" + in + "</Name></InputUnits><OutputUnits><Name>" + out +
           "</Name></OutputUnits>";
}

inline std::string sensitivity(const std::string& value, const std::string& frequency,
                               const std::string& in = "M/S") {
    return "<InstrumentSensitivity><Value>" + value + "</Value><Frequency>" + frequency +
           "</Frequency>" + units(in, "COUNTS") + "</InstrumentSensitivity>";
}

inline std::string stageGain(const std::string& value, const std::string& frequency = "1") {
    return "<StageGain><Value>" + value + "</Value><Frequency>" + frequency +
           "</Frequency></StageGain>";
}

inline std::string pair(const char* element, int number, const std::string& re,
                        const std::string& im) {
    return std::string("<") + element + " number=\"" + std::to_string(number) + "\"><Real>" + re +
           "</Real><Imaginary>" + im + "</Imaginary></" + element + ">";
}

// A 120-second velocity sensor (two zeros at the origin, poles -0.037 +- 0.037i rad/s),
// gain 1500 V per m/s at 1 Hz; pole0 replaces the first pole's real part.
inline std::string sensorStage(const std::string& in = "M/S", const std::string& pole0 = "-0.037",
                               const std::string& gain = "1500") {
    return "<Stage number=\"1\"><PolesZeros>" + units(in, "V") +
           "<PzTransferFunctionType>LAPLACE (RADIANS)</PzTransferFunctionType>"
           "<NormalizationFactor>1</NormalizationFactor><NormalizationFrequency>1"
           "</NormalizationFrequency>" +
           pair("Zero", 0, "0", "0") + pair("Zero", 1, "0", "0") + pair("Pole", 0, pole0, "0.037") +
           pair("Pole", 1, "-0.037", "-0.037") + "</PolesZeros>" + stageGain(gain) + "</Stage>";
}

// The digitiser: 1e6 counts per volt at rate samples per second.
inline std::string digitiserStage(const std::string& rate = "20", int number = 2) {
    return "<Stage number=\"" + std::to_string(number) + "\"><Coefficients>" +
           units("V", "COUNTS") +
           "<CfTransferFunctionType>DIGITAL</CfTransferFunctionType></Coefficients>"
           "<Decimation><InputSampleRate>" +
           rate +
           "</InputSampleRate><Factor>1</Factor><Offset>0</Offset><Delay>0</Delay><Correction>0"
           "</Correction></Decimation>" +
           stageGain("1000000") + "</Stage>";
}

// The sensor and the digitiser: 1.5e9 counts per m/s at 1 Hz.
inline std::string velocityResponse() {
    return sensitivity("1.5e9", "1") + sensorStage() + digitiserStage();
}

struct HandmadeChannel {
    std::string code = "HHZ";
    std::string location = "00";
    std::string start = "2020-01-01T00:00:00";
    std::string end; // none when empty
    std::string response = velocityResponse();
    std::string sampleRate = "20";

    HandmadeChannel named(const std::string& c, const std::string& l = "00") const {
        HandmadeChannel x = *this;
        x.code = c;
        x.location = l;
        return x;
    }
    HandmadeChannel during(const std::string& s, const std::string& e = "") const {
        HandmadeChannel x = *this;
        x.start = s;
        x.end = e;
        return x;
    }
};

inline std::string document(const std::vector<HandmadeChannel>& channels,
                            const std::string& station = "STA") {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FDSNStationXML "
        "xmlns=\"http://www.fdsn.org/xml/station/1\" schemaVersion=\"1.2\"><Source>t</Source>"
        "<Created>2020-01-01T00:00:00</Created><Network code=\"XX\" "
        "startDate=\"2020-01-01T00:00:00\"><Station code=\"" +
        station +
        "\" startDate=\"2020-01-01T00:00:00\"><Latitude>1</Latitude><Longitude>2</Longitude>"
        "<Elevation>3</Elevation><Site><Name>Site</Name></Site>";
    for (const HandmadeChannel& c : channels) {
        doc += "<Channel code=\"" + c.code + "\" locationCode=\"" + c.location + "\" startDate=\"" +
               c.start + "\"" + (c.end.empty() ? std::string() : " endDate=\"" + c.end + "\"") +
               "><Latitude>1</Latitude><Longitude>2</Longitude><Elevation>3</Elevation><Depth>0"
               "</Depth><SampleRate>" +
               c.sampleRate + "</SampleRate><Response>" + c.response + "</Response></Channel>";
    }
    return doc + "</Station></Network></FDSNStationXML>\n";
}

} // namespace orv::stationxml::test
