// The HTTP front on its own, without a database: what hostile and slow clients can and cannot
// do to it, asked over real sockets (and curl where a well-behaved client is meant).
#include "front.h"
#include "log.h"
#include "loopback.h"
#include "program.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

using orv::stationws::http::Answer;
using orv::stationws::http::Front;
using orv::stationws::http::Limits;
using orv::stationws::http::Pending;
using orv::stationws::http::Reply;
using orv::stationws::http::Request;
using orv::stationws::http::Stream;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A body of `size` bytes given out in blocks, as a database reading would.
class Blocks : public Stream {
public:
    explicit Blocks(std::size_t size) : left_(size) {}
    Got next(std::string& out, std::size_t most, std::function<void()>) override {
        if (left_ == 0)
            return Got::End;
        const std::size_t n = std::min(most, left_);
        out.append(n, 'x');
        left_ -= n;
        return Got::Data;
    }
    bool expire() override { return false; }
    std::string failure() const override { return {}; }
    void close() override {}

private:
    std::size_t left_;
};

// The front on a port of its own, served by a thread of the test, with a few resources:
// /echo answers the request's path, parameters and body size; /big a streamed body of
// 8 MB; /late an answer given 300 ms later from another thread.
class Served {
public:
    explicit Served(Limits limits = test()) : front_(limits, handle, refuse, error) {
        EXPECT_TRUE(front_.bind("127.0.0.1", 0));
        thread_ = std::thread([this] { front_.run(); });
    }
    ~Served() { stop(); }
    void stop() {
        front_.stop();
        if (thread_.joinable())
            thread_.join();
    }
    int port() const { return front_.port(); }
    std::string url(const std::string& rest) const {
        return "http://127.0.0.1:" + std::to_string(port()) + rest;
    }
    Front& front() { return front_; }

    static Limits test() {
        Limits l;
        l.headSeconds = 2;
        l.idleSeconds = 2;
        l.maxBodyBytes = 100000;
        l.threads = 2;
        l.stopSeconds = 10;
        return l;
    }

private:
    static Answer handle(const Request& r) {
        if (r.path == "/big") {
            std::size_t megabytes = 8;
            for (const auto& [k, v] : r.parameters)
                if (k == "mb")
                    megabytes = std::stoul(v);
            Reply reply;
            reply.type = "text/plain";
            reply.stream = std::make_shared<Blocks>(megabytes << 20);
            return {reply, {}};
        }
        if (r.path == "/late")
            return {{}, std::make_shared<Late>()};
        if (r.path == "/never")
            return {{}, std::make_shared<Never>()};
        std::string body = r.method + " " + r.path + " " + std::to_string(r.body.size());
        for (const auto& [k, v] : r.parameters)
            body += " " + k + "=" + v;
        return {Reply{200, "text/plain", body, {}, {}, false, false}, {}};
    }
    static std::optional<Reply> refuse(const Request& r) {
        if (r.method == "PUT")
            return Reply{405, "text/plain", "no", {{"Allow", "GET"}}, {}, false, true};
        return std::nullopt;
    }
    static Reply error(const Request&, int status, std::string_view details) {
        return Reply{status, "text/plain", std::string(details), {}, {}, false, false};
    }

    // Known 300 ms after it was asked, told by a thread of its own.
    class Late : public Pending {
    public:
        ~Late() override {
            if (teller_.joinable())
                teller_.join();
        }
        bool wait(std::function<void()> wake) override {
            if (ready_)
                return false;
            if (!teller_.joinable())
                teller_ = std::thread([this, wake] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    ready_ = true;
                    wake();
                });
            return true;
        }
        bool expire() override { return false; }
        Reply reply() override { return Reply{200, "text/plain", "late", {}, {}, false, false}; }

    private:
        std::atomic<bool> ready_{false};
        std::thread teller_;
    };

    // Never known: it gives up half a second after it was asked.
    class Never : public Pending {
    public:
        bool wait(std::function<void()>) override { return !gaveUp_; }
        bool expire() override {
            gaveUp_ = Clock::now() - asked_ > std::chrono::milliseconds(500);
            return gaveUp_;
        }
        Reply reply() override { return Reply{503, "text/plain", "gave up", {}, {}, false, false}; }

    private:
        Clock::time_point asked_ = Clock::now();
        bool gaveUp_ = false;
    };

    Front front_;
    std::thread thread_;
};

void sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

// What the server sends until it closes the connection or is silent for `silence`.
std::string readAll(int fd, std::chrono::milliseconds silence = std::chrono::milliseconds(3000)) {
    std::string got;
    char block[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(silence.count())) <= 0)
            return got;
        const ssize_t n = recv(fd, block, sizeof block, 0);
        if (n <= 0)
            return got;
        got.append(block, static_cast<std::size_t>(n));
    }
}

// True when the server ends the connection within the time given (it may answer first).
bool endedWithin(int fd, std::chrono::milliseconds within) {
    const Clock::time_point until = Clock::now() + within;
    char block[4096];
    while (Clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (poll(&p, 1, static_cast<int>(std::max<long>(1, left.count()))) <= 0)
            continue;
        if (recv(fd, block, sizeof block, 0) <= 0)
            return true;
    }
    return false;
}

std::size_t count(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + 1))
        ++n;
    return n;
}

// curl's status, headers and body for a URL.
struct CurlAnswer {
    int status = 0;
    std::string headers, body;
};
CurlAnswer curl(const std::string& url, std::vector<std::string> options = {}) {
    orv::test::TempDir dir;
    std::vector<std::string> args{
        "-s", "-D",           (dir / "h").string(), "-o", (dir / "b").string(),
        "-w", "%{http_code}", "--max-time",         "30"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(url);
    const auto run = orv::test::runProgram("curl", args, {}, dir.path());
    return {std::atoi(run.out.c_str()), orv::test::readFile(dir / "h"),
            orv::test::readFile(dir / "b")};
}

} // namespace

// 64 clients that send a POST's head and then a byte of its body every half second, and 16
// that send most of a long head the same way, hold no thread: a client asking meanwhile is
// answered at once each time; and each slow one is cut at its deadline, however steadily it
// trickles.
TEST(HttpFront, SlowUploadsAndSlowHeadsHoldNothingAndAreCutAtTheirDeadline) {
    Served s;
    std::vector<int> slow;
    for (int i = 0; i < 64; ++i) {
        const int fd = orv::test::connectLoopback(s.port());
        ASSERT_GE(fd, 0);
        sendAll(fd, "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n");
        slow.push_back(fd);
    }
    for (int i = 0; i < 16; ++i) {
        const int fd = orv::test::connectLoopback(s.port());
        ASSERT_GE(fd, 0);
        sendAll(fd, "GET /echo HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(70000, 'a'));
        slow.push_back(fd);
    }
    std::atomic<bool> trickling{true};
    std::thread trickle([&] {
        while (trickling) {
            for (const int fd : slow)
                send(fd, "a", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });
    double slowest = 0;
    for (int i = 0; i < 10; ++i) {
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(curl(s.url("/echo")).status, 200);
        slowest = std::max(slowest, secondsSince(start));
    }
    EXPECT_LT(slowest, 2.0);
    // Deadlines: the head 2 s after the connection, the body 2 s after the head.
    const Clock::time_point start = Clock::now();
    int ended = 0;
    for (const int fd : slow)
        ended += endedWithin(fd, std::chrono::duration_cast<std::chrono::milliseconds>(
                                     start + std::chrono::seconds(6) - Clock::now()))
                     ? 1
                     : 0;
    trickling = false;
    trickle.join();
    EXPECT_EQ(ended, 80);
    EXPECT_LT(secondsSince(start), 7.0);
    for (const int fd : slow)
        close(fd);
}

// However the heads are written, one answer per request, in the order asked: a header over
// 8 KB followed in the same write by a second request; lines that end in a bare LF; a head of
// 60 KB, answered at once.
TEST(HttpFront, OneAnswerPerRequestWhateverTheHead) {
    Served s;
    {
        const int fd = orv::test::connectLoopback(s.port());
        sendAll(fd, "GET /first HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(9000, 'b') +
                        "\r\n\r\nGET /second HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        const std::string got = readAll(fd);
        close(fd);
        EXPECT_EQ(count(got, "HTTP/1.1 "), 2u) << got.substr(0, 400);
        const std::size_t first = got.find("GET /first 0");
        const std::size_t second = got.find("GET /second 0");
        EXPECT_NE(first, std::string::npos);
        EXPECT_NE(second, std::string::npos);
        EXPECT_LT(first, second);
    }
    {
        const int fd = orv::test::connectLoopback(s.port());
        const Clock::time_point start = Clock::now();
        sendAll(fd, "GET /bare HTTP/1.1\nHost: x\nConnection: close\n\n");
        const std::string got = readAll(fd);
        close(fd);
        EXPECT_EQ(got.rfind("HTTP/1.1 200", 0), 0u) << got;
        EXPECT_NE(got.find("GET /bare 0"), std::string::npos);
        EXPECT_LT(secondsSince(start), 1.0);
    }
    {
        const int fd = orv::test::connectLoopback(s.port());
        const Clock::time_point start = Clock::now();
        sendAll(fd, "GET /long HTTP/1.1\r\nHost: x\r\nConnection: close\r\nX-Long: " +
                        std::string(60000, 'l') + "\r\n\r\n");
        const std::string got = readAll(fd);
        close(fd);
        EXPECT_EQ(got.rfind("HTTP/1.1 200", 0), 0u) << got.substr(0, 200);
        EXPECT_LT(secondsSince(start), 1.0);
    }
}

// A literal '?' inside the query is data; '+' and %HH are decoded; a urlencoded POST of 600
// selection lines (over 11 KB) reaches the service whole; beyond the body limit, 413 before
// the body is sent.
TEST(HttpFront, ParametersAndBodiesAsSent) {
    Served s;
    EXPECT_EQ(curl(s.url("/echo?sta=AN?O&net=I%55&x=a+b&flag")).body,
              "GET /echo 0 sta=AN?O net=IU x=a b flag=");
    std::string lines;
    for (int i = 0; i < 600; ++i)
        lines += "IU S" + std::to_string(1000 + i) + " 00 BHZ * *\n";
    ASSERT_GT(lines.size(), 11000u);
    const CurlAnswer posted =
        curl(s.url("/echo"),
             {"--data-binary", lines, "-H", "Content-Type: application/x-www-form-urlencoded"});
    EXPECT_EQ(posted.status, 200);
    EXPECT_EQ(posted.body, "POST /echo " + std::to_string(lines.size()));
    // Sent whole with its length, with or without waiting for "100 Continue" first, or in
    // chunks without its length: 413 for each.
    orv::test::TempDir dir;
    const std::string big = "@" + (dir / "big").string();
    std::ofstream(dir / "big", std::ios::binary) << std::string(200000, 'a');
    for (const auto& options :
         std::vector<std::vector<std::string>>{{"-H", "Expect:"},
                                               {"-H", "Expect: 100-continue"},
                                               {"-H", "Transfer-Encoding: chunked"}}) {
        std::vector<std::string> args{"--data-binary", big, "-H",
                                      "Content-Type: application/x-www-form-urlencoded"};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(curl(s.url("/echo"), args).status, 413) << options[1];
    }
}

// Every answer says nosniff (an error body repeats what the client sent); a refused method is
// answered with its Allow header, and the connection is closed.
TEST(HttpFront, EveryAnswerSaysNosniff) {
    Served s;
    for (const auto& [path, options] :
         std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"/echo", {}}, {"/big", {}}, {"/late", {}}, {"/echo", {"-X", "PUT", "-d", "x"}}}) {
        const CurlAnswer a = curl(s.url(path), options);
        EXPECT_NE(a.headers.find("\r\nX-Content-Type-Options: nosniff\r\n"), std::string::npos)
            << path << a.headers;
    }
    const CurlAnswer refused = curl(s.url("/echo"), {"-X", "PUT", "-d", "x"});
    EXPECT_EQ(refused.status, 405);
    EXPECT_NE(refused.headers.find("\r\nAllow: GET\r\n"), std::string::npos);
    EXPECT_EQ(curl(s.url("/late")).body, "late");
}

// A wait that gives up is answered when it does, not when the client tires.
TEST(HttpFront, AWaitThatGivesUpIsAnsweredThen) {
    Served s;
    const Clock::time_point start = Clock::now();
    const CurlAnswer a = curl(s.url("/never"), {"--max-time", "5"});
    EXPECT_EQ(a.status, 503);
    EXPECT_EQ(a.body, "gave up");
    EXPECT_LT(secondsSince(start), 1.5);
}

// A request that waited and is done before the sweeper next looks at its wait: the sweeper
// lets go of the wait without touching it after (the sweeper once unlocked the wait's mutex
// after the wait was freed; memcheck sees such a use, and ctest runs this test under it too).
TEST(HttpFront, AWaitDoneBeforeTheSweepIsLetGoOfCleanly) {
    Served s;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(curl(s.url("/late")).body, "late");
    // A few sweeps, a tenth of a second apart.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(curl(s.url("/echo")).status, 200);
}

// A port some process listens on is refused to a second one, never shared.
TEST(HttpFront, APortInUseIsRefused) {
    Served first;
    Front second(
        Served::test(), [](const Request&) { return Answer{}; },
        [](const Request&) { return std::optional<Reply>(); },
        [](const Request&, int, std::string_view) { return Reply{}; });
    EXPECT_FALSE(second.bind("127.0.0.1", first.port()));
}

// A stop while a client takes an 8 MB answer at about 1.3 MB/s: no new connection is taken,
// the answer is finished whole (with the chunked terminator), then the front ends.
TEST(HttpFront, AStopLetsTheAnswersInFlightFinish) {
    Limits limits = Served::test();
    limits.stopSeconds = 20;
    auto s = std::make_unique<Served>(limits);
    const int port = s->port();
    const int fd = orv::test::connectLoopback(port);
    const int rcvbuf = 65536;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sendAll(fd, "GET /big HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string got;
    std::thread reader([&] {
        char block[65536];
        for (;;) {
            const ssize_t n = recv(fd, block, sizeof block, 0);
            if (n <= 0)
                return;
            got.append(block, static_cast<std::size_t>(n));
            if (got.size() > 8u << 20 && got.find("\r\n0\r\n\r\n") != std::string::npos)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const Clock::time_point stopped = Clock::now();
    s->front().stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(orv::test::connectLoopback(port), 0) << "a connection was taken after the stop";
    reader.join();
    s->stop();
    close(fd);
    EXPECT_GT(secondsSince(stopped), 1.0);
    EXPECT_GT(count(got, std::string(1000, 'x')), 8000u);
    EXPECT_NE(got.find("\r\n0\r\n\r\n"), std::string::npos) << "the answer was cut";
}

// What a client reading at about 1.3 MB/s (64 KB every 50 ms, with a receive buffer of
// 64 KB) gets of the answer at `path`, until it ends or `within` has gone by.
std::string readSteadily(int port, const std::string& path, std::chrono::seconds within) {
    const int fd = orv::test::connectLoopback(port);
    const int rcvbuf = 65536;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sendAll(fd, "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n");
    const Clock::time_point until = Clock::now() + within;
    std::string got;
    char block[65536];
    while (Clock::now() < until && got.find("\r\n0\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0)
            continue;
        const ssize_t n = recv(fd, block, sizeof block, 0);
        if (n <= 0)
            break;
        got.append(block, static_cast<std::size_t>(n));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    close(fd);
    return got;
}

// A client that takes a long answer steadily gets it whole, however long the buffers between
// the two keep the service from writing; one that takes nothing of its answer is cut (once
// it has held what it was sent for six idle times), and what it then reads is only a part.
TEST(HttpFront, ASteadyReaderGetsItsAnswerWholeAndASilentOneIsCut) {
    Limits limits = Served::test();
    limits.idleSeconds = 1;
    Served s(limits);
    std::string silentGot;
    std::thread silent([&] {
        const int fd = orv::test::connectLoopback(s.port());
        sendAll(fd, "GET /big?mb=64 HTTP/1.1\r\nHost: x\r\n\r\n");
        std::this_thread::sleep_for(std::chrono::seconds(8));
        silentGot = readAll(fd, std::chrono::milliseconds(2000));
        close(fd);
    });
    const Clock::time_point start = Clock::now();
    const std::string got = readSteadily(s.port(), "/big", std::chrono::seconds(30));
    silent.join();
    EXPECT_GT(secondsSince(start), 3.0) << "the reading was not slow";
    EXPECT_GT(count(got, std::string(1000, 'x')), 8000u) << "cut after " << got.size() << " bytes";
    EXPECT_NE(got.find("\r\n0\r\n\r\n"), std::string::npos) << "the answer was cut";
    EXPECT_LT(silentGot.size(), std::size_t(32) << 20) << "a silent client was kept";
}

// A client that takes nothing of its answer does not hold the stop beyond its bound.
TEST(HttpFront, AStopCutsWhatIsLeftAtItsBound) {
    Limits limits = Served::test();
    limits.stopSeconds = 1;
    limits.idleSeconds = 30;
    auto s = std::make_unique<Served>(limits);
    const int fd = orv::test::connectLoopback(s->port());
    const int rcvbuf = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sendAll(fd, "GET /big HTTP/1.1\r\nHost: x\r\n\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point stopped = Clock::now();
    s->stop();
    EXPECT_LT(secondsSince(stopped), 4.0);
    close(fd);
}

// A driver's message may repeat its connection string: every spelling of the password's key
// loses its value, and nothing else does.
TEST(ServiceLog, PasswordsAreMaskedWhateverTheKeysCase) {
    using orv::stationws::log::withoutPasswords;
    EXPECT_EQ(withoutPasswords("[unixODBC]DSN=ORV;UID=ORV;PWD=KTZ;SERVER=db"),
              "[unixODBC]DSN=ORV;UID=ORV;PWD=***;SERVER=db");
    EXPECT_EQ(withoutPasswords("Password=s3cret;pWd=KTZ;password=x"),
              "Password=***;pWd=***;password=***");
    EXPECT_EQ(withoutPasswords("connect failed: PASSWORD=KTZ"), "connect failed: PASSWORD=***");
    EXPECT_EQ(withoutPasswords("no password here; UID=ORV"), "no password here; UID=ORV");
}
