#include "gzip.h"

#include <stdexcept>

namespace orv::stationws {

Gzip::Gzip() {
    // 15 bits of window, +16 for the gzip wrapper; zlib's default level.
    if (deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        throw std::runtime_error("gzip cannot start");
}

Gzip::~Gzip() {
    deflateEnd(&z_);
}

void Gzip::add(std::string_view in, std::string& out) {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z_.avail_in = static_cast<uInt>(in.size());
    deflateInto(out, Z_NO_FLUSH);
}

void Gzip::finish(std::string& out) {
    z_.next_in = nullptr;
    z_.avail_in = 0;
    deflateInto(out, Z_FINISH);
}

void Gzip::deflateInto(std::string& out, int flush) {
    char block[16 * 1024];
    int result = Z_OK;
    do {
        z_.next_out = reinterpret_cast<Bytef*>(block);
        z_.avail_out = sizeof block;
        result = deflate(&z_, flush);
        out.append(block, sizeof block - z_.avail_out);
    } while (z_.avail_out == 0 || (flush == Z_FINISH && result == Z_OK));
}

} // namespace orv::stationws
