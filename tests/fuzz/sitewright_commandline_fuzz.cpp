// The station editor's command line: its values keep to their limits and hold no blank.
#include "fuzz.h"

#include "core/startup.h"
#include "text/text.h"

using namespace orv::sitewright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const StartupValues v = parseCommandLine(orv::fuzz::asText(data, size));
    ORV_FUZZ_CHECK(orv::text::length(v.dsn) <= kMaxDsn);
    ORV_FUZZ_CHECK(orv::text::length(v.user) <= kMaxUserOrPassword);
    ORV_FUZZ_CHECK(orv::text::length(v.password) <= kMaxUserOrPassword);
    ORV_FUZZ_CHECK(orv::text::length(v.requestedStation) <= kMaxRequestedStation);
    for (const std::string* value : {&v.dsn, &v.user, &v.password, &v.requestedStation})
        ORV_FUZZ_CHECK(value->find(' ') == std::string::npos);
    return 0;
}
