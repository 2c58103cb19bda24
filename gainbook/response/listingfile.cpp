#include "response/listingfile.h"

#include "formats/fap.h"
#include "text/text.h"

namespace orv::gainbook::response {

namespace {

// Each whole triplet of the listing (frequency, amplitude; the phase is dropped) as a line.
template <typename Line> std::string convert(std::string_view listing, Line line) {
    constexpr std::string_view delims = " \r\n\t";
    std::string out;
    std::string_view words[3];
    int field = 0;
    std::size_t pos = listing.find_first_not_of(delims);
    while (pos != std::string_view::npos) {
        const std::size_t end = listing.find_first_of(delims, pos);
        words[field] = listing.substr(pos, end == std::string_view::npos ? end : end - pos);
        pos = end == std::string_view::npos ? end : listing.find_first_not_of(delims, end);
        if (++field < 3)
            continue;
        field = 0;
        out += line(orv::text::toDouble(words[0]), orv::text::toDouble(words[1]));
    }
    return out;
}

} // namespace

std::string listingFapText(const CurveInputs& computedFrom, std::string_view listing,
                           formats::LoadedFileKind flavour) {
    const bool gse2 = flavour == formats::LoadedFileKind::FapGse2;
    if (computedFrom.kind == SourceKind::Sac && computedFrom.units == UnitDirection::Direct) {
        CurveInputs inverse = computedFrom;
        inverse.units = UnitDirection::Inverse;
        const std::string inverseListing = computeCurve(inverse).listing;
        return listingFapText(inverse, inverseListing, flavour);
    }
    if (computedFrom.units == UnitDirection::Inverse) {
        if (gse2)
            return std::string(listing);
        return convert(listing,
                       [](double f, double a) { return formats::tripletLine(f, 1e18 / a); });
    }
    if (gse2)
        return convert(listing,
                       [](double f, double a) { return formats::tripletLine(f, 1e21 / a); });
    return convert(listing, [](double f, double a) {
        return orv::text::format("%10.7lf  %10.7lg  0.0\r\n", f, a * 0.001);
    });
}

} // namespace orv::gainbook::response
