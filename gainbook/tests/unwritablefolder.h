// A folder in which no file can be created, and the system's words for why, for the tests
// of the windows' failed writes.
#pragma once

#include "testdb.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace orv::test {

struct UnwritableFolder {
    std::filesystem::path path;
    std::string reason; // strerror of creating a file there
};

// A read-only folder in dir or, for root, whom permissions do not stop, the kernel's /sys.
// The reason is found by creating a file there with open(2).
inline UnwritableFolder unwritableFolder(const TempDir& dir) {
    UnwritableFolder folder{geteuid() == 0 ? "/sys" : dir / "read-only", {}};
    if (geteuid() != 0) {
        std::filesystem::create_directory(folder.path);
        std::filesystem::permissions(folder.path, std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::owner_exec);
    }
    const std::string probe = (folder.path / ".probe").string();
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.c_str());
    } else {
        folder.reason = std::strerror(errno);
    }
    return folder;
}

} // namespace orv::test
