// The HTTP server: cpp-httplib's request parsing, routing and answers, on connections this
// class looks after itself, so that
// - a literal '?' inside a request's query is data, as RFC 3986 allows and as people type
//   FDSN URLs by hand (sta=AN?O): it reaches the library as %3F, which the library decodes
//   to '?' (it refuses a second literal '?' with 400);
// - a client is offered gzip for compressed answers, not brotli, which the library makes
//   far too slowly for a streamed answer;
// - a connection holds one of the threads only while its request is worked on: one that
//   waits for its next request, or is still sending the head of one, waits in an epoll set
//   without a thread, and is closed when it has been silent for the read timeout.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace orv::stationws {

class HttpServer : public httplib::Server {
public:
    // threads: requests worked on at once.
    explicit HttpServer(std::size_t threads);
    ~HttpServer() override;
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // After binding: lets the kernel queue as many connections as it allows until they are
    // accepted (the library asks for 5, and a burst of clients beyond that waits for the
    // retries of their connection requests, a second and more).
    void widenBacklog();

    // Called while a request is worked on: its connection is closed after the answer (a
    // request refused before its body was read leaves the body unread).
    static void closeAfterThisRequest();

    // One client connection: its socket and what has been read of it and not yet taken.
    struct Connection;

private:
    bool process_and_close_socket(socket_t sock) override;
    // Works on the connection's requests while whole ones are there; then lets it wait.
    void serve(std::unique_ptr<Connection> connection);
    void park(std::unique_ptr<Connection> connection);
    // The waiting connections' thread: back to a worker when data comes, closed when silent
    // too long.
    void watch();

    std::size_t threads_;
    httplib::TaskQueue* queue_ = nullptr; // the library's, made by new_task_queue
    int epoll_ = -1;
    std::mutex mutex_;
    bool stopping_ = false;
    std::map<int, std::unique_ptr<Connection>> waiting_;
    std::thread watcher_;
};

} // namespace orv::stationws
