// An answer between the database reading that writes it and the client that takes it: its
// first part in memory, the rest in an unnamed temporary file, so that the reading goes at
// the database's speed and gives its connection back when it ends, however slowly the
// client takes the answer. The sender may begin while the reading goes on; it waits for
// what is not written yet.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
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
    enum class State { More, Finished, Stalled };
    // Waits until more than `bytes` are written, or the writer has ended, or it has shown
    // no sign of life (bytes, touch) for `silence`.
    State waitBeyond(std::size_t bytes, std::chrono::milliseconds silence);
    // Up to `most` bytes from `offset` (below size()) into out; false when the file cannot
    // be read.
    bool read(std::size_t offset, std::size_t most, std::string& out);
    std::size_t size() const;
    // No more is wanted: the writer's next append answers Cancelled.
    void cancel();

private:
    using Clock = std::chrono::steady_clock;
    bool writeFile(std::string_view bytes, std::size_t offset);

    const std::size_t memoryBytes_, limitBytes_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string memory_;
    int file_ = -1;
    std::size_t size_ = 0;
    bool finished_ = false, cancelled_ = false, taken_ = false;
    Clock::time_point lastSign_ = Clock::now();
};

} // namespace orv::stationws
