#include "service.h"

#include "httpserver.h"
#include "reading.h"
#include "routes.h"

#include <iostream>

namespace orv::stationws {

struct Service::Impl {
    Config config;
    HttpServer server;
    Reader reader;
    Routes routes;

    explicit Impl(Config c)
        : config(std::move(c)), server(config.httpThreads), reader(config),
          routes(server, reader, config) {}
};

Service::Service(Config config) : impl_(std::make_unique<Impl>(std::move(config))) {
    httplib::Server& s = impl_->server;
    const Config& c = impl_->config;
    publicUrl() = c.publicUrl;
    s.set_read_timeout(c.timeoutSeconds, 0);
    s.set_write_timeout(c.timeoutSeconds, 0);
    s.set_keep_alive_timeout(c.timeoutSeconds);
    s.set_keep_alive_max_count(100);
    s.set_payload_max_length(c.maxBodyBytes);
    s.set_tcp_nodelay(true);
}

Service::~Service() = default;

bool Service::checkDatabase() {
    return impl_->reader.checkDatabase();
}

bool Service::bind() {
    if (impl_->config.port == 0) {
        port_ = impl_->server.bind_to_any_port(impl_->config.host);
        if (port_ <= 0) {
            std::cerr << "stationws: cannot listen on " << impl_->config.host << "\n";
            return false;
        }
        listenAddress() = impl_->config.host + ":" + std::to_string(port_);
        impl_->server.widenBacklog();
        return true;
    }
    if (!impl_->server.bind_to_port(impl_->config.host, impl_->config.port)) {
        std::cerr << "stationws: cannot listen on " << impl_->config.host << ":"
                  << impl_->config.port << "\n";
        return false;
    }
    port_ = impl_->config.port;
    listenAddress() = impl_->config.host + ":" + std::to_string(port_);
    impl_->server.widenBacklog();
    return true;
}

bool Service::run() {
    const bool ok = impl_->server.listen_after_bind();
    impl_->reader.endReadings();
    return ok;
}

void Service::stop() {
    impl_->server.stop();
}

} // namespace orv::stationws
