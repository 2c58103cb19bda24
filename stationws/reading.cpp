#include "reading.h"

#include "filters.h"
#include "stationxml/xmlwriter.h"
#include "textwriter.h"
#include "workers.h"

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <set>
#include <stdexcept>

namespace orv::stationws {

namespace {

// Thrown by a sink or a visitor to end a reading early (not an error).
struct Stop {};

enum class Outcome { Done, Stopped, DatabaseError };

// The inventory reader's warnings (a station without responses, a code that is not an FDSN
// one): each logged once, as every answer that reads the same rows repeats it. At most
// kRemembered texts are remembered; beyond them the rest is counted, not logged.
class Warnings {
public:
    void log(std::string_view text) {
        std::lock_guard lock(mutex_);
        if (said_.find(text) != said_.end())
            return;
        if (said_.size() == kRemembered) {
            if (untold_++ == 0)
                Pool::logFailure("warning: more warnings than " + std::to_string(kRemembered) +
                                 "; the others are not logged");
            return;
        }
        said_.emplace(text);
        Pool::logFailure("warning: " + std::string(text));
    }

private:
    static constexpr std::size_t kRemembered = 10000;
    std::mutex mutex_;
    std::set<std::string, std::less<>> said_;
    std::size_t untold_ = 0;
};

// The readiness check: a one-row read of a response table through the pool, within this
// bound, as a load balancer asks it before sending an instance queries.
constexpr auto kHealthBound = std::chrono::seconds(2);
constexpr const char* kHealthRead = "SELECT ID_SENS FROM ID_SENS LIMIT 1";

// True when the connection reads the first row of the health statement (or finds the table
// empty) within the seconds given.
bool readsResponseTable(odbc::Connection& connection, long seconds) {
    odbc::Statement st(connection);
    if (!st.valid())
        return false;
    SQLSetStmtAttr(st.handle(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(1L, seconds))), 0);
    if (!odbc::isSuccess(st.execDirect(kHealthRead)))
        return false;
    const SQLRETURN fetched = st.fetch();
    return odbc::isSuccess(fetched) || fetched == SQL_NO_DATA;
}

} // namespace

struct Reader::Impl {
    const Config& config;
    Pool pool;
    Warnings warnings;
    // The reading threads: one for each slot there can be, so that a reading never waits.
    std::unique_ptr<Workers> readers;
    std::mutex readingsMutex;
    std::condition_variable readingsEnded;
    std::size_t readings = 0; // begun and not ended

    explicit Impl(const Config& c)
        : config(c),
          pool(config.database, config.databaseConnections, config.connectionWaitSeconds),
          readers(std::make_unique<Workers>(pool.capacity())) {}
    ~Impl() {
        if (readers)
            readers->shutdown();
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // How long the database may give no sign of life before a request gives up on it: a
    // little longer than the drivers' own timeouts, which fail the statement themselves
    // where they can.
    std::chrono::milliseconds silence() const {
        return std::chrono::seconds(config.database.timeoutSeconds + 1);
    }

    // Runs the selections of a query (all at once: each epoch once, however many match it)
    // into a visitor, telling warn what the reading reports; Stop thrown by the visitor or
    // the sink ends it early.
    Outcome read(Slot& slot, const Query& query, Level level, Level shown,
                 stationxml::InventoryVisitor& v, std::string& failure) {
        const auto warn = [this](const stationxml::Problem& problem) {
            warnings.log(render(problem, stationxml::Language::English));
        };
        try {
            std::vector<stationxml::Selection> selections = query.selections;
            for (stationxml::Selection& s : selections)
                s.level = level;
            Filter filtered(v, shown, selections.front());
            stationxml::readInventory(*slot.connection, selections, filtered, warn, readOptions());
            return Outcome::Done;
        } catch (const Stop&) {
            return Outcome::Stopped;
        } catch (const std::exception& e) {
            failure = e.what();
            return Outcome::DatabaseError;
        }
    }

    // How the service reads the inventory: as the command line's StationXML export does.
    static const stationxml::ReadOptions& readOptions() {
        static const stationxml::ReadOptions options;
        return options;
    }

    // --- the reading thread

    // Reads a query's answer into its spool and gives the verdict; the connection is given
    // back before the verdict is known to the request.
    void readAnswer(Reading& r) {
        const Verdict verdict = readWithOneRetry(r);
        {
            std::lock_guard lock(r.leaseMutex);
            r.lease.reset();
        }
        r.verdict = verdict;
        r.spool.finish();
        std::lock_guard lock(readingsMutex);
        --readings;
        readingsEnded.notify_all();
    }

    // A connection that went away since its last use (a server restarted with no traffic in
    // between) is noticed at its first statement: that reading is done again once, on a
    // fresh connection, when nothing of it has been sent.
    Verdict readWithOneRetry(Reading& r) {
        Slot& slot = r.lease->slot();
        for (int attempt = 0;; ++attempt) {
            const bool reused = slot.connection != nullptr;
            if (!pool.open(slot))
                return Verdict::Unreachable;
            const Verdict verdict = readOnce(r, slot);
            if (verdict != Verdict::Unreachable || !reused || attempt > 0 || !r.spool.rewind())
                return verdict;
            Pool::logFailure("the connection had gone; reading again on a new one");
        }
    }

    Verdict readOnce(Reading& r, Slot& slot) {
        if (!slot.connection->tableExists("SITE")) {
            // A catalog call that failed on a connection that has gone says nothing.
            if (!Pool::stillAlive(slot))
                return Verdict::Unreachable;
            Pool::logFailure("query failed: the database has no SITE table");
            return Verdict::Misconfigured;
        }
        std::string failure;
        bool matched = false;
        const Outcome o = write(r, slot, failure, matched);
        if (o == Outcome::Stopped)
            return r.overLimit ? Verdict::TooLarge : Verdict::Cancelled;
        if (o == Outcome::Done) {
            // Nothing found on a connection that has gone is no answer.
            if (!matched && !Pool::stillAlive(slot))
                return Verdict::Unreachable;
            return matched ? Verdict::Answer : Verdict::Empty;
        }
        Pool::logFailure("query failed: " + failure);
        return Pool::stillAlive(slot) ? Verdict::DatabaseError : Verdict::Unreachable;
    }

    // The readiness check: the instance reads its database within the bound.
    Health health() {
        const auto deadline = std::chrono::steady_clock::now() + kHealthBound;
        std::unique_ptr<Slot> slot = pool.take(kHealthBound);
        if (!slot)
            return Health::Busy;
        Lease lease(pool, std::move(slot));
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(
            deadline - std::chrono::steady_clock::now());
        if (pool.open(lease.slot()) && readsResponseTable(*lease.slot().connection, left.count()))
            return Health::Ok;
        // A connection whose server went away is dropped: the next check connects anew.
        Pool::stillAlive(lease.slot());
        return Health::Unreachable;
    }

    // Writes the answer into the reading's spool; notes in matched whether anything of the
    // level asked for was written. The sink stops the writing (Stop) at any write, the
    // document's first and last included.
    Outcome write(Reading& r, Slot& slot, std::string& failure, bool& matched) {
        const auto sink = [&r](std::string_view chunk) {
            switch (r.spool.append(chunk)) {
            case Spool::Append::Taken:
                return;
            case Spool::Append::OverLimit:
                r.overLimit = true;
                throw Stop{};
            case Spool::Append::Cancelled:
                throw Stop{};
            case Spool::Append::Failed:
                throw std::runtime_error("the answer's temporary file cannot be written");
            }
        };
        try {
            if (r.query.format == Format::Text) {
                TextWriter text(sink, r.query.level);
                return writeDocument(text, r, slot, failure, matched);
            }
            stationxml::WriterOptions options;
            options.module = "stationws";
            stationxml::StationXmlWriter xml(sink, options);
            return writeDocument(xml, r, slot, failure, matched);
        } catch (const Stop&) {
            return Outcome::Stopped;
        }
    }

    // The document's beginning, what the query selects, and its end.
    template <typename Writer>
    Outcome writeDocument(Writer& writer, Reading& r, Slot& slot, std::string& failure,
                          bool& matched) {
        const Query& query = r.query;
        const Level probeLevel = query.level == Level::Response ? Level::Channel : query.level;
        // At network level the text counts the stations.
        const Level shown = query.format == Format::Text && query.level == Level::Network
                                ? Level::Station
                                : query.level;
        writer.begin();
        Watch watch(writer, probeLevel, r.spool);
        const Outcome o = read(slot, query, readingLevel(query), shown, watch, failure);
        matched = watch.matched();
        if (o == Outcome::Done)
            writer.finish();
        return o;
    }

    // --- the request's thread

    // A reading of the query on a free connection, or null when none became free in time.
    std::shared_ptr<Reading> startReading(const Query& query) {
        std::unique_ptr<Slot> slot = pool.take();
        if (!slot)
            return nullptr;
        auto reading = std::make_shared<Reading>(query, config.maxAnswerBytes);
        reading->lease = std::make_unique<Lease>(pool, std::move(slot));
        {
            std::lock_guard lock(readingsMutex);
            ++readings;
        }
        readers->enqueue([this, reading] { readAnswer(*reading); });
        return reading;
    }

    // Waits until the verdict is in, or the answer is known to be large (then it is sent
    // while it is read; with --max-answer only once it is read whole), or the database has
    // been silent too long (its connection is then given up).
    Verdict awaitVerdict(Reading& r) {
        const std::size_t decisive =
            config.maxAnswerBytes > 0 ? std::numeric_limits<std::size_t>::max() : kWholeAnswerBytes;
        switch (r.spool.waitBeyond(decisive, silence())) {
        case Spool::State::More:
            return Verdict::Answer;
        case Spool::State::Finished:
            return r.verdict;
        case Spool::State::Stalled:
            break;
        }
        giveUp(r);
        return Verdict::Silent;
    }

    // The request no longer waits for its reading; a connection whose statement hangs is
    // replaced.
    void giveUp(Reading& r) {
        r.spool.cancel();
        std::lock_guard lock(r.leaseMutex);
        if (r.lease) {
            Pool::logFailure("the database gave no sign of life for " +
                             std::to_string(silence().count() / 1000) +
                             " s: its connection is given up");
            pool.abandon(r.lease->slot());
        }
    }

    // Connects once: false (the reason on stderr) when the database refuses the settings or
    // lacks the response tables; true, the database served once it is there, when it is
    // only away.
    bool checkDatabase() {
        Lease lease(pool, pool.take(std::chrono::milliseconds(0)));
        Slot& slot = lease.slot();
        if (!pool.open(slot)) {
            if (slot.refusal.refused && gainbook::serverUnreachable(slot.refusal)) {
                Pool::logFailure("the database cannot be reached yet; serving, and connecting "
                                 "again for each request");
                return true;
            }
            Pool::logFailure("the data source " + config.database.dataSource +
                             " cannot be used with these settings; stopping");
            return false;
        }
        std::string missing;
        for (const char* table : {"CALIBRATION", "ID_SENS", "ID_FREQ"})
            if (!slot.connection->tableExists(table))
                missing += std::string(missing.empty() ? "" : ", ") + table;
        if (!missing.empty()) {
            Pool::logFailure("the database of " + config.database.dataSource +
                             " has no response tables (" + missing + "); stopping");
            return false;
        }
        if (!slot.connection->tableExists("SITE"))
            Pool::logFailure("warning: the database has no SITE table: queries fail with 500 "
                             "until it is made");
        return true;
    }

    // After the last request: waits for the readings still going; a statement that hangs is
    // left to its thread, which ends with the program.
    void endReadings() {
        std::unique_lock lock(readingsMutex);
        if (readingsEnded.wait_for(lock, silence(), [&] { return readings == 0; })) {
            lock.unlock();
            readers->shutdown();
            readers.reset();
            return;
        }
        Pool::logFailure(std::to_string(readings) + " database statements did not end; left");
        (void)readers.release();
    }
};

Reader::Reader(const Config& config) : impl_(std::make_unique<Impl>(config)) {}
Reader::~Reader() = default;
bool Reader::checkDatabase() {
    return impl_->checkDatabase();
}
std::shared_ptr<Reading> Reader::startReading(const Query& query) {
    return impl_->startReading(query);
}
Verdict Reader::awaitVerdict(Reading& r) {
    return impl_->awaitVerdict(r);
}
void Reader::giveUp(Reading& r) {
    impl_->giveUp(r);
}
std::chrono::milliseconds Reader::silence() const {
    return impl_->silence();
}
Health Reader::health() {
    return impl_->health();
}
void Reader::endReadings() {
    impl_->endReadings();
}

} // namespace orv::stationws
