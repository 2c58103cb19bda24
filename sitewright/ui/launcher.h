// How the station editor starts the response editor: fully detached, so that the editor
// belongs to no one in this process and never lingers as a zombie when it ends.
#pragma once

#include "core/responselink.h"

namespace orv::sitewright {

// QProcess::startDetached: a double fork; the environment and the working directory are
// inherited, and the program gets a session of its own.
class DetachedLauncher : public ProcessLauncher {
public:
    bool startDetached(const std::string& program,
                       const std::vector<std::string>& arguments) override;
};

} // namespace orv::sitewright
