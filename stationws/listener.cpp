#include "listener.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace orv::stationws::http {

std::optional<Listening> listenOn(const std::string& host, int wanted) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(wanted);
    const std::string where = host + ":" + service;
    if (const int e = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); e != 0) {
        std::cerr << "stationws: cannot listen on " << where << ": " << ::gai_strerror(e) << "\n";
        return std::nullopt;
    }
    int listener = -1;
    std::string reason = "no address";
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            reason = std::strerror(errno);
            continue;
        }
        // SO_REUSEADDR lets a restarted service bind while old connections linger in
        // TIME_WAIT; without SO_REUSEPORT a port that another process listens on is
        // refused, never shared.
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0) {
            listener = fd;
            break;
        }
        reason = std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(found);
    if (listener < 0) {
        std::cerr << "stationws: cannot listen on " << where << ": " << reason << "\n";
        return std::nullopt;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
    char name[NI_MAXHOST] = {}, number[NI_MAXSERV] = {};
    ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, name, sizeof name, number,
                  sizeof number, NI_NUMERICHOST | NI_NUMERICSERV);
    return Listening{listener, std::atoi(number)};
}

} // namespace orv::stationws::http
