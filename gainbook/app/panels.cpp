#include "panels.h"

#include "text/text.h"

namespace orv::gainbook {

void FilePanel::clearRefused() {
    calib.clear();
    network.clear();
    station.clear();
    channel.clear();
    location.clear();
    time.clear();
    text.clear();
}

void FilePanel::takeFile(const formats::LoadedResponseFile& loaded) {
    const formats::PanelFields& fields = loaded.fields;
    for (auto [value, field] :
         {std::pair{&fields.station, &station}, std::pair{&fields.channel, &channel},
          std::pair{&fields.location, &location}, std::pair{&fields.network, &network},
          std::pair{&fields.time, &time}})
        if (*value)
            *field = **value;
    loadedKind = loaded.kind;
    fileLabel = loaded.label;
    fileLabelVisible = true;
}

void FilePanel::takeSiteChanMatch(const SiteChanMatch& match) {
    station = match.station;
    channel = match.channel;
    if (match.location)
        location = *match.location;
    time = match.time;
}

std::optional<std::string> FilePanel::freqText() const {
    double value = 0;
    if (!orv::text::parseDouble(calper, value))
        return std::nullopt;
    return orv::text::replaceAll(calper, ",", ".");
}

response::CalibStatus FilePanel::computeCalib(bool sacOnly) {
    const std::optional<std::string> freq = freqText();
    if (!freq)
        return response::CalibStatus::Unchanged;
    const response::CalibInputs inputs{*freq, calibUnitText, freqUnitText};
    const response::CalibResult result = sacOnly
                                             ? response::sacSensitivity(text, loadedKind, inputs)
                                             : response::panelCalib(text, loadedKind, inputs);
    if (result.status == response::CalibStatus::Set)
        calib = result.calib;
    return result.status;
}

ResponseInput FilePanel::responseInput() const {
    return {network,
            station,
            channel,
            location,
            time,
            calib,
            calper,
            calibUnitText,
            freqUnitText,
            text,
            static_cast<int>(loadedKind)};
}

} // namespace orv::gainbook
