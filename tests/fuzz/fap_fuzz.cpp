// The FAP formatter, its row count and the CALIB evaluation of a FAP text, and the curve
// of the frequency-response window drawn from one.
#include "fuzz.h"

#include "formats/fap.h"
#include "formats/responsetext.h"
#include "response/curve.h"

#include <algorithm>

using namespace orv::gainbook;

namespace {

std::size_t count(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(what); pos != std::string_view::npos;
         pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}

// The formatted text fits, has a line end for every whole triplet (the row count counts
// a last incomplete one too), and reads back as itself.
void format(std::string_view text, bool invert) {
    const std::optional<std::string> triplets = formats::formatFapTriplets(text, invert);
    if (!triplets)
        return;
    ORV_FUZZ_CHECK(triplets->size() <= formats::kMaxTextChars);
    ORV_FUZZ_CHECK(formats::fitsWorkingBuffer(*triplets));
    const std::optional<std::size_t> rows = formats::fapRowCount(text);
    const std::size_t lineEnds = count(*triplets, formats::kCrLf);
    if (rows)
        ORV_FUZZ_CHECK(lineEnds == *rows || lineEnds + 1 == *rows);
    ORV_FUZZ_CHECK(formats::formatFapTriplets(*triplets, false) == *triplets);
}

void evaluate(std::string_view freq, std::string_view text) {
    formats::freqEditTriggersEvaluation(freq);
    for (const formats::LoadedFileKind kind :
         {formats::LoadedFileKind::Sac, formats::LoadedFileKind::FapOrv,
          formats::LoadedFileKind::FapGse2}) {
        const formats::FapCalib c = formats::evaluateFapCalib(freq, text, kind);
        ORV_FUZZ_CHECK(c.status != formats::FapCalibStatus::Set || !c.calib.empty());
        ORV_FUZZ_CHECK(c.status != formats::FapCalibStatus::TooLong ||
                       !formats::fitsWorkingBuffer(text));
        if (kind == formats::LoadedFileKind::Sac || text.empty())
            ORV_FUZZ_CHECK(c.status == formats::FapCalibStatus::Unchanged);
    }
}

void curve(std::string_view text, response::Motion motion, response::UnitDirection units) {
    response::CurveInputs in;
    in.sourceText = std::string(text);
    in.kind = response::SourceKind::Fap;
    in.motion = motion;
    in.units = units;
    in.derivative = true;
    const response::CurveResult out = response::computeCurve(in);
    ORV_FUZZ_CHECK(out.points.size() == out.lines().size());
    ORV_FUZZ_CHECK(out.fapFields.has_value() == !out.points.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = orv::fuzz::asText(data, size);
    format(text, false);
    format(text, true);

    // Frequencies between the rows and on the first one.
    const std::size_t first = std::min(text.size(), text.find_first_not_of(" \r\n"));
    const std::string_view firstWord =
        text.substr(first, text.find_first_of(" \r\n", first) - first);
    for (const std::string_view freq :
         {std::string_view("1.0"), std::string_view("0.5"), firstWord})
        evaluate(freq, text);
    const std::optional<std::string> triplets = formats::formatFapTriplets(text, false);
    if (triplets)
        evaluate(firstWord, *triplets);

    curve(text, response::Motion::Displacement, response::UnitDirection::Direct);
    curve(text, response::Motion::Acceleration, response::UnitDirection::Inverse);
    return 0;
}
