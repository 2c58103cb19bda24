// The service's resources on the HTTP server: the query (GET and POST), the version, the
// WADL, the help page and the readiness check, with the standard error bodies, 405 with the
// methods a resource takes, and the access log.
#pragma once

#include "httpserver.h"
#include "query.h"
#include "reading.h"
#include "service.h"

#include <memory>
#include <string>
#include <string_view>

namespace orv::stationws {

// The address the service listens on, for answers to requests that named no host.
std::string& listenAddress();
// The address clients reach the service at (--public-url), when it is set.
std::string& publicUrl();

struct Routes {
    // Adds the resources to the server; all three outlive it.
    Routes(HttpServer& server, Reader& reader, const Config& config);

    HttpServer& server;
    Reader& reader;
    const Config& config;

    void answer(const httplib::Request& req, httplib::Response& res, const QueryResult& parsed);
    void respond(const httplib::Request& req, httplib::Response& res,
                 const std::shared_ptr<Reading>& reading, Verdict verdict);
    // Sends the spool as it fills; a reading that fails or goes silent after the status was
    // sent leaves the client a cut answer (the connection is closed).
    void sendSpool(httplib::Response& res, const std::shared_ptr<Reading>& reading);
    // GET or HEAD /health: 200 while the instance reads its database within the bound,
    // else 503.
    void health(const httplib::Request& req, httplib::Response& res);
    void routes();
};

} // namespace orv::stationws
