// The two header lines in front of an exported FAP file:
//
//   CAL2 <station, to index 11><channel, to index 57><time>
//   FAP2 0  C               <N, at 24><flavour word, at 28> FAP Triplets <N>
//
// The reader of a loaded file compares the three characters at index 28 of the second
// line with "ORV" to tell the flavours apart.
#pragma once

#include <string>
#include <string_view>

namespace orv::gainbook::formats {

inline constexpr std::string_view kFlavourOrv = "ORV";
inline constexpr std::string_view kFlavourGse2 = "GSE2";

// Both lines, each ended by "\n". A station of six characters runs into the channel; a
// longer one has its characters beyond the sixth behind the channel. For more than 999
// triplets the count field at 24 stays blank; the count after "FAP Triplets " is true.
std::string buildGse2Header(std::string_view station, std::string_view channel,
                            std::string_view time, int triplets, std::string_view flavour);

} // namespace orv::gainbook::formats
