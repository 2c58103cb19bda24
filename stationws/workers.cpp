#include "workers.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

namespace orv::stationws {

Workers::Workers(std::size_t threads) {
    for (std::size_t i = 0; i < threads; ++i)
        threads_.emplace_back([state = state_] {
            // Below the front's threads: the readings take what the cores have to spare, and
            // the answers kept in memory, the reading of requests and the sending of answers
            // do not wait behind them for a core.
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()),
                          ::getpriority(PRIO_PROCESS, 0) + kNiceness);
            work(state);
        });
}

Workers::~Workers() {
    finish(std::chrono::milliseconds(0));
}

void Workers::run(std::function<void()> task) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping)
            return;
        state_->tasks.push_back(std::move(task));
    }
    state_->changed.notify_one();
}

bool Workers::finish(std::chrono::milliseconds wait) {
    std::unique_lock lock(state_->mutex);
    state_->stopping = true;
    state_->changed.notify_all();
    const bool ended = state_->idle.wait_for(
        lock, wait, [&] { return state_->tasks.empty() && state_->busy == 0; });
    lock.unlock();
    for (std::thread& t : threads_) {
        if (ended)
            t.join();
        else
            t.detach();
    }
    threads_.clear();
    return ended;
}

void Workers::work(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    const auto ready = [&] { return state->stopping || !state->tasks.empty(); };
    for (;;) {
        if (!state->trimDue) {
            state->changed.wait(lock, ready);
        } else if (!state->changed.wait_for(lock, kIdleBeforeTrim, ready)) {
            // Idle since the last task: what the readings and their answers freed goes back
            // to the system, from every arena (glibc keeps freed memory for reuse, and after
            // many clients at once the heaps stay at their peak).
            if (state->trimDue && state->busy == 0) {
                state->trimDue = false;
                lock.unlock();
                malloc_trim(0);
                lock.lock();
            }
            continue;
        }
        if (state->tasks.empty())
            return;
        std::function<void()> task = std::move(state->tasks.front());
        state->tasks.pop_front();
        ++state->busy;
        lock.unlock();
        task();
        task = nullptr;
        lock.lock();
        --state->busy;
        state->trimDue = state->busy == 0 && state->tasks.empty();
        if (state->trimDue)
            state->idle.notify_all();
    }
}

} // namespace orv::stationws
