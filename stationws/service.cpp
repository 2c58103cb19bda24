#include "service.h"

#include "query.h"
#include "schema.h"
#include "stationxml/xmlwriter.h"
#include "text/text.h"
#include "textwriter.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <iostream>
#include <mutex>
#include <optional>

namespace orv::stationws {

namespace {

using stationxml::Level;

constexpr const char* kBase = "/fdsnws/station/1";

// Thrown by a sink or a visitor to end a reading early (not an error).
struct Stop {};

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    return orv::text::format("%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                             tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string_view reason(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Request Entity Too Large";
    case 414:
        return "Request-URI Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

// Printable ASCII only, at most limit bytes: what the error body repeats of the request.
std::string printable(std::string_view text, std::size_t limit = 2048) {
    std::string out;
    for (const char c : text.substr(0, limit))
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    if (text.size() > limit)
        out += "...";
    return out;
}

// The address the service listens on, for answers to requests that named no host.
std::string& listenAddress() {
    static std::string address;
    return address;
}

std::string hostOf(const httplib::Request& req) {
    std::string host = req.get_header_value("Host");
    if (host.empty())
        host = req.local_port > 0 ? req.local_addr + ":" + std::to_string(req.local_port)
                                  : listenAddress();
    return printable(host, 200);
}

void setError(const httplib::Request& req, httplib::Response& res, int status,
              std::string_view details) {
    const std::string base = "http://" + hostOf(req) + kBase;
    std::string target = req.target.empty() ? req.path : req.target;
    std::string body =
        "Error " + std::to_string(status) + ": " + std::string(reason(status)) + "\n\n" +
        std::string(details) + "\n\n" + "Usage details are available from " + base + "/\n\n" +
        "Request:\n" + "http://" + hostOf(req) + printable(target) + "\n\n" +
        "Request Submitted:\n" + utcNow() + "\n\n" + "Service version:\n" + kServiceVersion + "\n";
    res.status = status;
    res.set_content(body, "text/plain; charset=utf-8");
}

const char* kHelp = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>fdsnws-station</title></head>
<body>
<h1>Station web service</h1>
<p>Station metadata and instrument responses of this data centre, in FDSN StationXML 1.2 or
as text, as the FDSN station web service fdsnws-station 1.1 answers.</p>
<ul>
<li><a href="query">query</a>: GET with parameters, or POST with one <code>key=value</code>
per line followed by selection lines <code>NET STA LOC CHA START END</code></li>
<li><a href="version">version</a></li>
<li><a href="application.wadl">application.wadl</a></li>
</ul>
<h2>Parameters</h2>
<table border="1">
<tr><th>Parameter</th><th>Short</th><th>Meaning</th></tr>
<tr><td>starttime, endtime</td><td>start, end</td><td>channel epochs overlapping the window
(YYYY-MM-DD or YYYY-MM-DDThh:mm:ss[.ffffff], UTC)</td></tr>
<tr><td>startbefore, startafter, endbefore, endafter</td><td></td><td>limits on the epochs'
start and end</td></tr>
<tr><td>network, station, location, channel</td><td>net, sta, loc, cha</td><td>comma lists of
codes with the wildcards * and ?; -- is the empty location</td></tr>
<tr><td>minlatitude, maxlatitude, minlongitude, maxlongitude</td><td>minlat, maxlat, minlon,
maxlon</td><td>a box of station coordinates, degrees</td></tr>
<tr><td>latitude, longitude, minradius, maxradius</td><td>lat, lon</td><td>a ring of arc degrees
around a point</td></tr>
<tr><td>level</td><td></td><td>network, station (default), channel or response</td></tr>
<tr><td>format</td><td></td><td>xml (default) or text (not at level response)</td></tr>
<tr><td>nodata</td><td></td><td>the status of an empty answer: 204 (default) or 404</td></tr>
<tr><td>includerestricted</td><td></td><td>true or false (nothing here is restricted)</td></tr>
<tr><td>includeavailability, matchtimeseries</td><td></td><td>false only</td></tr>
</table>
<p>Example: <a href="query?net=*&amp;level=network&amp;format=text">query?net=*&amp;level=network&amp;format=text</a></p>
</body></html>
)";

std::string wadl(const std::string& base) {
    std::string params;
    auto param = [&](std::string_view name, std::string_view type, std::string_view extra = {}) {
        params += "        <param name=\"" + std::string(name) + "\" style=\"query\" type=\"" +
                  std::string(type) + "\"";
        if (extra.empty()) {
            params += "/>\n";
        } else {
            params += ">\n" + std::string(extra) + "        </param>\n";
        }
    };
    auto options = [](std::initializer_list<std::string_view> values) {
        std::string out;
        for (std::string_view v : values)
            out += "          <option value=\"" + std::string(v) + "\"/>\n";
        return out;
    };
    for (std::string_view n : {"starttime", "start", "endtime", "end", "startbefore", "startafter",
                               "endbefore", "endafter"})
        param(n, "xs:dateTime");
    for (std::string_view n :
         {"network", "net", "station", "sta", "location", "loc", "channel", "cha"})
        param(n, "xs:string");
    for (std::string_view n : {"minlatitude", "minlat", "maxlatitude", "maxlat", "minlongitude",
                               "minlon", "maxlongitude", "maxlon", "latitude", "lat", "longitude",
                               "lon", "minradius", "maxradius"})
        param(n, "xs:double");
    param("level", "xs:string", options({"network", "station", "channel", "response"}));
    param("format", "xs:string", options({"xml", "text"}));
    param("nodata", "xs:int", options({"204", "404"}));
    param("includerestricted", "xs:boolean", options({"true", "false"}));
    param("includeavailability", "xs:boolean", options({"false"}));
    param("matchtimeseries", "xs:boolean", options({"false"}));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<application xmlns=\"http://wadl.dev.java.net/2009/02\" "
           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
           "  <resources base=\"" +
           base +
           "\">\n"
           "    <resource path=\"query\">\n"
           "      <method name=\"GET\" id=\"query\">\n"
           "        <request>\n" +
           params +
           "        </request>\n"
           "        <response status=\"200\">\n"
           "          <representation mediaType=\"application/xml\"/>\n"
           "          <representation mediaType=\"text/plain\"/>\n"
           "        </response>\n"
           "        <response status=\"204 400 404 413 414 500 503\">\n"
           "          <representation mediaType=\"text/plain\"/>\n"
           "        </response>\n"
           "      </method>\n"
           "      <method name=\"POST\" id=\"postQuery\">\n"
           "        <request>\n"
           "          <representation mediaType=\"text/plain\"/>\n"
           "        </request>\n"
           "        <response status=\"200\">\n"
           "          <representation mediaType=\"application/xml\"/>\n"
           "          <representation mediaType=\"text/plain\"/>\n"
           "        </response>\n"
           "      </method>\n"
           "    </resource>\n"
           "    <resource path=\"version\">\n"
           "      <method name=\"GET\"><response><representation mediaType=\"text/plain\"/>"
           "</response></method>\n"
           "    </resource>\n"
           "    <resource path=\"application.wadl\">\n"
           "      <method name=\"GET\"><response><representation "
           "mediaType=\"application/xml\"/></response></method>\n"
           "    </resource>\n"
           "  </resources>\n"
           "</application>\n";
}

// One database connection of the pool, opened when first needed and again after it failed.
struct Slot {
    std::unique_ptr<odbc::Connection> connection;
};

class Pool {
public:
    Pool(gainbook::ConnectionSettings settings, std::size_t size, int waitSeconds)
        : settings_(std::move(settings)), waitSeconds_(waitSeconds) {
        for (std::size_t i = 0; i < size; ++i)
            free_.push_back(std::make_unique<Slot>());
    }

    // A free slot, or null when none became free in time.
    std::unique_ptr<Slot> take() { return take(std::chrono::seconds(waitSeconds_)); }
    std::unique_ptr<Slot> take(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        if (!freed_.wait_for(lock, wait, [&] { return !free_.empty(); }))
            return nullptr;
        std::unique_ptr<Slot> slot = std::move(free_.front());
        free_.pop_front();
        return slot;
    }
    void give(std::unique_ptr<Slot> slot) {
        {
            std::lock_guard lock(mutex_);
            free_.push_back(std::move(slot));
        }
        freed_.notify_one();
    }

    // Opens the slot's connection when it has none; false (the reason logged) when the
    // database cannot be reached.
    bool open(Slot& slot) {
        if (slot.connection && slot.connection->isOpen())
            return true;
        slot.connection.reset();
        gainbook::OpenResult opened = gainbook::openConnection(settings_);
        if (!opened.connection) {
            logFailure("connection failed: " + opened.diagnostic);
            return false;
        }
        // Rows come as they are fetched where the driver can be told so.
        if (const auto kind =
                gainbook::classifyDbmsName(opened.connection->dbmsName().value_or(""))) {
            if (const auto streaming = gainbook::dialect(*kind).streamingAttributes;
                !streaming.empty())
                if (gainbook::OpenResult streamed = gainbook::openConnection(settings_, streaming);
                    streamed.connection)
                    opened.connection = std::move(streamed.connection);
            if (*kind == gainbook::DbmsKind::PostgreSql) {
                odbc::Statement st(*opened.connection);
                st.execDirect("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
            }
        }
        SQLSetConnectAttr(opened.connection->handle(), SQL_ATTR_ACCESS_MODE,
                          reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
        slot.connection = std::move(opened.connection);
        return true;
    }

    // After a failed read: true when the connection still works (the failure was the
    // statement's); false, the connection dropped, when the database is gone.
    static bool stillAlive(Slot& slot) {
        if (!slot.connection)
            return false;
        odbc::Statement st(*slot.connection);
        if (st.valid() && odbc::isSuccess(st.execDirect("SELECT 1")) && odbc::isSuccess(st.fetch()))
            return true;
        slot.connection.reset();
        return false;
    }

    static void logFailure(const std::string& message) {
        std::string line = "stationws: " + utcNow() + " " + message;
        // A driver's message may repeat its connection string: never the password.
        for (const char* key : {"PWD=", "pwd=", "Pwd=", "PASSWORD=", "password="})
            for (std::size_t at = line.find(key); at != std::string::npos;
                 at = line.find(key, at + 1)) {
                const std::size_t end = std::min(line.size(), line.find(';', at));
                line.replace(at, end - at, std::string(key) + "***");
            }
        std::cerr << line + "\n" << std::flush;
    }

private:
    gainbook::ConnectionSettings settings_;
    int waitSeconds_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::deque<std::unique_ptr<Slot>> free_;
};

// Holds a slot for a request and gives it back when the request is done with it.
class Lease {
public:
    Lease(Pool& pool, std::unique_ptr<Slot> slot) : pool_(pool), slot_(std::move(slot)) {}
    ~Lease() {
        if (slot_)
            pool_.give(std::move(slot_));
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Slot& slot() { return *slot_; }

private:
    Pool& pool_;
    std::unique_ptr<Slot> slot_;
};

// Stops the reading at the first thing of the level asked for: is the answer empty?
class Probe : public stationxml::InventoryVisitor {
public:
    explicit Probe(Level level) : level_(level) {}
    void beginNetwork(const stationxml::NetworkInfo&) override {
        if (level_ == Level::Network)
            throw Stop{};
    }
    void endNetwork() override {}
    void beginStation(const stationxml::StationInfo&) override {
        if (level_ == Level::Station)
            throw Stop{};
    }
    void endStation() override {}
    void channel(const stationxml::ChannelEpoch&) override { throw Stop{}; }

private:
    Level level_;
};

// Passes everything on and notes whether the answer holds anything of the level asked for,
// as the Probe would find out.
class Watch : public stationxml::InventoryVisitor {
public:
    Watch(stationxml::InventoryVisitor& next, Level level) : next_(next), level_(level) {}
    void beginNetwork(const stationxml::NetworkInfo& n) override {
        if (level_ == Level::Network)
            matched_ = true;
        next_.beginNetwork(n);
    }
    void endNetwork() override { next_.endNetwork(); }
    void beginStation(const stationxml::StationInfo& st) override {
        if (level_ == Level::Station)
            matched_ = true;
        next_.beginStation(st);
    }
    void endStation() override { next_.endStation(); }
    void channel(const stationxml::ChannelEpoch& c) override {
        matched_ = true;
        next_.channel(c);
    }
    bool matched() const { return matched_; }

private:
    stationxml::InventoryVisitor& next_;
    Level level_;
    bool matched_ = false;
};

// The largest answer that is read whole before its status is sent; a larger one is read
// a second time to be sent as it is read.
constexpr std::size_t kWholeAnswerBytes = 256 * 1024;

// The arc, in degrees, between two points of the sphere (haversine form, good at small
// and large distances alike).
double arcDegrees(double lat1, double lon1, double lat2, double lon2) {
    constexpr double rad = 3.14159265358979323846 / 180;
    const double dLat = (lat2 - lat1) * rad;
    const double dLon = (lon2 - lon1) * rad;
    const double a =
        std::sin(dLat / 2) * std::sin(dLat / 2) +
        std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * std::asin(std::min(1.0, std::sqrt(a))) / rad;
}

// Passes on what the answer shows: stations inside the ring of the selection (when it has
// one), a network only once one of its stations is shown (or at once when no ring is
// asked for), no stations below the network level and no channels below the station level.
class Filter : public stationxml::InventoryVisitor {
public:
    Filter(stationxml::InventoryVisitor& next, Level shown, const stationxml::Selection& s)
        : next_(next), shown_(shown), selection_(s),
          ring_(s.minRadius.has_value() || s.maxRadius.has_value()) {}
    void beginNetwork(const stationxml::NetworkInfo& n) override {
        pending_ = n;
        if (!ring_)
            openNetwork();
    }
    void endNetwork() override {
        if (open_)
            next_.endNetwork();
        open_ = false;
        pending_.reset();
    }
    void beginStation(const stationxml::StationInfo& st) override {
        inside_ = !ring_ || insideRing(st.latitude, st.longitude);
        if (!inside_)
            return;
        openNetwork();
        if (shown_ != Level::Network)
            next_.beginStation(st);
    }
    void endStation() override {
        if (inside_ && shown_ != Level::Network)
            next_.endStation();
        inside_ = false;
    }
    void channel(const stationxml::ChannelEpoch& c) override {
        if (inside_ && (shown_ == Level::Channel || shown_ == Level::Response))
            next_.channel(c);
    }

private:
    void openNetwork() {
        if (open_ || !pending_)
            return;
        next_.beginNetwork(*pending_);
        open_ = true;
    }
    bool insideRing(double latitude, double longitude) const {
        const double d = arcDegrees(selection_.latitude.value_or(0),
                                    selection_.longitude.value_or(0), latitude, longitude);
        return d >= selection_.minRadius.value_or(0) && d <= selection_.maxRadius.value_or(180);
    }

    stationxml::InventoryVisitor& next_;
    Level shown_;
    const stationxml::Selection& selection_;
    bool ring_;
    std::optional<stationxml::NetworkInfo> pending_;
    bool open_ = false;
    bool inside_ = false;
};

// The level the reader must reach for an answer: text at network level counts stations,
// text at channel level shows the sensitivity.
Level readingLevel(const Query& q) {
    const auto& s = q.selections.front();
    if (q.level == Level::Network && (q.format == Format::Text || s.minRadius || s.maxRadius))
        return Level::Station;
    if (q.format == Format::Text && q.level == Level::Channel)
        return Level::Response;
    return q.level;
}

enum class Outcome { Done, Stopped, DatabaseError };

// The readiness check: a one-row read of a response table through the pool, within this
// bound, as a load balancer asks it before sending an instance queries.
constexpr auto kHealthBound = std::chrono::seconds(2);
constexpr const char* kHealthRead = "SELECT ID_SENS FROM ID_SENS";

// True when the connection reads the first row of the health statement (or finds the table
// empty) within the seconds given.
bool readsResponseTable(odbc::Connection& connection, long seconds) {
    odbc::Statement st(connection);
    if (!st.valid())
        return false;
    SQLSetStmtAttr(st.handle(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(1L, seconds))), 0);
    if (!odbc::isSuccess(st.execDirect(kHealthRead)))
        return false;
    const SQLRETURN fetched = st.fetch();
    return odbc::isSuccess(fetched) || fetched == SQL_NO_DATA;
}

} // namespace

struct Service::Impl {
    Config config;
    httplib::Server server;
    Pool pool;

    explicit Impl(Config c)
        : config(std::move(c)),
          pool(config.database, config.databaseConnections, config.connectionWaitSeconds) {}

    // Runs the selections of a query into a visitor; Stop thrown by the visitor or the sink
    // ends it early.
    Outcome read(Slot& slot, const Query& query, Level level, Level shown,
                 stationxml::InventoryVisitor& v, std::string& failure) {
        try {
            for (stationxml::Selection s : query.selections) {
                s.level = level;
                Filter filtered(v, shown, s);
                stationxml::readInventory(*slot.connection, s, filtered, [](std::string_view) {});
            }
            return Outcome::Done;
        } catch (const Stop&) {
            return Outcome::Stopped;
        } catch (const std::exception& e) {
            failure = e.what();
            return Outcome::DatabaseError;
        }
    }

    void databaseFailure(const httplib::Request& req, httplib::Response& res, Slot& slot,
                         const std::string& failure) {
        Pool::logFailure("query failed: " + failure);
        if (Pool::stillAlive(slot))
            setError(req, res, 500, "The database could not answer the query.");
        else
            setError(req, res, 503, "The database cannot be reached at the moment.");
    }

    void answer(const httplib::Request& req, httplib::Response& res, const QueryResult& parsed) {
        if (!parsed.query) {
            setError(req, res, 400, parsed.error);
            return;
        }
        auto query = std::make_shared<Query>(*parsed.query);
        std::unique_ptr<Slot> slot = pool.take();
        if (!slot) {
            setError(req, res, 503, "All database connections are busy; try again later.");
            return;
        }
        auto lease = std::make_shared<Lease>(pool, std::move(slot));
        if (!pool.open(lease->slot())) {
            setError(req, res, 503, "The database cannot be reached at the moment.");
            return;
        }
        std::string failure;
        const Level level = readingLevel(*query);
        const Level probeLevel = query->level == Level::Response ? Level::Channel : query->level;
        // A small answer is read once, whole, and sent from memory; the connection is free
        // again before the client has it.
        std::string whole;
        auto gather = [&](std::string_view chunk) {
            if (whole.size() + chunk.size() > kWholeAnswerBytes)
                throw Stop{};
            whole += chunk;
        };
        bool matched = false;
        const Outcome first = write(lease->slot(), *query, level, gather, failure, &matched);
        if (first == Outcome::DatabaseError) {
            databaseFailure(req, res, lease->slot(), failure);
            return;
        }
        if (first == Outcome::Done && matched) {
            if (config.maxAnswerBytes > 0 && whole.size() > config.maxAnswerBytes) {
                setError(req, res, 413, tooLarge(config.maxAnswerBytes));
                return;
            }
            lease.reset();
            auto body = std::make_shared<std::string>(std::move(whole));
            res.status = 200;
            res.set_chunked_content_provider(contentType(*query),
                                             [body](std::size_t, httplib::DataSink& sink) {
                                                 if (!sink.write(body->data(), body->size()))
                                                     return false;
                                                 sink.done();
                                                 return true;
                                             });
            return;
        }
        whole.clear();
        whole.shrink_to_fit();
        // Done here is an empty answer; a larger one that showed nothing yet is probed.
        Probe probe(probeLevel);
        const Outcome probed =
            first == Outcome::Done || matched
                ? first
                : read(lease->slot(), *query, level, query->level, probe, failure);
        if (probed == Outcome::DatabaseError) {
            databaseFailure(req, res, lease->slot(), failure);
            return;
        }
        if (probed == Outcome::Done) {
            // Nothing found on a connection that has gone is no answer.
            if (!Pool::stillAlive(lease->slot())) {
                setError(req, res, 503, "The database cannot be reached at the moment.");
                return;
            }
            if (query->nodata == 404)
                setError(req, res, 404, "No data matches the selection.");
            else
                res.status = 204;
            return;
        }
        if (config.maxAnswerBytes > 0) {
            std::size_t bytes = 0;
            const std::size_t limit = config.maxAnswerBytes;
            auto count = [&](std::string_view chunk) {
                bytes += chunk.size();
                if (bytes > limit)
                    throw Stop{};
            };
            const Outcome counted = write(lease->slot(), *query, level, count, failure);
            if (counted == Outcome::DatabaseError) {
                databaseFailure(req, res, lease->slot(), failure);
                return;
            }
            if (counted == Outcome::Stopped) {
                setError(req, res, 413, tooLarge(limit));
                return;
            }
        }
        res.status = 200;
        res.set_chunked_content_provider(
            contentType(*query), [this, query, lease, level](std::size_t, httplib::DataSink& sink) {
                auto send = [&](std::string_view chunk) {
                    if (!sink.write(chunk.data(), chunk.size()))
                        throw Stop{};
                };
                std::string why;
                const Outcome o = write(lease->slot(), *query, level, send, why);
                if (o != Outcome::Done) {
                    if (o == Outcome::DatabaseError) {
                        Pool::logFailure("query failed while answering: " + why);
                        Pool::stillAlive(lease->slot());
                    }
                    return false; // the connection is closed: the client sees a cut answer
                }
                sink.done();
                return true;
            });
    }

    // GET or HEAD /health: 200 while the instance reads its database within the bound,
    // else 503.
    void health(const httplib::Request& req, httplib::Response& res) {
        const auto deadline = std::chrono::steady_clock::now() + kHealthBound;
        std::unique_ptr<Slot> slot = pool.take(kHealthBound);
        if (!slot) {
            setError(req, res, 503, "All database connections are busy; try again later.");
            return;
        }
        Lease lease(pool, std::move(slot));
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(
            deadline - std::chrono::steady_clock::now());
        if (pool.open(lease.slot()) && readsResponseTable(*lease.slot().connection, left.count())) {
            res.set_content("ok\n", "text/plain");
            return;
        }
        // A connection whose server went away is dropped: the next check connects anew.
        Pool::stillAlive(lease.slot());
        setError(req, res, 503, "The database cannot be reached at the moment.");
    }

    static const char* contentType(const Query& query) {
        return query.format == Format::Text ? "text/plain; charset=utf-8"
                                            : "application/xml; charset=utf-8";
    }
    static std::string tooLarge(std::size_t limit) {
        return "The answer would exceed " + std::to_string(limit) +
               " bytes; select fewer stations, channels or a shorter time.";
    }

    // Writes the answer into sink; with matched, notes there whether anything of the level
    // asked for was written.
    Outcome write(Slot& slot, const Query& query, Level level,
                  const std::function<void(std::string_view)>& sink, std::string& failure,
                  bool* matched = nullptr) {
        const Level probeLevel = query.level == Level::Response ? Level::Channel : query.level;
        if (query.format == Format::Text) {
            TextWriter text(sink, query.level);
            text.begin();
            // At network level the text counts the stations.
            const Level shown = query.level == Level::Network ? Level::Station : query.level;
            Watch watch(text, probeLevel);
            const Outcome o = read(slot, query, level, shown, watch, failure);
            if (matched)
                *matched = watch.matched();
            if (o == Outcome::Done)
                text.finish();
            return o;
        }
        stationxml::WriterOptions options;
        options.module = "stationws";
        stationxml::StationXmlWriter xml(sink, options);
        try {
            xml.begin();
        } catch (const Stop&) {
            return Outcome::Stopped;
        }
        Watch watch(xml, probeLevel);
        const Outcome o = read(slot, query, level, query.level, watch, failure);
        if (matched)
            *matched = watch.matched();
        if (o == Outcome::Done) {
            try {
                xml.finish();
            } catch (const Stop&) {
                return Outcome::Stopped;
            }
        }
        return o;
    }

    void routes() {
        server.Get(std::string(kBase) + "/query",
                   [this](const httplib::Request& req, httplib::Response& res) {
                       Parameters params;
                       for (const auto& [k, v] : req.params)
                           params.emplace_back(k, v);
                       answer(req, res, parseQuery(params));
                   });
        server.Post(std::string(kBase) + "/query",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        answer(req, res, parsePostBody(req.body));
                    });
        server.Get(std::string(kBase) + "/version",
                   [](const httplib::Request&, httplib::Response& res) {
                       res.set_content(kServiceVersion, "text/plain");
                   });
        server.Get("/health", [this](const httplib::Request& req, httplib::Response& res) {
            health(req, res);
        });
        server.Get(std::string(kBase) + "/application.wadl", [](const httplib::Request& req,
                                                                httplib::Response& res) {
            res.set_content(wadl("http://" + hostOf(req) + kBase + "/"), "application/xml");
        });
        for (const std::string& path : {std::string(kBase) + "/", std::string(kBase)})
            server.Get(path, [](const httplib::Request&, httplib::Response& res) {
                res.set_content(kHelp, "text/html; charset=utf-8");
            });
        // Statuses the library sets itself (404 for an unknown path, 413, 414, ...) get the
        // standard body too.
        server.set_error_handler(httplib::Server::HandlerWithResponse(
            [](const httplib::Request& req,
               httplib::Response& res) -> httplib::Server::HandlerResponse {
                if (!res.body.empty())
                    return httplib::Server::HandlerResponse::Unhandled;
                std::string details = "The request cannot be answered.";
                if (res.status == 404)
                    details = "No such resource; the service is at " + std::string(kBase) + "/.";
                else if (res.status == 413)
                    details =
                        "The request body is larger than " + std::string("the service accepts.");
                else if (res.status == 414)
                    details = "The request URL is too long; send long selections by POST.";
                else if (res.status == 405)
                    details = "This method is not allowed here.";
                setError(req, res, res.status, details);
                return httplib::Server::HandlerResponse::Handled;
            }));
        server.set_exception_handler(
            [](const httplib::Request& req, httplib::Response& res, std::exception_ptr) {
                Pool::logFailure("a request failed with an exception");
                setError(req, res, 500, "The request failed inside the service.");
            });
        server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
            requestStart() = std::chrono::steady_clock::now();
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            // A request the library refused before routing has no start.
            std::string took = "-";
            if (requestStart() != std::chrono::steady_clock::time_point{})
                took = orv::text::format("%.1f ms",
                                         std::chrono::duration<double, std::milli>(
                                             std::chrono::steady_clock::now() - requestStart())
                                             .count());
            requestStart() = {};
            const std::string target = req.target.empty() ? req.path : req.target;
            std::cerr << utcNow() + " " +
                             (req.remote_addr.empty() ? "-" : printable(req.remote_addr, 64)) +
                             " " + (req.method.empty() ? "-" : printable(req.method, 16)) + " " +
                             (target.empty() ? "-" : printable(target, 512)) + " " +
                             std::to_string(res.status) + " " + took + "\n"
                      << std::flush;
        });
    }

    static std::chrono::steady_clock::time_point& requestStart() {
        thread_local std::chrono::steady_clock::time_point start;
        return start;
    }
};

Service::Service(Config config) : impl_(std::make_unique<Impl>(std::move(config))) {
    httplib::Server& s = impl_->server;
    const Config& c = impl_->config;
    const std::size_t threads = c.httpThreads;
    s.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    s.set_read_timeout(c.timeoutSeconds, 0);
    s.set_write_timeout(c.timeoutSeconds, 0);
    s.set_keep_alive_timeout(c.timeoutSeconds);
    s.set_payload_max_length(c.maxBodyBytes);
    s.set_tcp_nodelay(true);
    impl_->routes();
}

Service::~Service() = default;

bool Service::bind() {
    if (impl_->config.port == 0) {
        port_ = impl_->server.bind_to_any_port(impl_->config.host);
        if (port_ <= 0) {
            std::cerr << "stationws: cannot listen on " << impl_->config.host << "\n";
            return false;
        }
        listenAddress() = impl_->config.host + ":" + std::to_string(port_);
        return true;
    }
    if (!impl_->server.bind_to_port(impl_->config.host, impl_->config.port)) {
        std::cerr << "stationws: cannot listen on " << impl_->config.host << ":"
                  << impl_->config.port << "\n";
        return false;
    }
    port_ = impl_->config.port;
    listenAddress() = impl_->config.host + ":" + std::to_string(port_);
    return true;
}

bool Service::run() {
    return impl_->server.listen_after_bind();
}

void Service::stop() {
    impl_->server.stop();
}

} // namespace orv::stationws
