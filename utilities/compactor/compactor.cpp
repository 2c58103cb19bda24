#include "compactor.h"

#include "odbc/installer.h"

#include <odbcinst.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <system_error>

namespace orv::compactor {

namespace {

constexpr const char* kVacuum = "VACUUM";
// How long the compaction waits for another connection's lock to go before it fails.
constexpr int kBusyTimeoutMs = 2000;

constexpr const char* kCaption = "ORV";
constexpr const char* kSucceeded = "ORV Database compacted";
constexpr const char* kError = "Database compact error";

} // namespace

std::string databaseFile(std::string_view dataSource) {
    namespace installer = odbc::installer;
    // unixODBC creates a missing odbc.ini when asked for a value of it: without the file
    // there is no data source, and nothing is written.
    char directory[1280] = {};
    WORD length = 0;
    std::error_code ec;
    if (!SQLInstallDriverManager(directory, sizeof directory, &length) ||
        !std::filesystem::exists(std::filesystem::path(directory) / installer::kDataSourcesFile,
                                 ec))
        return {};
    for (const char* key : {"DBQ", "Database"}) {
        const auto value = installer::systemValue(installer::kDataSourcesFile, dataSource, key);
        if (value && !value->empty())
            return *value;
    }
    return {};
}

CompactResult compactFile(const std::string& file) {
    sqlite3* handle = nullptr;
    // Read-write without create: a missing file is an error, not a new empty database.
    const int opened = sqlite3_open_v2(file.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(handle, sqlite3_close);
    if (opened != SQLITE_OK)
        return {false, db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(opened)};
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    char* error = nullptr;
    if (sqlite3_exec(db.get(), kVacuum, nullptr, nullptr, &error) != SQLITE_OK) {
        CompactResult failed{false, error ? error : sqlite3_errmsg(db.get())};
        sqlite3_free(error);
        return failed;
    }
    return {true, {}};
}

int run(ui::Interaction& ui, const std::string& file, const Compact& compact) {
    if (file.empty()) {
        ui.error(kError, kCaption);
        return kNotConfigured;
    }
    // The same first line for every failure, as scripts and operators know it; SQLite's
    // reason below it.
    if (const CompactResult result = compact(file); !result.ok) {
        ui.error(result.error.empty() ? std::string(kError) : kError + ("\n" + result.error),
                 kCaption);
        return kFailed;
    }
    ui.inform(kSucceeded, kCaption);
    return kCompacted;
}

} // namespace orv::compactor
