// The database panel's "В STATIONXML": the key shown as a StationXML document.
#include "mainwindow.h"

#include "files/replacefile.h"
#include "formats/exportfile.h"
#include "stationxml/inventory.h"
#include "stationxml/xmlwriter.h"

#include <algorithm>

namespace orv::gainbook {

namespace {

constexpr const char* kStationXmlCaption = "Запись в StationXML";
constexpr const char* kStationXmlFilter = "StationXML (*.xml)|*.xml|Все файлы (*.*)|*.*||";
constexpr const char* kNoKey = "Ключ не выбран: записывать нечего.";
constexpr const char* kNoStation = "Станции нет в таблице SITE: документ без неё пуст.";
// The most problems the box lists, one a line, before "и ещё N".
constexpr std::size_t kProblemLines = 5;

// What the export reported, for the box: one line a problem, in Russian.
std::string problemLines(const std::vector<stationxml::Problem>& problems) {
    return stationxml::renderLines(problems, stationxml::Language::Russian, kProblemLines, "\r\n");
}

} // namespace

ui::FileChoice MainWindow::stationXmlChoice(const BrowserKey& key) const {
    ui::FileChoice choice;
    choice.title = kStationXmlCaption;
    // The folder of the last document, else the installation's folder DIR.
    choice.directory = lastStationXmlFolder;
    if (choice.directory.empty())
        if (const std::string responses =
                responseDirectory(localSettingsFile.parent_path(), sharedSettings);
            !responses.empty())
            choice.directory = std::filesystem::path(responses).parent_path().string();
    // The whole key, so that the channels of a station get names of their own; the stored
    // empty location is FDSN's empty location.
    choice.fileName = formats::stationXmlFileName(
        key.network, key.station, key.location == kEmptyLocationCode ? "" : key.location,
        key.channel);
    choice.filter = kStationXmlFilter;
    choice.defaultExtension = "xml";
    return choice;
}

void MainWindow::writeKeyAsStationXml() {
    const BrowserKey key = browser.currentKey();
    if (!connected() || key.station.empty() || key.channel.empty()) {
        ui_.warn(kNoKey, kStationXmlCaption);
        return;
    }
    const std::optional<std::string> path = ui_.saveFile(stationXmlChoice(key));
    if (!path)
        return;
    stationxml::Selection selection;
    selection.exactCodes = true;
    selection.networks = {key.network};
    selection.stations = {key.station};
    selection.channels = {key.channel};
    selection.locations = {key.location};
    std::string document;
    std::vector<stationxml::Problem> problems;
    stationxml::ReadSummary summary;
    try {
        stationxml::WriterOptions options;
        options.module = "Gainbook";
        stationxml::StationXmlWriter writer(
            [&document](std::string_view chunk) { document.append(chunk); }, options);
        writer.begin();
        summary = stationxml::readInventory(
            *connection, selection, writer,
            [&problems](const stationxml::Problem& p) { problems.push_back(p); });
        writer.finish();
    } catch (const std::exception& e) {
        ui_.warn(std::string(formats::kWriteFailedMessage) + "\r\n" + e.what(), kStationXmlCaption);
        return;
    }
    if (summary.stations == 0) {
        const bool noSite =
            problems.empty() ||
            std::any_of(problems.begin(), problems.end(), [](const stationxml::Problem& p) {
                return p.kind == stationxml::ProblemKind::NoSiteRow;
            });
        ui_.warn(noSite ? std::string(kNoStation) : problemLines(problems), kStationXmlCaption);
        return;
    }
    if (std::string why; !orv::files::replaceFile(*path, document, &why)) {
        ui_.warn(formats::writeFailedText(*path, why), kStationXmlCaption);
        return;
    }
    lastStationXmlFolder = std::filesystem::path(*path).parent_path().string();
    ui_.message(problems.empty()
                    ? std::string(formats::kWrittenMessage)
                    : std::string(formats::kWrittenMessage) + "\r\n" + problemLines(problems),
                kStationXmlCaption, ui::Icon::None, ui::Buttons::Ok);
}

} // namespace orv::gainbook
