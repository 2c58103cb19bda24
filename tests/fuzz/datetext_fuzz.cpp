// The date texts: the response editor's lenient reader of the dates it wrote itself and
// its strict readers of typed dates and intervals, and the station editor's reading of a
// typed date-time. The first line of the input is also read as a start, the rest as an end.
#include "fuzz.h"

#include "core/stationdlg.h"
#include "db/datetext.h"
#include "db/typedinput.h"

using namespace orv::gainbook;
using orv::odbc::Timestamp;

namespace {

// A date the strict reader takes is one that exists, and its date text reads back as it
// is, strictly and leniently.
void checkTyped(const std::optional<Timestamp>& t) {
    if (!t)
        return;
    ORV_FUZZ_CHECK(t->isValid());
    const std::string text = formatDateText(*t);
    ORV_FUZZ_CHECK(readTypedDate("f", text).value == t);
    ORV_FUZZ_CHECK(parseDateText(text) == *t);
}

void checkInterval(const TypedInterval& interval) {
    if (!interval.ok())
        return;
    checkTyped(interval.start);
    checkTyped(interval.end);
    ORV_FUZZ_CHECK(!interval.end || *interval.end > interval.start);
    const TypedInterval again = readTypedInterval("f", intervalText(interval.start, interval.end));
    ORV_FUZZ_CHECK(again.ok() && again.start == interval.start && again.end == interval.end);
}

// The station editor prints what it read the way it reads it, so that a second reading
// gives the same.
void checkStationDate(const std::string& typed) {
    const Timestamp defaults{2001, 2, 3, 4, 5, 6};
    const orv::sitewright::NormalisedDate n =
        orv::sitewright::normaliseDateTime(typed, defaults, 2030);
    if (!n.valid)
        return;
    ORV_FUZZ_CHECK(n.text.size() == 19);
    const orv::sitewright::NormalisedDate again =
        orv::sitewright::normaliseDateTime(n.text, defaults, 2030);
    ORV_FUZZ_CHECK(again.valid && again.text == n.text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = orv::fuzz::asText(data, size);
    formatDateText(parseDateText(text));
    checkTyped(readTypedDate("f", text).value);
    checkInterval(readTypedInterval("f", text));
    const std::size_t lineEnd = std::min(text.size(), text.find('\n'));
    const std::string_view end = lineEnd < text.size() ? text.substr(lineEnd + 1) : "";
    checkInterval(readTypedInterval("start", text.substr(0, lineEnd), "end", end));
    checkStationDate(std::string(text));
    return 0;
}
