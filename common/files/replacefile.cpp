#include "files/replacefile.h"

#include "text/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>
#include <vector>

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
    // The temporary name holds as much of the target's name as the directory's limit on
    // names leaves room for (cut where a UTF-8 character begins).
    const long limit = ::pathconf(target.parent_path().c_str(), _PC_NAME_MAX);
    const std::size_t maxName = limit > 0 ? static_cast<std::size_t>(limit) : 255;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string suffix =
            text::format(".%ld.%d.tmp", static_cast<long>(::getpid()), attempt);
        std::string base = target.filename().string();
        const std::size_t room = maxName > suffix.size() + 1 ? maxName - suffix.size() - 1 : 0;
        if (base.size() > room) {
            std::size_t cut = room;
            while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
                --cut;
            base.resize(cut);
        }
        name = (target.parent_path() / ("." + base + suffix)).string();
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

// Follows symbolic links from target to the name that is finally written, dangling links
// included: a link whose target does not exist yet names the file to create. False (with
// the error) for a loop of links or a link that cannot be read.
bool resolveLinks(std::filesystem::path& target, int& error) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return true;
            error = errno;
            return false;
        }
        if (!S_ISLNK(st.st_mode))
            return true;
        std::vector<char> buffer(PATH_MAX);
        const ssize_t n = ::readlink(target.c_str(), buffer.data(), buffer.size());
        if (n < 0 || static_cast<std::size_t>(n) >= buffer.size()) {
            error = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        const std::filesystem::path next(std::string(buffer.data(), static_cast<std::size_t>(n)));
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    error = ELOOP;
    return false;
}

} // namespace

FileReplacement::FileReplacement(const std::filesystem::path& path) {
    std::error_code ec;
    target_ = std::filesystem::absolute(path, ec);
    if (ec) {
        why_ = std::strerror(ec.value());
        return;
    }
    if (int error = 0; !resolveLinks(target_, error)) {
        why_ = std::strerror(error);
        return;
    }
    // Only a regular file is replaced: a device, a pipe, a socket or a directory that the
    // path names stays what it is.
    if (struct stat st{}; ::stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        why_ = kNotARegularFile;
        return;
    }
    if (::access(target_.c_str(), F_OK) == 0 && ::access(target_.c_str(), W_OK) != 0) {
        why_ = std::strerror(errno);
        return;
    }
    fd_ = createReplacement(target_, temporary_);
    if (fd_ < 0)
        why_ = std::strerror(errno);
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
}

void FileReplacement::fail(int error) {
    why_ = std::strerror(error);
    ::close(fd_);
    ::unlink(temporary_.c_str());
    fd_ = -1;
}

bool FileReplacement::write(std::string_view data) {
    if (fd_ < 0)
        return false;
    if (!writeAll(fd_, data)) {
        fail(errno);
        return false;
    }
    return true;
}

bool FileReplacement::commit() {
    if (fd_ < 0)
        return false;
    if (::fsync(fd_) != 0) {
        fail(errno);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    int error = ::close(fd) != 0 ? errno : 0;
    if (error == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary_.c_str());
        why_ = std::strerror(error);
        return false;
    }
    return true;
}

bool replaceFile(const std::filesystem::path& path, std::string_view data, std::string* why) {
    FileReplacement file(path);
    if (file.write(data) && file.commit())
        return true;
    if (why)
        *why = file.why();
    return false;
}

} // namespace orv::files
