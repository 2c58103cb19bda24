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

// A code as a part of a file name: see proposedFileName.
std::string nameSafe(std::string_view code) {
    std::string out(code);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    for (std::size_t dots; (dots = out.find("..")) != std::string::npos;)
        out.replace(dots, 2, "__");
    return out;
}

} // namespace

std::string proposedFileName(std::string_view station, std::string_view channel,
                             std::string_view time) {
    std::string name = nameSafe(station) + "_" + nameSafe(channel) + "_";
    name += part(time, 0, 4);
    const std::string_view month = part(time, 5, 2);
    for (std::size_t m = 0; m < kMonths.size(); ++m)
        if (month == orv::text::format("%02zu", m + 1))
            name += kMonths[m];
    name += part(time, 8, 2);
    return name;
}

std::string stationXmlFileName(std::string_view network, std::string_view station,
                               std::string_view location, std::string_view channel) {
    return nameSafe(network) + "." + nameSafe(station) + "." + nameSafe(location) + "." +
           nameSafe(channel) + ".xml";
}

std::string writeFailedText(std::string_view path, std::string_view why) {
    return std::string(kWriteFailedMessage) + "\r\n" + std::string(path) + ": " + std::string(why);
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

std::optional<std::string> fapFileText(const FileKey& key, std::string_view text,
                                       LoadedFileKind flavour, std::string& refusal) {
    const WriterText lines = writerText(text);
    if (const auto bad = firstBadFapLine(lines.text, flavour == LoadedFileKind::FapGse2)) {
        // The file's line: after the two header lines.
        refusal = "Строка " + std::to_string(*bad + 2) +
                  " файла FAP: частота или амплитуда не является конечным числом (или "
                  "амплитуда GSE2 равна нулю); такой файл не читается, он не записан";
        return std::nullopt;
    }
    // The header is built in Windows-1251 (its columns count its characters) and goes
    // into the file so.
    return orv::text::utf8ToCp1251(buildGse2Header(key.station, key.channel, key.time, lines.lines,
                                                   flavourWord(flavour))) +
           lines.text;
}

std::optional<std::string> storedFapFileText(const FileKey& key, std::string_view storedText,
                                             LoadedFileKind flavour, std::string& refusal) {
    if (flavour != LoadedFileKind::FapGse2)
        return fapFileText(key, storedText, flavour, refusal);
    std::optional<std::string> gse2;
    if (fitsWorkingBuffer(storedText))
        gse2 = formatFapTriplets(storedText, true);
    if (!gse2) {
        refusal = kTextTooLongMessage;
        return std::nullopt;
    }
    return fapFileText(key, *gse2, flavour, refusal);
}

bool writeResponseFile(const std::string& path, std::string_view text, std::string& why) {
    const std::string crlf =
        orv::text::replaceAll(orv::text::replaceAll(text, kCrLf, "\n"), "\n", std::string(kCrLf));
    return orv::files::replaceFile(path, crlf, &why);
}

} // namespace orv::gainbook::formats
