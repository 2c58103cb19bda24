#include "settings.h"

#include "testdb.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

using orv::stationws::readSettings;
using orv::stationws::Settings;

namespace {

using Variables = std::map<std::string, std::string>;

Settings read(const std::vector<std::string>& arguments, const Variables& variables = {}) {
    return readSettings(arguments, [&](const char* name) -> const char* {
        const auto it = variables.find(name);
        return it == variables.end() ? nullptr : it->second.c_str();
    });
}

} // namespace

TEST(StationServiceSettings, AnOptionWinsOverTheEnvironmentWhichWinsOverOrvIni) {
    orv::test::TempDir dir;
    std::ofstream(dir / "ORV.ini") << "[DATABASE]\nODBC=FROMINI\nUSER=iniuser\nPASSWORD=inipass\n";
    orv::test::ScopedEnv settingsDir("ORV_SETTINGS_DIR", dir.path().c_str());

    const Settings fromIni = read({});
    ASSERT_TRUE(fromIni.config) << fromIni.error;
    EXPECT_EQ(fromIni.config->database.dataSource, "FROMINI");
    EXPECT_EQ(fromIni.config->database.user, "iniuser");
    EXPECT_EQ(fromIni.config->database.password, "inipass");
    EXPECT_EQ(fromIni.config->database.timeoutSeconds, 10);

    const Variables environment{{"STATIONWS_DSN", "ORVPG"},
                                {"STATIONWS_USER", "reader"},
                                {"STATIONWS_PASSWORD", "s3cret"},
                                {"STATIONWS_LISTEN", "0.0.0.0:8081"},
                                {"STATIONWS_THREADS", "8"},
                                {"STATIONWS_HTTP_THREADS", "32"},
                                {"STATIONWS_PUBLIC_URL", "https://data.example.org/"}};
    const Settings fromEnvironment = read({}, environment);
    ASSERT_TRUE(fromEnvironment.config) << fromEnvironment.error;
    const auto& c = *fromEnvironment.config;
    EXPECT_EQ(c.database.dataSource, "ORVPG");
    EXPECT_EQ(c.database.user, "reader");
    EXPECT_EQ(c.database.password, "s3cret");
    EXPECT_EQ(c.host, "0.0.0.0");
    EXPECT_EQ(c.port, 8081);
    EXPECT_EQ(c.databaseConnections, 8u);
    EXPECT_EQ(c.httpThreads, 32u);
    EXPECT_EQ(c.publicUrl, "https://data.example.org");

    const Settings fromOptions =
        read({"--dsn", "OTHER", "--threads", "2", "--listen", "127.0.0.1:0"}, environment);
    ASSERT_TRUE(fromOptions.config) << fromOptions.error;
    EXPECT_EQ(fromOptions.config->database.dataSource, "OTHER");
    EXPECT_EQ(fromOptions.config->database.user, "reader");
    EXPECT_EQ(fromOptions.config->databaseConnections, 2u);
    EXPECT_EQ(fromOptions.config->port, 0);
}

TEST(StationServiceSettings, ThePasswordComesFromAFileAndIsNeverRepeated) {
    orv::test::TempDir dir;
    std::ofstream(dir / "password", std::ios::binary) << "s3cret;x\r\nsecond line\n";
    const std::string file = (dir / "password").string();

    const Settings fromFile = read({"--dsn", "ORV", "--password-file", file});
    ASSERT_TRUE(fromFile.config) << fromFile.error;
    EXPECT_EQ(fromFile.config->database.password, "s3cret;x");
    // The command line's file wins over the environment's password; a variable naming the
    // file works as the option does.
    const Settings fileOverVariable =
        read({"--dsn", "ORV", "--password-file", file}, {{"STATIONWS_PASSWORD", "other"}});
    EXPECT_EQ(fileOverVariable.config->database.password, "s3cret;x");
    EXPECT_EQ(read({"--dsn", "ORV"}, {{"STATIONWS_PASSWORD_FILE", file}}).config->database.password,
              "s3cret;x");

    for (const Settings& refused :
         {read({"--dsn", "ORV", "--password-file", file + ".none"}),
          read({"--dsn", "ORV", "--password", "s3cret;x", "--password-file", file}),
          read({"--dsn", "ORV", "--password", "s3cret;x", "--threads", "0"})}) {
        EXPECT_FALSE(refused.config);
        EXPECT_FALSE(refused.error.empty());
        EXPECT_EQ(refused.error.find("s3cret"), std::string::npos) << refused.error;
    }
    EXPECT_NE(std::string(orv::stationws::kUsage).find("ps"), std::string::npos);
}

TEST(StationServiceSettings, BadValuesAreRefusedNamingWhereTheyCameFrom) {
    const Settings threads = read({"--dsn", "ORV"}, {{"STATIONWS_THREADS", "many"}});
    EXPECT_FALSE(threads.config);
    EXPECT_NE(threads.error.find("STATIONWS_THREADS"), std::string::npos) << threads.error;
    EXPECT_FALSE(read({"--dsn", "ORV", "--listen", "8080"}).config);
    EXPECT_FALSE(read({"--dsn", "ORV", "--bogus", "1"}).config);
    EXPECT_FALSE(read({"--dsn"}).config);
    EXPECT_TRUE(read({"--help"}).help);
    // What the WADL and the error texts would repeat as they are: a URL of http or https
    // without quotes, angle brackets, blanks, a query or a fragment.
    for (const char* url : {"ftp://host", "http://", "http://a\"b", "http://h/<x>", "http://h/ x",
                            "http://h/?q", "example.org"})
        EXPECT_FALSE(read({"--dsn", "ORV", "--public-url", url}).config) << url;
    EXPECT_EQ(read({"--dsn", "ORV", "--public-url", "http://h:8080/seismo//"}).config->publicUrl,
              "http://h:8080/seismo");
}
