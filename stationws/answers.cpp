#include "answers.h"

#include <zlib.h>

namespace orv::stationws {

namespace {

// Documents shorter than this are kept as they are.
constexpr std::size_t kCompressFrom = 1024;
constexpr std::string_view kCreated = "<Created>", kCreatedEnd = "</Created>";
// The head of a document, where its creation time stands.
constexpr std::size_t kHeadBytes = 1024;

std::optional<std::string> deflated(std::string_view document) {
    uLongf size = compressBound(document.size());
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(document.data()), document.size(),
                  Z_BEST_SPEED) != Z_OK)
        return std::nullopt;
    // A copy of its own size: the buffer of the bound would be held with it.
    return std::string(out.data(), size);
}

std::optional<std::string> inflated(const std::string& packed, std::size_t size) {
    std::string out(size, '\0');
    uLongf length = size;
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                   reinterpret_cast<const Bytef*>(packed.data()), packed.size()) != Z_OK ||
        length != size)
        return std::nullopt;
    return out;
}

} // namespace

bool AnswerMemory::enter(std::uint64_t generation) {
    if (generation < generation_)
        return false;
    if (generation > generation_) {
        byKey_.clear();
        order_.clear();
        bytes_ = 0;
        generation_ = generation;
    }
    return true;
}

void AnswerMemory::drop(Order::iterator at) {
    bytes_ -= cost(*at);
    byKey_.erase(at->key);
    order_.erase(at);
}

std::optional<std::string> AnswerMemory::find(const std::string& key, std::uint64_t generation,
                                              std::string_view created) {
    Kept kept;
    {
        std::lock_guard lock(mutex_);
        if (!enter(generation) || generation != generation_)
            return std::nullopt;
        const auto found = byKey_.find(key);
        if (found == byKey_.end())
            return std::nullopt;
        order_.splice(order_.begin(), order_, found->second);
        const Kept& k = *found->second;
        kept.packed = k.packed;
        kept.size = k.size;
        kept.compressed = k.compressed;
        kept.created = k.created;
        kept.createdLength = k.createdLength;
    }
    std::optional<std::string> document =
        kept.compressed ? inflated(kept.packed, kept.size) : std::move(kept.packed);
    if (document && kept.created != std::string::npos)
        document->replace(kept.created, kept.createdLength, created);
    return document;
}

bool AnswerMemory::admits(const std::string& key, std::uint64_t generation) {
    const std::size_t hash = std::hash<std::string>{}(key);
    std::lock_guard lock(mutex_);
    if (!enter(generation))
        return false;
    if (noted_.contains(hash))
        return true;
    if (noted_.size() >= kNoted)
        noted_.clear();
    noted_.insert(hash);
    return false;
}

bool AnswerMemory::holds(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return byKey_.contains(key);
}

void AnswerMemory::keep(const std::string& key, std::uint64_t generation,
                        std::string_view document) {
    Kept k;
    k.key = key;
    k.size = document.size();
    const std::string_view head = document.substr(0, kHeadBytes);
    const std::size_t created = head.find(kCreated);
    const std::size_t end = head.find(kCreatedEnd, created);
    if (created != std::string_view::npos && end != std::string_view::npos) {
        k.created = created + kCreated.size();
        k.createdLength = end - k.created;
    }
    if (document.size() >= kCompressFrom) {
        if (auto packed = deflated(document); packed && packed->size() < document.size()) {
            k.packed = std::move(*packed);
            k.compressed = true;
        }
    }
    if (!k.compressed)
        k.packed = std::string(document);
    std::lock_guard lock(mutex_);
    if (!enter(generation) || cost(k) > budget_)
        return;
    if (const auto found = byKey_.find(key); found != byKey_.end())
        drop(found->second);
    while (bytes_ + cost(k) > budget_ && !order_.empty())
        drop(std::prev(order_.end()));
    bytes_ += cost(k);
    order_.push_front(std::move(k));
    byKey_.emplace(order_.front().key, order_.begin());
}

std::size_t AnswerMemory::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

std::size_t AnswerMemory::answers() const {
    std::lock_guard lock(mutex_);
    return order_.size();
}

} // namespace orv::stationws
