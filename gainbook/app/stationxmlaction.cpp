// The database panel's "В STATIONXML": the key shown as a StationXML document.
#include "mainwindow.h"

#include "files/replacefile.h"
#include "formats/exportfile.h"
#include "stationxml/inventory.h"
#include "stationxml/xmlwriter.h"

namespace orv::gainbook {

namespace {

constexpr const char* kStationXmlCaption = "Запись в StationXML";
constexpr const char* kStationXmlFilter = "StationXML (*.xml)|*.xml|Все файлы (*.*)|*.*||";
constexpr const char* kNoKey = "Ключ не выбран: записывать нечего.";
constexpr const char* kNoStation = "Станции нет в таблице SITE: документ без неё пуст.";

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
    std::string document, problems;
    stationxml::ReadSummary summary;
    try {
        stationxml::WriterOptions options;
        options.module = "Gainbook";
        stationxml::StationXmlWriter writer(
            [&document](std::string_view chunk) { document.append(chunk); }, options);
        writer.begin();
        summary = stationxml::readInventory(
            *connection, selection, writer,
            [&problems](std::string_view text) { (problems += text) += "\r\n"; });
        writer.finish();
    } catch (const std::exception& e) {
        ui_.warn(std::string(formats::kWriteFailedMessage) + "\r\n" + e.what(), kStationXmlCaption);
        return;
    }
    if (summary.stations == 0) {
        ui_.warn(problems.empty() ? std::string(kNoStation) : problems, kStationXmlCaption);
        return;
    }
    if (!orv::files::replaceFile(*path, document)) {
        ui_.warn(formats::kWriteFailedMessage, kStationXmlCaption);
        return;
    }
    ui_.message(problems.empty() ? std::string(formats::kWrittenMessage)
                                 : std::string(formats::kWrittenMessage) + "\r\n" + problems,
                kStationXmlCaption, ui::Icon::None, ui::Buttons::Ok);
}

} // namespace orv::gainbook
