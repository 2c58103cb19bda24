// The answers kept in memory: the documents of queries asked before (each whole, as the
// database's reading wrote it, compressed), by the query as sent, each valid for the
// generation of the data it was read from. What is held is bounded in bytes: the answers
// asked least lately go first. A newer generation empties it. An answer is kept from the
// second time its query is read: a query asked once (most of 50,000 channels asked at
// random) costs no compression.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace orv::stationws {

class AnswerMemory {
public:
    // At most `bytes` of answers (compressed) and their keys.
    explicit AnswerMemory(std::size_t bytes) : budget_(bytes) {}

    // The answer kept for key in this generation: its document ("" for a query that
    // matched nothing), the time of its creation in a StationXML document given as created
    // ("YYYY-MM-DDThh:mm:ssZ", the time of the request).
    std::optional<std::string> find(const std::string& key, std::uint64_t generation,
                                    std::string_view created);
    // Whether an answer is kept for key in the generation held, whatever the database has
    // done since.
    bool holds(const std::string& key) const;
    // Whether the answer read for key in this generation is to be kept: once its query has
    // been read before (in any generation: the queries read are noted, at most kNoted of
    // them, after which the notes start again).
    bool admits(const std::string& key, std::uint64_t generation);
    // Keeps the document read for key in this generation ("" when nothing matched); an older
    // generation than the one held is not kept.
    void keep(const std::string& key, std::uint64_t generation, std::string_view document);

    std::size_t bytes() const;
    std::size_t answers() const;

private:
    struct Kept {
        std::string key;
        std::string packed;   // zlib's deflate of the document, or the document itself
        std::size_t size = 0; // of the document
        bool compressed = false;
        std::size_t created = std::string::npos; // where the creation time stands
        std::size_t createdLength = 0;
    };
    using Order = std::list<Kept>; // the most lately asked first

    // Into the generation: older answers are dropped. Under the lock.
    bool enter(std::uint64_t generation);
    void drop(Order::iterator at);
    // What an answer holds: its bytes, its key (the map's view points into the list's), the
    // list's and the map's nodes.
    static std::size_t cost(const Kept& k) { return k.packed.capacity() + k.key.capacity() + 160; }

    static constexpr std::size_t kNoted = 1 << 16; // about 3 MB of notes

    const std::size_t budget_;
    mutable std::mutex mutex_;
    std::uint64_t generation_ = 0;
    std::size_t bytes_ = 0;
    Order order_;
    std::unordered_map<std::string_view, Order::iterator> byKey_;
    std::unordered_set<std::size_t> noted_; // the hashes of the queries read
};

} // namespace orv::stationws
