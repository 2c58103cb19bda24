#include "formats/exportfile.h"

#include "files/replacefile.h"
#include "formats/fap.h"
#include "formats/gse2header.h"
#include "text/text.h"

#include <algorithm>
#include <array>

namespace orv::gainbook::formats {

namespace {

// The system writes October as "okt".
constexpr std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "okt", "nov", "dec"};

std::string_view part(std::string_view text, std::size_t from, std::size_t count) {
    return from < text.size() ? text.substr(from, count) : std::string_view();
}

std::string_view flavourWord(LoadedFileKind flavour) {
    return flavour == LoadedFileKind::FapGse2 ? kFlavourGse2 : kFlavourOrv;
}

} // namespace

std::string proposedFileName(std::string_view station, std::string_view channel,
                             std::string_view time) {
    std::string name = std::string(station) + "_" + std::string(channel) + "_";
    name += part(time, 0, 4);
    const std::string_view month = part(time, 5, 2);
    for (std::size_t m = 0; m < kMonths.size(); ++m)
        if (month == orv::text::format("%02zu", m + 1))
            name += kMonths[m];
    name += part(time, 8, 2);
    return name;
}

WriterText writerText(std::string_view text) {
    WriterText out;
    out.text = orv::text::replaceAll(orv::text::replaceAll(text, kCrLf, "\n"), "|", "\n");
    if (!out.text.empty() && out.text.back() != '\n')
        out.text += '\n';
    out.lines = static_cast<int>(std::count(out.text.begin(), out.text.end(), '\n'));
    return out;
}

std::string sacFileText(const FileKey& key, std::string_view text) {
    return "# Station " + key.station + "\n# Channel " + key.channel + "\n# Location " +
           key.location + "\n# Network " + key.network + "\n# Time " + key.time + "\n" +
           writerText(text).text;
}

std::string fapFileText(const FileKey& key, std::string_view text, LoadedFileKind flavour) {
    const WriterText lines = writerText(text);
    return buildGse2Header(key.station, key.channel, key.time, lines.lines, flavourWord(flavour)) +
           lines.text;
}

std::optional<std::string> storedFapFileText(const FileKey& key, std::string_view storedText,
                                             LoadedFileKind flavour) {
    if (flavour != LoadedFileKind::FapGse2)
        return fapFileText(key, storedText, flavour);
    if (!fitsWorkingBuffer(storedText))
        return std::nullopt;
    const std::optional<std::string> gse2 = formatFapTriplets(storedText, true);
    if (!gse2)
        return std::nullopt;
    return fapFileText(key, *gse2, flavour);
}

bool writeResponseFile(const std::string& path, std::string_view text, std::string& why) {
    const std::string crlf =
        orv::text::replaceAll(orv::text::replaceAll(text, kCrLf, "\n"), "\n", std::string(kCrLf));
    return orv::files::replaceFile(path, crlf, &why);
}

} // namespace orv::gainbook::formats
