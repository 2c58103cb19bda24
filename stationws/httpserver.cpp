#include "httpserver.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orv::stationws {

namespace {

using Clock = std::chrono::steady_clock;

// The most of a request's head read before it goes to the library whole or not (the library
// answers an overlong request line with 414).
constexpr std::size_t kMaxHead = 64 * 1024;
// Bytes taken from the socket at once.
constexpr std::size_t kReadBlock = 16 * 1024;

// poll() for one socket, restarted when a signal interrupts it: > 0 when ready.
int waitFor(int fd, short events, int milliseconds) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, milliseconds);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

void addressOf(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* a = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(fd, a, &length) : ::getsockname(fd, a, &length)) != 0)
        return;
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(a, length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

// Each '?' of the first line's request target after the first one, written as %3F.
void quoteQuestionMarks(std::string& head) {
    const std::size_t lineEnd = std::min(head.size(), head.find('\n'));
    const std::size_t target = head.find(' ');
    if (target >= lineEnd)
        return;
    const std::size_t targetEnd = std::min(lineEnd, head.find(' ', target + 1));
    std::size_t at = head.find('?', target);
    if (at >= targetEnd)
        return;
    std::string quoted;
    for (std::size_t i = at + 1; i < targetEnd; ++i)
        quoted += head[i] == '?' ? std::string("%3F") : std::string(1, head[i]);
    head.replace(at + 1, targetEnd - at - 1, quoted);
}

// In the head's Accept-Encoding header, brotli ("br") becomes "identity": the library would
// compress a streamed answer with brotli for a client that accepts it, seventeen times
// slower than the answer is read (23 s for a text answer of 0.9 MB that is read in 1.4 s),
// while gzip costs next to nothing. Clients are offered gzip and the plain answer.
void offerGzipOnly(std::string& head) {
    const std::size_t end = std::min(head.size(), head.find("\r\n\r\n"));
    for (std::size_t line = head.find('\n'); line < end; line = head.find('\n', line + 1)) {
        constexpr std::string_view kName = "accept-encoding:";
        if (head.size() - line - 1 < kName.size() ||
            !std::equal(
                kName.begin(), kName.end(), head.begin() + static_cast<long>(line) + 1,
                [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); }))
            continue;
        const std::size_t lineEnd = std::min(head.size(), head.find('\n', line + 1));
        std::string value = head.substr(line + 1, lineEnd - line - 1);
        for (std::size_t at = value.find("br"); at != std::string::npos; at = value.find("br", at))
            value.replace(at, 2, "identity");
        head.replace(line + 1, lineEnd - line - 1, value);
        return;
    }
}

} // namespace

struct HttpServer::Connection {
    explicit Connection(int socket) : fd(socket) {}
    ~Connection() {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    enum class Head { Whole, Partial, Closed };
    // Reads what the socket holds now, without waiting: is the head of a request there?
    Head readHead() {
        while (!headComplete() && buffer.size() < kMaxHead) {
            char block[kReadBlock];
            const ssize_t n = ::recv(fd, block, sizeof block, MSG_DONTWAIT);
            if (n > 0) {
                buffer.append(block, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return Head::Partial;
            if (n < 0 && errno == EINTR)
                continue;
            return Head::Closed;
        }
        return Head::Whole;
    }
    bool headComplete() const {
        return buffer.find("\r\n\r\n") != std::string::npos ||
               buffer.find("\n\n") != std::string::npos;
    }

    int fd;
    std::string buffer; // read from the socket and not yet taken by the library
    std::size_t requests = 0;
    Clock::time_point deadline;
};

namespace {

// The library's view of a connection: reads take the connection's buffer first, then the
// socket; both directions wait at most their timeouts.
class ConnectionStream final : public httplib::Stream {
public:
    ConnectionStream(HttpServer::Connection& c, int readMs, int writeMs)
        : c_(c), readMs_(readMs), writeMs_(writeMs) {}

    bool is_readable() const override {
        return !c_.buffer.empty() || waitFor(c_.fd, POLLIN, readMs_) > 0;
    }
    bool is_writable() const override {
        if (!waitForRoom())
            return false;
        // A peer that has closed its side takes nothing more.
        char byte = 0;
        return ::recv(c_.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) != 0;
    }
    ssize_t read(char* ptr, size_t size) override {
        if (c_.buffer.empty()) {
            if (waitFor(c_.fd, POLLIN, readMs_) <= 0)
                return -1;
            char block[kReadBlock];
            const ssize_t n = ::recv(c_.fd, block, sizeof block, MSG_DONTWAIT);
            if (n <= 0)
                return n < 0 && (errno == EAGAIN || errno == EINTR) ? read(ptr, size) : n;
            c_.buffer.assign(block, static_cast<std::size_t>(n));
        }
        const std::size_t n = std::min(size, c_.buffer.size());
        std::memcpy(ptr, c_.buffer.data(), n);
        c_.buffer.erase(0, n);
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        for (;;) {
            const ssize_t n = ::send(c_.fd, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n >= 0 || (errno != EAGAIN && errno != EINTR))
                return n;
            if (!waitForRoom())
                return -1;
        }
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        addressOf(c_.fd, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        addressOf(c_.fd, false, ip, port);
    }
    socket_t socket() const override { return c_.fd; }

private:
    // Waits until the socket reports room, or the client has taken bytes: a client that
    // takes nothing for the write timeout is given up, a slow one is not. (The socket
    // reports room only once a third of its buffer is free, which a client at 10 KB/s
    // takes minutes to make.)
    bool waitForRoom() const {
        int unsent = unsentBytes();
        auto deadline = Clock::now() + std::chrono::milliseconds(writeMs_);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0)
                return false;
            if (waitFor(c_.fd, POLLOUT, static_cast<int>(std::min<long long>(left, 500))) > 0)
                return true;
            const int now = unsentBytes();
            if (now < unsent)
                return true;
            unsent = now;
        }
    }
    // Bytes written to the socket that the client has not taken yet.
    int unsentBytes() const {
        int bytes = 0;
        return ::ioctl(c_.fd, SIOCOUTQ, &bytes) == 0 ? bytes : 0;
    }

    HttpServer::Connection& c_;
    int readMs_, writeMs_;
};

} // namespace

// The library's worker threads; their shutdown, at the end of listening, first closes the
// waiting connections so that nothing is handed to them any more.
class Workers final : public httplib::ThreadPool {
public:
    Workers(std::size_t threads, std::function<void()> beforeShutdown)
        : ThreadPool(threads), beforeShutdown_(std::move(beforeShutdown)) {}
    void shutdown() override {
        beforeShutdown_();
        ThreadPool::shutdown();
    }

private:
    std::function<void()> beforeShutdown_;
};

HttpServer::HttpServer(std::size_t threads) : threads_(threads) {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    new_task_queue = [this] {
        auto* workers = new Workers(threads_, [this] {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            waiting_.clear();
        });
        std::lock_guard lock(mutex_);
        queue_ = workers;
        return workers;
    };
    watcher_ = std::thread([this] { watch(); });
}

HttpServer::~HttpServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.clear();
    }
    watcher_.join();
    ::close(epoll_);
}

namespace {

// Set by closeAfterThisRequest() on the thread that works on the request.
thread_local bool closeAfterRequest = false;

} // namespace

void HttpServer::closeAfterThisRequest() {
    closeAfterRequest = true;
}

void HttpServer::widenBacklog() {
    ::listen(svr_sock_, SOMAXCONN);
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
    auto connection = std::make_unique<Connection>(sock);
    connection->deadline = Clock::now() + std::chrono::seconds(read_timeout_sec_);
    serve(std::move(connection));
    return true;
}

void HttpServer::serve(std::unique_ptr<Connection> c) {
    for (;;) {
        const Connection::Head head = c->readHead();
        if (head == Connection::Head::Closed)
            return;
        if (head == Connection::Head::Partial) {
            park(std::move(c));
            return;
        }
        quoteQuestionMarks(c->buffer);
        offerGzipOnly(c->buffer);
        ConnectionStream stream(
            *c, static_cast<int>(read_timeout_sec_ * 1000 + read_timeout_usec_ / 1000),
            static_cast<int>(write_timeout_sec_ * 1000 + write_timeout_usec_ / 1000));
        const bool last = ++c->requests >= keep_alive_max_count_;
        bool closed = false;
        closeAfterRequest = false;
        if (!process_request(stream, last, closed, nullptr) || closed || last || closeAfterRequest)
            return;
        c->deadline = Clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
    }
}

void HttpServer::park(std::unique_ptr<Connection> c) {
    std::lock_guard lock(mutex_);
    if (stopping_ || Clock::now() >= c->deadline)
        return;
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
    event.data.fd = c->fd;
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, c->fd, &event) != 0)
        return;
    const int fd = c->fd;
    waiting_[fd] = std::move(c);
}

void HttpServer::watch() {
    std::vector<epoll_event> events(64);
    for (;;) {
        const int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 200);
        std::vector<std::unique_ptr<Connection>> done;
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        for (int i = 0; i < n; ++i) {
            const auto it = waiting_.find(events[static_cast<std::size_t>(i)].data.fd);
            if (it == waiting_.end())
                continue;
            ::epoll_ctl(epoll_, EPOLL_CTL_DEL, it->first, nullptr);
            Connection* ready = it->second.release();
            waiting_.erase(it);
            queue_->enqueue([this, ready] { serve(std::unique_ptr<Connection>(ready)); });
        }
        const auto now = Clock::now();
        for (auto it = waiting_.begin(); it != waiting_.end();) {
            if (it->second->deadline > now) {
                ++it;
                continue;
            }
            ::epoll_ctl(epoll_, EPOLL_CTL_DEL, it->first, nullptr);
            done.push_back(std::move(it->second));
            it = waiting_.erase(it);
        }
    }
}

} // namespace orv::stationws
