#include "formats/gse2header.h"
#include "formats/polezero.h"
#include "formats/responsefile.h"

#include "testdb.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>

using namespace orv::gainbook::formats;

namespace {

FormatQuestion answer(LoadedFileKind kind) {
    return [kind] { return std::optional<LoadedFileKind>(kind); };
}

const FormatQuestion kNeverAsked = [] {
    ADD_FAILURE() << "the format must not be asked for";
    return std::optional<LoadedFileKind>();
};

const char* const kPoleZero = "ZEROS 1\nPOLES 1\n-1.0\t2.0\nCONSTANT 5\n";

std::string dataFile(const std::string& name) {
    return std::string(GAINBOOK_TEST_DATA) + "/" + name;
}

ReadStatus readAs(LoadedFileKind kind, const std::string& bytes) {
    return readResponseFile(bytes, "f", "t", answer(kind)).status;
}

} // namespace

TEST(ResponseFile, ExportedFileWithFiveHeaderLines) {
    const std::string bytes = "# Station ABC\r\n# Channel BHZ\r\n# Location 00\r\n# Network KZ\r\n"
                              "# Time 2020.01.02 03:04:05 / 2021.01.01 00:00:00\r\n" +
                              std::string(kPoleZero);
    const ReadResult r = readResponseFile(bytes, "abc.sac", "2000.01.01 00:00:00", kNeverAsked);
    ASSERT_EQ(r.status, ReadStatus::Read);
    EXPECT_EQ(r.file.kind, LoadedFileKind::Sac);
    EXPECT_EQ(r.file.label, "  abc.sac (SAC)");
    EXPECT_EQ(r.file.fields.station, "ABC");
    EXPECT_EQ(r.file.fields.channel, "BHZ");
    EXPECT_EQ(r.file.fields.location, "00");
    EXPECT_EQ(r.file.fields.network, "KZ");
    EXPECT_EQ(r.file.fields.time, "2020.01.02 03:04:05 / 2021.01.01 00:00:00");
    EXPECT_EQ(r.file.text, "ZEROS 1\r\nPOLES 1\r\n-1.0 2.0\r\nCONSTANT 5\r\n");
    EXPECT_FALSE(r.file.lookUpStationTables);
    EXPECT_FALSE(r.file.intervalToSelect);
}

TEST(ResponseFile, ExportedFileWithOlderThreeLineHeaderKeepsNetworkAndLocation) {
    const ReadResult r = readResponseFile("# Station ABC\n# Channel BHZ\n# Time 2020.01.02\n" +
                                              std::string(kPoleZero),
                                          "a", "", kNeverAsked);
    EXPECT_EQ(r.file.fields.time, "2020.01.02");
    EXPECT_FALSE(r.file.fields.location);
    EXPECT_FALSE(r.file.fields.network);
    EXPECT_EQ(r.file.text.substr(0, 9), "ZEROS 1\r\n");
}

TEST(ResponseFile, ExportedFileShorterThanItsHeader) {
    const ReadResult r = readResponseFile("# Station X", "a", "", kNeverAsked);
    EXPECT_EQ(r.file.fields.station, "X");
    EXPECT_EQ(r.file.fields.channel, "");
    EXPECT_EQ(r.file.fields.time, "");
    EXPECT_EQ(r.file.text, "");
}

TEST(ResponseFile, ExportedHeaderFieldsBeginAtACharacterNotAByte) {
    // A Windows-1251 header whose keyword runs into a letter: the field still begins at
    // the eleventh character, and is whole UTF-8.
    const ReadResult r =
        readResponseFile("# Station\xC6KIV\n# Channel\xDE BHZ\n# Time t\n", "a", "", kNeverAsked);
    EXPECT_EQ(r.file.fields.station, "KIV");
    EXPECT_EQ(r.file.fields.channel, "BHZ"); // blanks around a value are dropped
}

TEST(ResponseFile, CalibrationHeaderTellsTheFlavour) {
    const std::string body = "1.0 4e9 0.0\n2.0 8e9 0.0\n";
    const std::string orv = buildGse2Header("ABC", "BHZ", "2020/01/02 03:04:05", 2, "ORV") + body;
    ReadResult r = readResponseFile(orv, "x.fap", "", kNeverAsked);
    ASSERT_EQ(r.status, ReadStatus::Read);
    EXPECT_EQ(r.file.kind, LoadedFileKind::FapOrv);
    EXPECT_EQ(r.file.label, "  x.fap (FAP)");
    EXPECT_EQ(r.file.fields.station, "ABC");
    EXPECT_EQ(r.file.fields.channel, "BHZ");
    EXPECT_EQ(r.file.fields.time, "2020/01/02 03:04:05");
    EXPECT_FALSE(r.file.fields.network);
    EXPECT_EQ(r.file.text,
              " 1.0000000  4.0000000e+009  0.0\r\n 2.0000000  8.0000000e+009  0.0\r\n");

    // GSE2 amplitudes are turned into ORV ones, and the panel then holds an ORV text.
    const std::string gse2 = buildGse2Header("ABCDE", "HHZ", "t", 2, "GSE2") + body;
    r = readResponseFile(gse2, "x.fap", "", kNeverAsked);
    EXPECT_EQ(r.file.kind, LoadedFileKind::FapOrv);
    EXPECT_EQ(r.file.fields.station, "ABCDE");
    EXPECT_EQ(r.file.text,
              " 1.0000000  2.5000000e+008  0.0\r\n 2.0000000  1.2500000e+008  0.0\r\n");
}

TEST(ResponseFile, BareFileAsksForTheFormatAndTakesTheFileTime) {
    const ReadResult r = readResponseFile("* a comment\n" + std::string(kPoleZero), "pz",
                                          "2024.05.06 07:08:09", answer(LoadedFileKind::Sac));
    ASSERT_EQ(r.status, ReadStatus::Read);
    EXPECT_EQ(r.file.label, "  pz (SAC)");
    // The first line stays part of a pole-zero text; tabs become blanks.
    EXPECT_EQ(r.file.text, "* a comment\r\nZEROS 1\r\nPOLES 1\r\n-1.0 2.0\r\nCONSTANT 5\r\n");
    EXPECT_EQ(r.file.fields.time, "2024.05.06 07:08:09");
    EXPECT_EQ(r.file.intervalToSelect, "2024.05.06 07:08:09");
    EXPECT_TRUE(r.file.lookUpStationTables);
    EXPECT_FALSE(r.file.fields.station);

    const auto cancel = [] { return std::optional<LoadedFileKind>(); };
    EXPECT_EQ(readResponseFile("x", "f", "", cancel).status, ReadStatus::Cancelled);
}

TEST(ResponseFile, BareTwoColumnFapGetsAZeroPhase) {
    // The first line of a bare FAP file is its title and is not kept.
    const ReadResult r = readResponseFile("title line\r\n1.0\t2.0\r\n3.0 4.0\r\n", "f.fap", "t",
                                          answer(LoadedFileKind::FapOrv));
    ASSERT_EQ(r.status, ReadStatus::Read);
    EXPECT_EQ(r.file.label, "  f.fap (FAP)");
    EXPECT_EQ(r.file.text,
              " 1.0000000  2.0000000e+000  0.0\r\n 3.0000000  4.0000000e+000  0.0\r\n");

    // Bare GSE2 amplitudes are inverted.
    const ReadResult g = readResponseFile("t\n1 2 45\n", "g", "t", answer(LoadedFileKind::FapGse2));
    EXPECT_EQ(g.file.kind, LoadedFileKind::FapOrv);
    EXPECT_EQ(g.file.text, " 1.0000000  5.0000000e+017  0.0\r\n");
}

TEST(ResponseFile, TwoColumnTest) {
    EXPECT_TRUE(isTwoColumnFap("1.0 2.0\r\n3 4 5\r\n"));
    EXPECT_TRUE(isTwoColumnFap("  1.0   2.0  \r\n"));
    EXPECT_FALSE(isTwoColumnFap("1.0 2.0 0.0\r\n"));
    EXPECT_FALSE(isTwoColumnFap("1.0\r\n2 3\r\n"));
    // Only the first 31 characters count.
    EXPECT_TRUE(isTwoColumnFap(std::string(20, ' ') + "1.0 2.0" + std::string(10, ' ') + "3\r\n"));
}

TEST(ResponseFile, PoleZeroTextNamedAsFapIsRefusedBeforeFormatting) {
    const ReadResult r = readResponseFile("title\n" + std::string(kPoleZero), "f", "t",
                                          answer(LoadedFileKind::FapOrv));
    EXPECT_EQ(r.status, ReadStatus::WrongFormat);
}

TEST(ResponseFile, EveryRealPoleZeroFileNamedAsFapIsRefused) {
    // Three of them begin with "ZEROS", the title line a bare FAP file drops; one is a
    // GSE1 "CAL1 ... PAZ" block.
    for (const char* name :
         {"obspy_IU.ANMO.00.BHZ.sacpz", "obspy_IU_ANMO_00_BHZ.sacpz", "obspy_IU_ANMO_BH.sacpz",
          "obspy_NZCRLZ_HHZ10.pz", "obspy_SAC_PZs_KARC_BHZ", "obspy_SAC_PZs_NZ_CRLZ_HHZ",
          "obspy_SAC_PZs_NZ_HHZ_10", "obspy_STS2_simp.cal"}) {
        std::string error;
        const auto bytes = readFileBytes(dataFile(name), error);
        ASSERT_TRUE(bytes) << error;
        EXPECT_EQ(readAs(LoadedFileKind::FapOrv, *bytes), ReadStatus::WrongFormat) << name;
        EXPECT_EQ(readAs(LoadedFileKind::FapGse2, *bytes), ReadStatus::WrongFormat) << name;
    }
}

TEST(ResponseFile, FapFileWithoutATableIsRefused) {
    std::mt19937 random(12);
    std::string noise(3000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    for (const std::string& bytes : {std::string(), std::string("title only\n")})
        EXPECT_EQ(readAs(LoadedFileKind::FapOrv, bytes), ReadStatus::WrongFormat) << bytes;
    // Bytes and numbers that cannot be read are refused naming their line.
    for (const std::string& bytes :
         {noise, std::string("t\n1 2 0\n3 abc 0\n"), std::string("t\nnan 2 0\n"),
          std::string("t\n1 1e999 0\n"), std::string("t\n1 0x10\n")})
        EXPECT_EQ(readAs(LoadedFileKind::FapOrv, bytes), ReadStatus::Unreadable) << bytes;
    // The phase is not read; signed and point-first numbers are numbers.
    EXPECT_EQ(readAs(LoadedFileKind::FapOrv, "t\n+1 -.5 phase\n"), ReadStatus::Read);
    // A GSE2 amplitude that inverts to no finite ORV amplitude; as ORV it stays 0.
    EXPECT_EQ(readAs(LoadedFileKind::FapGse2, "t\n1 0 0\n"), ReadStatus::WrongFormat);
    EXPECT_EQ(readAs(LoadedFileKind::FapGse2, "t\n1 1e-300 0\n"), ReadStatus::WrongFormat);
    EXPECT_EQ(readAs(LoadedFileKind::FapOrv, "t\n1 0 0\n"), ReadStatus::Read);
}

TEST(ResponseFile, FapTextBeyondTheWorkingBufferIsRefused) {
    std::string bytes = "title\n";
    while (bytes.size() <= kWorkingBufferSize)
        bytes += "1.0 2.0 0.0\n";
    EXPECT_EQ(readResponseFile(bytes, "f", "t", answer(LoadedFileKind::FapOrv)).status,
              ReadStatus::TooManyRows);
}

TEST(ResponseFile, FapLimitIsARowCount) {
    // Rows written long in the file: 3971 of them are more bytes than the text holds,
    // but in the triplet layout they fill it to 3971 * 33 = 131043 characters.
    const std::string row = " 1.00000000  2.00000000e+00  0.0\n";
    ASSERT_EQ(row.size(), kFapRowChars);
    std::string bytes = "t\n";
    for (std::size_t i = 0; i < kMaxFapRows; ++i)
        bytes += row;
    ReadResult r = readResponseFile(bytes, "f", "t", answer(LoadedFileKind::FapOrv));
    ASSERT_EQ(r.status, ReadStatus::Read);
    EXPECT_EQ(r.file.text.size(), kMaxFapRows * kFapRowChars);
    EXPECT_EQ(kMaxFapRows, 3971u);
    // One row more is refused by its count, short rows as well.
    EXPECT_EQ(readAs(LoadedFileKind::FapOrv, bytes + row), ReadStatus::TooManyRows);
    std::string shortRows = "t\n";
    for (std::size_t i = 0; i <= kMaxFapRows; ++i)
        shortRows += "1 2\n";
    EXPECT_EQ(readAs(LoadedFileKind::FapGse2, shortRows), ReadStatus::TooManyRows);
    EXPECT_STREQ(refusalMessage(ReadStatus::TooManyRows),
                 "Файл FAP длиннее 3971 строки и не может быть обработан");
    // Frequencies from 1000 on make wider rows, which may not fit even within the count.
    std::string wide = "t\n";
    for (std::size_t i = 0; i < kMaxFapRows; ++i)
        wide += "1000 2 0\n";
    EXPECT_EQ(readAs(LoadedFileKind::FapOrv, wide), ReadStatus::TooLong);
}

TEST(ResponseFile, PoleZeroTextBeyondTheWorkingBufferIsRefused) {
    // "ZEROS 0\r\n...": 30 characters with the line ends the loader writes.
    std::string bytes = "ZEROS 0\nPOLES 0\nCONSTANT 1\n";
    bytes += std::string(kMaxTextChars - 30 - 2, '*') + "\n";
    EXPECT_EQ(readAs(LoadedFileKind::Sac, bytes), ReadStatus::Read);
    EXPECT_EQ(readAs(LoadedFileKind::Sac, "*" + bytes), ReadStatus::TooLong);
}

TEST(ResponseFile, Windows1251AndUtf8TextsAreReadAlike) {
    const std::string utf8 = "# Station ТЕСТ\n# Channel СHZ\n# Time т\nZEROS 0\n";
    const ReadResult fromCp1251 =
        readResponseFile(orv::text::utf8ToCp1251(utf8), "f", "", kNeverAsked);
    const ReadResult fromUtf8 = readResponseFile(utf8, "f", "", kNeverAsked);
    EXPECT_EQ(fromCp1251.file.fields.station, "ТЕСТ");
    EXPECT_EQ(fromCp1251.file.fields.channel, "СHZ");
    EXPECT_EQ(fromUtf8.file.fields.station, "ТЕСТ");
    EXPECT_EQ(fromCp1251.file.text, fromUtf8.file.text);

    // Positions in the calibration line count characters, not bytes.
    const std::string cal = buildGse2Header("ЯКУТ", "ЕНЗ", "время", 1, "ORV") + "1 2 0\n";
    const ReadResult c = readResponseFile(orv::text::utf8ToCp1251(cal), "f", "", kNeverAsked);
    EXPECT_EQ(c.file.fields.station, "ЯКУТ");
    EXPECT_EQ(c.file.fields.channel, "ЕНЗ");
    EXPECT_EQ(c.file.fields.time, "время");
}

TEST(ResponseFile, HelpersForFiles) {
    EXPECT_EQ(baseName("/a/b/c.sac"), "c.sac");
    EXPECT_EQ(baseName("c.sac"), "c.sac");
    std::string error;
    EXPECT_FALSE(readFileBytes("/nonexistent/file", error));
    EXPECT_NE(error.find("/nonexistent/file"), std::string::npos);
    const std::string path = dataFile("obspy_SAC_PZs_KARC_BHZ");
    const auto bytes = readFileBytes(path, error);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->substr(0, 7), "ZEROS 4");
    EXPECT_EQ(fileTimeText(path).size(), 19u);
}

TEST(ResponseFile, OnlyRegularFilesWithinTheLimitAreRead) {
    orv::test::TempDir dir;
    std::string error;
    const auto refused = [&](const std::string& path, const char* reason) {
        error.clear();
        EXPECT_FALSE(readFileBytes(path, error)) << path;
        EXPECT_EQ(error, path + ": " + reason);
    };
    refused(dir.path().string(), "это каталог, а не файл");
    refused("/dev/zero", "это не обычный файл (канал, устройство или сокет)");
    // A pipe without a writer is refused at once instead of waiting for one.
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    refused(fifo, "это не обычный файл (канал, устройство или сокет)");

    const std::string full = (dir / "full").string();
    std::ofstream(full, std::ios::binary) << std::string(kMaxFileBytes, 'x');
    const auto bytes = readFileBytes(full, error);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), kMaxFileBytes);
    std::ofstream(full, std::ios::app) << "x";
    refused(full, "файл длиннее 131072 байт");
}

namespace {

ReadResult readSac(const std::string& bytes) {
    return readResponseFile(bytes, "f", "t", answer(LoadedFileKind::Sac));
}

} // namespace

TEST(ResponseFile, ControlCharactersAreRefusedNamingTheLine) {
    // A NUL byte in a comment would cut the stored text on some back ends; in a header
    // code it would put the response under another key.
    ReadResult r = readSac(std::string("* comment\n* a NUL \0 here\n", 25) + kPoleZero);
    EXPECT_EQ(r.status, ReadStatus::Unreadable);
    EXPECT_EQ(r.refusal, "Строка 2 файла: управляющий символ (код 0); файл не загружен");
    EXPECT_EQ(refusalText(r), r.refusal);
    r = readResponseFile(std::string("# Station NU\0LLX\n# Channel BHZ\n", 31) + kPoleZero, "f",
                         "t", kNeverAsked);
    EXPECT_EQ(r.status, ReadStatus::Unreadable);
    EXPECT_EQ(r.refusal.rfind("Строка 1 файла:", 0), 0u) << r.refusal;
    for (const char* control : {"\x1B[31m", "\x7F", "\x0C", "\x1A"}) {
        r = readSac("* x\n* y\n# Station A" + std::string(control) + "\n" + kPoleZero);
        EXPECT_EQ(r.status, ReadStatus::Unreadable) << control;
        EXPECT_EQ(r.refusal.rfind("Строка 3 файла:", 0), 0u) << r.refusal;
    }
    // Tabs, CR and LF are the text's own.
    EXPECT_EQ(readSac("*\ta\r\n" + std::string(kPoleZero)).status, ReadStatus::Read);
}

TEST(ResponseFile, NumbersAreReadWholeAndTheFortranExponentAsE) {
    const std::string header = "# Station A\n# Channel B\n# Location 00\n# Network N\n# Time t\n";
    ReadResult r =
        readResponseFile(header + "ZEROS 1\nPOLES 1\n-1.480D-01 1.5d0\nCONSTANT 4.540182D+20\n",
                         "f", "t", kNeverAsked);
    ASSERT_EQ(r.status, ReadStatus::Read) << r.refusal;
    PoleZeroResponse pz;
    ASSERT_TRUE(readPoleZeroText(r.file.text, pz));
    ASSERT_EQ(pz.poles.size(), 1u);
    EXPECT_EQ(pz.poles[0], (Complex{-0.148, 1.5}));
    EXPECT_EQ(pz.constant, 4.540182e20);

    // A token of which only a part is a number: the file's line is named (after the
    // five header lines, or counting a bare file's kept first line).
    for (const auto& [body, line] :
         {std::pair{"ZEROS 1\nPOLES 1\n-1.0 2.0\nCONSTANT 4,540182e+20\n", 9},
          std::pair{"ZEROS 1\n1x 0\nPOLES 0\nCONSTANT 1\n", 7},
          std::pair{"ZEROS 1\nPOLES 1\n-1.0 2.0 3.0\nCONSTANT 1\n", 8},
          std::pair{"ZEROS 1.5\nPOLES 0\nCONSTANT 1\n", 6}}) {
        r = readResponseFile(header + body, "f", "t", kNeverAsked);
        EXPECT_EQ(r.status, ReadStatus::Unreadable) << body;
        EXPECT_EQ(r.refusal, "Строка " + std::to_string(line) +
                                 " файла: число записано неправильно; файл не загружен");
    }
    r = readSac("title\nZEROS 0\nPOLES 0\nCONSTANT 1..0\n");
    EXPECT_EQ(r.status, ReadStatus::Unreadable);
    EXPECT_EQ(r.refusal.rfind("Строка 4 файла:", 0), 0u) << r.refusal;

    // FAP tables alike: the bare file's title line is line 1.
    r = readResponseFile("title\n1.0 1.0D+18 0\n2.0 1,0e18 0\n", "f", "t",
                         answer(LoadedFileKind::FapOrv));
    EXPECT_EQ(r.status, ReadStatus::Unreadable);
    EXPECT_EQ(r.refusal.rfind("Строка 3 файла:", 0), 0u) << r.refusal;
    r = readResponseFile("title\n1.0 1.0D+18 0\n2.0 1.0e18 0\n", "f", "t",
                         answer(LoadedFileKind::FapOrv));
    ASSERT_EQ(r.status, ReadStatus::Read);
    EXPECT_EQ(r.file.text,
              " 1.0000000  1.0000000e+018  0.0\r\n 2.0000000  1.0000000e+018  0.0\r\n");
}

TEST(ResponseFile, AUtf8FileWithAStrayByteIsRefusedNamingItsLine) {
    // Read as Windows-1251 the station would be "РўР‘".
    const ReadResult r = readResponseFile(
        "# Station ТБ\n# Channel BHZ\n# Time t\n* comment \xFF\n" + std::string(kPoleZero), "f",
        "t", kNeverAsked);
    EXPECT_EQ(r.status, ReadStatus::Unreadable);
    EXPECT_EQ(r.refusal.rfind("Строка 4 файла: байт 0xFF", 0), 0u) << r.refusal;
    // A Windows-1251 file, whose letters seldom pair up as UTF-8, is still read as such,
    // one that happens to hold such a pair ("ЖЁ" is C6 A8) too.
    const ReadResult cp1251 = readResponseFile(
        orv::text::utf8ToCp1251("# Station ЖЁЛТ\n# Channel ПРОБА\n# Time t\n") + kPoleZero, "f",
        "t", kNeverAsked);
    ASSERT_EQ(cp1251.status, ReadStatus::Read) << cp1251.refusal;
    EXPECT_EQ(cp1251.file.fields.station, "ЖЁЛТ");
}

TEST(ResponseFile, HeaderValuesLoseTheirBlanksAndAByteOrderMarkIsSkipped) {
    const ReadResult r = readResponseFile("\xEF\xBB\xBF# Station TRL \n# Channel  BHZ\t\n"
                                          "# Location 00 \n# Network KZ  \n"
                                          "# Time 2020.01.02 03:04:05 \n" +
                                              std::string(kPoleZero),
                                          "f", "t", kNeverAsked);
    ASSERT_EQ(r.status, ReadStatus::Read);
    EXPECT_EQ(r.file.fields.station, "TRL");
    EXPECT_EQ(r.file.fields.channel, "BHZ");
    EXPECT_EQ(r.file.fields.location, "00");
    EXPECT_EQ(r.file.fields.network, "KZ");
    EXPECT_EQ(r.file.fields.time, "2020.01.02 03:04:05");
    EXPECT_EQ(r.file.text.rfind("ZEROS", 0), 0u);
    const ReadResult cal = readResponseFile(
        buildGse2Header("ST", "BHZ", "t ", 1, "ORV") + "1 2 0\n", "f", "", kNeverAsked);
    EXPECT_EQ(cal.file.fields.time, "t");
}
