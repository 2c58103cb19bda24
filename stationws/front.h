// The service's HTTP front: libmicrohttpd's event loop on a listening socket of its own,
// with a deadline for every client, answers that wait (for a database reading, a health
// check) without holding a thread, and a stop that lets the answers in flight finish.
//
// What a client may take of the service:
// - the head of a request within `headSeconds` of its connection or of its previous answer,
//   the body within `headSeconds` more plus a second for each 64 KB, at most `maxBodyBytes`;
//   a client past its deadline is disconnected, whatever it still trickles;
// - while its answer goes out, `idleSeconds` in which it takes none of it (what its side
//   acknowledges, not when the service last wrote);
// - one answer per request, in the order asked, however its head is written.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::stationws::http {

struct Request {
    std::string method; // as sent; HEAD is answered as GET without the body
    std::string target; // as sent: path, '?' and query, undecoded
    std::string path;   // the target's path, decoded
    // The query's parameters in their order, decoded (a literal '?' after the first one is
    // data); a parameter without '=' has an empty value.
    std::vector<std::pair<std::string, std::string>> parameters;
    std::string body;
    std::string host;   // the Host header, or the address listened on
    std::string client; // the client's address
    bool acceptsGzip = false;
};

// A body sent as it comes.
class Stream {
public:
    virtual ~Stream() = default;
    enum class Got { Data, End, Waiting, Failed };
    // Appends up to `most` bytes to out (Data), or says there is no more (End), or none yet
    // (Waiting: wake is called once, from any thread, when there may be), or that the body
    // cannot be finished (Failed: the client is left a cut answer).
    virtual Got next(std::string& out, std::size_t most, std::function<void()> wake) = 0;
    // Asked while Waiting, every tenth of a second: true when it gives up waiting (the
    // connection is woken, and its next next() is Failed).
    virtual bool expire() = 0;
    // Why it failed, for the access log.
    virtual std::string failure() const = 0;
    // The client is gone or the answer is done: nothing more is read.
    virtual void close() = 0;
};

struct Reply {
    int status = 200;
    std::string type;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::shared_ptr<Stream> stream; // instead of body
    bool compressible = false;      // gzip it for a client that accepts gzip
    bool close = false;             // close the connection after it (a body may be unread)
};

// An answer that is not known yet.
class Pending {
public:
    virtual ~Pending() = default;
    // False when the answer can be given now; else true, and wake is called once, from any
    // thread, when it can.
    virtual bool wait(std::function<void()> wake) = 0;
    // Asked while waiting, every tenth of a second: true when it gives up (the connection
    // is woken, and reply() gives what a request that waited too long gets).
    virtual bool expire() = 0;
    virtual Reply reply() = 0;
};

struct Answer {
    Reply now;
    std::shared_ptr<Pending> later; // when set, `now` is not used
};

struct Limits {
    int headSeconds = 10;
    int idleSeconds = 10;
    std::size_t maxBodyBytes = 1 << 20;
    std::size_t maxTargetBytes = 8192;
    std::size_t threads = 2;
    // How long a stop waits for the answers in flight.
    int stopSeconds = 30;
};

class Front {
public:
    using Handler = std::function<Answer(const Request&)>;
    // A request's status and body before it is handled: refuse() gives a reply to send at
    // once (405 before a body is read, say) or nothing to go on.
    using Refusal = std::function<std::optional<Reply>(const Request&)>;
    // The error reply for a status the front gives itself (404 is the handler's).
    using ErrorReply = std::function<Reply(const Request&, int status, std::string_view details)>;

    Front(Limits limits, Handler handler, Refusal refuse, ErrorReply error);
    ~Front();
    Front(const Front&) = delete;
    Front& operator=(const Front&) = delete;

    // Binds and listens on host:port (port 0: any free one); false with the reason on stderr
    // (a port in use is refused, never shared).
    bool bind(const std::string& host, int port);
    int port() const;
    // Serves until stop(): then takes no new connection, lets the answers in flight finish
    // (up to stopSeconds), cuts what is left and returns.
    bool run();
    // Safe from any thread.
    void stop();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace orv::stationws::http
