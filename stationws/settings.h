// The service's settings as the administrator gives them: each from its option, else from
// the environment variable STATIONWS_ and the option's name in capitals (--http-threads:
// STATIONWS_HTTP_THREADS), as systemd's EnvironmentFile sets them; the data source, user
// and password, when neither gives the data source, from [DATABASE] of ORV.ini. The password
// never appears in a message.
#pragma once

#include "service.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orv::stationws {

extern const char* const kUsage;

struct Settings {
    std::optional<Config> config; // set when the service can start with them
    bool help = false;            // --help: print kUsage
    std::string error;            // why not, for stderr
};

// The value of an environment variable, or null.
using Environment = std::function<const char*(const char*)>;

// Reads the arguments after the program's name.
Settings readSettings(const std::vector<std::string>& arguments, const Environment& environment);

} // namespace orv::stationws
