// stationws: the station web service over the database.
#include "ini/inifile.h"
#include "service.h"
#include "text/text.h"

#include <csignal>
#include <cstring>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

constexpr const char* kUsage =
    "usage: stationws [--listen HOST:PORT] [--dsn DSN --user USER --password PASSWORD]\n"
    "                 [--threads N] [--http-threads N] [--timeout SECONDS]\n"
    "                 [--max-answer BYTES] [--max-body BYTES]\n"
    "Serves the stations and responses of the database at /fdsnws/station/1/.\n"
    "  --listen        address and port (default 127.0.0.1:8080; port 0: any free one)\n"
    "  --dsn, --user, --password  the data source (default: [DATABASE] of ORV.ini)\n"
    "  --threads       database connections, the requests that read at once (default 4)\n"
    "  --http-threads  client connections served at once (default 256)\n"
    "  --timeout       seconds a client may stay silent (default 10)\n"
    "  --max-answer    largest answer in bytes, beyond it 413 (default 0: any)\n"
    "  --max-body      largest POST body in bytes, beyond it 413 (default 1048576)\n";

int usage(const std::string& message) {
    std::cerr << "stationws: " << message << "\n" << kUsage;
    return 2;
}

bool number(const std::string& text, long long low, long long high, long long& value) {
    return orv::text::parseInt(text, value) && value >= low && value <= high;
}

} // namespace

int main(int argc, char** argv) {
    orv::stationws::Config config;
    bool dsnGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (i + 1 >= argc)
            return usage("missing value of " + arg);
        const std::string value = argv[++i];
        long long n = 0;
        if (arg == "--listen") {
            const std::size_t colon = value.rfind(':');
            if (colon == std::string::npos || !number(value.substr(colon + 1), 0, 65535, n))
                return usage("--listen takes HOST:PORT");
            config.host = value.substr(0, colon);
            config.port = static_cast<int>(n);
        } else if (arg == "--dsn") {
            config.database.dataSource = value;
            dsnGiven = true;
        } else if (arg == "--user") {
            config.database.user = value;
        } else if (arg == "--password") {
            config.database.password = value;
        } else if (arg == "--threads" && number(value, 1, 256, n)) {
            config.databaseConnections = static_cast<std::size_t>(n);
        } else if (arg == "--http-threads" && number(value, 1, 4096, n)) {
            config.httpThreads = static_cast<std::size_t>(n);
        } else if (arg == "--timeout" && number(value, 1, 3600, n)) {
            config.timeoutSeconds = static_cast<int>(n);
        } else if (arg == "--max-answer" && number(value, 0, 1LL << 50, n)) {
            config.maxAnswerBytes = static_cast<std::size_t>(n);
        } else if (arg == "--max-body" && number(value, 1, 1LL << 40, n)) {
            config.maxBodyBytes = static_cast<std::size_t>(n);
        } else {
            return usage("unknown option or bad value: " + arg + " " + value);
        }
    }
    if (!dsnGiven) {
        const orv::ini::SettingsFiles ini = orv::ini::sharedSettings();
        config.database.dataSource = ini.read("DATABASE", "ODBC", "", 255);
        if (config.database.user.empty())
            config.database.user = ini.read("DATABASE", "USER", "", 255);
        if (config.database.password.empty())
            config.database.password = ini.read("DATABASE", "PASSWORD", "", 255);
    }
    if (config.database.dataSource.empty())
        return usage("no data source (--dsn, or [DATABASE] ODBC= in " +
                     orv::ini::sharedSettings().names() + ")");
    config.httpThreads = std::max(config.httpThreads, config.databaseConnections);

    // SIGTERM and SIGINT are taken by one thread that stops the server; every other thread
    // has them blocked. The requests in flight are finished before the program ends.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    orv::stationws::Service service(config);
    if (!service.bind())
        return 1;
    std::cerr << "stationws: listening on http://" << config.host << ":" << service.port()
              << "/fdsnws/station/1/\n"
              << std::flush;
    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        std::cerr << "stationws: stopping (signal " << received << ")\n" << std::flush;
        service.stop();
    });
    const bool ok = service.run();
    // The server stopped by itself: release the waiting thread.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    std::cerr << "stationws: stopped\n";
    return ok ? 0 : 1;
}
