// The reading of an answer: a query run on a pooled database connection by a reading
// thread, through the filters into the document writer (StationXML or text) and into the
// answer's spool, while the request's thread waits for the verdict and then sends what the
// spool holds.
#pragma once

#include "pool.h"
#include "query.h"
#include "service.h"
#include "spool.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>

namespace orv::stationws {

// The part of an answer kept in memory: an answer up to this size (a station, a few
// channels with their responses) is sent once it is read whole, with its status chosen
// from the whole reading; a larger one is sent while it is read, the rest of it kept in a
// temporary file.
constexpr std::size_t kWholeAnswerBytes = 256 * 1024;

// What the reading of an answer came to.
enum class Verdict {
    Pending,
    Answer,        // a document (sent while it is still read when it is large)
    Empty,         // nothing matched
    TooLarge,      // over --max-answer
    DatabaseError, // the database failed the query
    Misconfigured, // the database lacks what the service reads
    Unreachable,   // no connection, or it went away
    Silent,        // the database gave no sign of life in time
    Cancelled      // the request no longer wanted it
};

// One answer: read into its spool by a reading thread, while the request's thread waits for
// the verdict and then sends what the spool holds.
struct Reading {
    Reading(Query q, std::size_t limit) : query(std::move(q)), spool(kWholeAnswerBytes, limit) {}
    Query query;
    Spool spool;
    std::mutex leaseMutex;
    std::unique_ptr<Lease> lease; // the reading thread's until it ends
    // Set by the reading thread before spool.finish().
    Verdict verdict = Verdict::Pending;
    bool overLimit = false;
};

// The readiness check's outcome.
enum class Health { Ok, Busy, Unreachable };

class Reader {
public:
    explicit Reader(const Config& config);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Connects once: false (the reason on stderr) when the database refuses the settings or
    // lacks the response tables; true, the database served once it is there, when it is
    // only away.
    bool checkDatabase();
    // A reading of the query on a free connection, or null when none became free in time.
    std::shared_ptr<Reading> startReading(const Query& query);
    // Waits until the verdict is in, or the answer is known to be large (then it is sent
    // while it is read; with --max-answer only once it is read whole), or the database has
    // been silent too long (its connection is then given up).
    Verdict awaitVerdict(Reading& r);
    // The request no longer waits for its reading; a connection whose statement hangs is
    // replaced.
    void giveUp(Reading& r);
    // How long the database may give no sign of life before a request gives up on it.
    std::chrono::milliseconds silence() const;
    // A one-row read of a response table through the pool, within a bound, as a load
    // balancer asks it before sending an instance queries.
    Health health();
    // After the last request: waits for the readings still going; a statement that hangs is
    // left to its thread, which ends with the program.
    void endReadings();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orv::stationws
