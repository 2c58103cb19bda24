// The order of start-up: command line, connection settings, the start-up connection,
// the optional schema upgrade, then the station dialog, run by the caller.
#pragma once

#include "core/stationdlg.h"

#include <functional>
#include <string>

namespace orv::sitewright {

// Runs the start-up sequence. runDialog gets the context for the station dialog and the
// requested station code, and returns when the dialog has closed. Returns the exit
// status: 0, or 1 when the start-up connection could not be opened (nothing shown but
// its message).
int runSitewright(const std::string& commandLine, orv::ui::Interaction& ui,
                  ProcessLauncher& launcher,
                  const std::function<void(const DialogContext&, const std::string&)>& runDialog);

} // namespace orv::sitewright
