// Checks of a written StationXML document by tools no one here wrote: FDSN's schema with
// xmllint, and seisplotjs's parser (tests/client).
#pragma once

#include "clirunner.h"
#include "testdb.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orv::stationxml::test {

inline const std::filesystem::path kSource = ORV_SOURCE_DIR;

inline std::string runShell(const std::string& command, int& status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        status = -1;
        return out;
    }
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    status = pclose(p);
    return out;
}

// xmllint's verdict against FDSN's schema; skips (with a message) when the schema is absent.
inline void expectSchemaValid(const std::filesystem::path& file) {
    // Beside the project's root; ORV_SHARED_DIR names another place.
    const char* shared = std::getenv("ORV_SHARED_DIR");
    const auto xsd = (shared ? std::filesystem::path(shared) : kSource / ".." / "shared") /
                     "stationxml" / "fdsn-station-1.2.xsd";
    if (!std::filesystem::exists(xsd)) {
        std::printf("skipped the schema check: %s is absent\n", xsd.c_str());
        return;
    }
    int status = 0;
    const std::string out =
        runShell("xmllint --noout --nonet --schema " + orv::gainbook::test::shellQuote(xsd) + " " +
                     orv::gainbook::test::shellQuote(file) + " 2>&1",
                 status);
    EXPECT_EQ(status, 0) << out;
}

// What seisplotjs reads from the file; nullopt (with a message) without Node or the client.
inline std::optional<QJsonArray> clientView(const std::filesystem::path& file) {
    const auto client = kSource / "tests" / "client";
    if (!std::filesystem::exists(client / "node_modules" / "seisplotjs")) {
        std::printf("skipped the seisplotjs check: run npm ci in tests/client\n");
        return std::nullopt;
    }
    int status = 0;
    const std::string out = runShell(
        "node " + orv::gainbook::test::shellQuote((client / "parse-stationxml.mjs").string()) +
            " " + orv::gainbook::test::shellQuote(file),
        status);
    EXPECT_EQ(status, 0) << out;
    return QJsonDocument::fromJson(QByteArray::fromStdString(out)).array();
}

// A test of gainbook-cli on a fresh database of each back end, in a folder of its own.
class CliOnDatabase : public testing::TestWithParam<orv::test::Backend> {
protected:
    CliOnDatabase() : db(GetParam()) {}
    void SetUp() override { ORV_SKIP_IF_UNAVAILABLE(db); }

    orv::gainbook::test::Outcome run(std::vector<std::string> args) {
        for (std::string a : {"--dsn", db.dsn().c_str(), "--user", "ORV", "--password", "KTZ"})
            args.push_back(a);
        return orv::gainbook::test::runCli(dir.path(), args);
    }

    orv::test::TestDatabase db;
    orv::test::TempDir dir;
};

} // namespace orv::stationxml::test
