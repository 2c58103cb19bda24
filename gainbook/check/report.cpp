#include "check/report.h"

#include "text/text.h"

#include <ostream>

namespace orv::gainbook::check {

namespace {

const char* severityName(Severity s) {
    return s == Severity::Error ? "error" : "warning";
}

std::size_t ruleIndex(std::string_view id) {
    const auto all = rules();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].id == id)
            return i;
    return 0;
}

std::string jsonString(std::string_view raw) {
    const std::string s = text::decodeLegacy(raw);
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += text::format("\\u%04x", unsigned(static_cast<unsigned char>(c)));
            else
                out += c;
        }
    }
    return out + "\"";
}

std::string csvField(std::string_view raw) {
    const std::string s = text::decodeLegacy(raw);
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    return "\"" + text::replaceAll(s, "\"", "\"\"") + "\"";
}

std::string startText(const FindingKey& key) {
    return key.start ? isoTime(*key.start) : std::string();
}

} // namespace

std::string keyText(const FindingKey& key) {
    std::string out = key.network + "." + key.station + "." + key.location + "." + key.channel;
    if (key.start)
        out += " from " + isoTime(*key.start);
    return text::decodeLegacy(out);
}

Report::Report(std::ostream& out, Format format) : out_(out), format_(format) {
    if (format_ == Format::Text)
        byRule_.resize(rules().size());
    else if (format_ == Format::Csv)
        out_ << "rule,severity,network,station,location,channel,start,message\r\n";
    else
        out_ << "[";
}

void Report::add(const Finding& f) {
    ++counts_[f.severity == Severity::Error ? 0 : 1];
    const FindingKey& k = f.key;
    switch (format_) {
    case Format::Text:
        byRule_[ruleIndex(f.rule)].push_back(f);
        break;
    case Format::Json:
        out_ << (first_ ? "\n" : ",\n") << "{\"rule\":" << jsonString(f.rule) << ",\"severity\":\""
             << severityName(f.severity) << "\",\"network\":" << jsonString(k.network)
             << ",\"station\":" << jsonString(k.station)
             << ",\"location\":" << jsonString(k.location)
             << ",\"channel\":" << jsonString(k.channel)
             << ",\"start\":" << (k.start ? "\"" + isoTime(*k.start) + "\"" : "null")
             << ",\"message\":" << jsonString(f.message) << "}";
        break;
    case Format::Csv:
        out_ << csvField(f.rule) << "," << severityName(f.severity) << "," << csvField(k.network)
             << "," << csvField(k.station) << "," << csvField(k.location) << ","
             << csvField(k.channel) << "," << startText(k) << "," << csvField(f.message) << "\r\n";
        break;
    }
    first_ = false;
}

void Report::finish() {
    if (format_ == Format::Json) {
        out_ << (first_ ? "]\n" : "\n]\n");
    } else if (format_ == Format::Text) {
        const auto all = rules();
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (byRule_[i].empty())
                continue;
            out_ << all[i].id << " (" << severityName(all[i].severity) << ", " << byRule_[i].size()
                 << "): " << all[i].what << "\n";
            for (const Finding& f : byRule_[i])
                out_ << "  " << keyText(f.key) << ": " << text::decodeLegacy(f.message) << "\n";
        }
        out_ << summary() << "\n";
    }
    out_.flush();
}

std::string Report::summary() const {
    return text::format("%zu error%s, %zu warning%s", counts_[0], counts_[0] == 1 ? "" : "s",
                        counts_[1], counts_[1] == 1 ? "" : "s");
}

void listRules(std::ostream& out) {
    for (const RuleInfo& r : rules()) {
        out << r.id << "\t" << severityName(r.severity) << "\t" << r.what;
        if (!r.fieldRule.empty())
            out << " [" << r.fieldRule << "]";
        out << "\n";
    }
}

} // namespace orv::gainbook::check
