#include "commandline.h"

#include "program.h"
#include "testdb.h"

#include <gtest/gtest.h>

using namespace orv::gainbook;

TEST(ConnectionKeys, AreTakenInUpperCaseWithTheStationSelectionKeepingItsCase) {
    const std::vector<std::string> args{"ODBC=orv", "USER=orv", "PASSWORD=ktz", "Kur:bHz:0a"};
    const auto keys = parseConnectionKeys(joinArguments(args), {});
    ASSERT_TRUE(keys);
    EXPECT_EQ(*keys, (ConnectionSettings{"ORV", "ORV", "KTZ"}));
    const StartSelection sel = parseStartSelection(args);
    EXPECT_TRUE(sel.requested);
    EXPECT_EQ(sel.station, "Kur");
    EXPECT_EQ(sel.channel, "bHz");
    EXPECT_EQ(sel.location, "0a");
    // Cyrillic letters are raised too.
    EXPECT_EQ(parseConnectionKeys("ODBC=база", {})->dataSource, "БАЗА");
}

TEST(ConnectionKeys, MissingKeysKeepWhatTheWindowHad) {
    EXPECT_EQ(parseConnectionKeys("KUR", {}), std::nullopt);
    const ConnectionSettings current{"", "", ""};
    EXPECT_EQ(parseConnectionKeys("ODBC=orv", current), (ConnectionSettings{"ORV", "", ""}));
    // Without the user key the password is not looked for.
    EXPECT_EQ(parseConnectionKeys("ODBC=orv PASSWORD=ktz", current),
              (ConnectionSettings{"ORV", "", ""}));
    EXPECT_EQ(parseConnectionKeys("ODBC=orv USER=u", {"x", "y", "z"}),
              (ConnectionSettings{"ORV", "U", "z"}));
}

TEST(ConnectionKeys, TheDataSourceFollowsItsKeyWhereverItStands) {
    EXPECT_EQ(parseConnectionKeys("KUR:BHZ:00 ODBC=orv USER=a PASSWORD=b", {}),
              (ConnectionSettings{"ORV", "A", "B"}));
}

TEST(ConnectionKeys, ValuesAreKeptToSixtyThreeCharacters) {
    const auto keys =
        parseConnectionKeys("ODBC=" + std::string(80, 'd') + " USER=" + std::string(70, 'u'), {});
    ASSERT_TRUE(keys);
    EXPECT_EQ(keys->dataSource, std::string(63, 'D'));
    EXPECT_EQ(keys->user, std::string(63, 'U'));
}

TEST(StartSelection, TwoColonsCountAsOneAndConnectionKeysAreSkipped) {
    StartSelection sel = parseStartSelection({"odbc=x", "User=y", "PASSWORD=z", "KUR::00"});
    EXPECT_TRUE(sel.requested);
    EXPECT_EQ(sel.station, "KUR");
    EXPECT_EQ(sel.channel, "00");
    EXPECT_EQ(sel.location, "");

    sel = parseStartSelection({"ODBC=x"});
    EXPECT_FALSE(sel.requested);

    sel = parseStartSelection({":::"});
    EXPECT_FALSE(sel.requested);

    // A later argument overwrites what it has.
    sel = parseStartSelection({"AAA:BHZ:00", "BBB:HHZ", "CCC:D:E:F"});
    EXPECT_EQ(sel.station, "CCC");
    EXPECT_EQ(sel.channel, "D");
    EXPECT_EQ(sel.location, "E");
}

// --help and -h print the command line and end at once, without a display and without a
// window (one would wait for the user until the time limit ends it).
TEST(Help, PrintsTheCommandLineAndEndsWithoutAWindow) {
    orv::test::TempDir dir;
    for (const char* option : {"--help", "-h"}) {
        const orv::test::ProgramRun run = orv::test::runProgram(
            "timeout", {"10", GAINBOOK_PROGRAM, "ODBC=X", option}, {}, dir.path());
        EXPECT_EQ(run.status, 0) << option << run.err;
        EXPECT_EQ(run.out, kUsage) << option;
        EXPECT_EQ(run.err, "") << option;
    }
    EXPECT_FALSE(helpRequested({"ODBC=ORV", "KUR:BHZ:00"}));
}
