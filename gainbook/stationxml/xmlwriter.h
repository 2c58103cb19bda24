// StationXML 1.2 written as the inventory is visited, in chunks to a sink, so that a whole
// archive never sits in memory and a server can send it as it comes.
#pragma once

#include "stationxml/inventory.h"

#include "stationxml/keptbyvalue.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orv::stationxml {

// The shortest C-locale text that reads back as the same double.
std::string numberText(double v);
// xs:dateTime in UTC: "YYYY-MM-DDTHH:MM:SSZ".
std::string dateTimeText(const odbc::Timestamp& t);
// Replaces, each by U+FFFD, what XML 1.0 cannot carry: control characters other than tab,
// line feed and carriage return, and bytes that are not UTF-8. True when it changed text.
bool xmlSafe(std::string& text);

using Sink = std::function<void(std::string_view)>;

// Response elements as the writer puts them in a Channel, by the response's value: a
// response that many channel epochs share (one instrument on several channels, an epoch
// that changed only its place) is written once. Shared by writers on several threads. At
// most `bytes` are held; past them, what is held is dropped and the keeping starts again.
class ResponseTexts {
public:
    explicit ResponseTexts(std::size_t bytes) : texts_(bytes) {}
    // The element's text for the response, written now when it is not held.
    std::shared_ptr<const std::string> textOf(const Response& response);
    std::size_t held() const { return texts_.held(); }

private:
    KeptByValue<std::string> texts_;
};

struct WriterOptions {
    std::string source = "ORV";
    std::string sender;
    std::string module = "gainbook-cli";
    // The Created element; the current time in UTC when unset.
    std::optional<odbc::Timestamp> created;
    // Where Response elements already written are found; none: each is written anew.
    std::shared_ptr<ResponseTexts> responseTexts;
};

class StationXmlWriter : public InventoryVisitor {
public:
    explicit StationXmlWriter(Sink sink, WriterOptions options = {});
    ~StationXmlWriter() override;
    StationXmlWriter(const StationXmlWriter&) = delete;
    StationXmlWriter& operator=(const StationXmlWriter&) = delete;

    // The XML declaration, the root element and its header.
    void begin();
    void beginNetwork(const NetworkInfo&) override;
    void endNetwork() override;
    void beginStation(const StationInfo&) override;
    void endStation() override;
    void channel(const ChannelEpoch&) override;
    // Closes what is open and flushes the rest to the sink.
    void finish();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace orv::stationxml
