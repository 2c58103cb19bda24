// A fixed number of threads that run the tasks given to them in order of arrival.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orv::stationws {

class Workers {
public:
    explicit Workers(std::size_t threads) {
        for (std::size_t i = 0; i < threads; ++i)
            threads_.emplace_back([this] { work(); });
    }
    ~Workers() { shutdown(); }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    void enqueue(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        ready_.notify_one();
    }
    // Runs the tasks given so far, then ends the threads.
    void shutdown() {
        {
            std::lock_guard lock(mutex_);
            if (ending_)
                return;
            ending_ = true;
        }
        ready_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }

private:
    void work() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [&] { return ending_ || !tasks_.empty(); });
                if (tasks_.empty())
                    return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
    bool ending_ = false;
    std::vector<std::thread> threads_;
};

} // namespace orv::stationws
