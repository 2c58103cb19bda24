#include "response/panelload.h"

namespace orv::gainbook::response {

PanelLoad loadIntoPanel(std::string_view bytes, std::string_view fileName,
                        std::string_view fileTime, const formats::FormatQuestion& askFormat,
                        const CalibInputs& calibInputs) {
    PanelLoad load;
    formats::ReadResult read = formats::readResponseFile(bytes, fileName, fileTime, askFormat);
    load.file = std::move(read.file);
    if (read.status == formats::ReadStatus::Cancelled) {
        load.status = PanelLoadStatus::Cancelled;
        return load;
    }
    if (read.status == formats::ReadStatus::TooLong) {
        load.status = PanelLoadStatus::TooLong;
        return load;
    }
    if (read.status == formats::ReadStatus::Unreadable) {
        load.status = PanelLoadStatus::Unreadable;
        load.refusal = read.refusal;
        return load;
    }
    if (read.status == formats::ReadStatus::TooManyRows) {
        load.status = PanelLoadStatus::TooManyRows;
        return load;
    }
    if (read.status != formats::ReadStatus::WrongFormat)
        load.calib = panelCalib(load.file.text, load.file.kind, calibInputs);
    if (read.status == formats::ReadStatus::WrongFormat ||
        load.calib.status == CalibStatus::WrongFormat) {
        load.status = PanelLoadStatus::WrongFormat;
        load.cleared = true;
        load.file.text.clear();
        load.file.fields = formats::PanelFields{"", "", "", "", ""};
    } else if (load.calib.status == CalibStatus::TooLong) {
        load.status = PanelLoadStatus::TooLong;
    }
    return load;
}

} // namespace orv::gainbook::response
