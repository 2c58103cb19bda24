// The listing of the frequency-response window written as a FAP file, from each kind of
// source, in each flavour and unit direction, loads back to the CALIB of the response it
// was computed from.
#include "response/listingfile.h"

#include "formats/exportfile.h"
#include "response/panelload.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace orv::gainbook;
using formats::LoadedFileKind;
using response::SourceKind;
using response::UnitDirection;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The source as the window holds it (a loaded file), and its CALIB at 1 Hz.
struct Source {
    std::string text;
    SourceKind kind;
    double calib;
};

Source sacSource() {
    const response::PanelLoad load = response::loadIntoPanel(
        readFile(std::string(GAINBOOK_TEST_DATA) + "/obspy_SAC_PZs_KARC_BHZ"), "KARC", "",
        [] { return LoadedFileKind::Sac; }, {});
    return {load.file.text, SourceKind::Sac, orv::text::toDouble(load.calib.calib)};
}

Source fapSource() {
    // ORV amplitude 2e9 at 1 Hz: CALIB = 1e18 / 2e9.
    return {" 0.5000000  1.0000000e+009  0.0\r\n"
            " 1.0000000  2.0000000e+009  0.0\r\n"
            " 2.0000000  3.0000000e+009  0.0\r\n",
            SourceKind::Fap, 5e8};
}

std::string fileFor(const Source& source, UnitDirection units, LoadedFileKind flavour) {
    response::CurveInputs in;
    in.sourceText = source.text;
    in.kind = source.kind;
    in.units = units;
    const std::string listing = response::computeCurve(in).listing;
    std::string refusal;
    return formats::fapFileText({"KARC", "BHZ", "", "", "2005.01.31 00:00:00"},
                                response::listingFapText(in, listing, flavour), flavour, refusal)
        .value_or(refusal);
}

double calibLoadedFrom(const std::string& file) {
    const response::PanelLoad load =
        response::loadIntoPanel(file, "f.fap", "", [] { return std::nullopt; }, {});
    EXPECT_EQ(load.status, response::PanelLoadStatus::Loaded);
    EXPECT_EQ(load.calib.status, response::CalibStatus::Set);
    return orv::text::toDouble(load.calib.calib);
}

} // namespace

TEST(ListingFile, EverySourceFlavourAndDirectionLoadsBackToItsCalib) {
    for (const Source& source : {sacSource(), fapSource()}) {
        ASSERT_GT(source.calib, 0);
        for (UnitDirection units : {UnitDirection::Direct, UnitDirection::Inverse}) {
            for (LoadedFileKind flavour : {LoadedFileKind::FapOrv, LoadedFileKind::FapGse2}) {
                SCOPED_TRACE(testing::Message() << (source.kind == SourceKind::Sac ? "SAC" : "FAP")
                                                << " units " << static_cast<int>(units)
                                                << " flavour " << static_cast<int>(flavour));
                EXPECT_NEAR(calibLoadedFrom(fileFor(source, units, flavour)) / source.calib, 1.0,
                            1e-5);
            }
        }
    }
}

TEST(ListingFile, APoleZeroSourceWritesTheSameFileInBothDirections) {
    const Source sac = sacSource();
    for (LoadedFileKind flavour : {LoadedFileKind::FapOrv, LoadedFileKind::FapGse2})
        EXPECT_EQ(fileFor(sac, UnitDirection::Direct, flavour),
                  fileFor(sac, UnitDirection::Inverse, flavour));
}

TEST(ListingFile, TheFourConversionsLineByLine) {
    response::CurveInputs in;
    in.kind = SourceKind::Fap;
    // A FAP listing in direct units: 1000 times the ORV amplitude.
    const std::string direct = " 1.0000000   2000000000000   0.0\r\n 2.0000000   4e+12   0.0\r\n";
    EXPECT_EQ(response::listingFapText(in, direct, LoadedFileKind::FapOrv),
              " 1.0000000      2e+009  0.0\r\n 2.0000000      4e+009  0.0\r\n");
    EXPECT_EQ(response::listingFapText(in, direct, LoadedFileKind::FapGse2),
              " 1.0000000  5.0000000e+008  0.0\r\n 2.0000000  2.5000000e+008  0.0\r\n");
    in.units = UnitDirection::Inverse;
    const std::string inverse = " 1.0000000   500000000   0.0\r\n 2.0000000   2.5e+08";
    EXPECT_EQ(response::listingFapText(in, inverse, LoadedFileKind::FapOrv),
              " 1.0000000  2.0000000e+009  0.0\r\n"); // the incomplete triplet is dropped
    EXPECT_EQ(response::listingFapText(in, inverse, LoadedFileKind::FapGse2), inverse);
}
