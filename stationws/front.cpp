#include "front.h"

#include "delivery.h"
#include "gzip.h"
#include "listener.h"
#include "log.h"

#include <microhttpd.h>

#include <fcntl.h>
#include <netdb.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

namespace orv::stationws::http {

namespace {

using Clock = std::chrono::steady_clock;

// The memory a connection may use for the head of a request and what it reads ahead: a head
// of up to about 200 KB (a URL of 100 KB) reaches the service, which refuses a URL over
// maxTargetBytes with its own answer.
constexpr std::size_t kConnectionMemory = 256 * 1024;
// The most asked of a stream at once.
constexpr std::size_t kStreamBlock = 64 * 1024;
// How many idle times a client may hold what it was sent unread, its window closed, before
// it counts as silent (see Delivery).
constexpr int kHeldIdleTimes = 6;
// How often the deadlines are looked at.
constexpr auto kSweep = std::chrono::milliseconds(100);

std::string numericAddress(const sockaddr* address, socklen_t length) {
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (!address || ::getnameinfo(address, length, host, sizeof host, service, sizeof service,
                                  NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "-";
    return host;
}

// True when an Accept-Encoding value takes gzip (with no q=0).
bool takesGzip(std::string_view value) {
    while (!value.empty()) {
        const std::size_t comma = std::min(value.size(), value.find(','));
        std::string_view item = value.substr(0, comma);
        value.remove_prefix(std::min(value.size(), comma + 1));
        const std::size_t semicolon = std::min(item.size(), item.find(';'));
        std::string_view name = item.substr(0, semicolon);
        while (!name.empty() && name.front() == ' ')
            name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (name.size() != 4 || !std::equal(name.begin(), name.end(), "gzip", [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == b;
            }))
            continue;
        std::string_view params = item.substr(semicolon);
        const std::size_t q = params.find("q=");
        if (q == std::string_view::npos)
            return true;
        std::string_view weight = params.substr(q + 2);
        return weight.find_first_not_of("0. ") != std::string_view::npos &&
               weight.find_first_not_of("0.") != 0;
    }
    return false;
}

// '+' as a blank and %HH as its byte, in place; other '%' are left as they are.
size_t unescape(void*, MHD_Connection*, char* s) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    char* out = s;
    for (const char* in = s; *in; ++in) {
        if (*in == '+') {
            *out++ = ' ';
        } else if (*in == '%' && hex(in[1]) >= 0 && hex(in[2]) >= 0) {
            *out++ = static_cast<char>(hex(in[1]) * 16 + hex(in[2]));
            in += 2;
        } else {
            *out++ = *in;
        }
    }
    *out = '\0';
    return static_cast<size_t>(out - s);
}

// Wakes a suspended connection from any thread; a wake that comes before the suspension is
// kept, and the suspension does not happen.
struct Waker {
    std::mutex mutex;
    MHD_Connection* connection; // null once its request is done
    bool suspended = false;
    bool woken = false;
    explicit Waker(MHD_Connection* c) : connection(c) {}
};

void wakeUp(const std::shared_ptr<Waker>& w) {
    std::lock_guard lock(w->mutex);
    if (!w->connection)
        return;
    if (w->suspended) {
        w->suspended = false;
        MHD_resume_connection(w->connection);
    } else {
        w->woken = true;
    }
}

// Head and Body: the client sends, each before its deadline. Answer: the service reads the
// answer, the client waits. Send: the answer goes out; the client must take some of it within
// every idleSeconds.
enum class Phase { Head, Body, Answer, Send };

struct Exchange;

} // namespace

namespace {

// One client connection.
struct Link {
    int fd = -1;
    Phase phase = Phase::Head;
    Clock::time_point deadline;
    std::uint64_t acknowledged = 0; // of all that was sent on it, when last looked at
    Clock::time_point took;         // when the client last took some of its answer
    bool draining = false;          // an answer was handed to the system, and may be queued yet
    bool cut = false;
    bool silent = false;                // cut while it did not take its answer
    std::unique_ptr<Exchange> exchange; // the request being read or answered
};

// One request and its answer.
struct Exchange {
    explicit Exchange(Front::Impl& o) : owner(o) {}
    Front::Impl& owner;
    Request request;
    Clock::time_point start = Clock::now();
    bool begun = false, dispatched = false, tooLarge = false;
    std::size_t expectedBody = 0;
    int status = 0;
    std::string failure; // why the answer was cut, for the log
    std::shared_ptr<Waker> waker;
    std::shared_ptr<Pending> pending;
    std::shared_ptr<Stream> stream;
    std::unique_ptr<Gzip> gzip;
    std::string out; // of the stream, not yet handed to the library
    std::size_t outAt = 0;
    bool ended = false;
    bool counted = false; // in the requests in flight
};

// The exchange is over: nothing wakes its connection any more, its stream is closed.
void retire(Exchange& x) {
    if (x.waker) {
        std::lock_guard lock(x.waker->mutex);
        x.waker->connection = nullptr;
    }
    if (x.stream)
        x.stream->close();
    x.pending.reset();
}

} // namespace

struct Front::Impl {
    Limits limits;
    Handler handler;
    Refusal refuse;
    ErrorReply error;
    int listener = -1;
    int port = 0;
    std::string listenAddress;
    MHD_Daemon* daemon = nullptr;

    std::mutex mutex; // the links, the waiting exchanges, the counts and the stop
    std::condition_variable changed;
    std::map<Link*, std::unique_ptr<Link>> links;
    // The suspended requests and what to ask when their wait has gone on too long.
    // (kept until the sweeper finds them awake).
    std::map<Waker*, std::pair<std::shared_ptr<Waker>, std::function<bool()>>> waiting;
    std::size_t inFlight = 0;
    bool stopping = false, draining = false;
    std::atomic<bool> aborting{false}; // the stop cuts what is left

    static Impl& of(void* cls) { return *static_cast<Impl*>(cls); }

    static Link* linkOf(MHD_Connection* c) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return info ? static_cast<Link*>(info->socket_context) : nullptr;
    }

    void setPhase(Link* link, Phase phase, Clock::duration allowed) {
        std::lock_guard lock(mutex);
        link->phase = phase;
        link->deadline = Clock::now() + allowed;
        link->took = Clock::now();
        link->draining = false;
    }

    Clock::duration headTime() const { return std::chrono::seconds(limits.headSeconds); }
    Clock::duration idleTime() const { return std::chrono::seconds(limits.idleSeconds); }
    // The body: the head's time again, and a second for each 64 KB.
    Clock::duration bodyTime(std::size_t bytes) const {
        return std::chrono::seconds(limits.headSeconds + static_cast<long>(bytes / 65536));
    }

    // --- the library's callbacks

    static void notifyConnection(void* cls, MHD_Connection* c, void** socketContext,
                                 MHD_ConnectionNotificationCode code) {
        Impl& self = of(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            auto link = std::make_unique<Link>();
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
            link->fd = info ? info->connect_fd : -1;
            link->deadline = Clock::now() + self.headTime();
            *socketContext = link.get();
            std::lock_guard lock(self.mutex);
            self.links.emplace(link.get(), std::move(link));
            return;
        }
        // Closed: forgotten before the library closes the socket, so that the sweeper never
        // shuts down a number that another connection has taken since.
        std::unique_ptr<Link> gone;
        {
            std::lock_guard lock(self.mutex);
            auto at = self.links.find(static_cast<Link*>(*socketContext));
            if (at == self.links.end())
                return;
            gone = std::move(at->second);
            self.links.erase(at);
        }
        *socketContext = nullptr;
        if (gone->exchange) {
            retire(*gone->exchange);
            self.uncount(*gone->exchange);
        }
    }

    // The request line has come: its exchange begins, with the target as it was sent.
    static void* uriLog(void* cls, const char* uri, MHD_Connection* c) {
        Impl& self = of(cls);
        Link* link = linkOf(c);
        if (!link)
            return nullptr;
        link->exchange = std::make_unique<Exchange>(self);
        link->exchange->request.target = uri ? uri : "";
        return link->exchange.get();
    }

    static void completed(void* cls, MHD_Connection* c, void** requestContext,
                          MHD_RequestTerminationCode toe) {
        Impl& self = of(cls);
        Link* link = linkOf(c);
        auto* x = static_cast<Exchange*>(*requestContext);
        *requestContext = nullptr;
        if (!link || !x || link->exchange.get() != x)
            return;
        std::unique_ptr<Exchange> done = std::move(link->exchange);
        retire(*done);
        bool silent = false;
        {
            std::lock_guard lock(self.mutex);
            silent = link->silent;
        }
        if (toe != MHD_REQUEST_TERMINATED_COMPLETED_OK && done->failure.empty())
            done->failure =
                silent || toe == MHD_REQUEST_TERMINATED_TIMEOUT_REACHED ? "the client was silent"
                : toe == MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN         ? "the service stopped"
                                                                        : "the client went away";
        self.logLine(*done);
        self.setPhase(link, Phase::Head, self.headTime());
        {
            // The answer is handed to the system: the next head waits while the rest of it
            // may still go out.
            std::lock_guard lock(self.mutex);
            link->draining = true;
        }
        self.uncount(*done);
    }

    // Only a stop waits for the count to fall: the sweeping thread is not woken by every
    // answer.
    void uncount(Exchange& x) {
        {
            std::lock_guard lock(mutex);
            if (!x.counted)
                return;
            x.counted = false;
            --inFlight;
            if (!stopping || inFlight > 0)
                return;
        }
        changed.notify_all();
    }

    void logLine(const Exchange& x) {
        const Request& r = x.request;
        std::string line = log::utcNow() + " " +
                           log::printable(r.client.empty() ? "-" : r.client, 64) + " " +
                           (r.method.empty() ? "-" : log::printable(r.method, 16)) + " " +
                           (r.target.empty() ? "-" : log::printable(r.target, 512)) + " " +
                           (x.status ? std::to_string(x.status) : std::string("-")) + " " +
                           log::milliseconds(Clock::now() - x.start);
        if (!x.failure.empty() && x.status != 0)
            line += " cut: " + x.failure;
        else if (!x.failure.empty())
            line += " unanswered: " + x.failure;
        std::cerr << line + "\n" << std::flush;
    }

    static MHD_Result access(void* cls, MHD_Connection* c, const char* url, const char* method,
                             const char*, const char* upload, size_t* uploadSize,
                             void** requestContext) {
        Impl& self = of(cls);
        Link* link = linkOf(c);
        auto* x = static_cast<Exchange*>(*requestContext);
        if (!link)
            return MHD_NO;
        if (!x) {
            link->exchange = std::make_unique<Exchange>(self);
            x = link->exchange.get();
            x->request.target = url ? url : "";
            *requestContext = x;
        }
        if (!x->begun)
            return self.begin(c, link, *x, url, method);
        if (*uploadSize > 0) {
            if (!x->tooLarge && x->request.body.size() + *uploadSize <= self.limits.maxBodyBytes)
                x->request.body.append(upload, *uploadSize);
            else
                x->tooLarge = true;
            *uploadSize = 0;
            return MHD_YES;
        }
        if (x->tooLarge && !x->dispatched) {
            x->dispatched = true;
            return self.queue(c, *x, self.bodyTooLarge(x->request));
        }
        if (!x->dispatched) {
            x->dispatched = true;
            self.setPhase(link, Phase::Answer, {});
            Answer answer;
            try {
                answer = self.handler(x->request);
            } catch (const std::exception& e) {
                log::failure(std::string("a request failed with an exception: ") + e.what());
                answer.now = self.error(x->request, 500, "The request failed inside the service.");
            }
            if (!answer.later)
                return self.queue(c, *x, std::move(answer.now));
            x->pending = std::move(answer.later);
            x->waker = std::make_shared<Waker>(c);
        }
        return self.awaitPending(c, *x);
    }

    // The head is in: the request as the service sees it; refused at once when its method,
    // its length or its announced body are not taken (the library then reads no body and
    // closes the connection after the answer).
    MHD_Result begin(MHD_Connection* c, Link* link, Exchange& x, const char* url,
                     const char* method) {
        x.begun = true;
        {
            std::lock_guard lock(mutex);
            ++inFlight;
            x.counted = true;
        }
        Request& r = x.request;
        r.method = method ? method : "";
        r.path = url ? url : "";
        MHD_get_connection_values_n(
            c, MHD_GET_ARGUMENT_KIND,
            [](void* out, MHD_ValueKind, const char* key, size_t keySize, const char* value,
               size_t valueSize) {
                static_cast<Request*>(out)->parameters.emplace_back(
                    std::string(key, keySize), value ? std::string(value, valueSize) : "");
                return MHD_YES;
            },
            &r);
        const char* host = MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
        r.host = host && *host ? host : listenAddress;
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
            r.client = numericAddress(info->client_addr, sizeof(sockaddr_storage));
        const char* encoding =
            MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING);
        r.acceptsGzip = encoding && takesGzip(encoding);
        if (r.target.size() > limits.maxTargetBytes) {
            x.dispatched = true;
            return queue(
                c, x, error(r, 414, "The request URL is too long; send long selections by POST."));
        }
        if (std::optional<Reply> refused = refuse(r)) {
            x.dispatched = true;
            return queue(c, x, std::move(*refused));
        }
        const char* length =
            MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
        x.expectedBody = length ? std::strtoull(length, nullptr, 10) : 0;
        if (x.expectedBody > limits.maxBodyBytes) {
            x.dispatched = true;
            return queue(c, x, bodyTooLarge(r));
        }
        setPhase(link, Phase::Body,
                 bodyTime(x.expectedBody ? x.expectedBody : limits.maxBodyBytes));
        return MHD_YES;
    }

    Reply bodyTooLarge(const Request& r) {
        Reply reply = error(r, 413, "The request body is larger than the service accepts.");
        reply.close = true;
        return reply;
    }

    // Asks the pending answer; suspends the connection until it can be given.
    MHD_Result awaitPending(MHD_Connection* c, Exchange& x) {
        for (;;) {
            if (aborting)
                return MHD_NO;
            {
                std::lock_guard lock(x.waker->mutex);
                x.waker->woken = false;
            }
            std::weak_ptr<Waker> weak = x.waker;
            if (!x.pending->wait([weak] {
                    if (auto w = weak.lock())
                        wakeUp(w);
                })) {
                Reply reply = x.pending->reply();
                x.pending.reset();
                return queue(c, x, std::move(reply));
            }
            std::shared_ptr<Pending> pending = x.pending;
            if (suspend(x, [pending] { return pending->expire(); }))
                return MHD_YES;
        }
    }

    // Suspends the exchange's connection unless it was woken meanwhile or the stop cuts what
    // is left (false: ask again).
    bool suspend(Exchange& x, std::function<bool()> expire) {
        std::lock_guard lock(mutex);
        if (aborting)
            return false;
        std::lock_guard wakerLock(x.waker->mutex);
        if (x.waker->woken)
            return false;
        x.waker->suspended = true;
        waiting[x.waker.get()] = {x.waker, std::move(expire)};
        MHD_suspend_connection(x.waker->connection);
        return true;
    }

    MHD_Result queue(MHD_Connection* c, Exchange& x, Reply reply) {
        x.status = reply.status;
        if (Link* link = linkOf(c))
            setPhase(link, Phase::Send, idleTime());
        MHD_Response* response = nullptr;
        const bool gzip = reply.compressible && x.request.acceptsGzip;
        if (reply.stream) {
            x.stream = std::move(reply.stream);
            if (gzip)
                x.gzip = std::make_unique<Gzip>();
            if (!x.waker)
                x.waker = std::make_shared<Waker>(c);
            response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kStreamBlock,
                                                         &Impl::readStream, &x, nullptr);
        } else {
            if (gzip) {
                Gzip z;
                std::string packed;
                z.add(reply.body, packed);
                z.finish(packed);
                reply.body = std::move(packed);
            }
            response = MHD_create_response_from_buffer(reply.body.size(), reply.body.data(),
                                                       MHD_RESPMEM_MUST_COPY);
        }
        if (!response)
            return MHD_NO;
        if (!reply.type.empty())
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.type.c_str());
        MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
        if (gzip) {
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
            MHD_add_response_header(response, MHD_HTTP_HEADER_VARY, "Accept-Encoding");
        }
        for (const auto& [name, value] : reply.headers)
            MHD_add_response_header(response, name.c_str(), value.c_str());
        bool close = reply.close;
        {
            std::lock_guard lock(mutex);
            close = close || draining;
        }
        if (close)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
        const MHD_Result queued =
            MHD_queue_response(c, static_cast<unsigned int>(reply.status), response);
        MHD_destroy_response(response);
        return queued;
    }

    // The library asks for the next part of a streamed body.
    static ssize_t readStream(void* cls, uint64_t, char* buffer, size_t most) {
        auto& x = *static_cast<Exchange*>(cls);
        for (;;) {
            if (x.outAt < x.out.size()) {
                const std::size_t n = std::min(most, x.out.size() - x.outAt);
                std::memcpy(buffer, x.out.data() + x.outAt, n);
                x.outAt += n;
                if (x.outAt == x.out.size()) {
                    x.out.clear();
                    x.outAt = 0;
                }
                return static_cast<ssize_t>(n);
            }
            if (x.ended)
                return MHD_CONTENT_READER_END_OF_STREAM;
            if (x.owner.aborting) {
                x.failure = "the service stopped";
                return MHD_CONTENT_READER_END_WITH_ERROR;
            }
            {
                std::lock_guard lock(x.waker->mutex);
                x.waker->woken = false;
            }
            std::weak_ptr<Waker> weak = x.waker;
            std::string raw;
            const Stream::Got got = x.stream->next(x.gzip ? raw : x.out, kStreamBlock, [weak] {
                if (auto w = weak.lock())
                    wakeUp(w);
            });
            switch (got) {
            case Stream::Got::Data:
                if (x.gzip)
                    x.gzip->add(raw, x.out);
                continue;
            case Stream::Got::End:
                if (x.gzip)
                    x.gzip->finish(x.out);
                x.ended = true;
                continue;
            case Stream::Got::Failed:
                x.failure = x.stream->failure();
                return MHD_CONTENT_READER_END_WITH_ERROR;
            case Stream::Got::Waiting: {
                std::shared_ptr<Stream> stream = x.stream;
                if (x.owner.suspend(x, [stream] { return stream->expire(); }))
                    return 0;
                continue;
            }
            }
        }
    }

    // --- deadlines

    // A client's deadline while some of its answer waits for it: the idle time since it last
    // took some (the head's time once its answer was handed to the system and it still
    // takes the rest of it), or kHeldIdleTimes that while it holds what it was sent unread,
    // its window closed. While nothing waits for it, the service is the slow one: the idle
    // time begins again.
    void noteDelivery(Link& link, Clock::time_point now) {
        if (link.phase != Phase::Send && !link.draining)
            return;
        const std::optional<Delivery> d = deliveryOf(link.fd);
        if (!d)
            return;
        if (d->acknowledged != link.acknowledged || d->queued == 0)
            link.took = now;
        link.acknowledged = d->acknowledged;
        if (d->queued == 0) {
            link.draining = false;
            if (link.phase == Phase::Send)
                link.deadline = now + idleTime();
            return;
        }
        const Clock::duration allowed = d->windowClosed             ? kHeldIdleTimes * idleTime()
                                        : link.phase == Phase::Send ? idleTime()
                                                                    : headTime();
        link.deadline = link.phase == Phase::Send ? link.took + allowed
                                                  : std::max(link.deadline, link.took + allowed);
    }

    // Every tenth of a second: clients past their deadline are disconnected (the library
    // sees the socket end and closes it); waits that have gone on too long are asked to give
    // up.
    void sweep() {
        std::vector<std::pair<std::shared_ptr<Waker>, std::function<bool()>>> asks;
        {
            std::lock_guard lock(mutex);
            const Clock::time_point now = Clock::now();
            for (auto& [key, link] : links) {
                if (link->phase == Phase::Answer || link->cut || link->fd < 0)
                    continue;
                noteDelivery(*link, now);
                if (now > link->deadline) {
                    ::shutdown(link->fd, SHUT_RDWR);
                    link->cut = true;
                    link->silent = link->phase == Phase::Send;
                }
            }
            for (auto at = waiting.begin(); at != waiting.end();) {
                bool suspended = false;
                {
                    // Released before the entry goes: it may hold the last reference.
                    std::lock_guard wakerLock(at->second.first->mutex);
                    suspended = at->second.first->suspended;
                }
                if (!suspended) {
                    at = waiting.erase(at);
                    continue;
                }
                asks.push_back(at->second);
                ++at;
            }
        }
        for (const auto& [waker, ask] : asks)
            if (ask())
                wakeUp(waker);
    }

    // Resumes every suspended connection: each then ends at once (aborting is set).
    void wakeAll() {
        std::lock_guard lock(mutex);
        for (auto& [key, entry] : waiting) {
            std::lock_guard wakerLock(entry.first->mutex);
            if (entry.first->suspended && entry.first->connection) {
                entry.first->suspended = false;
                MHD_resume_connection(entry.first->connection);
            }
        }
        waiting.clear();
    }

    bool bind(const std::string& host, int wanted) {
        const std::optional<Listening> bound = listenOn(host, wanted);
        if (!bound)
            return false;
        listener = bound->socket;
        port = bound->port;
        listenAddress = host + ":" + std::to_string(port);
        return true;
    }

    // Connections beyond what the open files allow are refused by the library at once
    // (keeping files for the database connections and the answers' temporary files).
    static unsigned int connectionLimit() {
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
            return 1000;
        return static_cast<unsigned int>(
            std::max<rlim_t>(16, std::min<rlim_t>(files.rlim_cur, 65536) * 3 / 4));
    }

    // The library's event loop on the listening socket, with the front's callbacks.
    bool startDaemon() {
        const unsigned int flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
        std::vector<MHD_OptionItem> options{
            {MHD_OPTION_LISTEN_SOCKET, listener, nullptr},
            // The deadlines are the sweeper's: the library's idle timer counts only what it
            // reads, so it would cut a client that takes a long answer steadily.
            {MHD_OPTION_CONNECTION_TIMEOUT, 0, nullptr},
            {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr},
            {MHD_OPTION_CONNECTION_LIMIT, connectionLimit(), nullptr},
            {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Impl::notifyConnection),
             this},
            {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&Impl::uriLog), this},
            {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Impl::completed), this},
            {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&unescape), nullptr},
            {MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, nullptr},
        };
        if (limits.threads > 1)
            options.push_back(
                {MHD_OPTION_THREAD_POOL_SIZE, static_cast<intptr_t>(limits.threads), nullptr});
        options.push_back({MHD_OPTION_END, 0, nullptr});
        daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Impl::access, this, MHD_OPTION_ARRAY,
                                  options.data(), MHD_OPTION_END);
        if (!daemon) {
            std::cerr << "stationws: the HTTP server cannot start on " << listenAddress << "\n";
            return false;
        }
        return true;
    }

    bool run() {
        if (!startDaemon())
            return false;
        std::unique_lock lock(mutex);
        while (!stopping) {
            changed.wait_for(lock, kSweep);
            lock.unlock();
            sweep();
            lock.lock();
        }
        // No new connection; the answers in flight go on, each told to close its connection.
        draining = true;
        lock.unlock();
        const int quiet = MHD_quiesce_daemon(daemon);
        if (quiet >= 0)
            ::close(quiet);
        listener = -1;
        lock.lock();
        const Clock::time_point until = Clock::now() + std::chrono::seconds(limits.stopSeconds);
        while (inFlight > 0 && Clock::now() < until) {
            changed.wait_for(lock, kSweep);
            lock.unlock();
            sweep();
            lock.lock();
        }
        const std::size_t left = inFlight;
        lock.unlock();
        if (left > 0)
            log::failure(std::to_string(left) + " answers were not finished within " +
                         std::to_string(limits.stopSeconds) + " s of the stop; they are cut");
        aborting = true;
        wakeAll();
        lock.lock();
        changed.wait_for(lock, std::chrono::seconds(2), [&] { return inFlight == 0; });
        lock.unlock();
        wakeAll();
        MHD_stop_daemon(daemon);
        daemon = nullptr;
        return true;
    }
};

Front::Front(Limits limits, Handler handler, Refusal refuse, ErrorReply error)
    : impl_(std::make_unique<Impl>()) {
    impl_->limits = limits;
    impl_->handler = std::move(handler);
    impl_->refuse = std::move(refuse);
    impl_->error = std::move(error);
}

Front::~Front() {
    if (impl_->daemon)
        MHD_stop_daemon(impl_->daemon);
    if (impl_->listener >= 0)
        ::close(impl_->listener);
}

bool Front::bind(const std::string& host, int port) {
    return impl_->bind(host, port);
}

int Front::port() const {
    return impl_->port;
}

bool Front::run() {
    return impl_->run();
}

void Front::stop() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->changed.notify_all();
}

} // namespace orv::stationws::http
