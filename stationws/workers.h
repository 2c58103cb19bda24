// A fixed set of threads that run tasks in the order given: the database readings, each of
// which may wait on its statement for as long as the driver lets it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orv::stationws {

class Workers {
public:
    // The threads' nice value, above the process's own.
    static constexpr int kNiceness = 5;
    // How long the threads are all idle before the memory freed is given back to the system.
    static constexpr std::chrono::milliseconds kIdleBeforeTrim{100};

    explicit Workers(std::size_t threads);
    // finish() with no wait beyond the tasks already begun.
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    void run(std::function<void()> task);
    // Takes no more tasks and waits up to `wait` for those given to end: true when they did
    // (the threads are joined); false when some still run (a statement that hangs): the
    // threads are left to end with the program.
    bool finish(std::chrono::milliseconds wait);

private:
    // Shared with the threads, which may outlive this object when left running.
    struct State {
        std::mutex mutex;
        // A task came, or the threads are to stop: one thread is woken for each task.
        std::condition_variable changed;
        // The last task given has ended (for finish()).
        std::condition_variable idle;
        std::deque<std::function<void()>> tasks;
        std::size_t busy = 0;
        bool stopping = false;
        bool trimDue = false; // tasks ran since the memory was last given back
    };
    static void work(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::vector<std::thread> threads_;
};

} // namespace orv::stationws
