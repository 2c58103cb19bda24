// A StationXML response turned into the stored SAC or FAP text, checked against the
// published SAC form of a published document and against values computed here apart from
// the code (SI prefixes, the closed form of a one-pole digital filter).
#include "formats/responsetext.h"
#include "handmade.h"
#include "response/evaluation.h"
#include "stationxml/importresponse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

using orv::stationxml::ImportedEpoch;
using orv::stationxml::toFap;
using orv::stationxml::toSac;
using namespace orv::stationxml::test;

namespace {

const double kPi = 3.14159265358979323846;

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::string kAnmo = fileText(std::string(STATIONXML_TEST_DATA) + "/obspy_IU_ANMO_00_BHZ.xml");
const std::vector<double> kAnmoSac =
    sacNumbers(fileText(std::string(GAINBOOK_TEST_DATA) + "/obspy_IU_ANMO_00_BHZ.sacpz"));

ImportedEpoch only(const std::string& doc) {
    std::vector<ImportedEpoch> epochs;
    std::string error;
    EXPECT_TRUE(orv::stationxml::readStationXml(doc, epochs, error)) << error;
    EXPECT_EQ(epochs.size(), 1u);
    EXPECT_EQ(epochs.at(0).refusal, "");
    return epochs.at(0);
}

void expectPublishedSac(const std::string& doc, double constantSign = 1) {
    std::string why;
    const auto sac = toSac(only(doc), why);
    ASSERT_TRUE(sac) << why;
    const std::vector<double> got = sacNumbers(sac->text);
    ASSERT_EQ(got.size(), kAnmoSac.size()) << sac->text;
    for (std::size_t i = 0; i + 1 < got.size(); ++i)
        EXPECT_NEAR(got[i], kAnmoSac[i], 1e-5 * std::abs(kAnmoSac[i])) << "number " << i;
    EXPECT_NEAR(got.back(), constantSign * kAnmoSac.back(), 1e-5 * kAnmoSac.back());
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

} // namespace

// The document's poles and zeros given in hertz instead of radians per second give the
// same published SAC file.
TEST(StationXmlResponse, ALaplaceHertzStageIsTakenToRadians) {
    std::string doc = replaced(kAnmo, "LAPLACE (RADIANS/SECOND)", "LAPLACE (HERTZ)");
    for (const char* part : {"Real", "Imaginary"}) {
        const std::regex number(std::string("<") + part + ">([^<]*)</" + part + ">");
        std::string out;
        auto last = doc.cbegin();
        for (std::sregex_iterator it(doc.cbegin(), doc.cend(), number), end; it != end; ++it) {
            out.append(last, (*it)[0].first);
            char hertz[32];
            std::snprintf(hertz, sizeof hertz, "%.17g", std::stod((*it)[1].str()) / (2 * kPi));
            out += std::string("<") + part + ">" + hertz + "</" + part + ">";
            last = (*it)[0].second;
        }
        doc = out.append(last, doc.cend());
    }
    expectPublishedSac(doc);
}

// A reversed channel: a negative sensitivity (with a negative stage gain, or alone) gives the
// published CONSTANT with a minus sign.
TEST(StationXmlResponse, PolarityIsKeptInTheConstant) {
    const std::string negative =
        replaced(kAnmo, "<Value>3.27508E9</Value>", "<Value>-3.27508E9</Value>");
    expectPublishedSac(replaced(negative, "<Value>1952.1</Value>", "<Value>-1952.1</Value>"), -1);
    expectPublishedSac(negative, -1);
}

namespace {

// The first number after text in a note.
double numberAfter(const std::string& note, const std::string& text) {
    const auto at = note.find(text);
    EXPECT_NE(at, std::string::npos) << note;
    return at == std::string::npos ? NAN : std::strtod(note.c_str() + at + text.size(), nullptr);
}

} // namespace

// Stages that contradict the stated sensitivity are said with both values, the stated one
// kept: a NormalizationFactor of -83826 (or a stage gain of -1952.1) beside a positive
// InstrumentSensitivity keeps the published positive CONSTANT; a sensitivity 10 % above
// what the stages give (1952.1 x 1677720 at 0.02 Hz) is said; the published one is not.
TEST(StationXmlResponse, StagesThatContradictTheSensitivityAreSaid) {
    const double stages = 1952.1 * 1677720;
    const auto notes = [&](const std::string& doc) {
        std::string why;
        const auto sac = toSac(only(doc), why);
        EXPECT_TRUE(sac) << why;
        return sac ? sac->notes : std::vector<std::string>{};
    };
    EXPECT_TRUE(notes(kAnmo).empty());
    for (const auto& [from, to] : {std::pair{"<NormalizationFactor>83826</NormalizationFactor>",
                                             "<NormalizationFactor>-83826</NormalizationFactor>"},
                                   std::pair{"<Value>1952.1</Value>", "<Value>-1952.1</Value>"}}) {
        const std::string doc = replaced(kAnmo, from, to);
        expectPublishedSac(doc, 1);
        const auto said = notes(doc);
        ASSERT_EQ(said.size(), 1u) << to;
        EXPECT_NEAR(numberAfter(said[0], "the stages give "), -stages, 1e-3 * stages) << said[0];
        EXPECT_EQ(numberAfter(said[0], "InstrumentSensitivity states "), 3.27508e9) << said[0];
        EXPECT_NE(said[0].find("disagree in sign"), std::string::npos) << said[0];
    }
    const auto said =
        notes(replaced(kAnmo, "<Value>3.27508E9</Value>", "<Value>3.602588E9</Value>"));
    ASSERT_EQ(said.size(), 1u);
    // Of the stated sensitivity.
    EXPECT_NEAR(numberAfter(said[0], "differ by "), 100 * (1 - stages / 3.602588e9), 0.01)
        << said[0];
}

// The stored sensitivity is in counts: a response whose output is volts (a sensor without
// its digitiser) is no response the database holds, named with its units; "count" in any
// case is counts.
TEST(StationXmlResponse, OutputUnitsOtherThanCountsAreNamed) {
    for (const std::string out : {"V", "count", "COUNTS", "Counts"}) {
        HandmadeChannel ch;
        ch.response = "<InstrumentSensitivity><Value>1500</Value><Frequency>1</Frequency>" +
                      units("M/S", out) + "</InstrumentSensitivity>" + sensorStage();
        std::string why;
        const auto sac = toSac(only(document({ch})), why);
        EXPECT_EQ(bool(sac), out != "V") << out << ": " << why;
        if (out == "V") {
            EXPECT_NE(why.find("output units are \"V\", not counts"), std::string::npos) << why;
        }
    }
}

// A published file with an extension element of another namespace inside its sensor's
// stage gives its published SAC file still.
TEST(StationXmlResponse, AnExtensionElementInsideAStageIsSkipped) {
    expectPublishedSac(replaced(kAnmo, "<Stage number=\"1\">",
                                "<Stage number=\"1\"><ext:Calibration "
                                "xmlns:ext=\"http://example.org/ext\"><ext:Date>2012-03-12"
                                "</ext:Date></ext:Calibration>"));
}

// Without InstrumentSensitivity the product of the stage gains (1952.1 x 1677720 x 1) is
// the sensitivity, and the import says so.
TEST(StationXmlResponse, WithoutInstrumentSensitivityTheStageGainsAreUsedAndSaid) {
    const auto from = kAnmo.find("<InstrumentSensitivity>");
    const auto to = kAnmo.find("</InstrumentSensitivity>") + 24;
    const std::string doc = kAnmo.substr(0, from) + kAnmo.substr(to);
    expectPublishedSac(doc);
    std::string why;
    const auto sac = toSac(only(doc), why);
    ASSERT_TRUE(sac);
    ASSERT_EQ(sac->notes.size(), 1u);
    EXPECT_NE(sac->notes[0].find("product of the stage gains"), std::string::npos);
}

// A sensitivity of 0, or one without a Value or a usable Frequency, is none: the epoch is
// skipped naming the element, never given the product of the stage gains.
TEST(StationXmlResponse, ASensitivityWithoutValueOrFrequencyIsNoSensitivity) {
    const std::string u = units("M/S", "COUNTS");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {sensitivity("0", "1"), "InstrumentSensitivity Value 0"},
        {"<InstrumentSensitivity><Frequency>1</Frequency>" + u + "</InstrumentSensitivity>",
         "InstrumentSensitivity has no Value"},
        {sensitivity("1.5e9", "0"), "InstrumentSensitivity Frequency 0 Hz"},
        {sensitivity("1.5e9", "-1"), "InstrumentSensitivity Frequency -1 Hz"},
        {"<InstrumentSensitivity><Value>1.5e9</Value>" + u + "</InstrumentSensitivity>",
         "InstrumentSensitivity has no Frequency"},
    };
    for (const auto& [is, named] : cases) {
        HandmadeChannel ch;
        ch.response = is + sensorStage() + digitiserStage();
        std::string why;
        EXPECT_FALSE(toSac(only(document({ch})), why)) << named;
        EXPECT_NE(why.find(named), std::string::npos) << why;
    }
}

// Ground motion in any unit of length is scaled to metres: 1.5 counts per nm/s are
// 1.5e9 counts per m/s.
TEST(StationXmlResponse, InputUnitsAreScaledToMetres) {
    struct Case {
        const char* units;
        long long motion;
        double perMetre;
    };
    for (const Case& c : {Case{"nm/s", 1, 1.5e9}, Case{"NM/S**2", 2, 1.5e9},
                          Case{"nm/s^2", 2, 1.5e9}, Case{"um/s", 1, 1.5e6}, Case{"mm/s", 1, 1.5e3},
                          Case{"nm", 0, 1.5e9}, Case{"M/S", 1, 1.5}}) {
        HandmadeChannel ch;
        ch.response = sensitivity("1.5", "1", c.units) + sensorStage(c.units) + digitiserStage();
        std::string why;
        const auto sac = toSac(only(document({ch})), why);
        ASSERT_TRUE(sac) << c.units << ": " << why;
        EXPECT_EQ(sac->sensUnit, c.motion) << c.units;
        EXPECT_NEAR(sac->sensitivity, c.perMetre, 1e-9 * c.perMetre) << c.units;
    }
}

// A gain alone is no response the database holds, and is named as such.
TEST(StationXmlResponse, AGainOnlyResponseIsSkippedAsSuch) {
    HandmadeChannel ch;
    ch.response = sensitivity("1000000", "1", "V") + digitiserStage("20", 1);
    std::string why;
    EXPECT_FALSE(toSac(only(document({ch})), why));
    EXPECT_NE(why.find("only a gain"), std::string::npos) << why;
}

// A stage taking M/S after one giving V is named.
TEST(StationXmlResponse, StageUnitsThatDoNotChainAreNamed) {
    HandmadeChannel ch;
    ch.response = velocityResponse();
    ch.response = replaced(ch.response, units("V", "COUNTS"), units("M/S", "COUNTS"));
    std::string why;
    const auto sac = toSac(only(document({ch})), why);
    ASSERT_TRUE(sac) << why;
    ASSERT_EQ(sac->notes.size(), 1u);
    EXPECT_NE(sac->notes[0].find("stage 2 takes M/S after stage 1 gives V"), std::string::npos)
        << sac->notes[0];
}

namespace {

// A one-pole digital high-pass H(z) = (z - 1) / (z - a), as a Z-transform PolesZeros stage
// or as IIR Coefficients, at 20 samples per second.
std::string highPass(double a, bool coefficients) {
    const std::string filter =
        coefficients
            ? "<Coefficients>" + units("COUNTS", "COUNTS") +
                  "<CfTransferFunctionType>DIGITAL</CfTransferFunctionType><Numerator>1</Numerator>"
                  "<Numerator>-1</Numerator><Denominator>1</Denominator><Denominator>" +
                  std::to_string(-a) + "</Denominator></Coefficients>"
            : "<PolesZeros>" + units("COUNTS", "COUNTS") +
                  "<PzTransferFunctionType>DIGITAL (Z-TRANSFORM)</PzTransferFunctionType>"
                  "<NormalizationFactor>1</NormalizationFactor><NormalizationFrequency>1"
                  "</NormalizationFrequency>" +
                  pair("Zero", 0, "1", "0") + pair("Pole", 0, std::to_string(a), "0") +
                  "</PolesZeros>";
    return "<Stage number=\"3\">" + filter +
           "<Decimation><InputSampleRate>20</InputSampleRate><Factor>1</Factor><Offset>0</Offset>"
           "<Delay>0</Delay><Correction>0</Correction></Decimation>" +
           stageGain("1") + "</Stage>";
}

// |H| at f from the closed form: 2 |sin(w/2)| / sqrt(1 - 2a cos w + a^2), w = 2 pi f / 20.
double highPassAmplitude(double a, double f) {
    const double w = 2 * kPi * f / 20;
    return 2 * std::abs(std::sin(w / 2)) / std::sqrt(1 - 2 * a * std::cos(w) + a * a);
}

double percentIn(const std::string& text) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(text, m, std::regex("by (at most )?([0-9.e+-]+) %"))) << text;
    return m.empty() ? NAN : std::stod(m[2].str());
}

} // namespace

// The left-out stage is named with the largest change it makes between the sensor's corner
// (|p| / 2 pi of the poles -0.037 +- 0.037i) and 0.4 x Nyquist: for a high-pass, at the
// corner, |H(1 Hz)| / |H(corner)| - 1. Up to 5 % the analog part is imported, above it the
// epoch is skipped.
TEST(StationXmlResponse, ALeftOutDigitalStageIsNamedWithTheDeviationItCauses) {
    const double corner = std::hypot(0.037, 0.037) / (2 * kPi);
    for (const bool coefficients : {false, true})
        for (const double a : {0.9999, 0.998}) {
            const double expected =
                100 * (highPassAmplitude(a, 1) / highPassAmplitude(a, corner) - 1);
            HandmadeChannel ch;
            ch.response = velocityResponse() + highPass(a, coefficients);
            std::string why;
            const auto sac = toSac(only(document({ch})), why);
            const std::string said = sac ? sac->notes.at(0) : why;
            EXPECT_EQ(bool(sac), expected <= 5) << said;
            EXPECT_NE(said.find("stage 3"), std::string::npos) << said;
            EXPECT_NEAR(percentIn(said), expected, 0.005 * expected) << said;
        }
}

namespace {

std::string listResponse(const std::vector<std::pair<std::string, std::string>>& rows,
                         const std::string& fs) {
    std::string list;
    for (const auto& [f, a] : rows)
        list += "<ResponseListElement><Frequency>" + f + "</Frequency><Amplitude>" + a +
                "</Amplitude><Phase>0</Phase></ResponseListElement>";
    return sensitivity("2000", fs) + "<Stage number=\"1\"><ResponseList>" + units("M/S", "COUNTS") +
           list + "</ResponseList>" + stageGain("2000", fs) + "</Stage>";
}

} // namespace

// The sensitivity's frequency between two rows: the stored text gives the document's
// sensitivity there as the FAP evaluation reads it (CALIB = 1e9 / 2000 counts per m/s).
TEST(StationXmlResponse, AResponseListGivesTheSensitivityBetweenItsRows) {
    HandmadeChannel ch;
    ch.response = listResponse({{"0.1", "4"}, {"0.5", "8"}, {"1", "10"}, {"2", "12"}}, "1.5");
    std::string why;
    const auto fap = toFap(only(document({ch})), why);
    ASSERT_TRUE(fap) << why;
    const auto calib = orv::gainbook::response::panelCalib(
        fap->text, orv::gainbook::formats::LoadedFileKind::FapOrv, {"1.5", "nm/counts*sec", "Hz"});
    EXPECT_NEAR(std::stod(calib.calib), 1e9 / 2000, 1e-5 * 1e9 / 2000) << fap->text;
}

// A list the stored text cannot hold is refused with the real reason.
TEST(StationXmlResponse, AResponseListTooLongOrTooLargeSaysSo) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (int i = 1; i <= 3972; ++i)
        rows.emplace_back(std::to_string(i * 0.001), "1");
    HandmadeChannel ch;
    ch.response = listResponse(rows, "1");
    std::string why;
    EXPECT_FALSE(toFap(only(document({ch})), why));
    EXPECT_NE(why.find("3972 rows, more than the 3971"), std::string::npos) << why;

    ch.response = listResponse({{"0.1", "1"}, {"0.5", "1e300"}, {"1", "1"}, {"2", "1"}}, "1");
    EXPECT_FALSE(toFap(only(document({ch})), why));
    EXPECT_NE(why.find("ResponseListElement 2"), std::string::npos) << why;
}
