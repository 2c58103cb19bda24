#include "stationxml/xmlwriter.h"

#include <libxml/chvalid.h>
#include <libxml/xmlstring.h>
#include <libxml/xmlwriter.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>
#include <stdexcept>

namespace orv::stationxml {

namespace {

constexpr const char* kNamespace = "http://www.fdsn.org/xml/station/1";

const xmlChar* X(const char* s) {
    return reinterpret_cast<const xmlChar*>(s);
}

} // namespace

// The shortest text that reads back as the same double, in the C locale.
std::string numberText(double v) {
    // Never written where the reading has left them out; xs:double's own forms all the same.
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "INF" : "-INF";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc{})
        return "0";
    return std::string(buf, end);
}

// xs:dateTime in UTC.
std::string dateTimeText(const odbc::Timestamp& t) {
    return t.toIsoText() + "Z";
}

bool xmlSafe(std::string& text) {
    const auto plain = [](unsigned char c) {
        return (c >= 0x20 && c < 0x80) || c == '\t' || c == '\n' || c == '\r';
    };
    if (std::all_of(text.begin(), text.end(), plain))
        return false;
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    bool changed = false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.c_str());
    for (std::size_t i = 0; i < text.size();) {
        int length = int(text.size() - i);
        const int c = xmlGetUTF8Char(bytes + i, &length);
        // A character of the shortest form that XML 1.0 allows is kept as it is.
        const int shortest = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (c >= 0 && length == shortest && xmlIsCharQ(c)) {
            out.append(text, i, std::size_t(length));
            i += std::size_t(length);
        } else {
            out += kReplacement;
            changed = true;
            i += c >= 0 && length > 0 ? std::size_t(length) : 1;
        }
    }
    text = std::move(out);
    return changed;
}

namespace {

odbc::Timestamp utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    return odbc::Timestamp::fromTm(tm);
}

// The text as the document carries it (what the reader has not made safe already).
std::string safe(std::string text) {
    xmlSafe(text);
    return text;
}

} // namespace

struct StationXmlWriter::Impl {
    Sink sink;
    WriterOptions options;
    xmlTextWriterPtr writer = nullptr;
    std::exception_ptr sinkError;
    bool finished = false;

    explicit Impl(Sink to, WriterOptions o = {}) : sink(std::move(to)), options(std::move(o)) {
        xmlOutputBufferPtr out = xmlOutputBufferCreateIO(&Impl::write, &Impl::close, this, nullptr);
        if (!out)
            throw std::runtime_error("StationXML: no output buffer");
        writer = xmlNewTextWriter(out);
        if (!writer) {
            xmlOutputBufferClose(out);
            throw std::runtime_error("StationXML: no XML writer");
        }
        xmlTextWriterSetIndent(writer, 1);
        xmlTextWriterSetIndentString(writer, X(" "));
    }
    ~Impl() {
        if (writer)
            xmlFreeTextWriter(writer);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    static int write(void* context, const char* buffer, int len) {
        auto* self = static_cast<Impl*>(context);
        try {
            self->sink(std::string_view(buffer, static_cast<std::size_t>(len)));
        } catch (...) {
            self->sinkError = std::current_exception();
            return -1;
        }
        return len;
    }
    static int close(void*) { return 0; }

    void check(int rc) {
        if (sinkError)
            std::rethrow_exception(sinkError);
        if (rc < 0)
            throw std::runtime_error("StationXML: the XML writer failed");
    }
    void start(const char* name) { check(xmlTextWriterStartElement(writer, X(name))); }
    void end() { check(xmlTextWriterEndElement(writer)); }
    void attribute(const char* name, const std::string& value) {
        check(xmlTextWriterWriteAttribute(writer, X(name), X(safe(value).c_str())));
    }
    void element(const char* name, const std::string& text) {
        check(xmlTextWriterWriteElement(writer, X(name), X(safe(text).c_str())));
    }
    void number(const char* name, double v) { element(name, numberText(v)); }
    void dates(const odbc::Timestamp& start, const std::optional<odbc::Timestamp>& endDate) {
        attribute("startDate", dateTimeText(start));
        if (endDate)
            attribute("endDate", dateTimeText(*endDate));
    }
    void units(const char* name, const std::string& unit) {
        start(name);
        element("Name", unit);
        end();
    }
    // The Response element of a channel.
    void response(const Response& r) {
        start("Response");
        if (r.stages.empty()) { // no response known: an empty element
            end();
            return;
        }
        start("InstrumentSensitivity");
        number("Value", r.sensitivity);
        number("Frequency", r.sensitivityFrequency);
        units("InputUnits", r.inputUnits);
        units("OutputUnits", r.outputUnits);
        end();
        int stageNumber = 1;
        for (const Stage& s : r.stages)
            stage(s, stageNumber++);
        end();
    }

    void stage(const Stage& s, int stageNumber) {
        start("Stage");
        attribute("number", std::to_string(stageNumber));
        if (s.kind == Stage::Kind::PolesZeros) {
            start("PolesZeros");
            if (!s.description.empty())
                element("Description", s.description);
            units("InputUnits", s.inputUnits);
            units("OutputUnits", s.outputUnits);
            element("PzTransferFunctionType", "LAPLACE (RADIANS/SECOND)");
            number("NormalizationFactor", s.normalizationFactor);
            number("NormalizationFrequency", s.normalizationFrequency);
            auto roots = [&](const char* name, const std::vector<std::complex<double>>& list) {
                for (std::size_t i = 0; i < list.size(); ++i) {
                    start(name);
                    attribute("number", std::to_string(i));
                    number("Real", list[i].real());
                    number("Imaginary", list[i].imag());
                    end();
                }
            };
            roots("Zero", s.zeros);
            roots("Pole", s.poles);
            end();
        } else {
            start("ResponseList");
            if (!s.description.empty())
                element("Description", s.description);
            units("InputUnits", s.inputUnits);
            units("OutputUnits", s.outputUnits);
            for (const ListPoint& p : s.list) {
                start("ResponseListElement");
                number("Frequency", p.frequency);
                number("Amplitude", p.amplitude);
                number("Phase", p.phase);
                end();
            }
            end();
        }
        start("StageGain");
        number("Value", s.gain);
        number("Frequency", s.gainFrequency);
        end();
        end();
    }
};

StationXmlWriter::StationXmlWriter(Sink sink, WriterOptions options)
    : impl_(std::make_unique<Impl>(std::move(sink), std::move(options))) {}

StationXmlWriter::~StationXmlWriter() = default;

void StationXmlWriter::begin() {
    Impl& w = *impl_;
    w.check(xmlTextWriterStartDocument(w.writer, "1.0", "UTF-8", nullptr));
    w.check(xmlTextWriterStartElementNS(w.writer, nullptr, X("FDSNStationXML"), X(kNamespace)));
    w.attribute("schemaVersion", "1.2");
    w.element("Source", w.options.source);
    if (!w.options.sender.empty())
        w.element("Sender", w.options.sender);
    if (!w.options.module.empty())
        w.element("Module", w.options.module);
    w.element("Created", dateTimeText(w.options.created ? *w.options.created : utcNow()));
}

void StationXmlWriter::beginNetwork(const NetworkInfo& n) {
    Impl& w = *impl_;
    w.start("Network");
    w.attribute("code", n.code);
    if (n.start)
        w.dates(*n.start, n.end);
    if (!n.description.empty())
        w.element("Description", n.description);
}

void StationXmlWriter::endNetwork() {
    impl_->end();
}

void StationXmlWriter::beginStation(const StationInfo& s) {
    Impl& w = *impl_;
    w.start("Station");
    w.attribute("code", s.code);
    w.dates(s.start, s.end);
    if (!s.description.empty())
        w.element("Description", s.description);
    w.number("Latitude", s.latitude);
    w.number("Longitude", s.longitude);
    w.number("Elevation", s.elevation);
    w.start("Site");
    w.element("Name", s.siteName);
    w.end();
}

void StationXmlWriter::endStation() {
    impl_->end();
}

void StationXmlWriter::channel(const ChannelEpoch& c) {
    Impl& w = *impl_;
    w.start("Channel");
    w.attribute("code", c.code);
    w.attribute("locationCode", c.location);
    w.dates(c.start, c.end);
    w.number("Latitude", c.latitude);
    w.number("Longitude", c.longitude);
    w.number("Elevation", c.elevation);
    w.number("Depth", c.depth);
    w.number("Azimuth", c.azimuth);
    w.number("Dip", c.dip);
    if (c.sampleRate)
        w.number("SampleRate", *c.sampleRate);
    if (!c.sensorDescription.empty()) {
        w.start("Sensor");
        w.element("Description", c.sensorDescription);
        w.end();
    }
    if (c.response) {
        if (w.options.responseTexts) {
            // The text ends with the indentation of the channel's end tag, which the writer
            // leaves out after raw text.
            const std::shared_ptr<const std::string> text =
                w.options.responseTexts->textOf(*c.response);
            w.check(xmlTextWriterWriteRawLen(w.writer, X(text->c_str()),
                                             static_cast<int>(text->size())));
        } else {
            w.response(*c.response);
        }
    }
    w.end();
}

namespace {

// The response's every value: equal keys, equal elements.
std::string keyOf(const Response& r) {
    ValueKey key;
    key.number(r.sensitivity).number(r.sensitivityFrequency).text(r.inputUnits).text(r.outputUnits);
    for (const Stage& s : r.stages) {
        key.tag(s.kind == Stage::Kind::PolesZeros ? 'P' : 'L')
            .text(s.inputUnits)
            .text(s.outputUnits)
            .number(s.normalizationFactor)
            .number(s.normalizationFrequency);
        for (const auto* list : {&s.zeros, &s.poles}) {
            key.count(list->size());
            for (const std::complex<double>& z : *list)
                key.number(z.real()).number(z.imag());
        }
        key.count(s.list.size());
        for (const ListPoint& p : s.list)
            key.number(p.frequency).number(p.amplitude).number(p.phase);
        key.text(s.description).number(s.gain).number(s.gainFrequency);
    }
    return key.take();
}

// The Response element written where a channel's is: inside a Channel at the fourth level,
// after another of its elements, up to the channel's end tag.
std::string responseText(const Response& r) {
    std::string out;
    StationXmlWriter::Impl w([&out](std::string_view part) { out += part; });
    static constexpr std::string_view kBefore = "<Dip>0</Dip>\n";
    for (const char* name : {"FDSNStationXML", "Network", "Station", "Channel"})
        w.start(name);
    w.element("Dip", "0");
    w.response(r);
    w.end();
    w.check(xmlTextWriterFlush(w.writer));
    const std::size_t from = out.find(kBefore);
    const std::size_t to = out.rfind("</Channel>");
    if (from == std::string::npos || to == std::string::npos)
        throw std::runtime_error("StationXML: a response could not be written");
    return out.substr(from + kBefore.size(), to - from - kBefore.size());
}

} // namespace

std::shared_ptr<const std::string> ResponseTexts::textOf(const Response& response) {
    std::string key = keyOf(response);
    if (std::shared_ptr<const std::string> found = texts_.find(key))
        return found;
    auto text = std::make_shared<const std::string>(responseText(response));
    texts_.keep(std::move(key), text, text->capacity());
    return text;
}

void StationXmlWriter::finish() {
    Impl& w = *impl_;
    if (w.finished)
        return;
    w.finished = true;
    w.check(xmlTextWriterEndDocument(w.writer));
    w.check(xmlTextWriterFlush(w.writer));
    xmlFreeTextWriter(w.writer); // closes the output buffer, flushing what it holds
    w.writer = nullptr;
    if (w.sinkError)
        std::rethrow_exception(w.sinkError);
}

} // namespace orv::stationxml
