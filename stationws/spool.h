// An answer between the database reading that writes it and the client that takes it: its
// first part in memory, the rest in an unnamed temporary file, so that the reading goes at
// the database's speed and gives its connection back when it ends, however slowly the
// client takes the answer. The sender may begin while the reading goes on; it asks for what
// is not written yet and is woken when it comes, without a thread waiting for it.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace orv::stationws {

class Spool {
public:
    // memoryBytes: kept in memory before the file is used; limitBytes: the most taken
    // (0: no limit).
    Spool(std::size_t memoryBytes, std::size_t limitBytes);
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // --- the writer
    enum class Append { Taken, OverLimit, Cancelled, Failed };
    Append append(std::string_view bytes);
    // Notes that the writer is busy (a row read) without writing bytes.
    void touch();
    // Forgets what was written, to begin again; false when the sender has taken some of it.
    bool rewind();
    // The writer has ended (whatever its outcome).
    void finish();

    // --- the sender
    enum class State { More, Finished, Cancelled, Waiting };
    // Cancelled: the spool was cancelled; More: more than `bytes` are written; Finished: the
    // writer has ended with no more;
    // Waiting: neither yet, and wake is kept to be called once, on the writer's thread (or
    // the canceller's), when more is written, the writer ends or the spool is cancelled.
    // A later poll replaces a wake not yet called.
    State poll(std::size_t bytes, std::function<void()> wake);
    // The writer has not ended and has shown no sign of life (bytes, touch) for `silence`.
    bool silentFor(std::chrono::milliseconds silence) const;
    // Up to `most` bytes from `offset` (below size()) into out; false when the file cannot
    // be read.
    bool read(std::size_t offset, std::size_t most, std::string& out);
    std::size_t size() const;
    // No more is wanted: the writer's next append answers Cancelled; a kept wake is called.
    void cancel();
    bool cancelled() const;

private:
    using Clock = std::chrono::steady_clock;
    bool writeFile(std::string_view bytes, std::size_t offset);
    // The kept wake, taken when what it waits for has come (called outside the lock).
    std::function<void()> dueWake();

    const std::size_t memoryBytes_, limitBytes_;
    mutable std::mutex mutex_;
    std::string memory_;
    int file_ = -1;
    std::size_t size_ = 0;
    bool finished_ = false, cancelled_ = false, taken_ = false;
    Clock::time_point lastSign_ = Clock::now();
    std::function<void()> wake_;
    std::size_t wakeBeyond_ = 0;
};

} // namespace orv::stationws
