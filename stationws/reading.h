// The reading of an answer: a query's selections read from the database by a reading
// thread, written as StationXML or text into the answer's spool, and the verdict on it.
#pragma once

#include "pool.h"
#include "query.h"
#include "service.h"
#include "spool.h"
#include "workers.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace orv::stationxml {
class ResponseConversions;
class ResponseTexts;
} // namespace orv::stationxml

namespace orv::stationws {

// What the readings keep by value, shared by all of them: stored responses converted, and
// the Response elements written of them (an instrument's response that many channel epochs
// share is parsed and written once). Keyed by the values themselves, they are never stale,
// whatever the database does; each holds at most kKeptByValueBytes.
struct KeptByValue {
    std::shared_ptr<stationxml::ResponseConversions> conversions;
    std::shared_ptr<stationxml::ResponseTexts> texts;
};
inline constexpr std::size_t kKeptByValueBytes = 4 << 20;

// The part of an answer kept in memory: an answer up to this size (a station, a few channels
// with their responses) is sent once it is read whole, with its status chosen from the whole
// reading; a larger one is sent while it is read, the rest of it kept in a temporary file.
inline constexpr std::size_t kWholeAnswerBytes = 256 * 1024;

// How long a reading asks again for a database it cannot reach before its answer is a 503,
// and how often: a failover's gap, the old server gone and the new one not yet taking
// connections, is a second or two.
inline constexpr std::chrono::milliseconds kRideThrough{3000};
inline constexpr std::chrono::milliseconds kRideStep{250};

// What the reading of an answer came to.
enum class Verdict {
    Pending,
    Answer,        // a document (sent while it is still read when it is large)
    Empty,         // nothing matched
    TooLarge,      // over --max-answer
    DatabaseError, // the database failed the query
    Misconfigured, // the database lacks the SITE table
    NoResponses,   // the database lacks a response table (dropped, or being rebuilt)
    Unreachable,   // no connection, or it went away
    Busy,          // no connection became free in time
    Cancelled      // the request no longer wanted it
};

// One answer, read into its spool by a reading thread.
struct Reading {
    Reading(Query q, std::size_t limit) : query(std::move(q)), spool(kWholeAnswerBytes, limit) {}
    Query query;
    Spool spool;
    std::chrono::steady_clock::time_point asked = std::chrono::steady_clock::now();
    // When a connection was leased and the reading began.
    std::chrono::steady_clock::time_point begunAt;
    // Called on the reading thread once the verdict is set, before the request learns it.
    std::function<void(Reading&)> done;
    std::atomic<bool> begun{false}; // a connection is leased and the reading goes on
    std::mutex leaseMutex;
    std::unique_ptr<Lease> lease; // the reading thread's until it ends
    // Set by the reading thread before spool.finish().
    std::atomic<Verdict> verdict{Verdict::Pending};
    std::string failure; // what the database or the spool said, when it failed
    bool overLimit = false;
};

// The inventory reader's warnings (a station without responses, a code that is not an FDSN
// one): each logged once, as every answer that reads the same rows repeats it. At most
// kRemembered texts are remembered; beyond them the rest is counted, not logged.
class Warnings {
public:
    void log(std::string_view text);

private:
    static constexpr std::size_t kRemembered = 10000;
    std::mutex mutex_;
    std::set<std::string, std::less<>> said_;
    std::size_t untold_ = 0;
};

class Readings {
public:
    explicit Readings(const Config& config);

    // Connects once: false (the reason on stderr) when the database refuses the settings or
    // lacks the response tables; true, the database served once it is there, when it is
    // only away.
    bool checkDatabase();
    // Begins the reading of a query: it waits for a free connection on a reading thread;
    // done, when given, is the reading's.
    std::shared_ptr<Reading> start(const Query& query, std::function<void(Reading&)> done = {});
    // The request no longer waits for its reading; a connection whose statement hangs is
    // replaced.
    void giveUp(Reading& r);
    // How long the database may give no sign of life before a request gives up on it: a
    // little longer than the drivers' own timeouts, which fail the statement themselves
    // where they can.
    std::chrono::milliseconds silence() const;
    // How long a reading may wait for a connection before it is Busy.
    std::chrono::milliseconds connectionWait() const { return pool_.wait(); }
    // After the last request: waits for the readings still going; a statement that hangs is
    // left to its thread, which ends with the program.
    void end();

private:
    void readAnswer(Reading& r);
    Verdict readWithOneRetry(Reading& r);
    // Waits kRideStep before the database is asked again: false when that would pass until,
    // or the request no longer wants the reading.
    bool waitForTheDatabase(Reading& r, std::chrono::steady_clock::time_point until);
    Verdict readOnce(Reading& r, Slot& slot);

    const Config& config_;
    Pool pool_;
    Warnings warnings_;
    Workers workers_;
    KeptByValue kept_;
};

} // namespace orv::stationws
