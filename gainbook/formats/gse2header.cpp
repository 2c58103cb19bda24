#include "formats/gse2header.h"

#include "text/text.h"

#include <algorithm>

namespace orv::gainbook::formats {
namespace {

// The header is built by insertions at fixed positions into an initially empty text, so
// that long codes shift what follows exactly as files written so far have it.
class HeaderText {
public:
    void insert(long long pos, std::string_view what) {
        const long long at = std::clamp<long long>(pos, 0, static_cast<long long>(text_.size()));
        text_.insert(static_cast<std::size_t>(at), what);
    }
    // -1 when absent.
    long long find(std::string_view what, long long from) const {
        if (from > static_cast<long long>(text_.size()))
            return -1;
        const std::size_t p = text_.find(what, static_cast<std::size_t>(std::max(0LL, from)));
        return p == std::string::npos ? -1 : static_cast<long long>(p);
    }
    std::string& str() { return text_; }

private:
    std::string text_;
};

} // namespace

// Positions count characters: the header is built in Windows-1251 and returned in UTF-8.
std::string buildGse2Header(std::string_view stationUtf8, std::string_view channelUtf8,
                            std::string_view timeUtf8, int triplets, std::string_view flavour) {
    const std::string station = orv::text::utf8ToCp1251(stationUtf8);
    const std::string channel = orv::text::utf8ToCp1251(channelUtf8);
    const std::string time = orv::text::utf8ToCp1251(timeUtf8);
    const std::string blanks(73, ' ');
    const std::string line2Start = "FAP2 0  C" + std::string(15, ' ');
    const std::string count = std::to_string(triplets);

    HeaderText h;
    h.insert(0, "CAL2 " + station);
    h.insert(17 - h.find(" ", 5), blanks);
    h.insert(11, channel);
    h.insert(69 - h.find(" ", 11), blanks);
    h.insert(57, time + "\n" + line2Start);
    const long long q = h.find(line2Start, 0);
    if (triplets <= 999)
        h.insert(q + 24, count + " ");
    else
        h.insert(q + 24, std::string(15, ' ') + "999 ");
    h.insert(q + 28, std::string(flavour) + " FAP Triplets " + count + "\n");

    std::string& s = h.str();
    const std::size_t end = s.find('\n', static_cast<std::size_t>(std::max(0LL, q)));
    if (end == std::string::npos)
        s += '\n';
    else
        s.erase(end + 1);
    return orv::text::cp1251ToUtf8(s);
}

} // namespace orv::gainbook::formats
