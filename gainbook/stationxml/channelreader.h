// The elements of a StationXML channel and of its station, read from libxml2 nodes: the
// document reader hands over one station element or one channel at a time. Only elements
// and attributes of StationXML's namespace are read; those of any other namespace, which
// the schema allows almost anywhere, are skipped wherever they stand.
#pragma once

#include "stationxml/xmlreader.h"

#include <libxml/tree.h>

#include <optional>
#include <string>
#include <vector>

namespace orv::stationxml::elements {

// An element of StationXML's namespace with that local name.
bool named(const xmlNode* n, const char* name);
// An attribute without a namespace (as StationXML's are), trimmed; "" when absent.
std::string attribute(const xmlNode* n, const char* name);
std::optional<std::string> rawAttribute(const xmlNode* n, const char* name);

// What is wrong with the epochs being read (the first fault refuses them) and what was
// changed on the way.
struct Findings {
    std::string refusal;
    std::vector<std::string> notes;
    void refuse(std::string why) {
        if (refusal.empty())
            refusal = std::move(why);
    }
};

// What every channel of a station shares.
struct StationPart {
    std::string network, code;
    double latitude = 0, longitude = 0, elevation = 0;
    std::string siteName, description;
    std::optional<odbc::Timestamp> start, end;
    Findings findings;
};

// The station's code and dates, from its start tag.
StationPart stationStart(const xmlNode* station, const std::string& network);
// One child element of the station other than a Channel (its place, site, description).
void stationElement(const xmlNode* element, StationPart& part);
// One channel epoch with its response.
ImportedEpoch channel(const xmlNode* channel, const StationPart& station);

} // namespace orv::stationxml::elements
