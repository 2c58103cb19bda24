#include "service.h"

#include "answers.h"
#include "changes.h"
#include "front.h"
#include "health.h"
#include "log.h"
#include "query.h"
#include "reading.h"
#include "texts.h"

#include <limits>

namespace orv::stationws {

namespace {

constexpr const char* kBase = "/fdsnws/station/1";
// The readiness check's bound.
constexpr auto kHealthBound = std::chrono::seconds(2);
// The most a reading of the change token may take before a request reads the database.
constexpr auto kChangeBound = std::chrono::seconds(1);
// How long after a change was seen a reading must begin for its answer to be kept: a
// change is seen a moment before every connection sees its data (InnoDB writes its log
// before the transaction shows).
constexpr auto kSettle = std::chrono::milliseconds(50);

std::string_view reason(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
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

// The standard error body, as plain text sent as it is (never compressed: clients show
// error bodies raw). The service's address is the public URL, else "http://" and the Host
// header (printable characters only).
class Errors {
public:
    explicit Errors(std::string publicUrl) : publicUrl_(std::move(publicUrl)) {}

    std::string rootOf(const http::Request& r) const {
        return publicUrl_.empty() ? "http://" + log::printable(r.host, 200) : publicUrl_;
    }

    http::Reply reply(const http::Request& r, int status, std::string_view details) const {
        const std::string root = rootOf(r);
        http::Reply reply;
        reply.status = status;
        reply.type = "text/plain; charset=utf-8";
        reply.body = "Error " + std::to_string(status) + ": " + std::string(reason(status)) +
                     "\n\n" + std::string(details) + "\n\n" + "Usage details are available from " +
                     root + kBase + "/\n\n" + "Request:\n" + root + log::printable(r.target) +
                     "\n\n" + "Request Submitted:\n" + log::utcNow() + "\n\n" +
                     "Service version:\n" + kServiceVersion + "\n";
        return reply;
    }

private:
    std::string publicUrl_;
};

const char* contentType(const Query& query) {
    return query.format == Format::Text ? "text/plain; charset=utf-8"
                                        : "application/xml; charset=utf-8";
}

// A query that matched nothing: 204, or 404 when the query asks for it.
http::Reply nothingMatched(const http::Request& request, const Query& query, const Errors& errors) {
    if (query.nodata == 404)
        return errors.reply(request, 404, "No data matches the selection.");
    return http::Reply{204, {}, {}, {}, {}, false, false};
}

constexpr const char* kBusy = "All database connections are busy; try again later.";
constexpr const char* kAway = "The database cannot be reached at the moment.";

// A large answer sent while its reading goes on; a reading that fails or goes silent after
// the status was sent leaves the client a cut answer.
class SpoolStream : public http::Stream {
public:
    SpoolStream(std::shared_ptr<Reading> reading, Readings& readings)
        : reading_(std::move(reading)), readings_(readings) {}

    Got next(std::string& out, std::size_t most, std::function<void()> wake) override {
        Reading& r = *reading_;
        switch (r.spool.poll(offset_, std::move(wake))) {
        case Spool::State::More: {
            std::string block;
            if (!r.spool.read(offset_, most, block)) {
                failure_ = "the answer's temporary file cannot be read";
                return Got::Failed;
            }
            offset_ += block.size();
            out += block;
            return Got::Data;
        }
        case Spool::State::Finished:
            if (r.verdict == Verdict::Answer)
                return Got::End;
            failure_ = r.failure.empty() ? "the reading failed" : r.failure;
            return Got::Failed;
        case Spool::State::Cancelled:
            failure_ = "the database gave no sign of life";
            return Got::Failed;
        case Spool::State::Waiting:
            return Got::Waiting;
        }
        return Got::Failed;
    }
    bool expire() override {
        if (!reading_->spool.silentFor(readings_.silence()))
            return false;
        readings_.giveUp(*reading_);
        return true;
    }
    std::string failure() const override { return failure_; }
    void close() override { reading_->spool.cancel(); }

private:
    std::shared_ptr<Reading> reading_;
    Readings& readings_;
    std::size_t offset_ = 0;
    std::string failure_;
};

// A query's answer, known once its reading has ended, or is large (then it is sent while it
// is read; with --max-answer only once it is read whole), or the database has been silent
// too long (its connection is then given up).
class QueryWait : public http::Pending {
public:
    QueryWait(http::Request request, std::shared_ptr<Reading> reading, Readings& readings,
              const Config& config, const Errors& errors)
        : request_(std::move(request)), reading_(std::move(reading)), readings_(readings),
          config_(config), errors_(errors) {}

    bool wait(std::function<void()> wake) override {
        const std::size_t decisive = config_.maxAnswerBytes > 0
                                         ? std::numeric_limits<std::size_t>::max() - 1
                                         : kWholeAnswerBytes;
        state_ = reading_->spool.poll(decisive, std::move(wake));
        return state_ == Spool::State::Waiting;
    }
    bool expire() override {
        Reading& r = *reading_;
        const bool silent = r.begun ? r.spool.silentFor(readings_.silence())
                                    // a reading that no thread has taken up in time
                                    : std::chrono::steady_clock::now() - r.asked >
                                          readings_.connectionWait() + std::chrono::seconds(1);
        if (!silent)
            return false;
        readings_.giveUp(r);
        return true;
    }
    http::Reply reply() override {
        Reading& r = *reading_;
        if (state_ == Spool::State::More)
            return streamed();
        if (state_ == Spool::State::Cancelled)
            return errors_.reply(request_, 503, r.begun ? kAway : kBusy);
        switch (r.verdict.load()) {
        case Verdict::Answer:
            return streamed();
        case Verdict::Empty:
            return nothingMatched(request_, r.query, errors_);
        case Verdict::TooLarge:
            return errors_.reply(request_, 413,
                                 "The answer would exceed " +
                                     std::to_string(config_.maxAnswerBytes) +
                                     " bytes; select fewer stations, channels or a shorter time.");
        case Verdict::NoResponses:
            return errors_.reply(request_, 503,
                                 "The database's response tables are missing or being rebuilt; "
                                 "try again later.");
        case Verdict::Busy:
            return errors_.reply(request_, 503, kBusy);
        case Verdict::Unreachable:
            return errors_.reply(request_, 503, kAway);
        case Verdict::DatabaseError:
        case Verdict::Misconfigured:
        case Verdict::Pending:
        case Verdict::Cancelled:
            break;
        }
        return errors_.reply(request_, 500, "The database could not answer the query.");
    }

private:
    // The document, sent from the spool as it fills (text compressed for who takes gzip).
    http::Reply streamed() const {
        http::Reply reply;
        reply.type = contentType(reading_->query);
        reply.stream = std::make_shared<SpoolStream>(reading_, readings_);
        reply.compressible = reading_->query.format == Format::Text;
        return reply;
    }

    http::Request request_;
    std::shared_ptr<Reading> reading_;
    Readings& readings_;
    const Config& config_;
    const Errors& errors_;
    Spool::State state_ = Spool::State::Waiting;
};

// The answers kept in memory and what tells when they are no longer the database's.
struct Memory {
    Memory(const Config& config)
        : answers(config.answerMemoryBytes), changes(config.database, kChangeBound) {}
    AnswerMemory answers;
    ChangeWatch changes;
};

// The key an answer is kept under: the query as sent.
std::string keyOf(const http::Request& r) {
    return r.method == "POST" ? "POST\n" + r.body : r.target;
}

// A query answered from memory when the data have not changed since its answer was kept:
// once a reading of the change token begun after the request came has ended, so that every
// change committed before the request is in its answer. Otherwise (nothing kept, a change,
// a token that cannot be read in time or at the last reading) it is read from the database,
// and kept for the next. A query with nothing kept is read at once, without the token: a
// reading begun after the request came holds every change committed before it.
class MemoryWait : public http::Pending {
public:
    MemoryWait(http::Request request, Query query, Memory& memory, Readings& readings,
               const Config& config, const Errors& errors)
        : request_(std::move(request)), query_(std::move(query)), memory_(memory),
          readings_(readings), config_(config), errors_(errors), key_(keyOf(request_)),
          cold_(!memory.answers.holds(key_)),
          // While no reading has told the token, a cold query too asks for one, so that its
          // answer can be kept; it does not wait for it.
          ticket_(!cold_ || !memory.changes.last().known ? memory.changes.ask() : 0),
          until_(std::chrono::steady_clock::now() + memory.changes.bound()),
          // While the token cannot be read (the database away) the request does not wait
          // for it; it asked for a reading, which tells the next ones.
          expired_(cold_ || !memory.changes.last().known) {}
    ~MemoryWait() override { memory_.changes.forget(ticket_); }

    bool wait(std::function<void()> wake) override {
        if (read_)
            return read_->wait(std::move(wake));
        if (!expired_) {
            seen_ = memory_.changes.answer(ticket_, wake);
            if (!seen_)
                return true;
        }
        if (seen_ && seen_->known) {
            kept_ = memory_.answers.find(key_, seen_->generation, log::utcNow());
            if (kept_)
                return false;
        }
        read_ = std::make_shared<QueryWait>(request_, readings_.start(query_, keeper()), readings_,
                                            config_, errors_);
        return read_->wait(std::move(wake));
    }
    bool expire() override {
        if (read_)
            return read_->expire();
        if (std::chrono::steady_clock::now() < until_)
            return false;
        expired_ = true;
        memory_.changes.forget(ticket_);
        return true;
    }
    http::Reply reply() override {
        if (read_)
            return read_->reply();
        if (kept_->empty())
            return nothingMatched(request_, query_, errors_);
        http::Reply reply;
        reply.type = contentType(query_);
        reply.body = std::move(*kept_);
        reply.compressible = query_.format == Format::Text;
        return reply;
    }

private:
    // What keeps the database's answer: a whole one, or nothing matched, read by a reading
    // that began once the change seen had settled. A cold query's is kept under the last
    // generation seen when its reading ends: the reading began after that generation's first
    // sight, so its answer holds at least that generation's data (a later change, not yet
    // seen, empties the memory once it is).
    std::function<void(Reading&)> keeper() const {
        if (!cold_ && (!seen_ || !seen_->known))
            return {};
        return [&memory = memory_, key = key_, fixed = cold_ ? std::nullopt : seen_](Reading& r) {
            const Seen seen = fixed ? *fixed : memory.changes.last();
            const Verdict verdict = r.verdict;
            if (!seen.known || (verdict != Verdict::Answer && verdict != Verdict::Empty) ||
                r.begunAt < seen.since + kSettle || !memory.answers.admits(key, seen.generation))
                return;
            std::string document;
            if (verdict == Verdict::Answer &&
                (r.spool.size() > kWholeAnswerBytes || !r.spool.read(0, r.spool.size(), document)))
                return;
            memory.answers.keep(key, seen.generation, document);
        };
    }

    http::Request request_;
    Query query_;
    Memory& memory_;
    Readings& readings_;
    const Config& config_;
    const Errors& errors_;
    const std::string key_;
    const bool cold_; // nothing was kept for the query when it came
    std::uint64_t ticket_;
    std::chrono::steady_clock::time_point until_;
    std::optional<Seen> seen_;
    bool expired_ = false;
    std::optional<std::string> kept_;
    std::shared_ptr<QueryWait> read_;
};

// GET or HEAD /health: 200 while the instance reads its response tables within the bound,
// else 503.
class HealthWait : public http::Pending {
public:
    HealthWait(http::Request request, HealthCheck& health, const Errors& errors)
        : request_(std::move(request)), health_(health), errors_(errors), ticket_(health.ask()),
          until_(std::chrono::steady_clock::now() + health.bound()) {}
    ~HealthWait() override { health_.forget(ticket_); }

    bool wait(std::function<void()> wake) override {
        if (expired_)
            return false;
        answer_ = health_.answer(ticket_, std::move(wake));
        return !answer_;
    }
    bool expire() override {
        if (std::chrono::steady_clock::now() < until_)
            return false;
        expired_ = true;
        health_.forget(ticket_);
        return true;
    }
    http::Reply reply() override {
        if (answer_ && *answer_)
            return http::Reply{200, "text/plain", "ok\n", {}, {}, false, false};
        return errors_.reply(request_, 503, kAway);
    }

private:
    http::Request request_;
    HealthCheck& health_;
    const Errors& errors_;
    std::uint64_t ticket_;
    std::chrono::steady_clock::time_point until_;
    std::optional<bool> answer_;
    bool expired_ = false;
};

// The methods a resource of the service takes ("" for a path that is none of them); HEAD is
// answered as GET, without the body.
std::string_view allowedMethods(const std::string& path) {
    if (path == "/health")
        return "GET, HEAD";
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

http::Reply page(std::string body, const char* type) {
    http::Reply reply;
    reply.type = type;
    reply.body = std::move(body);
    return reply;
}

} // namespace

struct Service::Impl {
    Config config;
    Errors errors;
    Readings readings;
    HealthCheck health;
    // None when answers are not kept in memory.
    std::unique_ptr<Memory> memory;
    http::Front front;

    explicit Impl(Config c)
        : config(std::move(c)), errors(config.publicUrl), readings(config),
          health(config.database, kHealthBound),
          memory(config.answerMemoryBytes > 0 ? std::make_unique<Memory>(config) : nullptr),
          front(
              limits(config), [this](const http::Request& r) { return handle(r); },
              [this](const http::Request& r) { return refuse(r); },
              [this](const http::Request& r, int status, std::string_view details) {
                  return errors.reply(r, status, details);
              }) {}

    static http::Limits limits(const Config& c) {
        http::Limits l;
        l.headSeconds = c.timeoutSeconds;
        l.idleSeconds = c.timeoutSeconds;
        l.maxBodyBytes = c.maxBodyBytes;
        l.threads = c.httpThreads;
        l.stopSeconds = c.stopSeconds;
        return l;
    }

    // A method a resource does not take is answered 405 with the ones it takes, before a
    // body is read; the connection is closed after it.
    std::optional<http::Reply> refuse(const http::Request& r) const {
        const std::string_view allowed = allowedMethods(r.path);
        const std::string method = r.method == "HEAD" ? "GET" : r.method;
        if (allowed.empty() || allowed.find(method) != std::string_view::npos)
            return std::nullopt;
        http::Reply reply = errors.reply(
            r, 405, "This method is not allowed here; " + std::string(allowed) + " are.");
        reply.headers.emplace_back("Allow", std::string(allowed));
        reply.close = true;
        return reply;
    }

    http::Answer handle(const http::Request& r) {
        const std::string base = kBase;
        if (r.path == base + "/query") {
            const QueryResult parsed =
                r.method == "POST" ? parsePostBody(r.body) : parseQuery(r.parameters);
            if (!parsed.query)
                return {errors.reply(r, 400, parsed.error), {}};
            if (memory)
                return {{},
                        std::make_shared<MemoryWait>(r, *parsed.query, *memory, readings, config,
                                                     errors)};
            return {{},
                    std::make_shared<QueryWait>(r, readings.start(*parsed.query), readings, config,
                                                errors)};
        }
        if (r.path == "/health")
            return {{}, std::make_shared<HealthWait>(r, health, errors)};
        if (r.path == base + "/version")
            return {page(kServiceVersion, "text/plain"), {}};
        if (r.path == base + "/application.wadl")
            return {page(wadl(errors.rootOf(r) + kBase + "/"), "application/xml"), {}};
        if (r.path == base + "/" || r.path == base)
            return {page(kHelp, "text/html; charset=utf-8"), {}};
        return {errors.reply(r, 404,
                             "No such resource; the service is at " + std::string(kBase) + "/."),
                {}};
    }
};

Service::Service(Config config) : impl_(std::make_unique<Impl>(std::move(config))) {}

Service::~Service() = default;

bool Service::checkDatabase() {
    return impl_->readings.checkDatabase();
}

bool Service::bind() {
    if (!impl_->front.bind(impl_->config.host, impl_->config.port))
        return false;
    port_ = impl_->front.port();
    return true;
}

bool Service::run() {
    const bool ok = impl_->front.run();
    impl_->readings.end();
    return ok;
}

void Service::stop() {
    impl_->front.stop();
}

} // namespace orv::stationws
