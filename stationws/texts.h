// The service's own pages: the help page and the WADL.
#pragma once

#include <string>

namespace orv::stationws {

// text with the characters XML gives a meaning escaped, for an attribute value.
std::string xmlEscaped(const std::string& text);

// The help page (HTML).
extern const char* const kHelp;

// The WADL of the service at base (a URL ending in '/', written as it is into the document).
std::string wadl(const std::string& base);

} // namespace orv::stationws
