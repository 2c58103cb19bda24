// A gzip stream (zlib's deflate with the gzip wrapper), written as the parts come.
#pragma once

#include <string>
#include <string_view>
#include <zlib.h>

namespace orv::stationws {

class Gzip {
public:
    Gzip();
    ~Gzip();
    Gzip(const Gzip&) = delete;
    Gzip& operator=(const Gzip&) = delete;

    // Compresses `in`, appending what comes out (maybe nothing yet) to out.
    void add(std::string_view in, std::string& out);
    // Appends the rest and the gzip trailer.
    void finish(std::string& out);

private:
    void deflateInto(std::string& out, int flush);
    z_stream z_{};
};

} // namespace orv::stationws
