#include "routes.h"

#include "pool.h"
#include "text/text.h"
#include "texts.h"

#include <chrono>
#include <iostream>

namespace orv::stationws {

namespace {

constexpr const char* kBase = "/fdsnws/station/1";

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

std::string hostOf(const httplib::Request& req) {
    std::string host = req.get_header_value("Host");
    if (host.empty())
        host = req.local_port > 0 ? req.local_addr + ":" + std::to_string(req.local_port)
                                  : listenAddress();
    return printable(host, 200);
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
                       root + printable(target) + "\n\n" + "Request Submitted:\n" + utcNow() +
                       "\n\n" + "Service version:\n" + kServiceVersion + "\n";
    res.status = status;
    setPlainBody(res, std::move(body), "text/plain; charset=utf-8");
}

// The most sent to the client at once.
constexpr std::size_t kSendBlock = 64 * 1024;

const char* contentType(const Query& query) {
    return query.format == Format::Text ? "text/plain; charset=utf-8"
                                        : "application/xml; charset=utf-8";
}
std::string tooLarge(std::size_t limit) {
    return "The answer would exceed " + std::to_string(limit) +
           " bytes; select fewer stations, channels or a shorter time.";
}

// The methods a resource of the service takes ("" for a path that is none of them);
// HEAD is answered as GET, without the body.
std::string_view allowedMethods(const std::string& path) {
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
bool refuseMethod(const httplib::Request& req, httplib::Response& res) {
    const std::string_view allowed = allowedMethods(req.path);
    const std::string method = req.method == "HEAD" ? "GET" : req.method;
    if (allowed.empty() || allowed.find(method) != std::string_view::npos)
        return false;
    res.set_header("Allow", std::string(allowed));
    res.set_header("Connection", "close");
    HttpServer::closeAfterThisRequest();
    setError(req, res, 405, "This method is not allowed here; " + std::string(allowed) + " are.");
    return true;
}

std::chrono::steady_clock::time_point& requestStart() {
    thread_local std::chrono::steady_clock::time_point start;
    return start;
}
} // namespace

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

Routes::Routes(HttpServer& s, Reader& r, const Config& c) : server(s), reader(r), config(c) {
    routes();
}

void Routes::answer(const httplib::Request& req, httplib::Response& res,
                    const QueryResult& parsed) {
    if (!parsed.query) {
        setError(req, res, 400, parsed.error);
        return;
    }
    const std::shared_ptr<Reading> reading = reader.startReading(*parsed.query);
    if (!reading) {
        setError(req, res, 503, "All database connections are busy; try again later.");
        return;
    }
    respond(req, res, reading, reader.awaitVerdict(*reading));
}

void Routes::respond(const httplib::Request& req, httplib::Response& res,
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
void Routes::sendSpool(httplib::Response& res, const std::shared_ptr<Reading>& reading) {
    res.status = 200;
    res.set_chunked_content_provider(
        contentType(reading->query),
        [this, reading](std::size_t offset, httplib::DataSink& sink) {
            Reading& r = *reading;
            switch (r.spool.waitBeyond(offset, reader.silence())) {
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
                reader.giveUp(r);
                return false;
            }
            return false;
        },
        [reading](bool) { reading->spool.cancel(); });
}

void Routes::health(const httplib::Request& req, httplib::Response& res) {
    switch (reader.health()) {
    case Health::Ok:
        res.set_content("ok\n", "text/plain");
        return;
    case Health::Busy:
        setError(req, res, 503, "All database connections are busy; try again later.");
        return;
    case Health::Unreachable:
        setError(req, res, 503, "The database cannot be reached at the moment.");
        return;
    }
}

void Routes::routes() {
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
    server.Get("/health",
               [this](const httplib::Request& req, httplib::Response& res) { health(req, res); });
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
                details = "The request body is larger than " + std::string("the service accepts.");
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
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        requestStart() = std::chrono::steady_clock::now();
        return refuseMethod(req, res) ? httplib::Server::HandlerResponse::Handled
                                      : httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        // A request the library refused before routing has no start.
        std::string took = "-";
        if (requestStart() != std::chrono::steady_clock::time_point{})
            took =
                orv::text::format("%.1f ms", std::chrono::duration<double, std::milli>(
                                                 std::chrono::steady_clock::now() - requestStart())
                                                 .count());
        requestStart() = {};
        const std::string target = req.target.empty() ? req.path : req.target;
        std::cerr << utcNow() + " " +
                         (req.remote_addr.empty() ? "-" : printable(req.remote_addr, 64)) + " " +
                         (req.method.empty() ? "-" : printable(req.method, 16)) + " " +
                         (target.empty() ? "-" : printable(target, 512)) + " " +
                         std::to_string(res.status) + " " + took + "\n"
                  << std::flush;
    });
}

} // namespace orv::stationws
