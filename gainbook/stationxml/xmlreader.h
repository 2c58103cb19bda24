// StationXML 1.0 to 1.2 read back into channel epochs with their responses, and a response
// turned into the SAC text the database stores. The reader refuses what could hurt: a
// document type declaration (and so every entity), anything fetched from a network, a
// document over kMaxDocumentBytes or nested deeper than libxml2's default limit.
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
    enum class Kind { PolesZeros, ResponseList, Other };
    Kind kind = Kind::Other;
    std::string transferType; // PzTransferFunctionType
    std::string inputUnits, outputUnits;
    double normalizationFactor = 1, normalizationFrequency = 0;
    std::vector<std::complex<double>> zeros, poles;
    std::vector<std::pair<double, double>> list; // frequency, amplitude
    std::optional<double> gain;
};

struct ImportedEpoch {
    std::string network, station, location, channel;
    odbc::Timestamp start;
    std::optional<odbc::Timestamp> end; // none for an open epoch (2500 or later)
    double latitude = 0, longitude = 0, elevation = 0, depth = 0;
    std::optional<double> sampleRate;
    std::string sensorDescription;
    double stationLatitude = 0, stationLongitude = 0, stationElevation = 0;
    std::string siteName, stationDescription;
    std::optional<odbc::Timestamp> stationStart, stationEnd; // as the document gives them
    bool hasResponse = false;
    std::optional<double> sensitivity, sensitivityFrequency;
    std::string sensitivityInputUnits;
    std::vector<ImportedStage> stages;
};

// Parses a document and appends its epochs; false with a message in error, and nothing
// appended, when it is refused.
bool readStationXml(std::string_view bytes, std::vector<ImportedEpoch>& epochs, std::string& error);

// What a response becomes in the database.
struct SacResponse {
    std::string text;   // SAC pole-zero text, lines ended by "\r\n", with header comments
    long long sensUnit; // 0 displacement, 1 velocity, 2 acceleration
    double frequency;   // Hz
    double sensitivity; // counts per input unit
    double a0;
};

// The analog PolesZeros stages of an epoch combined into one SAC text in the displacement
// form; nullopt with the reason in why when the epoch has no such response.
std::optional<SacResponse> toSac(const ImportedEpoch& epoch, std::string& why);

// An epoch whose only stage is a ResponseList as a FAP text in the ORV flavour (amplitude =
// 10^9 x counts per input unit, so that the FAP evaluation at fs gives the sensitivity);
// nullopt with the reason in why otherwise.
struct FapResponse {
    std::string text; // triplet lines
    long long sensUnit;
    double frequency; // Hz
};
std::optional<FapResponse> toFap(const ImportedEpoch& epoch, std::string& why);

} // namespace orv::stationxml
