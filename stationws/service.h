// The station web service: the HTTP endpoints, the database connections its requests share,
// and the answers (StationXML or text, streamed as they are read; errors in the standard
// plain-text form).
#pragma once

#include "db/connection.h"

#include <cstddef>
#include <memory>
#include <string>

namespace orv::stationws {

// "1.1.x": the version of the service interface this server implements.
inline constexpr const char* kServiceVersion = "1.1.0";

struct Config {
    std::string host = "127.0.0.1";
    int port = 8080;
    // The scheme and authority (and a path) clients reach the service at, without a
    // trailing '/': what the WADL and the error texts name. Empty: "http://" and the
    // request's Host header.
    std::string publicUrl;
    // The database, and the seconds it may take to connect or to answer a statement.
    gainbook::ConnectionSettings database{{}, {}, {}, 10};
    // Database connections: at most this many requests read the database at once.
    std::size_t databaseConnections = 4;
    // Threads that serve the HTTP connections; no connection holds one while it waits (for
    // its client, or for its answer's reading).
    std::size_t httpThreads = 2;
    // Seconds a client may stay silent; it sends the head of a request within as long of
    // its connection or its previous answer, and the body within as long again plus a
    // second for each 64 KB.
    int timeoutSeconds = 10;
    // Seconds a stop waits for the answers in flight before it cuts them.
    int stopSeconds = 30;
    // Largest request body (POST), bytes: beyond it 413.
    std::size_t maxBodyBytes = 1 << 20;
    // Largest answer, bytes: an answer that would be larger is refused with 413 (0: any).
    std::size_t maxAnswerBytes = 0;
    // Seconds a request waits for a free database connection before 503.
    int connectionWaitSeconds = 30;
    // Bytes of answers kept in memory (compressed), each answered again from there while the
    // database has not changed (0: every answer is read from the database).
    std::size_t answerMemoryBytes = std::size_t(128) << 20;
};

class Service {
public:
    explicit Service(Config config);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Connects to the database once: false (the reason on stderr) when it refuses the
    // settings (no such data source, login refused) or lacks the response tables; true
    // when it works or is only away (it is served once it is back).
    bool checkDatabase();
    // Binds the listening socket; false (with a message on stderr) when it cannot.
    bool bind();
    // The port bound (useful with port 0).
    int port() const { return port_; }
    // Serves until stop(); the requests in flight are finished before it returns.
    bool run();
    // Stops accepting; safe from another thread.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int port_ = 0;
};

} // namespace orv::stationws
