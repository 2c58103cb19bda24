// Finding the channel of a bare response file: SITECHAN names each channel's response
// file in CALIBFILE (written by the station editor).
#pragma once

#include "odbc/odbc.h"
#include "ui/interaction.h"

#include <optional>
#include <string>

namespace orv::gainbook {

struct SiteChanMatch {
    std::string station;
    std::string channel;
    std::optional<std::string> location; // when SITECHAN has LCODE
    std::string time;                    // date text: SITECHAN.LDDATE or the file time
};

// Looks the file name (without directory) up in SITECHAN.CALIBFILE; the first row found
// decides. When the row has an LDDATE, the user chooses between it and the file time.
// nullopt when no row names the file (a failed query counts as no row).
std::optional<SiteChanMatch> lookUpResponseFile(orv::odbc::Connection& connection,
                                                orv::ui::Interaction& ui,
                                                const std::string& fileName,
                                                const std::string& fileTime);

} // namespace orv::gainbook
