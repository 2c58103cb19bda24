// Loading a response file into the file panel, every header kind ("# Station", "CAL2",
// a bare file named as SAC, FAP or GSE2 FAP, or with no format named), CALIB included.
#include "fuzz.h"

#include "formats/fap.h"
#include "formats/responsefile.h"
#include "response/panelload.h"
#include "text/text.h"

using namespace orv::gainbook;

namespace {

bool validText(const std::optional<std::string>& field) {
    return !field || orv::text::isValidUtf8(*field);
}

// What the panel shows is UTF-8 that fits the working buffer; a FAP text is in the
// triplet layout, within the row limit, and an ORV one.
void check(const response::PanelLoad& load) {
    const formats::LoadedResponseFile& f = load.file;
    ORV_FUZZ_CHECK(orv::text::isValidUtf8(f.text));
    ORV_FUZZ_CHECK(validText(f.fields.station) && validText(f.fields.channel) &&
                   validText(f.fields.location) && validText(f.fields.network) &&
                   validText(f.fields.time));
    ORV_FUZZ_CHECK(f.text.find('\t') == std::string::npos);
    if (load.status != response::PanelLoadStatus::Loaded)
        return;
    ORV_FUZZ_CHECK(formats::fitsWorkingBuffer(f.text));
    ORV_FUZZ_CHECK(load.calib.status != response::CalibStatus::Set || !load.calib.calib.empty());
    if (f.kind != formats::LoadedFileKind::Sac) {
        ORV_FUZZ_CHECK(f.kind == formats::LoadedFileKind::FapOrv);
        const std::optional<std::size_t> rows = formats::fapRowCount(f.text);
        ORV_FUZZ_CHECK(rows && *rows > 0 && *rows <= formats::kMaxFapRows);
        ORV_FUZZ_CHECK(formats::formatFapTriplets(f.text, false) == f.text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = orv::fuzz::asText(data, size);
    // A bare file is read once for every answer to the format question; a file with a
    // header asks nothing and is read once.
    for (const std::optional<formats::LoadedFileKind> answer :
         {std::optional(formats::LoadedFileKind::Sac),
          std::optional(formats::LoadedFileKind::FapOrv),
          std::optional(formats::LoadedFileKind::FapGse2),
          std::optional<formats::LoadedFileKind>()}) {
        bool asked = false;
        const formats::FormatQuestion ask = [&] {
            asked = true;
            return answer;
        };
        const response::PanelLoad load =
            response::loadIntoPanel(bytes, "f.fap", "2024.01.02 03:04:05", ask, {});
        check(load);
        if (load.status == response::PanelLoadStatus::Cancelled)
            ORV_FUZZ_CHECK(asked && !answer);
        if (!asked)
            break;
    }
    return 0;
}
