// The StationXML import reader and the SAC text made from what it reads: every document is
// read or refused with a reason, and every SAC text it makes reads back with the pole-zero
// reader with the counts it announces.
#include "fuzz.h"

#include "formats/polezero.h"
#include "stationxml/importresponse.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = orv::fuzz::asText(data, size);
    std::vector<orv::stationxml::ImportedEpoch> epochs;
    std::string error;
    const bool read = orv::stationxml::readStationXml(bytes, epochs, error);
    ORV_FUZZ_CHECK(read || !error.empty());
    if (!read)
        ORV_FUZZ_CHECK(epochs.empty());
    for (const auto& e : epochs) {
        std::string why;
        const auto sac = orv::stationxml::toSac(e, why);
        if (!sac) {
            ORV_FUZZ_CHECK(!why.empty());
            continue;
        }
        ORV_FUZZ_CHECK(std::isfinite(sac->a0) && sac->a0 > 0);
        ORV_FUZZ_CHECK(std::isfinite(sac->sensitivity) && sac->sensitivity != 0);
        ORV_FUZZ_CHECK(sac->sensUnit >= 0 && sac->sensUnit <= 2);
        orv::gainbook::formats::PoleZeroResponse pz;
        if (orv::gainbook::formats::readPoleZeroText(sac->text, pz))
            ORV_FUZZ_CHECK(pz.poleCount == int(pz.poles.size()));
    }
    return 0;
}
