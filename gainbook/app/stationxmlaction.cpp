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

void MainWindow::writeKeyAsStationXml() {
    const BrowserKey key = browser.currentKey();
    if (!connected() || key.station.empty() || key.channel.empty()) {
        ui_.warn(kNoKey, kStationXmlCaption);
        return;
    }
    ui::FileChoice choice;
    choice.fileName = key.network + "." + key.station + "." + key.location + "." + key.channel;
    choice.filter = kStationXmlFilter;
    const std::optional<std::string> path = ui_.saveFile(choice);
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
    if (!orv::files::replaceFile(*path, document)) {
        ui_.warn(formats::kWriteFailedMessage, kStationXmlCaption);
        return;
    }
    ui_.message(problems.empty()
                    ? std::string(formats::kWrittenMessage)
                    : std::string(formats::kWrittenMessage) + "\r\n" + problemLines(problems),
                kStationXmlCaption, ui::Icon::None, ui::Buttons::Ok);
}

} // namespace orv::gainbook
