// StationXML 1.0 to 1.2 read back into channel epochs with their responses, a channel at a
// time: what the reader holds is one channel's elements, whatever the document's size. The
// reader refuses what could hurt: a document type declaration (and so every entity),
// anything fetched from a network, a document over kMaxDocumentBytes or nested deeper than
// libxml2's default limit. The root must be FDSNStationXML of StationXML's namespace with a
// schemaVersion 1.x: 1.0 to 1.2 are read alike (what they change is nothing the import
// reads), a later 1.x is read as 1.2 and said. Elements and attributes of other namespaces
// are skipped wherever they stand. Within a well-formed document, a number or date that
// cannot be read refuses the epochs it belongs to (a station's, all of the station's
// channels), naming the element or attribute and the text found; the other epochs are read.
#pragma once

#include "odbc/odbc.h"

#include <complex>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::stationxml {

inline constexpr std::string_view kFdsnNamespace = "http://www.fdsn.org/xml/station/1";
// The last schemaVersion whose elements the reader knows.
inline constexpr int kLastKnownMinorVersion = 2;
// A channel at a time, what grows with the document is the overlap check's 24 bytes per
// writable epoch (an epoch takes at least 300 bytes): at most 43 MB at this size.
inline constexpr std::size_t kMaxDocumentBytes = std::size_t(512) * 1024 * 1024;

struct ImportedStage {
    enum class Kind { PolesZeros, Coefficients, ResponseList, Fir, Polynomial, GainOnly };
    Kind kind = Kind::GainOnly;
    int number = 0;           // the stage's number attribute, else its place from 1
    std::string transferType; // PzTransferFunctionType or CfTransferFunctionType
    std::string inputUnits, outputUnits;
    double normalizationFactor = 1, normalizationFrequency = 0;
    std::vector<std::complex<double>> zeros, poles;
    std::vector<double> numerators, denominators; // Coefficients
    std::size_t firCoefficients = 0;              // FIR
    std::vector<std::pair<double, double>> list;  // ResponseList: frequency, amplitude
    std::optional<double> gain, gainFrequency;
    std::optional<double> inputSampleRate; // Decimation
    std::optional<long long> decimationFactor;
};

struct ImportedEpoch {
    std::string network, station, channel;
    // FDSN's empty location (an empty code or one of blanks) is "", as is "??", the code
    // CALIBRATION stores for it.
    std::string location;
    std::string startText; // the startDate attribute as written, to name an unreadable one
    bool startRead = false;
    odbc::Timestamp start;
    std::optional<odbc::Timestamp> end; // none for an open epoch (2500 or later)
    double latitude = 0, longitude = 0, elevation = 0, depth = 0;
    std::optional<double> sampleRate;
    std::string sensorDescription;
    double stationLatitude = 0, stationLongitude = 0, stationElevation = 0;
    std::string siteName, stationDescription;
    std::optional<odbc::Timestamp> stationStart, stationEnd; // as the document gives them
    bool hasResponse = false;
    bool hasSensitivity = false; // an InstrumentSensitivity element
    bool hasPolynomial = false;  // an InstrumentPolynomial element
    std::optional<double> sensitivity, sensitivityFrequency;
    std::string sensitivityInputUnits, sensitivityOutputUnits;
    std::vector<ImportedStage> stages;
    // Why the epoch cannot be imported as the document gives it (a number or date that
    // cannot be read); empty when it can.
    std::string refusal;
    // What the reader changed on the way (a fraction of a second rounded).
    std::vector<std::string> notes;
};

// Each channel epoch as it is read; it lives until the call returns.
using EpochSink = std::function<void(ImportedEpoch&)>;

// What is said of a document as a whole: why it is refused, what the reader warns of.
struct DocumentReading {
    bool read = false;
    std::string error;
    std::vector<std::string> warnings; // a later schemaVersion, none at all
    std::size_t epochs = 0;
};

// Reads the file a channel at a time, handing each epoch to sink in the document's order.
// A document refused on the way (not well-formed at its end, over the size) has handed over
// the epochs before the fault: read it whole once before acting on what it gives.
DocumentReading readStationXmlFile(const std::string& path, const EpochSink& sink);
DocumentReading readStationXml(std::string_view bytes, const EpochSink& sink);

// Parses a document and appends its epochs; false with a message in error, and nothing
// appended, when it is refused.
bool readStationXml(std::string_view bytes, std::vector<ImportedEpoch>& epochs, std::string& error);

} // namespace orv::stationxml
