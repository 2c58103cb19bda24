#include "stationxml/xmlreader.h"

#include "stationxml/channelreader.h"
#include "text/text.h"

#include <libxml/parser.h>
#include <libxml/xmlreader.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace orv::stationxml {

namespace {

namespace el = elements;

struct ReaderFree {
    void operator()(xmlTextReader* r) const { xmlFreeTextReader(r); }
};
using Reader = std::unique_ptr<xmlTextReader, ReaderFree>;

// No entity substitution, no DTD loading, nothing from a network; libxml2's limits on
// depth and text size stay on (no XML_PARSE_HUGE).
constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// The document's bytes as libxml2 asks for them, counted: one byte over the limit ends the
// reading, whatever the file's size said before.
struct FileInput {
    std::ifstream in;
    std::size_t bytes = 0;
    bool over = false;

    static int read(void* context, char* buffer, int length) {
        auto* self = static_cast<FileInput*>(context);
        self->in.read(buffer, length);
        const std::streamsize got = self->in.gcount();
        if (got == 0 && self->in.bad())
            return -1;
        self->bytes += std::size_t(got);
        if (self->bytes > kMaxDocumentBytes) {
            self->over = true;
            return -1;
        }
        return int(got);
    }
    static int close(void*) { return 0; }
};

std::string oversized() {
    return "the document is larger than " + std::to_string(kMaxDocumentBytes) + " bytes";
}

std::string localName(xmlTextReader* r) {
    const xmlChar* n = xmlTextReaderConstLocalName(r);
    return n ? reinterpret_cast<const char*>(n) : "";
}

// The element the reader stands on is StationXML's (and, with a name, of that name).
bool inFdsn(xmlTextReader* r, const char* name = nullptr) {
    const xmlChar* ns = xmlTextReaderConstNamespaceUri(r);
    return ns && kFdsnNamespace == reinterpret_cast<const char*>(ns) &&
           (!name || localName(r) == name);
}

// The walk through a document: the root, its networks, their stations, and each station's
// elements and channels, one element expanded at a time.
class Walk {
public:
    Walk(xmlTextReader* reader, const EpochSink& sink, DocumentReading& out)
        : r_(reader), sink_(sink), out_(out) {}

    bool run() {
        if (!toRoot() || !root())
            return false;
        return forEachChild([&] { return network(); }) && xmlTextReaderRead(r_) >= 0;
    }

private:
    // The reader stands on an element: each element child is handed to visit, which returns
    // what moving past that child gave (1 on, 0 the end, -1 a fault). True at the element's end.
    template <class Visit> bool forEachChild(Visit visit) {
        if (xmlTextReaderIsEmptyElement(r_))
            return true;
        const int depth = xmlTextReaderDepth(r_);
        int ret = xmlTextReaderRead(r_);
        while (ret == 1) {
            const int type = xmlTextReaderNodeType(r_);
            if (type == XML_READER_TYPE_END_ELEMENT && xmlTextReaderDepth(r_) == depth)
                return true;
            ret = type == XML_READER_TYPE_ELEMENT ? visit() : xmlTextReaderRead(r_);
        }
        return false;
    }

    // Past the element the reader stands on, without reading what it holds.
    int skip() { return xmlTextReaderNext(r_); }

    // The element the reader stands on as a tree of its own; null on a fault.
    const xmlNode* expanded() { return xmlTextReaderExpand(r_); }

    bool toRoot() {
        int ret;
        while ((ret = xmlTextReaderRead(r_)) == 1) {
            const int type = xmlTextReaderNodeType(r_);
            if (type == XML_READER_TYPE_DOCUMENT_TYPE) {
                out_.error = "a document type declaration is refused";
                return false;
            }
            if (type == XML_READER_TYPE_ELEMENT)
                return true;
        }
        return false;
    }

    bool root() {
        if (localName(r_) != "FDSNStationXML") {
            out_.error = "the root element is not FDSNStationXML";
            return false;
        }
        const xmlChar* ns = xmlTextReaderConstNamespaceUri(r_);
        const std::string fdsn(kFdsnNamespace);
        if (!ns) {
            out_.error =
                "the root element FDSNStationXML has no namespace: StationXML's is " + fdsn;
            return false;
        }
        if (fdsn != reinterpret_cast<const char*>(ns)) {
            out_.error = "the root element FDSNStationXML is of the namespace " +
                         std::string(reinterpret_cast<const char*>(ns)) + ", not StationXML's " +
                         fdsn;
            return false;
        }
        return version();
    }

    // schemaVersion 1.0 to 1.2 are read; a later 1.x is read as 1.2 and said.
    bool version() {
        const std::string last = "1." + std::to_string(kLastKnownMinorVersion);
        const auto raw = el::rawAttribute(xmlTextReaderCurrentNode(r_), "schemaVersion");
        if (!raw) {
            out_.warnings.push_back("no schemaVersion: read as StationXML " + last);
            return true;
        }
        const std::string v = orv::text::trim(*raw);
        long long major = 0, minor = 0;
        const std::size_t dot = v.find('.');
        const bool readable = dot != std::string::npos &&
                              orv::text::parseInt(v.substr(0, dot), major) &&
                              orv::text::parseInt(v.substr(dot + 1), minor) && minor >= 0;
        if (!readable || major != 1) {
            out_.error = "schemaVersion \"" + *raw + "\" is not read: StationXML 1.0 to " + last +
                         " (and later 1.x) is";
            return false;
        }
        if (minor > kLastKnownMinorVersion)
            out_.warnings.push_back("schemaVersion " + v + " is later than " + last +
                                    ", the last this import knows: read as " + last +
                                    ", elements it does not know skipped");
        return true;
    }

    int network() {
        if (!inFdsn(r_, "Network"))
            return skip();
        const std::string code = el::attribute(xmlTextReaderCurrentNode(r_), "code");
        if (!forEachChild([&] { return station(code); }))
            return -1;
        return xmlTextReaderRead(r_);
    }

    int station(const std::string& network) {
        if (!inFdsn(r_, "Station"))
            return skip();
        el::StationPart part = el::stationStart(xmlTextReaderCurrentNode(r_), network);
        if (!forEachChild([&] { return stationChild(part); }))
            return -1;
        return xmlTextReaderRead(r_);
    }

    int stationChild(el::StationPart& part) {
        if (!inFdsn(r_))
            return skip();
        const xmlNode* n = expanded();
        if (!n)
            return -1;
        if (el::named(n, "Channel")) {
            ImportedEpoch epoch = el::channel(n, part);
            sink_(epoch);
            ++out_.epochs;
        } else {
            el::stationElement(n, part);
        }
        return skip();
    }

    xmlTextReader* r_;
    const EpochSink& sink_;
    DocumentReading& out_;
};

// The reason a reading ended early, when the walk did not give one.
void explain(DocumentReading& out, bool over) {
    if (!out.error.empty())
        return;
    if (over) {
        out.error = oversized();
        return;
    }
    const xmlError* e = xmlGetLastError();
    out.error = "not a well-formed XML document";
    if (e && e->message)
        out.error += ": " + orv::text::trim(e->message);
}

DocumentReading walk(xmlTextReader* reader, const EpochSink& sink, const bool* over) {
    DocumentReading out;
    if (!reader) {
        out.error = "the document cannot be read";
        return out;
    }
    out.read = Walk(reader, sink, out).run();
    if (!out.read)
        explain(out, over && *over);
    return out;
}

} // namespace

DocumentReading readStationXmlFile(const std::string& path, const EpochSink& sink) {
    // A file over the limit is refused before it is read; one that grows on the way, or a
    // pipe, when the count passes it.
    std::error_code ec;
    if (const auto size = std::filesystem::file_size(path, ec); !ec && size > kMaxDocumentBytes) {
        DocumentReading out;
        out.error = oversized();
        return out;
    }
    FileInput input;
    input.in.open(path, std::ios::binary);
    if (!input.in) {
        DocumentReading out;
        out.error = "the file cannot be opened";
        return out;
    }
    xmlResetLastError();
    Reader reader(xmlReaderForIO(&FileInput::read, &FileInput::close, &input, "stationxml", nullptr,
                                 kOptions));
    return walk(reader.get(), sink, &input.over);
}

DocumentReading readStationXml(std::string_view bytes, const EpochSink& sink) {
    // libxml2 takes a document in memory up to the largest int.
    if (bytes.size() > kMaxDocumentBytes || bytes.size() > std::size_t(INT_MAX)) {
        DocumentReading out;
        out.error = oversized();
        return out;
    }
    xmlResetLastError();
    Reader reader(
        xmlReaderForMemory(bytes.data(), int(bytes.size()), "stationxml", nullptr, kOptions));
    return walk(reader.get(), sink, nullptr);
}

bool readStationXml(std::string_view bytes, std::vector<ImportedEpoch>& epochs,
                    std::string& error) {
    // Gathered apart and handed over only when the whole document was read.
    std::vector<ImportedEpoch> read;
    const DocumentReading reading =
        readStationXml(bytes, [&](ImportedEpoch& e) { read.push_back(std::move(e)); });
    if (!reading.read) {
        error = reading.error;
        return false;
    }
    epochs.insert(epochs.end(), std::make_move_iterator(read.begin()),
                  std::make_move_iterator(read.end()));
    return true;
}

} // namespace orv::stationxml
