#include "spool.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

namespace orv::stationws {

namespace {

// An unnamed file in TMPDIR (else /tmp): it goes when it is closed, or when the program ends
// in any way.
int unnamedFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/stationws-answer.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd >= 0)
        ::unlink(name.data());
    return fd;
}

} // namespace

Spool::Spool(std::size_t memoryBytes, std::size_t limitBytes)
    : memoryBytes_(memoryBytes), limitBytes_(limitBytes) {}

Spool::~Spool() {
    if (file_ >= 0)
        ::close(file_);
}

Spool::Append Spool::append(std::string_view bytes) {
    std::size_t start = 0;
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_)
            return Append::Cancelled;
        if (limitBytes_ > 0 && size_ + bytes.size() > limitBytes_)
            return Append::OverLimit;
        const std::size_t inMemory =
            size_ < memoryBytes_ ? std::min(bytes.size(), memoryBytes_ - size_) : 0;
        memory_.append(bytes.substr(0, inMemory));
        start = size_ + inMemory;
        bytes.remove_prefix(inMemory);
        if (bytes.empty()) {
            size_ = start;
            lastSign_ = Clock::now();
            wake = dueWake();
        }
    }
    if (bytes.empty()) {
        if (wake)
            wake();
        return Append::Taken;
    }
    // Only the writer writes to the file; the sender reads no further than size_.
    if (file_ < 0)
        file_ = unnamedFile();
    if (file_ < 0 || !writeFile(bytes, start - memoryBytes_))
        return Append::Failed;
    {
        std::lock_guard lock(mutex_);
        size_ = start + bytes.size();
        lastSign_ = Clock::now();
        wake = dueWake();
    }
    if (wake)
        wake();
    return Append::Taken;
}

std::function<void()> Spool::dueWake() {
    if (!wake_ || !(size_ > wakeBeyond_ || finished_ || cancelled_))
        return {};
    return std::exchange(wake_, {});
}

bool Spool::writeFile(std::string_view bytes, std::size_t offset) {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(file_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::size_t>(n);
    }
    return true;
}

void Spool::touch() {
    std::lock_guard lock(mutex_);
    lastSign_ = Clock::now();
}

bool Spool::rewind() {
    std::lock_guard lock(mutex_);
    if (taken_)
        return false;
    memory_.clear();
    size_ = 0;
    lastSign_ = Clock::now();
    return true;
}

void Spool::finish() {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        wake = dueWake();
    }
    if (wake)
        wake();
}

Spool::State Spool::poll(std::size_t bytes, std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    if (cancelled_)
        return State::Cancelled;
    if (size_ > bytes)
        return State::More;
    if (finished_)
        return State::Finished;
    wake_ = std::move(wake);
    wakeBeyond_ = bytes;
    return State::Waiting;
}

bool Spool::silentFor(std::chrono::milliseconds silence) const {
    std::lock_guard lock(mutex_);
    return !finished_ && Clock::now() - lastSign_ >= silence;
}

bool Spool::read(std::size_t offset, std::size_t most, std::string& out) {
    std::unique_lock lock(mutex_);
    taken_ = true;
    const std::size_t end = std::min(size_, offset + most);
    if (offset >= end) {
        out.clear();
        return true;
    }
    if (offset < memory_.size()) {
        out.assign(memory_, offset, std::min(end, memory_.size()) - offset);
        return true;
    }
    const int fd = file_;
    lock.unlock();
    out.resize(end - offset);
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + got, out.size() - got,
                                  static_cast<off_t>(offset + got - memoryBytes_));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t Spool::size() const {
    std::lock_guard lock(mutex_);
    return size_;
}

void Spool::cancel() {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        wake = dueWake();
    }
    if (wake)
        wake();
}

bool Spool::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

} // namespace orv::stationws
