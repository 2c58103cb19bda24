// Rounds of one piece of work (a statement on a connection of its own) run by a thread of
// their own, one at a time, for the requests that ask: a request is answered by the first
// round that begins after it asked, and waits for it without a thread. Many requests that
// ask while a round runs share the next one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace orv::stationws {

template <typename Result> class Rounds {
public:
    // round runs on the thread, never two at once.
    explicit Rounds(std::function<Result()> round)
        : round_(std::move(round)), thread_([this] { loop(); }) {}
    // A round that hangs on its statement is left to end with the program.
    ~Rounds() {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
        if (changed_.wait_for(lock, std::chrono::seconds(1), [&] { return !running_; })) {
            lock.unlock();
            thread_.join();
        } else {
            lock.unlock();
            thread_.detach();
        }
    }
    Rounds(const Rounds&) = delete;
    Rounds& operator=(const Rounds&) = delete;

    // Asks for a round; the ticket names the request.
    std::uint64_t ask() {
        std::uint64_t ticket = 0;
        {
            std::lock_guard lock(mutex_);
            ticket = ++lastAsked_;
        }
        changed_.notify_all();
        return ticket;
    }
    // The result of the first round begun after the ticket was asked, once it has ended;
    // otherwise nothing, and wake is kept to be called once, from the round's thread, when
    // it ends.
    std::optional<Result> answer(std::uint64_t ticket, std::function<void()> wake) {
        std::lock_guard lock(mutex_);
        if (lastCovered_ >= ticket)
            return last_;
        waiting_[ticket] = std::move(wake);
        return std::nullopt;
    }
    // The ticket no longer waits.
    void forget(std::uint64_t ticket) {
        std::lock_guard lock(mutex_);
        waiting_.erase(ticket);
    }

private:
    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return stopping_ || lastAsked_ > lastCovered_; });
            if (stopping_)
                return;
            const std::uint64_t covers = lastAsked_;
            running_ = true;
            lock.unlock();
            Result result = round_();
            lock.lock();
            running_ = false;
            changed_.notify_all();
            if (stopping_)
                return;
            last_ = std::move(result);
            lastCovered_ = covers;
            std::vector<std::function<void()>> wakes;
            for (auto at = waiting_.begin(); at != waiting_.end() && at->first <= covers;)
                wakes.push_back(std::move(at->second)), at = waiting_.erase(at);
            lock.unlock();
            for (auto& wake : wakes)
                wake();
            lock.lock();
        }
    }

    const std::function<Result()> round_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t lastAsked_ = 0, lastCovered_ = 0;
    bool stopping_ = false, running_ = false;
    Result last_{};
    std::map<std::uint64_t, std::function<void()>> waiting_;
    // Last: it starts with every member above made.
    std::thread thread_;
};

} // namespace orv::stationws
