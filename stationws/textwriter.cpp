#include "textwriter.h"

#include "stationxml/xmlwriter.h"
#include "text/text.h"

namespace orv::stationws {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

// A field never carries the separator or a line break.
std::string field(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '|' || c == '\n' || c == '\r')
            c = ' ';
    return out;
}

// As the XML answer writes it: the shortest text that reads back to the same double.
std::string number(double value) {
    return stationxml::numberText(value);
}

std::string endText(const std::optional<odbc::Timestamp>& end) {
    return end ? isoTime(*end) : std::string();
}

} // namespace

std::string isoTime(const odbc::Timestamp& t) {
    return t.toIsoText();
}

TextWriter::TextWriter(Sink sink, stationxml::Level level)
    : sink_(std::move(sink)), level_(level) {}

void TextWriter::begin() {
    switch (level_) {
    case stationxml::Level::Network:
        buffer_ += "#Network|Description|StartTime|EndTime|TotalStations\n";
        break;
    case stationxml::Level::Station:
        buffer_ += "#Network|Station|Latitude|Longitude|Elevation|SiteName|StartTime|EndTime\n";
        break;
    default:
        buffer_ += "#Network|Station|Location|Channel|Latitude|Longitude|Elevation|Depth|Azimuth|"
                   "Dip|SensorDescription|Scale|ScaleFreq|ScaleUnits|SampleRate|StartTime|"
                   "EndTime\n";
        break;
    }
}

void TextWriter::beginNetwork(const stationxml::NetworkInfo& n) {
    network_ = n;
    stationCount_ = 0;
}

void TextWriter::endNetwork() {
    if (level_ == stationxml::Level::Network && network_)
        buffer_ += field(network_->code) + "|" + field(network_->description) + "|" +
                   (network_->start ? isoTime(*network_->start) : std::string()) + "|" +
                   endText(network_->end) + "|" + std::to_string(stationCount_) + "\n";
    network_.reset();
    flush(false);
}

void TextWriter::beginStation(const stationxml::StationInfo& s) {
    ++stationCount_;
    station_ = s.code;
    if (level_ != stationxml::Level::Station)
        return;
    buffer_ += field(network_ ? network_->code : "") + "|" + field(s.code) + "|" +
               number(s.latitude) + "|" + number(s.longitude) + "|" + number(s.elevation) + "|" +
               field(s.siteName) + "|" + isoTime(s.start) + "|" + endText(s.end) + "\n";
    flush(false);
}

void TextWriter::channel(const stationxml::ChannelEpoch& c) {
    if (level_ != stationxml::Level::Channel && level_ != stationxml::Level::Response)
        return;
    std::string scale, scaleFreq, scaleUnits;
    if (c.response && c.response->sensitivity != 0) {
        scale = number(c.response->sensitivity);
        scaleFreq = number(c.response->sensitivityFrequency);
        scaleUnits = orv::text::toUpper(c.response->inputUnits);
    }
    buffer_ += field(network_ ? network_->code : "") + "|" + field(station_) + "|" +
               field(c.location) + "|" + field(c.code) + "|" + number(c.latitude) + "|" +
               number(c.longitude) + "|" + number(c.elevation) + "|" + number(c.depth) + "|" +
               number(c.azimuth) + "|" + number(c.dip) + "|" + field(c.sensorDescription) + "|" +
               scale + "|" + scaleFreq + "|" + scaleUnits + "|" +
               (c.sampleRate ? number(*c.sampleRate) : std::string()) + "|" + isoTime(c.start) +
               "|" + endText(c.end) + "\n";
    flush(false);
}

void TextWriter::finish() {
    flush(true);
}

void TextWriter::flush(bool always) {
    if (buffer_.empty() || (!always && buffer_.size() < kChunk))
        return;
    sink_(buffer_);
    buffer_.clear();
}

} // namespace orv::stationws
