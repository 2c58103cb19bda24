#include "files/replacefile.h"

#include "text/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace orv::files {

namespace {

// Writes all of data to fd; false on any failure.
bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A new file beside target for its replacement, created with the permissions a new file
// gets or, when target exists, with its mode and (where allowed) its owner; -1 when none
// can be created. Written over POSIX calls: the standard library has neither exclusive
// creation nor fsync, and the programs that read settings without windows have no Qt.
int createReplacement(const std::filesystem::path& target, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = (target.parent_path() / text::format(".%s.%ld.%d.tmp",
                                                    target.filename().string().c_str(),
                                                    static_cast<long>(::getpid()), attempt))
                   .string();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return -1;
        struct stat old {};
        if (::stat(target.c_str(), &old) == 0) {
            if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
                // Only the owner and root can give a file away; the mode is kept all the same.
            }
            ::fchmod(fd, old.st_mode & 07777);
        }
        return fd;
    }
    errno = EEXIST;
    return -1;
}

bool fail(std::string* why, int error) {
    if (why)
        *why = std::strerror(error);
    return false;
}

} // namespace

bool replaceFile(const std::filesystem::path& path, std::string_view data, std::string* why) {
    std::error_code ec;
    std::filesystem::path target = std::filesystem::absolute(path, ec);
    if (ec)
        return fail(why, ec.value());
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::weakly_canonical(target, ec);
        if (ec)
            return fail(why, ec.value());
    }
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0)
        return fail(why, errno);
    std::string temporary;
    const int fd = createReplacement(target, temporary);
    if (fd < 0)
        return fail(why, errno);
    int error = 0;
    if (!writeAll(fd, data) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return fail(why, error);
    }
    return true;
}

} // namespace orv::files
