#include "service.h"

#include "filters.h"
#include "httpserver.h"
#include "log.h"
#include "pool.h"
#include "query.h"
#include "schema.h"
#include "spool.h"
#include "stationxml/xmlwriter.h"
#include "text/text.h"
#include "texts.h"
#include "textwriter.h"

#include <libxml/entities.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <iostream>
#include <limits>
#include <mutex>
#include <optional>
#include <set>

namespace orv::stationws {

namespace {

using stationxml::Level;

constexpr const char* kBase = "/fdsnws/station/1";

// Thrown by a sink or a visitor to end a reading early (not an error).
struct Stop {};

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

// The address the service listens on, for answers to requests that named no host.
std::string& listenAddress() {
    static std::string address;
    return address;
}

// The address clients reach the service at (--public-url), when it is set.
std::string& publicUrl() {
    static std::string url;
    return url;
}

std::string hostOf(const httplib::Request& req) {
    std::string host = req.get_header_value("Host");
    if (host.empty())
        host = req.local_port > 0 ? req.local_addr + ":" + std::to_string(req.local_port)
                                  : listenAddress();
    return log::printable(host, 200);
}

// The service's address as the WADL and the error texts name it: the public URL, else
// "http://" and the Host header (printable characters only; the WADL escapes it further).
std::string rootOf(const httplib::Request& req) {
    return publicUrl().empty() ? "http://" + hostOf(req) : publicUrl();
}

// Sends a text as it is, whatever the client accepts: the HTTP library compresses a body set
// as content when the client accepts gzip, never one given with its length by a provider
// (clients show error bodies raw).
void setPlainBody(httplib::Response& res, std::string body, const char* type) {
    auto text = std::make_shared<std::string>(std::move(body));
    res.set_content_provider(
        text->size(), type,
        [text](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return sink.write(text->data() + offset, length);
        });
}

void setError(const httplib::Request& req, httplib::Response& res, int status,
              std::string_view details) {
    const std::string root = rootOf(req);
    std::string target = req.target.empty() ? req.path : req.target;
    std::string body = "Error " + std::to_string(status) + ": " + std::string(reason(status)) +
                       "\n\n" + std::string(details) + "\n\n" +
                       "Usage details are available from " + root + kBase + "/\n\n" + "Request:\n" +
                       root + log::printable(target) + "\n\n" + "Request Submitted:\n" +
                       log::utcNow() + "\n\n" + "Service version:\n" + kServiceVersion + "\n";
    res.status = status;
    setPlainBody(res, std::move(body), "text/plain; charset=utf-8");
}

// The part of an answer kept in memory: an answer up to this size (a station, a few
// channels with their responses) is sent once it is read whole, with its status chosen
// from the whole reading; a larger one is sent while it is read, the rest of it kept in a
// temporary file.
constexpr std::size_t kWholeAnswerBytes = 256 * 1024;
// The most sent to the client at once.
constexpr std::size_t kSendBlock = 64 * 1024;

enum class Outcome { Done, Stopped, DatabaseError };

// The inventory reader's warnings (a station without responses, a code that is not an FDSN
// one): each logged once, as every answer that reads the same rows repeats it. At most
// kRemembered texts are remembered; beyond them the rest is counted, not logged.
class Warnings {
public:
    void log(std::string_view text) {
        std::lock_guard lock(mutex_);
        if (said_.find(text) != said_.end())
            return;
        if (said_.size() == kRemembered) {
            if (untold_++ == 0)
                log::failure("warning: more warnings than " + std::to_string(kRemembered) +
                             "; the others are not logged");
            return;
        }
        said_.emplace(text);
        log::failure("warning: " + std::string(text));
    }

private:
    static constexpr std::size_t kRemembered = 10000;
    std::mutex mutex_;
    std::set<std::string, std::less<>> said_;
    std::size_t untold_ = 0;
};

// What the reading of an answer came to.
enum class Verdict {
    Pending,
    Answer,        // a document (sent while it is still read when it is large)
    Empty,         // nothing matched
    TooLarge,      // over --max-answer
    DatabaseError, // the database failed the query
    Misconfigured, // the database lacks what the service reads
    Unreachable,   // no connection, or it went away
    Silent,        // the database gave no sign of life in time
    Cancelled      // the request no longer wanted it
};

// One answer: read into its spool by a reading thread, while the request's thread waits for
// the verdict and then sends what the spool holds.
struct Reading {
    Reading(Query q, std::size_t limit) : query(std::move(q)), spool(kWholeAnswerBytes, limit) {}
    Query query;
    Spool spool;
    std::mutex leaseMutex;
    std::unique_ptr<Lease> lease; // the reading thread's until it ends
    // Set by the reading thread before spool.finish().
    Verdict verdict = Verdict::Pending;
    bool overLimit = false;
};
// The readiness check: a one-row read of a response table through the pool, within this
// bound, as a load balancer asks it before sending an instance queries.
constexpr auto kHealthBound = std::chrono::seconds(2);
constexpr const char* kHealthRead = "SELECT ID_SENS FROM ID_SENS LIMIT 1";

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
    HttpServer server;
    Pool pool;
    Warnings warnings;
    // The reading threads: one for each slot there can be, so that a reading never waits.
    std::unique_ptr<httplib::ThreadPool> readers;
    std::mutex readingsMutex;
    std::condition_variable readingsEnded;
    std::size_t readings = 0; // begun and not ended

    explicit Impl(Config c)
        : config(std::move(c)), server(config.httpThreads),
          pool(config.database, config.databaseConnections, config.connectionWaitSeconds),
          readers(std::make_unique<httplib::ThreadPool>(pool.capacity())) {}
    ~Impl() {
        if (readers)
            readers->shutdown();
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // How long the database may give no sign of life before a request gives up on it: a
    // little longer than the drivers' own timeouts, which fail the statement themselves
    // where they can.
    std::chrono::milliseconds silence() const {
        return std::chrono::seconds(config.database.timeoutSeconds + 1);
    }

    // Runs the selections of a query (all at once: each epoch once, however many match it)
    // into a visitor, telling warn what the reading reports; Stop thrown by the visitor or
    // the sink ends it early.
    Outcome read(Slot& slot, const Query& query, Level level, Level shown,
                 stationxml::InventoryVisitor& v, std::string& failure) {
        const auto warn = [this](const stationxml::Problem& problem) {
            warnings.log(render(problem, stationxml::Language::English));
        };
        try {
            std::vector<stationxml::Selection> selections = query.selections;
            for (stationxml::Selection& s : selections)
                s.level = level;
            Filter filtered(v, shown, selections.front());
            stationxml::readInventory(*slot.connection, selections, filtered, warn, readOptions());
            return Outcome::Done;
        } catch (const Stop&) {
            return Outcome::Stopped;
        } catch (const std::exception& e) {
            failure = e.what();
            return Outcome::DatabaseError;
        }
    }

    // How the service reads the inventory: as the command line's StationXML export does.
    static const stationxml::ReadOptions& readOptions() {
        static const stationxml::ReadOptions options;
        return options;
    }

    // --- the reading thread

    // Reads a query's answer into its spool and gives the verdict; the connection is given
    // back before the verdict is known to the request.
    void readAnswer(Reading& r) {
        const Verdict verdict = readWithOneRetry(r);
        {
            std::lock_guard lock(r.leaseMutex);
            r.lease.reset();
        }
        r.verdict = verdict;
        r.spool.finish();
        std::lock_guard lock(readingsMutex);
        --readings;
        readingsEnded.notify_all();
    }

    // A connection that went away since its last use (a server restarted with no traffic in
    // between) is noticed at its first statement: that reading is done again once, on a
    // fresh connection, when nothing of it has been sent.
    Verdict readWithOneRetry(Reading& r) {
        Slot& slot = r.lease->slot();
        for (int attempt = 0;; ++attempt) {
            const bool reused = slot.connection != nullptr;
            if (!pool.open(slot))
                return Verdict::Unreachable;
            const Verdict verdict = readOnce(r, slot);
            if (verdict != Verdict::Unreachable || !reused || attempt > 0 || !r.spool.rewind())
                return verdict;
            log::failure("the connection had gone; reading again on a new one");
        }
    }

    Verdict readOnce(Reading& r, Slot& slot) {
        if (!slot.connection->tableExists("SITE")) {
            // A catalog call that failed on a connection that has gone says nothing.
            if (!Pool::stillAlive(slot))
                return Verdict::Unreachable;
            log::failure("query failed: the database has no SITE table");
            return Verdict::Misconfigured;
        }
        std::string failure;
        bool matched = false;
        const Outcome o = write(r, slot, failure, matched);
        if (o == Outcome::Stopped)
            return r.overLimit ? Verdict::TooLarge : Verdict::Cancelled;
        if (o == Outcome::Done) {
            // Nothing found on a connection that has gone is no answer.
            if (!matched && !Pool::stillAlive(slot))
                return Verdict::Unreachable;
            return matched ? Verdict::Answer : Verdict::Empty;
        }
        log::failure("query failed: " + failure);
        return Pool::stillAlive(slot) ? Verdict::DatabaseError : Verdict::Unreachable;
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

    // Writes the answer into the reading's spool; notes in matched whether anything of the
    // level asked for was written. The sink stops the writing (Stop) at any write, the
    // document's first and last included.
    Outcome write(Reading& r, Slot& slot, std::string& failure, bool& matched) {
        const auto sink = [&r](std::string_view chunk) {
            switch (r.spool.append(chunk)) {
            case Spool::Append::Taken:
                return;
            case Spool::Append::OverLimit:
                r.overLimit = true;
                throw Stop{};
            case Spool::Append::Cancelled:
                throw Stop{};
            case Spool::Append::Failed:
                throw std::runtime_error("the answer's temporary file cannot be written");
            }
        };
        try {
            if (r.query.format == Format::Text) {
                TextWriter text(sink, r.query.level);
                return writeDocument(text, r, slot, failure, matched);
            }
            stationxml::WriterOptions options;
            options.module = "stationws";
            stationxml::StationXmlWriter xml(sink, options);
            return writeDocument(xml, r, slot, failure, matched);
        } catch (const Stop&) {
            return Outcome::Stopped;
        }
    }

    // The document's beginning, what the query selects, and its end.
    template <typename Writer>
    Outcome writeDocument(Writer& writer, Reading& r, Slot& slot, std::string& failure,
                          bool& matched) {
        const Query& query = r.query;
        const Level probeLevel = query.level == Level::Response ? Level::Channel : query.level;
        // At network level the text counts the stations.
        const Level shown = query.format == Format::Text && query.level == Level::Network
                                ? Level::Station
                                : query.level;
        writer.begin();
        Watch watch(writer, probeLevel, r.spool);
        const Outcome o = read(slot, query, readingLevel(query), shown, watch, failure);
        matched = watch.matched();
        if (o == Outcome::Done)
            writer.finish();
        return o;
    }

    // --- the request's thread

    void answer(const httplib::Request& req, httplib::Response& res, const QueryResult& parsed) {
        if (!parsed.query) {
            setError(req, res, 400, parsed.error);
            return;
        }
        const std::shared_ptr<Reading> reading = startReading(*parsed.query);
        if (!reading) {
            setError(req, res, 503, "All database connections are busy; try again later.");
            return;
        }
        respond(req, res, reading, awaitVerdict(*reading));
    }

    // A reading of the query on a free connection, or null when none became free in time.
    std::shared_ptr<Reading> startReading(const Query& query) {
        std::unique_ptr<Slot> slot = pool.take();
        if (!slot)
            return nullptr;
        auto reading = std::make_shared<Reading>(query, config.maxAnswerBytes);
        reading->lease = std::make_unique<Lease>(pool, std::move(slot));
        {
            std::lock_guard lock(readingsMutex);
            ++readings;
        }
        readers->enqueue([this, reading] { readAnswer(*reading); });
        return reading;
    }

    // Waits until the verdict is in, or the answer is known to be large (then it is sent
    // while it is read; with --max-answer only once it is read whole), or the database has
    // been silent too long (its connection is then given up).
    Verdict awaitVerdict(Reading& r) {
        const std::size_t decisive =
            config.maxAnswerBytes > 0 ? std::numeric_limits<std::size_t>::max() : kWholeAnswerBytes;
        switch (r.spool.waitBeyond(decisive, silence())) {
        case Spool::State::More:
            return Verdict::Answer;
        case Spool::State::Finished:
            return r.verdict;
        case Spool::State::Stalled:
            break;
        }
        giveUp(r);
        return Verdict::Silent;
    }

    // The request no longer waits for its reading; a connection whose statement hangs is
    // replaced.
    void giveUp(Reading& r) {
        r.spool.cancel();
        std::lock_guard lock(r.leaseMutex);
        if (r.lease) {
            log::failure("the database gave no sign of life for " +
                         std::to_string(silence().count() / 1000) +
                         " s: its connection is given up");
            pool.abandon(r.lease->slot());
        }
    }

    void respond(const httplib::Request& req, httplib::Response& res,
                 const std::shared_ptr<Reading>& reading, Verdict verdict) {
        switch (verdict) {
        case Verdict::Answer:
            sendSpool(res, reading);
            return;
        case Verdict::Empty:
            if (reading->query.nodata == 404)
                setError(req, res, 404, "No data matches the selection.");
            else
                res.status = 204;
            return;
        case Verdict::TooLarge:
            setError(req, res, 413, tooLarge(config.maxAnswerBytes));
            return;
        case Verdict::DatabaseError:
        case Verdict::Misconfigured:
        case Verdict::Pending:
        case Verdict::Cancelled:
            setError(req, res, 500, "The database could not answer the query.");
            return;
        case Verdict::Unreachable:
        case Verdict::Silent:
            setError(req, res, 503, "The database cannot be reached at the moment.");
            return;
        }
    }

    // Sends the spool as it fills; a reading that fails or goes silent after the status was
    // sent leaves the client a cut answer (the connection is closed).
    void sendSpool(httplib::Response& res, const std::shared_ptr<Reading>& reading) {
        res.status = 200;
        res.set_chunked_content_provider(
            contentType(reading->query),
            [this, reading](std::size_t offset, httplib::DataSink& sink) {
                Reading& r = *reading;
                switch (r.spool.waitBeyond(offset, silence())) {
                case Spool::State::More: {
                    std::string block;
                    return r.spool.read(offset, kSendBlock, block) &&
                           sink.write(block.data(), block.size());
                }
                case Spool::State::Finished:
                    if (r.verdict != Verdict::Answer)
                        return false;
                    sink.done();
                    return true;
                case Spool::State::Stalled:
                    giveUp(r);
                    return false;
                }
                return false;
            },
            [reading](bool) { reading->spool.cancel(); });
    }

    // --- start and end

    // Connects once: false (the reason on stderr) when the database refuses the settings or
    // lacks the response tables; true, the database served once it is there, when it is
    // only away.
    bool checkDatabase() {
        Lease lease(pool, pool.take(std::chrono::milliseconds(0)));
        Slot& slot = lease.slot();
        if (!pool.open(slot)) {
            if (slot.refusal.refused && gainbook::serverUnreachable(slot.refusal)) {
                log::failure("the database cannot be reached yet; serving, and connecting "
                             "again for each request");
                return true;
            }
            log::failure("the data source " + config.database.dataSource +
                         " cannot be used with these settings; stopping");
            return false;
        }
        std::string missing;
        for (const char* table : {"CALIBRATION", "ID_SENS", "ID_FREQ"})
            if (!slot.connection->tableExists(table))
                missing += std::string(missing.empty() ? "" : ", ") + table;
        if (!missing.empty()) {
            log::failure("the database of " + config.database.dataSource +
                         " has no response tables (" + missing + "); stopping");
            return false;
        }
        if (!slot.connection->tableExists("SITE"))
            log::failure("warning: the database has no SITE table: queries fail with 500 "
                         "until it is made");
        return true;
    }

    // After the last request: waits for the readings still going; a statement that hangs is
    // left to its thread, which ends with the program.
    void endReadings() {
        std::unique_lock lock(readingsMutex);
        if (readingsEnded.wait_for(lock, silence(), [&] { return readings == 0; })) {
            lock.unlock();
            readers->shutdown();
            readers.reset();
            return;
        }
        log::failure(std::to_string(readings) + " database statements did not end; left");
        (void)readers.release();
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
        server.Get(std::string(kBase) + "/application.wadl",
                   [](const httplib::Request& req, httplib::Response& res) {
                       res.set_content(wadl(rootOf(req) + kBase + "/"), "application/xml");
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
                if (!res.body.empty() || res.content_length_ > 0)
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
                log::failure("a request failed with an exception");
                setError(req, res, 500, "The request failed inside the service.");
            });
        server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
            requestStart() = std::chrono::steady_clock::now();
            return refuseMethod(req, res) ? httplib::Server::HandlerResponse::Handled
                                          : httplib::Server::HandlerResponse::Unhandled;
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
            std::cerr << log::utcNow() + " " +
                             (req.remote_addr.empty() ? "-" : log::printable(req.remote_addr, 64)) +
                             " " + (req.method.empty() ? "-" : log::printable(req.method, 16)) +
                             " " + (target.empty() ? "-" : log::printable(target, 512)) + " " +
                             std::to_string(res.status) + " " + took + "\n"
                      << std::flush;
        });
    }

    // The methods a resource of the service takes ("" for a path that is none of them);
    // HEAD is answered as GET, without the body.
    static std::string_view allowedMethods(const std::string& path) {
        const std::string_view base = kBase;
        if (path.size() < base.size() || path.compare(0, base.size(), base) != 0)
            return {};
        const std::string_view rest = std::string_view(path).substr(base.size());
        if (rest == "/query")
            return "GET, HEAD, POST";
        if (rest == "/version" || rest == "/application.wadl" || rest == "/" || rest.empty())
            return "GET, HEAD";
        return {};
    }

    // A method a resource does not take is answered 405 with the ones it takes, before a
    // body is read; the connection is closed after it (a body may follow unread).
    static bool refuseMethod(const httplib::Request& req, httplib::Response& res) {
        const std::string_view allowed = allowedMethods(req.path);
        const std::string method = req.method == "HEAD" ? "GET" : req.method;
        if (allowed.empty() || allowed.find(method) != std::string_view::npos)
            return false;
        res.set_header("Allow", std::string(allowed));
        res.set_header("Connection", "close");
        HttpServer::closeAfterThisRequest();
        setError(req, res, 405,
                 "This method is not allowed here; " + std::string(allowed) + " are.");
        return true;
    }

    static std::chrono::steady_clock::time_point& requestStart() {
        thread_local std::chrono::steady_clock::time_point start;
        return start;
    }
};

Service::Service(Config config) : impl_(std::make_unique<Impl>(std::move(config))) {
    httplib::Server& s = impl_->server;
    const Config& c = impl_->config;
    publicUrl() = c.publicUrl;
    s.set_read_timeout(c.timeoutSeconds, 0);
    s.set_write_timeout(c.timeoutSeconds, 0);
    s.set_keep_alive_timeout(c.timeoutSeconds);
    s.set_keep_alive_max_count(100);
    s.set_payload_max_length(c.maxBodyBytes);
    s.set_tcp_nodelay(true);
    impl_->routes();
}

Service::~Service() = default;

bool Service::checkDatabase() {
    return impl_->checkDatabase();
}

bool Service::bind() {
    if (impl_->config.port == 0) {
        port_ = impl_->server.bind_to_any_port(impl_->config.host);
        if (port_ <= 0) {
            std::cerr << "stationws: cannot listen on " << impl_->config.host << "\n";
            return false;
        }
        listenAddress() = impl_->config.host + ":" + std::to_string(port_);
        impl_->server.widenBacklog();
        return true;
    }
    if (!impl_->server.bind_to_port(impl_->config.host, impl_->config.port)) {
        std::cerr << "stationws: cannot listen on " << impl_->config.host << ":"
                  << impl_->config.port << "\n";
        return false;
    }
    port_ = impl_->config.port;
    listenAddress() = impl_->config.host + ":" + std::to_string(port_);
    impl_->server.widenBacklog();
    return true;
}

bool Service::run() {
    const bool ok = impl_->server.listen_after_bind();
    impl_->endReadings();
    return ok;
}

void Service::stop() {
    impl_->server.stop();
}

} // namespace orv::stationws
