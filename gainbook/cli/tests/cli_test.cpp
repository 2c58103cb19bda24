// Runs the built gainbook-cli on real files and compares its output with the library's.
#include "clirunner.h"
#include "formats/responsefile.h"
#include "response/curve.h"
#include "response/panelload.h"
#include "response/plot.h"
#include "testdb.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

using namespace orv::gainbook;

namespace {

using test::Outcome;
using test::slurp;

class Cli : public testing::Test {
protected:
    Outcome run(const std::vector<std::string>& args) { return test::runCli(dir.path(), args); }
    std::string write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }
    orv::test::TempDir dir;
};

std::string data(const std::string& name) {
    return std::string(GAINBOOK_TEST_DATA) + "/" + name;
}

// The listing the library computes for a file loaded as a pole-zero text.
std::string libraryListing(const std::string& path, response::CurveInputs in) {
    std::string error;
    const auto bytes = formats::readFileBytes(path, error);
    const response::PanelLoad l =
        response::loadIntoPanel(bytes.value_or(""), formats::baseName(path), "",
                                [] { return std::optional(formats::LoadedFileKind::Sac); }, {});
    in.sourceText = l.file.text;
    return orv::text::replaceAll(response::computeCurve(in).text(), "\r\n", "\n");
}

} // namespace

TEST_F(Cli, HelpEverywhere) {
    Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* command : {"afr", "calib", "fap", "plot"})
        EXPECT_NE(r.out.find(command), std::string::npos) << command;
    for (const char* command : {"afr", "calib", "fap", "plot"}) {
        r = run({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find(std::string("gainbook-cli ") + command), std::string::npos);
        EXPECT_TRUE(r.err.empty());
    }
    r = run({});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(r.err.empty());
}

TEST_F(Cli, AfrDefaultsPrintTheWindowsListing) {
    const std::string file = data("obspy_IU_ANMO_00_BHZ.sacpz");
    const Outcome r = run({"afr", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    EXPECT_EQ(r.out, libraryListing(file, {}));
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1234);
    EXPECT_EQ(r.out.substr(0, 10), " 0.0010000");
    EXPECT_NE(r.out.find("\n19.9000000   "), std::string::npos);
}

TEST_F(Cli, AfrChoices) {
    const std::string file = data("obspy_SAC_PZs_KARC_BHZ");
    response::CurveInputs in;
    in.motion = response::Motion::Acceleration;
    in.units = response::UnitDirection::Inverse;
    in.low = "1";
    in.high = "2";
    in.points = "3";
    in.decade = false;
    const Outcome r = run({"afr", file, "--motion", "acceleration", "--units=inverse", "--low", "1",
                           "--high", "2", "--points", "3", "--linear", "--format", "sac"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, libraryListing(file, in));
    EXPECT_EQ(r.out.substr(0, 13), " 1.0000000   ");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
}

TEST_F(Cli, AfrOnAFapFile) {
    const std::string file = write("table.fap", "title\n1 2e9\n2 4e9\n4 5e9\n");
    const Outcome r = run({"afr", file, "--format", "fap-orv", "--units", "inverse"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, " 1.0000000       5e+008   0.0\n"
                     " 2.0000000     2.5e+008   0.0\n"
                     " 4.0000000       2e+008   0.0\n");
    // Displacement with the direct button clicked sets the derivative flag.
    const Outcome d = run({"afr", file, "--format", "fap-orv", "--motion", "displacement"});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(d.out.substr(0, 29), " 1.0000000   1.256637e+013   ");
}

// The phase itself is checked on the library; here the option and its refusal.
TEST_F(Cli, AfrPhaseFillsTheThirdColumn) {
    const std::vector<std::string> args = {
        "afr",     data("obspy_SAC_PZs_KARC_BHZ"), "--points", "5", "--low", "1", "--high", "2",
        "--linear"};
    const Outcome plain = run(args);
    std::vector<std::string> withPhase = args;
    withPhase.push_back("--phase");
    const Outcome phase = run(withPhase);
    ASSERT_EQ(phase.status, 0) << phase.err;
    std::istringstream plainLines(plain.out), phaseLines(phase.out);
    std::string plainLine, phaseLine;
    int lines = 0;
    while (std::getline(plainLines, plainLine) && std::getline(phaseLines, phaseLine)) {
        ++lines;
        const std::size_t third = plainLine.size() - 3;
        EXPECT_EQ(phaseLine.substr(0, third), plainLine.substr(0, third));
        EXPECT_NE(phaseLine.substr(third), "0.0");
    }
    EXPECT_EQ(lines, 5);
    // A FAP table holds no phase to list.
    const Outcome fap =
        run({"afr", write("t.fap", "t\n1 2e9\n2 4e9\n"), "--format=fap-orv", "--phase"});
    EXPECT_EQ(fap.status, 1);
    EXPECT_TRUE(fap.out.empty());
}

TEST_F(Cli, PlotWritesThePrintPage) {
    const std::string file = data("obspy_SAC_PZs_KARC_BHZ");
    const std::string pdf = (dir / "karc.pdf").string();
    Outcome r = run({"plot", file, "--sta", "KARC", "--chan", "BHZ", "--time",
                     "2005.01.01 00:00:00", "--low", "0.01", "--out", pdf});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::string text = (dir / "karc.txt").string();
    ASSERT_EQ(
        std::system(("pdftotext " + test::shellQuote(pdf) + " " + test::shellQuote(text)).c_str()),
        0)
        << "pdftotext (poppler-utils) is needed";
    const std::string words = slurp(text);
    for (const char* t :
         {"Станция: KARC Канал: BHZ Время: 2005.01.01 00:00:00", "0.010000", "20.000000"})
        EXPECT_NE(words.find(t), std::string::npos) << t << "\n" << words;
    // A FAP table puts its own bounds on the page.
    r = run({"plot", write("t.fap", "t\n0.5 2e9\n8 4e9\n"), "--format=fap-orv", "--out",
             (dir / "fap.svg").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string svg = slurp(dir / "fap.svg");
    EXPECT_NE(svg.find(">0.500000<"), std::string::npos);
    EXPECT_NE(svg.find(">8.000000<"), std::string::npos);

    EXPECT_EQ(run({"plot", file}).status, 2);
    EXPECT_EQ(run({"plot", file, "--out", (dir / "x.jpg").string()}).status, 2);
    EXPECT_EQ(run({"plot", file, "--out", "/nonexistent/dir/x.png"}).status, 1);
}

// A page that cannot be drawn is refused with the reason, and a picture that is there stays
// as it was.
TEST_F(Cli, PlotRefusesWhatItCannotDrawAndKeepsTheOldPicture) {
    const std::string file = data("obspy_SAC_PZs_KARC_BHZ");
    const std::string pdf = write("old.pdf", "the old picture");
    const Outcome r = run({"plot", file, "--low", "1e-300", "--high", "1e9", "--out", pdf});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(response::kFrequencySpanMessage), std::string::npos) << r.err;
    EXPECT_EQ(slurp(pdf), "the old picture");
}

TEST_F(Cli, CalibAsTheFilePanelShowsIt) {
    const std::string file = data("obspy_IU.ANMO.00.BHZ.sacpz");
    Outcome r = run({"calib", file});
    ASSERT_EQ(r.status, 0) << r.err;
    response::PanelLoad l;
    {
        std::string error;
        l = response::loadIntoPanel(*formats::readFileBytes(file, error), "f", "",
                                    [] { return std::optional(formats::LoadedFileKind::Sac); }, {});
    }
    EXPECT_EQ(r.out, l.calib.calib + "\n");
    EXPECT_EQ(r.out, "1.06458\n");

    const Outcome other = run(
        {"calib", file, "--freq", "0.05", "--calib-unit", "nm/counts", "--freq-unit", "rad/sec"});
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_NE(other.out, r.out);

    const std::string fap = write("t.fap", "t\n1 2e9 0\n2 4e9 0\n");
    r = run({"calib", fap, "--format=fap-orv", "--freq", "2"});
    EXPECT_EQ(r.out, "2.5e+008\n");
    r = run({"calib", fap, "--format=fap-gse2", "--freq", "2"});
    EXPECT_EQ(r.out, "4e+009\n");
    // Above the table there is no CALIB to print.
    r = run({"calib", fap, "--format=fap-orv", "--freq", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(r.err.empty());
}

TEST_F(Cli, FapPrintsTriplets) {
    const std::string file = write("two.fap", "header\r\n1.0\t2.0\r\n3.0 4.0\r\n");
    Outcome r = run({"fap", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, " 1.0000000  2.0000000e+000  0.0\n 3.0000000  4.0000000e+000  0.0\n");
    r = run({"fap", file, "--gse2"});
    EXPECT_EQ(r.out, " 1.0000000  5.0000000e+017  0.0\n 3.0000000  2.5000000e+017  0.0\n");
    // The exported form with its header decides the flavour itself.
    const std::string cal =
        write("cal.fap", "CAL2 ABC   BHZ\nFAP2 0  C               1   GSE2 FAP Triplets 1\n"
                         "1 2 0\n");
    r = run({"fap", cal});
    EXPECT_EQ(r.out, " 1.0000000  5.0000000e+017  0.0\n");
}

TEST_F(Cli, ErrorsGoToStderrWithAFailureStatus) {
    const std::string file = data("obspy_SAC_PZs_KARC_BHZ");
    std::string noise(3000, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 7919 % 251);
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const std::vector<Case> cases = {
        {{"nonsense"}, 2},
        {{"afr"}, 2},
        {{"afr", file, file}, 2},
        {{"afr", file, "--bogus"}, 2},
        {{"afr", file, "--format", "gse"}, 2},
        {{"afr", file, "--motion", "jerk"}, 2},
        {{"afr", file, "--units", "up"}, 2},
        {{"afr", file, "--low", "abc"}, 2},
        {{"afr", file, "--points", "1.5"}, 2},
        {{"afr", file, "--points"}, 2},
        {{"afr", file, "--low", "1", "--low", "2"}, 2},
        {{"fap", file, "--gse2=1"}, 2},
        {{"calib", file, "--freq", ""}, 2},
        {{"afr", "/nonexistent/file"}, 1},
        {{"afr", file, "--points", "0"}, 1},
        {{"afr", file, "--low", "0"}, 1},
        {{"afr", file, "--linear", "--low", "2", "--high", "1"}, 1},
        {{"afr", file, "--linear", "--points", "2000000000"}, 1},
        {{"fap", data("obspy_IU_ANMO_00_BHZ.sacpz")}, 1}, // a pole-zero text named as FAP
        // "ZEROS" on the title line, which a bare FAP file drops; a GSE1 pole-zero block.
        {{"calib", data("obspy_SAC_PZs_NZ_CRLZ_HHZ"), "--format", "fap-orv"}, 1},
        {{"calib", data("obspy_STS2_simp.cal"), "--format", "fap-gse2"}, 1},
        {{"fap", write("empty.fap", "")}, 1},
        {{"fap", dir.path().string()}, 1},
        {{"fap", "/dev/zero"}, 1},
        {{"fap", write("noise.fap", noise)}, 1},
        {{"calib", write("zero.pz", "ZEROS 0\nPOLES 1\n-1 0\nCONSTANT 0\n")}, 1},
        {{"calib", write("zero.fap", "t\n1 0 0\n2 0 0\n"), "--format", "fap-orv"}, 1},
        {{"calib", file, "--freq", "0"}, 2},
        {{"calib", file, "--freq", "inf"}, 2},
        {{"calib", file, "--freq", "nan"}, 2},
        {{"calib", file, "--freq", "0x10"}, 2},
        {{"afr", file, "--high", "1e999"}, 2},
        {{"afr", file, "--points", "0x10"}, 2},
        {{"calib", file, "--freq-unit", "rad/s"}, 2},
        {{"calib", file, "--calib-unit", "counts/nm"}, 2},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        const Outcome r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_NE(
        run({"fap", data("obspy_IU_ANMO_00_BHZ.sacpz")}).err.find("Неправильный формат данных"),
        std::string::npos);
    // A refused number names its option.
    EXPECT_NE(run({"calib", file, "--freq", "inf"}).err.find("--freq"), std::string::npos);
    EXPECT_NE(run({"afr", file, "--points", "0x10"}).err.find("--points"), std::string::npos);
}

TEST_F(Cli, NumbersTakeADecimalComma) {
    const std::string file = data("obspy_SAC_PZs_KARC_BHZ");
    const Outcome point = run({"calib", file, "--freq", "0.5"});
    ASSERT_EQ(point.status, 0) << point.err;
    EXPECT_EQ(run({"calib", file, "--freq", "0,5"}).out, point.out);
    const Outcome low = run({"afr", file, "--low", "0.25", "--high", "1", "--linear"});
    ASSERT_EQ(low.status, 0) << low.err;
    EXPECT_EQ(run({"afr", file, "--low", " 0,25 ", "--high", "1", "--linear"}).out, low.out);
}

TEST_F(Cli, EveryRealFileGivesAFiniteCalib) {
    for (const char* name :
         {"obspy_IU.ANMO.00.BHZ.sacpz", "obspy_IU_ANMO_00_BHZ.sacpz", "obspy_IU_ANMO_BH.sacpz",
          "obspy_NZCRLZ_HHZ10.pz", "obspy_SAC_PZs_KARC_BHZ", "obspy_SAC_PZs_NZ_CRLZ_HHZ",
          "obspy_SAC_PZs_NZ_HHZ_10", "obspy_STS2_simp.cal"}) {
        const Outcome r = run({"calib", data(name)});
        EXPECT_EQ(r.status, 0) << name << r.err;
        double calib = 0;
        EXPECT_TRUE(orv::text::parseDouble(r.out, calib)) << name << r.out;
        EXPECT_TRUE(std::isfinite(calib) && calib > 0) << name;
    }
}

TEST_F(Cli, Windows1251FilesAreRead) {
    const std::string body = "# Station ТЕСТ\n# Channel BHZ\n# Time 2020.01.01 00:00:00\n"
                             "ZEROS 3\nPOLES 1\n-1 0\nCONSTANT 2\n";
    const Outcome a = run({"calib", write("cp.sac", orv::text::utf8ToCp1251(body))});
    const Outcome b = run({"calib", write("u8.sac", body)});
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out);
}

TEST_F(Cli, AfrWritesTheListingAsTheWindowsFapFile) {
    const std::string file = data("obspy_IU_ANMO_00_BHZ.sacpz");
    const std::string out = (dir / "anmo.fap").string();
    const Outcome r = run({"afr", file, "--units", "inverse", "--write-fap", out, "--flavour",
                           "gse2", "--sta", "ANMO", "--time", "2005.01.31 00:00:00"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    // GSE2 in inverse units: the listing itself after the header, in CR LF lines.
    response::CurveInputs inverse;
    inverse.units = response::UnitDirection::Inverse;
    const std::string listing = libraryListing(file, inverse);
    const std::string bytes = slurp(out);
    const std::size_t body = bytes.find("\r\n", bytes.find("\r\n") + 2) + 2;
    EXPECT_EQ(bytes.substr(body), orv::text::replaceAll(listing, "\n", "\r\n"));
    EXPECT_TRUE(bytes.starts_with("CAL2 ANMO  "));
    EXPECT_NE(bytes.find("GSE2 FAP Triplets 1234\r\n"), std::string::npos);

    EXPECT_EQ(run({"afr", file, "--flavour", "gse2"}).status, 2);
    EXPECT_EQ(run({"afr", file, "--write-fap", out, "--phase"}).status, 2);
    const Outcome failed = run({"afr", file, "--write-fap", "/nonexistent-dir/x.fap"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("Ошибка при попытке записи в файл"), std::string::npos);
}

// From frequency 0 the pole-zero amplitude is 0: as GSE2 that is infinite, a file the
// loader refuses, and none is written.
TEST_F(Cli, AfrWritesNoFapFileWithAnInfiniteAmplitude) {
    const std::string file = data("obspy_IU_ANMO_00_BHZ.sacpz");
    const std::string out = (dir / "zero.fap").string();
    const Outcome r =
        run({"afr", file, "--linear", "--low", "0", "--write-fap", out, "--flavour", "gse2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Строка 3 файла FAP:"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
}
