// What is kept by value: a key made of the values themselves, and a store of such keys that
// several threads share, which holds at most a number of bytes and, past them, drops all it
// holds and starts keeping again. What it gives is what the same values gave before, so it
// is never stale.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace orv::stationxml {

// The bytes of values one after another: a double by its bits (so that -0 and 0 stay
// apart), a text with its length.
class ValueKey {
public:
    ValueKey& number(double v) { return raw(&v, sizeof v); }
    ValueKey& count(std::size_t n) { return raw(&n, sizeof n); }
    ValueKey& integer(long long n) { return raw(&n, sizeof n); }
    ValueKey& tag(char c) {
        key_ += c;
        return *this;
    }
    ValueKey& text(std::string_view s) {
        count(s.size());
        key_ += s;
        return *this;
    }
    ValueKey& optional(const std::optional<double>& v) {
        tag(v ? '1' : '0');
        return v ? number(*v) : *this;
    }
    std::string take() { return std::move(key_); }

private:
    ValueKey& raw(const void* p, std::size_t n) {
        key_.append(static_cast<const char*>(p), n);
        return *this;
    }
    std::string key_;
};

template <typename T> class KeptByValue {
public:
    explicit KeptByValue(std::size_t bytes) : bytes_(bytes) {}

    std::shared_ptr<const T> find(const std::string& key) const {
        std::lock_guard lock(mutex_);
        const auto found = kept_.find(key);
        return found != kept_.end() ? found->second : nullptr;
    }
    // Keeps value under key, counted as `size` bytes besides the key's.
    void keep(std::string key, std::shared_ptr<const T> value, std::size_t size) {
        size += key.capacity() + 64;
        std::lock_guard lock(mutex_);
        if (held_ + size > bytes_) {
            kept_.clear();
            held_ = 0;
        }
        if (size <= bytes_ && kept_.emplace(std::move(key), std::move(value)).second)
            held_ += size;
    }
    std::size_t held() const {
        std::lock_guard lock(mutex_);
        return held_;
    }

private:
    const std::size_t bytes_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<const T>> kept_;
    std::size_t held_ = 0;
};

} // namespace orv::stationxml
