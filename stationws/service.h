// The station web service: the HTTP endpoints, the database connections its requests share,
// and the answers (StationXML or text, streamed as they are read; errors in the standard
// plain-text form).
#pragma once

#include "connection.h"

#include <cstddef>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace orv::stationws {

// "1.1.x": the version of the service interface this server implements.
inline constexpr const char* kServiceVersion = "1.1.0";

struct Config {
    std::string host = "127.0.0.1";
    int port = 8080;
    gainbook::ConnectionSettings database;
    // Database connections: at most this many requests read the database at once.
    std::size_t databaseConnections = 4;
    // HTTP connections served at once (threads); idle ones are closed after the timeout.
    std::size_t httpThreads = 256;
    // Seconds a client may take to send its request or to take an answer's next part.
    int timeoutSeconds = 10;
    // Largest request body (POST), bytes: beyond it 413.
    std::size_t maxBodyBytes = 1 << 20;
    // Largest answer, bytes: an answer that would be larger is refused with 413 (0: any).
    std::size_t maxAnswerBytes = 0;
    // Seconds a request waits for a free database connection before 503.
    int connectionWaitSeconds = 30;
};

class Service {
public:
    explicit Service(Config config);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

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
