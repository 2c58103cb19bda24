// The service's own documents: the help page and the WADL.
#pragma once

#include <string>

namespace orv::stationws {

// The help page of the service's folder (HTML).
extern const char* const kHelp;

// The WADL of the service at base (a URL ending in '/', written as it is into the document).
std::string wadl(const std::string& base);

} // namespace orv::stationws
