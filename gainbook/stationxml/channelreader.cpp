#include "stationxml/channelreader.h"

#include "stationxml/xsvalues.h"
#include "text/text.h"

#include <cstring>

namespace orv::stationxml::elements {

namespace {

bool inFdsn(const xmlNode* n) {
    return n && n->type == XML_ELEMENT_NODE && n->ns && n->ns->href &&
           kFdsnNamespace == reinterpret_cast<const char*>(n->ns->href);
}

const xmlNode* child(const xmlNode* parent, const char* name) {
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (named(c, name))
            return c;
    return nullptr;
}

// The children of parent with the name, in order.
std::vector<const xmlNode*> children(const xmlNode* parent, const char* name) {
    std::vector<const xmlNode*> out;
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (named(c, name))
            out.push_back(c);
    return out;
}

std::string rawText(const xmlNode* n) {
    if (!n)
        return {};
    xmlChar* content = xmlNodeGetContent(n);
    std::string out = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return out;
}

std::string text(const xmlNode* n) {
    return orv::text::trim(rawText(n));
}

std::string joined(const std::string& where, const char* name) {
    return where.empty() ? std::string(name) : where + " " + name;
}

// The element's number; nullopt (the epoch refused, naming what and the text) when it is no
// finite number.
std::optional<double> valueOf(const xmlNode* n, const std::string& what, Findings& f) {
    std::string why;
    const auto v = readXsDouble(rawText(n), why);
    if (!v)
        f.refuse(what + ": " + why);
    return v;
}

// The number of the child element; nullopt when it is absent, or (the epoch refused,
// naming the element and its text) when it is no finite number.
std::optional<double> number(const xmlNode* parent, const char* name, const std::string& where,
                             Findings& f) {
    const xmlNode* n = child(parent, name);
    return n ? valueOf(n, joined(where, name), f) : std::nullopt;
}

// As above; an absent element refuses the epoch too.
std::optional<double> required(const xmlNode* parent, const char* name, const std::string& where,
                               Findings& f) {
    if (!child(parent, name)) {
        f.refuse(joined(where, name) + ": missing");
        return std::nullopt;
    }
    return number(parent, name, where, f);
}

// A date attribute; nullopt when absent or (the epoch refused) unreadable. what names it
// in the refusal ("start date").
std::optional<odbc::Timestamp> date(const xmlNode* n, const char* name, const std::string& what,
                                    Findings& f) {
    const auto raw = rawAttribute(n, name);
    if (!raw)
        return std::nullopt;
    std::string why;
    const auto t = readXsDateTime(*raw, why);
    if (!t) {
        f.refuse("invalid " + what + ": " + name + " " + why);
        return std::nullopt;
    }
    if (t->rounded)
        f.notes.push_back(std::string(name) + " \"" + *raw +
                          "\" rounded to the second: " + t->time.toSqlText());
    return t->time;
}

std::string unitName(const xmlNode* parent, const char* name) {
    return text(child(child(parent, name), "Name"));
}

// A Pole or Zero element's place: its number attribute, else its place from 1.
std::string rootName(const xmlNode* root, const char* name, std::size_t place) {
    const std::string n = attribute(root, "number");
    return std::string(name) + " " + (n.empty() ? std::to_string(place) : n);
}

std::vector<std::complex<double>> roots(const xmlNode* pz, const char* name,
                                        const std::string& where, Findings& f) {
    std::vector<std::complex<double>> out;
    for (const xmlNode* r : children(pz, name)) {
        const std::string at = where + " " + rootName(r, name, out.size() + 1);
        const auto re = required(r, "Real", at, f);
        const auto im = required(r, "Imaginary", at, f);
        out.emplace_back(re.value_or(0), im.value_or(0));
    }
    return out;
}

void polesZeros(const xmlNode* pz, ImportedStage& s, const std::string& where, Findings& f) {
    s.kind = ImportedStage::Kind::PolesZeros;
    s.transferType = text(child(pz, "PzTransferFunctionType"));
    s.normalizationFactor = number(pz, "NormalizationFactor", where, f).value_or(1);
    s.normalizationFrequency = number(pz, "NormalizationFrequency", where, f).value_or(0);
    s.zeros = roots(pz, "Zero", where, f);
    s.poles = roots(pz, "Pole", where, f);
}

std::vector<double> values(const xmlNode* parent, const char* name, const std::string& where,
                           Findings& f) {
    std::vector<double> out;
    for (const xmlNode* v : children(parent, name)) {
        std::string why;
        const auto x = readXsDouble(rawText(v), why);
        if (!x)
            f.refuse(where + " " + name + " " + std::to_string(out.size() + 1) + ": " + why);
        out.push_back(x.value_or(0));
    }
    return out;
}

void coefficients(const xmlNode* cf, ImportedStage& s, const std::string& where, Findings& f) {
    s.kind = ImportedStage::Kind::Coefficients;
    s.transferType = text(child(cf, "CfTransferFunctionType"));
    s.numerators = values(cf, "Numerator", where, f);
    s.denominators = values(cf, "Denominator", where, f);
}

void responseList(const xmlNode* list, ImportedStage& s, const std::string& where, Findings& f) {
    s.kind = ImportedStage::Kind::ResponseList;
    for (const xmlNode* row : children(list, "ResponseListElement")) {
        const std::string at = where + " ResponseListElement " + std::to_string(s.list.size() + 1);
        const auto frequency = required(row, "Frequency", at, f);
        const auto amplitude = required(row, "Amplitude", at, f);
        s.list.emplace_back(frequency.value_or(0), amplitude.value_or(0));
    }
}

void decimation(const xmlNode* d, ImportedStage& s, const std::string& where, Findings& f) {
    s.inputSampleRate = number(d, "InputSampleRate", where + " Decimation", f);
    long long factor = 0;
    if (const xmlNode* n = child(d, "Factor")) {
        if (orv::text::parseInt(text(n), factor) && factor > 0)
            s.decimationFactor = factor;
        else
            f.refuse(where + " Decimation Factor: \"" + rawText(n) +
                     "\" is not a positive whole number");
    }
}

// The element that describes the stage's filter (or none for a gain alone): the first of
// StationXML's elements other than the gain and the decimation (an extension element of
// another namespace is none).
const xmlNode* filterOf(const xmlNode* stage) {
    for (const xmlNode* c = stage->children; c; c = c->next)
        if (inFdsn(c) && !named(c, "StageGain") && !named(c, "Decimation"))
            return c;
    return nullptr;
}

ImportedStage stage(const xmlNode* st, int place, Findings& f) {
    ImportedStage s;
    long long n = 0;
    s.number = orv::text::parseInt(attribute(st, "number"), n) ? int(n) : place;
    const std::string where = "Stage " + std::to_string(s.number);
    if (const xmlNode* gain = child(st, "StageGain")) {
        s.gain = required(gain, "Value", where + " StageGain", f);
        s.gainFrequency = number(gain, "Frequency", where + " StageGain", f);
    }
    if (const xmlNode* d = child(st, "Decimation"))
        decimation(d, s, where, f);
    const xmlNode* filter = filterOf(st);
    if (named(filter, "PolesZeros"))
        polesZeros(filter, s, where + " PolesZeros", f);
    else if (named(filter, "Coefficients"))
        coefficients(filter, s, where + " Coefficients", f);
    else if (named(filter, "ResponseList"))
        responseList(filter, s, where + " ResponseList", f);
    else if (named(filter, "FIR")) {
        s.kind = ImportedStage::Kind::Fir;
        s.firCoefficients = children(filter, "NumeratorCoefficient").size();
    } else if (filter) {
        s.kind = ImportedStage::Kind::Polynomial;
    }
    if (filter) {
        s.inputUnits = unitName(filter, "InputUnits");
        s.outputUnits = unitName(filter, "OutputUnits");
    }
    return s;
}

void sensitivity(const xmlNode* is, ImportedEpoch& e, Findings& f) {
    e.hasSensitivity = true;
    e.sensitivity = number(is, "Value", "InstrumentSensitivity", f);
    e.sensitivityFrequency = number(is, "Frequency", "InstrumentSensitivity", f);
    e.sensitivityInputUnits = unitName(is, "InputUnits");
    e.sensitivityOutputUnits = unitName(is, "OutputUnits");
}

void response(const xmlNode* r, ImportedEpoch& e, Findings& f) {
    e.hasResponse = true;
    if (const xmlNode* is = child(r, "InstrumentSensitivity"))
        sensitivity(is, e, f);
    e.hasPolynomial = child(r, "InstrumentPolynomial") != nullptr;
    int place = 0;
    for (const xmlNode* st : children(r, "Stage"))
        e.stages.push_back(stage(st, ++place, f));
}

void channelDates(const xmlNode* c, ImportedEpoch& e, Findings& f) {
    e.startText = rawAttribute(c, "startDate").value_or("");
    if (const auto start = date(c, "startDate", "start date", f)) {
        e.start = *start;
        e.startRead = true;
    } else if (!rawAttribute(c, "startDate"))
        f.refuse("no start date");
    if (const auto end = date(c, "endDate", "end date", f); end && end->year < 2500)
        e.end = end;
}

// FDSN's empty location, and "??", the code CALIBRATION stores for it, are "".
std::string locationCode(const xmlNode* c) {
    const std::string code = attribute(c, "locationCode");
    return code == "??" ? std::string() : code;
}

} // namespace

bool named(const xmlNode* n, const char* name) {
    return inFdsn(n) && std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

std::optional<std::string> rawAttribute(const xmlNode* n, const char* name) {
    xmlChar* v = xmlGetNoNsProp(n, reinterpret_cast<const xmlChar*>(name));
    if (!v)
        return std::nullopt;
    std::string out = reinterpret_cast<const char*>(v);
    xmlFree(v);
    return out;
}

std::string attribute(const xmlNode* n, const char* name) {
    return orv::text::trim(rawAttribute(n, name).value_or(""));
}

StationPart stationStart(const xmlNode* s, const std::string& network) {
    StationPart p;
    p.network = network;
    p.code = attribute(s, "code");
    p.start = date(s, "startDate", "station start date", p.findings);
    p.end = date(s, "endDate", "station end date", p.findings);
    if (p.end && p.end->year >= 2500)
        p.end.reset();
    return p;
}

void stationElement(const xmlNode* n, StationPart& p) {
    if (named(n, "Latitude"))
        p.latitude = valueOf(n, "Station Latitude", p.findings).value_or(0);
    else if (named(n, "Longitude"))
        p.longitude = valueOf(n, "Station Longitude", p.findings).value_or(0);
    else if (named(n, "Elevation"))
        p.elevation = valueOf(n, "Station Elevation", p.findings).value_or(0);
    else if (named(n, "Site"))
        p.siteName = text(child(n, "Name"));
    else if (named(n, "Description"))
        p.description = text(n);
}

ImportedEpoch channel(const xmlNode* c, const StationPart& st) {
    ImportedEpoch e;
    Findings f = st.findings;
    e.network = st.network;
    e.station = st.code;
    e.channel = attribute(c, "code");
    e.location = locationCode(c);
    channelDates(c, e, f);
    e.stationLatitude = st.latitude;
    e.stationLongitude = st.longitude;
    e.stationElevation = st.elevation;
    e.siteName = st.siteName;
    e.stationDescription = st.description;
    e.stationStart = st.start;
    e.stationEnd = st.end;
    e.latitude = number(c, "Latitude", "Channel", f).value_or(st.latitude);
    e.longitude = number(c, "Longitude", "Channel", f).value_or(st.longitude);
    e.elevation = number(c, "Elevation", "Channel", f).value_or(st.elevation);
    e.depth = number(c, "Depth", "Channel", f).value_or(0);
    e.sampleRate = number(c, "SampleRate", "Channel", f);
    e.sensorDescription = text(child(child(c, "Sensor"), "Description"));
    if (const xmlNode* r = child(c, "Response"))
        response(r, e, f);
    e.refusal = std::move(f.refusal);
    e.notes = std::move(f.notes);
    return e;
}

} // namespace orv::stationxml::elements
