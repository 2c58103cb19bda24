#include "delivery.h"

#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstddef>

namespace orv::stationws::http {

std::optional<Delivery> deliveryOf(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    int queued = 0;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked ||
        ::ioctl(fd, SIOCOUTQ, &queued) != 0)
        return std::nullopt;
    // The peer's window is told by systems since Linux 5.4; before, never taken as closed.
    const bool windowKnown = length >= offsetof(tcp_info, tcpi_snd_wnd) + sizeof info.tcpi_snd_wnd;
    return Delivery{info.tcpi_bytes_acked, queued, windowKnown && info.tcpi_snd_wnd == 0};
}

} // namespace orv::stationws::http
