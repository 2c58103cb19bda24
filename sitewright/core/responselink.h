// The small button after each channel name: it starts the response editor on that
// channel, or lets the user pick the channel's response file.
#pragma once

#include "core/startup.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orv::sitewright {

// Where the response editor is looked for last, when the environment variable ORV is
// not set.
inline constexpr const char* kDefaultInstallDir = "/opt/orv";
inline constexpr const char* kGainbookExecutable = "gainbook";

struct ResponseLinkSettings {
    bool useDb = false;                // the buttons start the response editor
    std::string gainbookDir;           // directory that holds the editor
    std::string baseDir;               // base directory of the installation
    std::optional<std::string> orvEnv; // the environment variable ORV
};

// SYSTEM/USE_DB, SYSTEM/GAINBOOK_DIR and ORV/DIR of the local file, ORV/DIR of the
// shared files, and the environment variable ORV.
ResponseLinkSettings readResponseLinkSettings(const std::filesystem::path& localFile,
                                              const orv::ini::SettingsFiles& shared);

// The four places the editor is looked for, in order.
std::vector<std::string> gainbookCandidates(const ResponseLinkSettings& settings,
                                            const std::filesystem::path& currentDir);
// The first candidate that can be opened for reading.
std::optional<std::string> findGainbook(const ResponseLinkSettings& settings,
                                        const std::filesystem::path& currentDir);

// "ODBC=%s USER=%s PASSWORD=%s %s:%s:%s"; station and location code cut to the width of their
// columns (8 characters), which the response editor reads whole.
std::string gainbookArguments(const ConnectionSettings& connection, const std::string& station,
                              const std::string& channel, const std::string& location);
// The whole command line: the program (quoted when it holds a blank), a blank, the
// arguments.
std::string gainbookCommandLine(const std::string& program, const std::string& arguments);

// The directory the file choice opens in: the base directory, a separator, "RESPONSE".
std::string responseDirectory(const std::string& baseDir);

// Starts programs without waiting for them (the window's is DetachedLauncher).
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // argv[0] is the program; false when the process could not be started.
    virtual bool startDetached(const std::string& program,
                               const std::vector<std::string>& arguments) = 0;
};

// Splits a command line at blanks (runs count as one).
std::vector<std::string> splitAtBlanks(const std::string& text);

} // namespace orv::sitewright
