#include "formats/exportfile.h"

#include "testdb.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace orv::gainbook::formats;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t entries(const fs::path& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

const FileKey kKey{"ABC", "BHZ", "00", "KZ", "2005.01.31 00:00:00 / 2006.10.01 12:00:00"};

} // namespace

TEST(ExportName, StationChannelYearMonthAndDay) {
    EXPECT_EQ(proposedFileName("ABC", "BHZ", "2005.01.31 00:00:00"), "ABC_BHZ_2005jan31");
    EXPECT_EQ(proposedFileName("KIV", "SHZ", "2003.10.05 00:00:00 / 2004.01.01 00:00:00"),
              "KIV_SHZ_2003okt05");
    EXPECT_EQ(proposedFileName("KIV", "SHZ", "2003.13.05"), "KIV_SHZ_200305");
    EXPECT_EQ(proposedFileName("", "", ""), "__");
}

TEST(ExportName, CodesCannotLeadTheNameIntoAnotherFolder) {
    EXPECT_EQ(proposedFileName("../..", "/etc", "2005.01.31"), "_______etc_2005jan31");
    EXPECT_EQ(proposedFileName("A\\B", "C:*?", "2005.01.31"), "A_B_C____2005jan31");
    EXPECT_EQ(proposedFileName("A.B", "Ж\tZ", "2005.01.31"), "A.B_Ж_Z_2005jan31");
}

// Every channel of a station gets a name of its own; no "?" or "/" in a name.
TEST(ExportName, AStationXmlDocumentIsNamedByTheWholeKey) {
    EXPECT_EQ(stationXmlFileName("XX", "HO1", "", "BHZ"), "XX.HO1..BHZ.xml");
    EXPECT_EQ(stationXmlFileName("KZ", "KARC", "00", "BHE"), "KZ.KARC.00.BHE.xml");
    EXPECT_EQ(stationXmlFileName("X/", "..", "?", "B*"), "X_.__._.B_.xml");
}

TEST(ExportText, AFapFileTheLoaderWouldRefuseIsNotWritten) {
    // A stored ORV amplitude of 0 is an infinite GSE2 amplitude; an infinite or missing
    // amplitude is none in either flavour.
    const std::string stored = " 1.0000000  2.0000000e+009  0.0| 2.0000000  0.0000000e+000  0.0";
    std::string refusal;
    EXPECT_TRUE(storedFapFileText(kKey, stored, LoadedFileKind::FapOrv, refusal));
    EXPECT_FALSE(storedFapFileText(kKey, stored, LoadedFileKind::FapGse2, refusal));
    EXPECT_EQ(refusal.rfind("Строка 4 файла FAP:", 0), 0u) << refusal;
    for (const char* text : {" 1.0  inf  0.0\n", " 1.0  2.0  0.0\n nan  1.0  0.0\n"}) {
        refusal.clear();
        EXPECT_FALSE(fapFileText(kKey, text, LoadedFileKind::FapOrv, refusal)) << text;
        EXPECT_FALSE(refusal.empty());
    }
    EXPECT_FALSE(fapFileText(kKey, " 1.0  0.0  0.0\n", LoadedFileKind::FapGse2, refusal));
}

TEST(ExportText, TheCalibrationHeaderIsInWindows1251AsItsColumnsCount) {
    std::string refusal;
    const FileKey key{"ЯКУТ", "ЕНЗ", "", "", "2005.01.31 00:00:00"};
    const auto file = fapFileText(key, " 1.0  2.0  0.0\n", LoadedFileKind::FapOrv, refusal);
    ASSERT_TRUE(file);
    const std::string line1 = file->substr(0, file->find('\n'));
    EXPECT_EQ(line1.substr(0, 9), "CAL2 \xDF\xCA\xD3\xD2"); // ЯКУТ, a byte a letter
    EXPECT_EQ(line1.substr(11, 3), "\xC5\xCD\xC7");         // ЕНЗ at column 12
    EXPECT_EQ(line1.substr(57), "2005.01.31 00:00:00");
}

TEST(ExportText, SacHasFiveHeaderLinesAndEveryLineEnded) {
    EXPECT_EQ(sacFileText(kKey, "ZEROS 0\r\nPOLES 0|CONSTANT 2"),
              "# Station ABC\n# Channel BHZ\n# Location 00\n# Network KZ\n"
              "# Time 2005.01.31 00:00:00 / 2006.10.01 12:00:00\n"
              "ZEROS 0\nPOLES 0\nCONSTANT 2\n");
}

TEST(ExportText, FapOrvKeepsTheStoredTextAndGse2InvertsItsAmplitudes) {
    // Lines stored with "|", the last one without an end: three triplets all the same.
    const std::string stored = " 1.0000000  2.0000000e+009  0.0|"
                               " 2.0000000  4.0000000e+009  0.0\r\n"
                               " 4.0000000  8.0000000e+008  0.0";
    std::string refusal;
    const auto orv = storedFapFileText(kKey, stored, LoadedFileKind::FapOrv, refusal);
    ASSERT_TRUE(orv);
    const std::string line1 = "CAL2 ABC   BHZ" + std::string(43, ' ') + kKey.time + "\n";
    EXPECT_EQ(*orv, line1 + "FAP2 0  C" + std::string(15, ' ') + "3   ORV FAP Triplets 3\n" +
                        " 1.0000000  2.0000000e+009  0.0\n"
                        " 2.0000000  4.0000000e+009  0.0\n"
                        " 4.0000000  8.0000000e+008  0.0\n");
    const auto gse2 = storedFapFileText(kKey, stored, LoadedFileKind::FapGse2, refusal);
    ASSERT_TRUE(gse2);
    EXPECT_EQ(*gse2, line1 + "FAP2 0  C" + std::string(15, ' ') + "3   GSE2 FAP Triplets 3\n" +
                         " 1.0000000  5.0000000e+008  0.0\n"
                         " 2.0000000  2.5000000e+008  0.0\n"
                         " 4.0000000  1.2500000e+009  0.0\n");
}

TEST(ResponseFileOnDisk, EveryLineEndsInCrLf) {
    orv::test::TempDir dir;
    std::string why;
    ASSERT_TRUE(writeResponseFile((dir / "a.sac").string(), "a\nb\r\n\nc\n", why)) << why;
    EXPECT_EQ(readFile(dir / "a.sac"), "a\r\nb\r\n\r\nc\r\n");
}

TEST(ResponseFileOnDisk, AnUnwritableDirectoryGetsNoFile) {
    orv::test::TempDir dir;
    // Permissions do not stop root; nobody can create a file in the kernel's /sys.
    fs::path readOnly = "/sys";
    if (geteuid() != 0) {
        readOnly = dir / "read-only";
        fs::create_directory(readOnly);
        fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    }
    std::string why;
    EXPECT_FALSE(writeResponseFile((readOnly / "ABC_BHZ_2005jan31").string(), "x\n", why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(fs::exists(readOnly / "ABC_BHZ_2005jan31"));
}

TEST(ResponseFileOnDisk, AWriteThatFailsHalfWayLeavesTheOldFileAsItWas) {
    orv::test::TempDir dir;
    const fs::path target = dir / "old.fap";
    std::ofstream(target, std::ios::binary) << "the old file\r\n";
    // A file size limit makes the write fail after 4 KiB, as a full disk would.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string why;
    const bool written = writeResponseFile(target.string(), std::string(65536, '1') + "\n", why);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(readFile(target), "the old file\r\n");
    EXPECT_EQ(entries(dir.path()), 1u); // no temporary file left behind
}
