// The listing of the frequency-response window written as a FAP file: each triplet of the
// listing becomes one line of the chosen flavour, by the unit direction it was computed in.
//
//   flavour   direct units (counts per nm)          inverse units (nm per count)
//   ORV       f "%10.7lf", a * 0.001 "%10.7lg"      triplet layout with 1e18 / a
//   GSE2      triplet layout with 1e21 / a          the listing as it is
//
// The direct conversions undo the FAP computation's factor 1000. A pole-zero listing in
// direct units is 1e-9 |H|, to which they do not apply: for a pole-zero source the file is
// written from the listing in inverse units, the same file in both directions.
#pragma once

#include "formats/responsetext.h"
#include "response/curve.h"

#include <string>
#include <string_view>

namespace orv::gainbook::response {

// The FAP text (lines ended by CR LF, phases 0.0) for the listing that was computed from
// the inputs, in the flavour FapOrv or FapGse2. An incomplete last triplet is dropped.
std::string listingFapText(const CurveInputs& computedFrom, std::string_view listing,
                           formats::LoadedFileKind flavour);

} // namespace orv::gainbook::response
