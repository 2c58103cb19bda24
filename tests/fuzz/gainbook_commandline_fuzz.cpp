// The response editor's command line: the connection keys and the start selection, one
// argument a line of the input.
#include "fuzz.h"

#include "commandline.h"
#include "text/text.h"

using namespace orv::gainbook;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> arguments = orv::fuzz::lines(orv::fuzz::asText(data, size));
    const ConnectionSettings current{"ORV", "ORV", "KTZ"};
    const std::optional<ConnectionSettings> keys =
        parseConnectionKeys(joinArguments(arguments), current);
    if (keys) {
        for (const std::string* value : {&keys->dataSource, &keys->user, &keys->password})
            ORV_FUZZ_CHECK(orv::text::length(*value) <= kSettingChars);
    }
    const StartSelection selection = parseStartSelection(arguments);
    ORV_FUZZ_CHECK(selection.requested || selection.station.empty());
    for (const std::string* part : {&selection.station, &selection.channel, &selection.location})
        ORV_FUZZ_CHECK(part->find(':') == std::string::npos);
    return 0;
}
