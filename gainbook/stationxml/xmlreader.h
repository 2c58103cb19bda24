// StationXML 1.0 to 1.2 read back into channel epochs with their responses. The reader
// refuses what could hurt: a document type declaration (and so every entity), anything
// fetched from a network, a document over kMaxDocumentBytes or nested deeper than
// libxml2's default limit. Within a well-formed document, a number or date that cannot be
// read refuses the epochs it belongs to (a station's, all of the station's channels),
// naming the element or attribute and the text found; the other epochs are read.
#pragma once

#include "odbc/odbc.h"

#include <complex>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::stationxml {

inline constexpr std::size_t kMaxDocumentBytes = 64u * 1024 * 1024;

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
    std::string sensitivityInputUnits;
    std::vector<ImportedStage> stages;
    // Why the epoch cannot be imported as the document gives it (a number or date that
    // cannot be read); empty when it can.
    std::string refusal;
    // What the reader changed on the way (a fraction of a second rounded).
    std::vector<std::string> notes;
};

// Parses a document and appends its epochs; false with a message in error, and nothing
// appended, when it is refused.
bool readStationXml(std::string_view bytes, std::vector<ImportedEpoch>& epochs, std::string& error);

} // namespace orv::stationxml
