#include "ini/inifile.h"

#include "testdb.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using orv::ini::IniFile;
using orv::test::TempDir;

namespace {

void writeFile(const std::filesystem::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(IniFile, SectionsAndKeysAreFoundWithoutRegardToCase) {
    TempDir dir;
    writeFile(dir / "a.ini", "[Database]\nodbc = ORV2\nUser=operator\n\n[ORV]\nDIR=/opt/orv\n");
    IniFile f(dir / "a.ini");
    EXPECT_TRUE(f.exists());
    EXPECT_EQ(f.read("DATABASE", "ODBC", "x"), "ORV2");
    EXPECT_EQ(f.read("database", "user", "x"), "operator");
    EXPECT_EQ(f.read("orv", "dir", ""), "/opt/orv");
}

TEST(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir dir;
    IniFile missing(dir / "none.ini");
    EXPECT_FALSE(missing.exists());
    EXPECT_EQ(missing.read("DATABASE", "USER", "ORV"), "ORV");
    EXPECT_EQ(missing.readInt("SYSTEM", "USE_DB", 0), 0);
    writeFile(dir / "b.ini", "[DATABASE]\nUSER=\n[SYSTEM]\nUSE_DB=1\n");
    IniFile f(dir / "b.ini");
    EXPECT_EQ(f.read("DATABASE", "PASSWORD", "KTZ"), "KTZ");
    EXPECT_EQ(f.read("DATABASE", "USER", "ORV"), ""); // present but empty
    EXPECT_EQ(f.read("NOSECTION", "USER", "d"), "d");
    EXPECT_EQ(f.readInt("system", "use_db", 0), 1);
}

TEST(IniFile, LongValuesAreCutToTheBuffer) {
    TempDir dir;
    writeFile(dir / "c.ini", "[DATABASE]\nODBC=" + std::string(100, 'D') + "\nUSER=Пользователь\n");
    IniFile f(dir / "c.ini");
    EXPECT_EQ(f.read("DATABASE", "ODBC", "", 31), std::string(31, 'D'));
    EXPECT_EQ(f.read("DATABASE", "USER", "", 4), "Поль");
}

TEST(IniFile, WritesCreateWhatIsMissingAndKeepEverythingElse) {
    TempDir dir;
    IniFile fresh(dir / "sub" / "new.ini");
    ASSERT_TRUE(fresh.write("DATABASE", "ODBC", "ORV"));
    EXPECT_EQ(fresh.read("DATABASE", "ODBC", ""), "ORV");

    writeFile(dir / "d.ini", "; comment kept\n[ORV]\nDIR=/opt/orv\n[database]\nodbc=OLD\nUSER=u\n");
    IniFile f(dir / "d.ini");
    ASSERT_TRUE(f.write("DATABASE", "ODBC", "NEW"));
    ASSERT_TRUE(f.write("DATABASE", "PASSWORD", "KTZ"));
    EXPECT_EQ(f.read("DATABASE", "ODBC", ""), "NEW");
    EXPECT_EQ(f.read("DATABASE", "USER", ""), "u");
    EXPECT_EQ(f.read("DATABASE", "PASSWORD", ""), "KTZ");
    EXPECT_EQ(f.read("ORV", "DIR", ""), "/opt/orv");
    const std::string content = readFile(dir / "d.ini");
    EXPECT_NE(content.find("; comment kept"), std::string::npos);
    EXPECT_EQ(content.find("OLD"), std::string::npos);
}

TEST(IniFile, AWriteReplacesTheFileWholeAndKeepsItsModeAndLink) {
    TempDir dir;
    const std::string before = "[ORV]\nDIR=/opt/orv\n[DATABASE]\nODBC=OLD\n";
    writeFile(dir / "real.ini", before);
    std::filesystem::permissions(dir / "real.ini", std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::owner_write);
    std::filesystem::create_symlink(dir / "real.ini", dir / "link.ini");
    // A reader that opened the file before the write goes on reading the old file whole.
    std::ifstream reader(dir / "real.ini", std::ios::binary);
    ASSERT_TRUE(IniFile(dir / "link.ini")
                    .write("DATABASE", {{"ODBC", "NEW"}, {"USER", "u"}, {"PASSWORD", "p"}}));
    std::ostringstream seen;
    seen << reader.rdbuf();
    EXPECT_EQ(seen.str(), before);

    IniFile f(dir / "real.ini");
    EXPECT_EQ(f.read("DATABASE", "ODBC", ""), "NEW");
    EXPECT_EQ(f.read("DATABASE", "PASSWORD", ""), "p");
    EXPECT_EQ(f.read("ORV", "DIR", ""), "/opt/orv");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(std::filesystem::status(dir / "real.ini").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2); // no temporary file left behind
}

TEST(IniFile, AFileThatCannotBeReadIsNotWritten) {
    TempDir dir;
    // Saved as UTF-16 by a Windows editor: not text this reader understands.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[ORV]\r\nDIR=C:\\ORV\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    writeFile(dir / "orv.ini", utf16);
    EXPECT_FALSE(IniFile(dir / "orv.ini").write("DATABASE", "ODBC", "ORV"));
    EXPECT_EQ(readFile(dir / "orv.ini"), utf16);
}

TEST(IniFile, Windows1251FilesAreReadAndKeptInTheirEncoding) {
    TempDir dir;
    // DIR=C:\Сейсмология in Windows-1251
    writeFile(dir / "orv.ini", "[ORV]\r\nDIR=C:\\\xD1\xE5\xE9\xF1\xEC\xEE\xEB\xEE\xE3\xE8\xFF\r\n");
    IniFile f(dir / "orv.ini");
    EXPECT_EQ(f.read("ORV", "DIR", ""), "C:\\Сейсмология");
    ASSERT_TRUE(f.write("DATABASE", "USER", "Оператор"));
    const std::string content = readFile(dir / "orv.ini");
    EXPECT_NE(content.find("\xD1\xE5\xE9\xF1"), std::string::npos);
    EXPECT_NE(content.find("\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0"), std::string::npos);
    EXPECT_EQ(f.read("DATABASE", "USER", ""), "Оператор");
}

TEST(IniFile, TheSharedFileIsFoundWithoutRegardToCase) {
    TempDir dir;
    orv::test::ScopedEnv settings("ORV_SETTINGS_DIR", dir.path().c_str());
    EXPECT_EQ(orv::ini::systemSettingsDir(), dir.path());
    EXPECT_EQ(orv::ini::systemSettingsFile(), dir / "ORV.ini");
    writeFile(dir / "Orv.INI", "[DATABASE]\nODBC=X\n");
    EXPECT_EQ(orv::ini::systemSettingsFile(), dir / "Orv.INI");
    EXPECT_EQ(orv::ini::findNoCase(dir.path(), "ORV.ini"), dir / "Orv.INI");
    EXPECT_EQ(orv::ini::findNoCase(dir.path(), "Gainbook.ini"), dir / "Gainbook.ini");
}

TEST(SharedSettings, TheUsersFileComesFirstKeyByKeyThenTheMachines) {
    TempDir dir;
    std::filesystem::create_directories(dir / "user");
    std::filesystem::create_directories(dir / "machine");
    orv::test::ScopedEnv user("ORV_SETTINGS_DIR", (dir / "user").c_str());
    orv::test::ScopedEnv machine("ORV_MACHINE_SETTINGS_DIR", (dir / "machine").c_str());
    const orv::ini::SettingsFiles shared = orv::ini::sharedSettings();
    EXPECT_EQ(shared.files(), (std::vector<std::filesystem::path>{dir / "user" / "ORV.ini",
                                                                  dir / "machine" / "ORV.ini"}));
    EXPECT_FALSE(shared.anyExists());
    EXPECT_EQ(shared.read("DATABASE", "ODBC", "ORV"), "ORV");

    // The machine's file alone serves an account without a file of its own.
    writeFile(dir / "machine" / "orv.INI", "[DATABASE]\nODBC=ORV_PG\nUSER=orv\nPASSWORD=machine\n");
    const orv::ini::SettingsFiles found = orv::ini::sharedSettings();
    EXPECT_TRUE(found.anyExists());
    EXPECT_EQ(found.read("DATABASE", "ODBC", ""), "ORV_PG");
    // A key the user's file holds wins, even empty; the others still come from the machine's.
    writeFile(dir / "user" / "ORV.ini", "[database]\nodbc=MINE\nPassword=\n");
    EXPECT_EQ(found.find("DATABASE", "ODBC"), "MINE");
    EXPECT_EQ(found.find("DATABASE", "PASSWORD"), "");
    EXPECT_EQ(found.find("DATABASE", "USER"), "orv");
    EXPECT_EQ(found.find("DATABASE", "DIR"), std::nullopt);
    EXPECT_EQ(found.names(),
              (dir / "user" / "ORV.ini").string() + ", " + (dir / "machine" / "orv.INI").string());
    // Changed settings go back to the user's file only.
    EXPECT_EQ(found.writable(), dir / "user" / "ORV.ini");
}
