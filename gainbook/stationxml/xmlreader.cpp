#include "stationxml/xmlreader.h"

#include "formats/fap.h"
#include "text/text.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

namespace orv::stationxml {

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

bool named(const xmlNode* n, const char* name) {
    return n && n->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

const xmlNode* child(const xmlNode* parent, const char* name) {
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (named(c, name))
            return c;
    return nullptr;
}

std::string text(const xmlNode* n) {
    if (!n)
        return {};
    xmlChar* content = xmlNodeGetContent(n);
    std::string out = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return orv::text::trim(out);
}

std::string attribute(const xmlNode* n, const char* name) {
    xmlChar* v = xmlGetProp(n, reinterpret_cast<const xmlChar*>(name));
    std::string out = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return orv::text::trim(out);
}

std::optional<double> number(const xmlNode* n) {
    if (!n)
        return std::nullopt;
    double v = 0;
    if (!orv::text::parseDouble(text(n), v) || !std::isfinite(v))
        return std::nullopt;
    return v;
}

double numberOr(const xmlNode* n, double fallback) {
    return number(n).value_or(fallback);
}

// xs:dateTime: "YYYY-MM-DDTHH:MM:SS" with optional fraction and zone (taken as UTC).
std::optional<odbc::Timestamp> dateTime(const std::string& s) {
    odbc::Timestamp t;
    if (std::sscanf(s.c_str(), "%d-%d-%dT%d:%d:%d", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                    &t.second) < 3)
        return std::nullopt;
    if (!t.isValid())
        return std::nullopt;
    return t;
}

std::vector<std::complex<double>> roots(const xmlNode* pz, const char* name) {
    std::vector<std::complex<double>> out;
    for (const xmlNode* c = pz->children; c; c = c->next)
        if (named(c, name))
            out.emplace_back(numberOr(child(c, "Real"), 0), numberOr(child(c, "Imaginary"), 0));
    return out;
}

ImportedStage stage(const xmlNode* s) {
    ImportedStage out;
    if (const xmlNode* gain = child(s, "StageGain"))
        out.gain = number(child(gain, "Value"));
    const xmlNode* filter = nullptr;
    if ((filter = child(s, "PolesZeros"))) {
        out.kind = ImportedStage::Kind::PolesZeros;
        out.transferType = text(child(filter, "PzTransferFunctionType"));
        out.normalizationFactor = numberOr(child(filter, "NormalizationFactor"), 1);
        out.normalizationFrequency = numberOr(child(filter, "NormalizationFrequency"), 0);
        out.zeros = roots(filter, "Zero");
        out.poles = roots(filter, "Pole");
    } else if ((filter = child(s, "ResponseList"))) {
        out.kind = ImportedStage::Kind::ResponseList;
        for (const xmlNode* c = filter->children; c; c = c->next)
            if (named(c, "ResponseListElement"))
                out.list.emplace_back(numberOr(child(c, "Frequency"), NAN),
                                      numberOr(child(c, "Amplitude"), NAN));
    } else {
        for (const xmlNode* c = s->children; c; c = c->next)
            if (c->type == XML_ELEMENT_NODE && !named(c, "StageGain") && !named(c, "Decimation")) {
                filter = c;
                break;
            }
    }
    if (filter) {
        out.inputUnits = text(child(child(filter, "InputUnits"), "Name"));
        out.outputUnits = text(child(child(filter, "OutputUnits"), "Name"));
    }
    return out;
}

struct DocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

} // namespace

bool readStationXml(std::string_view bytes, std::vector<ImportedEpoch>& epochs,
                    std::string& error) {
    // Gathered apart and handed over only when the whole document was read: a document
    // refused half way gives no epochs.
    std::vector<ImportedEpoch> read;
    if (bytes.size() > kMaxDocumentBytes) {
        error = "the document is larger than " + std::to_string(kMaxDocumentBytes) + " bytes";
        return false;
    }
    // No entity substitution, no DTD loading, nothing from a network; libxml2's limits on
    // depth and text size stay on (no XML_PARSE_HUGE).
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    std::unique_ptr<xmlDoc, DocFree> doc(
        xmlReadMemory(bytes.data(), int(bytes.size()), "stationxml", nullptr, options));
    if (!doc) {
        const xmlError* e = xmlGetLastError();
        error = "not a well-formed XML document";
        if (e && e->message)
            error += ": " + orv::text::trim(e->message);
        return false;
    }
    if (doc->intSubset || doc->extSubset) {
        error = "a document type declaration is refused";
        return false;
    }
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!named(root, "FDSNStationXML")) {
        error = "the root element is not FDSNStationXML";
        return false;
    }
    for (const xmlNode* n = root->children; n; n = n->next) {
        if (!named(n, "Network"))
            continue;
        const std::string net = attribute(n, "code");
        for (const xmlNode* s = n->children; s; s = s->next) {
            if (!named(s, "Station"))
                continue;
            const std::string sta = attribute(s, "code");
            const double slat = numberOr(child(s, "Latitude"), 0);
            const double slon = numberOr(child(s, "Longitude"), 0);
            const double selev = numberOr(child(s, "Elevation"), 0);
            const std::string site = text(child(child(s, "Site"), "Name"));
            const std::string description = text(child(s, "Description"));
            const auto stationStart = dateTime(attribute(s, "startDate"));
            auto stationEnd = dateTime(attribute(s, "endDate"));
            if (stationEnd && stationEnd->year >= 2500)
                stationEnd.reset();
            for (const xmlNode* c = s->children; c; c = c->next) {
                if (!named(c, "Channel"))
                    continue;
                ImportedEpoch e;
                e.network = net;
                e.station = sta;
                e.channel = attribute(c, "code");
                e.location = attribute(c, "locationCode");
                const auto start = dateTime(attribute(c, "startDate"));
                if (!start) {
                    error =
                        net + "." + sta + "." + e.location + "." + e.channel + ": no start date";
                    return false;
                }
                e.start = *start;
                if (const auto end = dateTime(attribute(c, "endDate")); end && end->year < 2500)
                    e.end = end;
                e.stationLatitude = slat;
                e.stationLongitude = slon;
                e.stationElevation = selev;
                e.siteName = site;
                e.stationDescription = description;
                e.stationStart = stationStart;
                e.stationEnd = stationEnd;
                e.latitude = numberOr(child(c, "Latitude"), slat);
                e.longitude = numberOr(child(c, "Longitude"), slon);
                e.elevation = numberOr(child(c, "Elevation"), selev);
                e.depth = numberOr(child(c, "Depth"), 0);
                e.sampleRate = number(child(c, "SampleRate"));
                e.sensorDescription = text(child(child(c, "Sensor"), "Description"));
                if (const xmlNode* r = child(c, "Response")) {
                    e.hasResponse = true;
                    if (const xmlNode* is = child(r, "InstrumentSensitivity")) {
                        e.sensitivity = number(child(is, "Value"));
                        e.sensitivityFrequency = number(child(is, "Frequency"));
                        e.sensitivityInputUnits = text(child(child(is, "InputUnits"), "Name"));
                    }
                    for (const xmlNode* st = r->children; st; st = st->next)
                        if (named(st, "Stage"))
                            e.stages.push_back(stage(st));
                }
                read.push_back(std::move(e));
            }
        }
    }
    epochs.insert(epochs.end(), std::make_move_iterator(read.begin()),
                  std::make_move_iterator(read.end()));
    return true;
}

namespace {

// -1 for units that are no ground motion.
int motionOf(const std::string& units) {
    const std::string u = orv::text::toUpper(units);
    if (u == "M")
        return 0;
    if (u == "M/S")
        return 1;
    if (u == "M/S**2" || u == "M/S/S" || u == "M/S2")
        return 2;
    return -1;
}

std::string dateText(const odbc::Timestamp& t) {
    return orv::text::format("%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                             t.minute, t.second);
}

} // namespace

std::optional<SacResponse> toSac(const ImportedEpoch& e, std::string& why) {
    if (!e.hasResponse || e.stages.empty()) {
        why = "no response";
        return std::nullopt;
    }
    // The analog part: the PolesZeros stages in the Laplace domain, in order.
    std::vector<std::complex<double>> zeros, poles;
    std::string inputUnits;
    int analog = 0;
    double gainProduct = 1;
    bool allGains = true;
    for (const ImportedStage& s : e.stages) {
        if (s.gain)
            gainProduct *= *s.gain;
        else
            allGains = false;
        if (s.kind != ImportedStage::Kind::PolesZeros)
            continue;
        const std::string type = orv::text::toUpper(s.transferType);
        const bool radians = type.find("RADIANS") != std::string::npos;
        const bool hertz = type.find("HERTZ") != std::string::npos;
        if (type.find("LAPLACE") == std::string::npos || (!radians && !hertz))
            continue;
        if (analog == 0)
            inputUnits = s.inputUnits;
        ++analog;
        const double scale = hertz ? kTwoPi : 1;
        for (const auto& z : s.zeros)
            zeros.push_back(z * scale);
        for (const auto& p : s.poles)
            poles.push_back(p * scale);
    }
    if (analog == 0) {
        why = "no analog PolesZeros stage (polynomial and FIR-only responses are not imported)";
        return std::nullopt;
    }
    const int motion = motionOf(inputUnits.empty() ? e.sensitivityInputUnits : inputUnits);
    if (motion < 0) {
        why = "input units \"" + inputUnits + "\" are no ground motion";
        return std::nullopt;
    }
    double sensitivity = e.sensitivity.value_or(0);
    if (!(sensitivity > 0) && allGains)
        sensitivity = gainProduct;
    if (!(std::abs(sensitivity) > 0)) {
        why = "no sensitivity";
        return std::nullopt;
    }
    double fs = e.sensitivityFrequency.value_or(0);
    if (!(fs > 0)) {
        why = "no sensitivity frequency";
        return std::nullopt;
    }
    const std::complex<double> s(0, kTwoPi * fs);
    std::complex<double> ratio = 1;
    for (const auto& z : zeros)
        ratio *= s - z;
    for (const auto& p : poles)
        ratio /= s - p;
    const double a0 = 1 / std::abs(ratio);
    if (!std::isfinite(a0) || a0 == 0) {
        why = "the poles and zeros give no finite gain at the sensitivity frequency";
        return std::nullopt;
    }
    SacResponse out;
    out.sensUnit = motion;
    out.frequency = fs;
    out.sensitivity = std::abs(sensitivity);
    out.a0 = a0;
    std::string t;
    auto line = [&](const char* name, const std::string& value) {
        t += orv::text::format("* %-12s: %s\r\n", name, value.c_str());
    };
    t += "* **************************************************\r\n";
    line("NETWORK", e.network);
    line("STATION", e.station);
    line("LOCATION", e.location);
    line("CHANNEL", e.channel);
    line("START", dateText(e.start));
    line("END", e.end ? dateText(*e.end) : "");
    line("INPUT UNIT", "M");
    line("SENSITIVITY", orv::text::format("%.10g (%s)", out.sensitivity,
                                          motion == 0   ? "M"
                                          : motion == 1 ? "M/S"
                                                        : "M/S**2"));
    line("A0", orv::text::format("%.10g", a0));
    t += "* **************************************************\r\n";
    // The displacement form: one or two more zeros at the origin.
    t += orv::text::format("ZEROS %zu\r\n", zeros.size() + std::size_t(motion));
    for (int i = 0; i < motion; ++i)
        t += " +0.000000e+00 +0.000000e+00\r\n";
    for (const auto& z : zeros)
        t += orv::text::format(" %+.6e %+.6e\r\n", z.real(), z.imag());
    t += orv::text::format("POLES %zu\r\n", poles.size());
    for (const auto& p : poles)
        t += orv::text::format(" %+.6e %+.6e\r\n", p.real(), p.imag());
    // More digits than the usual six: the text must give the sensitivity back exactly.
    t += orv::text::format("CONSTANT %.10e\r\n", a0 * out.sensitivity);
    out.text = std::move(t);
    return out;
}

std::optional<FapResponse> toFap(const ImportedEpoch& e, std::string& why) {
    if (!e.hasResponse || e.stages.size() != 1 ||
        e.stages[0].kind != ImportedStage::Kind::ResponseList) {
        why = "no response list as the only stage";
        return std::nullopt;
    }
    const ImportedStage& st = e.stages[0];
    const int motion = motionOf(st.inputUnits.empty() ? e.sensitivityInputUnits : st.inputUnits);
    if (motion < 0) {
        why = "input units \"" + st.inputUnits + "\" are no ground motion";
        return std::nullopt;
    }
    const auto& list = st.list;
    if (list.size() < 4) {
        why = "the response list has fewer than 4 rows";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        if (!std::isfinite(list[i].first) || !std::isfinite(list[i].second) ||
            (i > 0 && !(list[i].first > list[i - 1].first))) {
            why = "the response list's frequencies are not increasing";
            return std::nullopt;
        }
    const double fs = e.sensitivityFrequency.value_or(0);
    const double sensitivity = std::abs(e.sensitivity.value_or(st.gain.value_or(0)));
    if (!(fs > 0) || !(sensitivity > 0)) {
        why = "no sensitivity or no sensitivity frequency";
        return std::nullopt;
    }
    // The list's amplitude at fs as the FAP evaluation takes it: the row of that frequency,
    // else the mean of the two rows around it.
    double atFs = NAN;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].first == fs) {
            atFs = list[i].second;
            break;
        }
        if (list[i].first > fs) {
            atFs = i == 0 ? NAN : (list[i - 1].second + list[i].second) / 2;
            break;
        }
    }
    if (!std::isfinite(atFs) || atFs == 0) {
        why = "the response list does not cover the sensitivity frequency";
        return std::nullopt;
    }
    const double scale = sensitivity * 1e9 / std::abs(atFs);
    FapResponse out;
    out.sensUnit = motion;
    out.frequency = fs;
    for (const auto& [f, a] : list)
        out.text += orv::gainbook::formats::tripletLine(f, std::abs(a) * scale);
    return out;
}

} // namespace orv::stationxml
