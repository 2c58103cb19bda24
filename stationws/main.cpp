// stationws: the station web service over the database.
#include "service.h"
#include "settings.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <malloc.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    const orv::stationws::Settings settings = orv::stationws::readSettings(
        std::vector<std::string>(argv + 1, argv + argc),
        [](const char* name) { return static_cast<const char*>(std::getenv(name)); });
    if (settings.help) {
        std::cout << orv::stationws::kUsage;
        return 0;
    }
    if (!settings.config) {
        std::cerr << "stationws: " << settings.error << "\n" << orv::stationws::kUsage;
        return 2;
    }
    // The allocator keeps an arena for each thread that allocates at once, up to eight per
    // core, and each keeps what it once held: with the HTTP threads, the reading threads and
    // 200 clients at once, 3,000 requests left the service at 47 to 84 MB resident on a
    // loaded machine, against 27 MB with an arena per core. (Set before any thread starts;
    // MALLOC_ARENA_MAX still decides where it is set.)
    if (!std::getenv("MALLOC_ARENA_MAX"))
        mallopt(M_ARENA_MAX, static_cast<int>(std::max(2u, std::thread::hardware_concurrency())));
    // While answers go on, up to 8 MB freed at the top of a heap stays for the next answer,
    // instead of going back to the system after each and being faulted in again (a cold
    // channel at level response: 1,800 answers/s on PostgreSQL, against 2,100 with it kept);
    // the reading threads give it all back once they are idle. (MALLOC_TRIM_THRESHOLD_ still
    // decides where it is set.)
    if (!std::getenv("MALLOC_TRIM_THRESHOLD_"))
        mallopt(M_TRIM_THRESHOLD, 8 << 20);
    // libxml2 sets up its global state once, before any thread uses it. Its own messages
    // (an answer cut because its client went away: "I/O error : write error") stay out of
    // the log, on every thread.
    xmlInitParser();
    xmlThrDefSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) {});
    xmlSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) {});

    // SIGTERM and SIGINT are taken by one thread that stops the server; every other thread
    // has them blocked. The requests in flight are finished before the program ends.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    orv::stationws::Service service(*settings.config);
    // A configuration the database refuses ends the program here; a database that is only
    // away is served as soon as it is back.
    if (!service.checkDatabase() || !service.bind())
        return 1;
    std::cerr << "stationws: listening on http://" << settings.config->host << ":" << service.port()
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
