#include "reading.h"

#include "filters.h"
#include "log.h"
#include "stationxml/stored.h"
#include "stationxml/xmlwriter.h"
#include "textwriter.h"

#include <algorithm>
#include <thread>

namespace orv::stationws {

namespace {

// Thrown by a sink or a visitor to end a reading early (not an error).
struct Stop {};

enum class Outcome { Done, Stopped, DatabaseError };

// How the service reads the inventory: as the command line's StationXML export does, but a
// missing response table is a failure, never an archive without responses.
stationxml::ReadOptions readOptions(const KeptByValue& kept) {
    stationxml::ReadOptions o;
    o.responseTablesRequired = true;
    o.conversions = kept.conversions;
    return o;
}

// The response tables a reading at this level reads.
std::vector<const char*> responseTables(Level level) {
    if (level == Level::Response)
        return {"CALIBRATION", "ID_FREQ"};
    return {"CALIBRATION"};
}

// After a failed reading: the first of the tables it reads that the database no longer has
// (asked anew, not as the connection remembers), or null.
const char* missingTable(odbc::Connection& connection, Level level) {
    connection.forgetCatalog();
    for (const char* table : responseTables(level))
        if (!connection.tableExists(table))
            return table;
    return nullptr;
}

} // namespace

void Warnings::log(std::string_view text) {
    std::lock_guard lock(mutex_);
    if (said_.find(text) != said_.end())
        return;
    if (said_.size() == kRemembered) {
        if (untold_++ == 0)
            log::failure("warning: more warnings than " + std::to_string(kRemembered) +
                         "; the others are not logged");
        return;
    }
    said_.emplace(text);
    log::failure("warning: " + std::string(text));
}

Readings::Readings(const Config& config)
    : config_(config),
      pool_(config.database, config.databaseConnections, config.connectionWaitSeconds),
      workers_(pool_.capacity()), kept_{std::make_shared<stationxml::ResponseConversions>(
                                            kKeptByValueBytes),
                                        std::make_shared<stationxml::ResponseTexts>(
                                            kKeptByValueBytes)} {}

std::chrono::milliseconds Readings::silence() const {
    return std::chrono::seconds(config_.database.timeoutSeconds + 1);
}

std::shared_ptr<Reading> Readings::start(const Query& query, std::function<void(Reading&)> done) {
    auto reading = std::make_shared<Reading>(query, config_.maxAnswerBytes);
    reading->done = std::move(done);
    workers_.run([this, reading] {
        Reading& r = *reading;
        const auto waited = std::chrono::steady_clock::now() - r.asked;
        std::unique_ptr<Slot> slot =
            pool_.take(std::chrono::duration_cast<std::chrono::milliseconds>(
                std::max<std::chrono::steady_clock::duration>(pool_.wait() - waited, {})));
        if (!slot || r.spool.cancelled()) {
            if (slot)
                pool_.give(std::move(slot));
            r.verdict = slot ? Verdict::Cancelled : Verdict::Busy;
            r.spool.finish();
            return;
        }
        {
            std::lock_guard lock(r.leaseMutex);
            r.lease = std::make_unique<Lease>(pool_, std::move(slot));
        }
        r.spool.touch();
        r.begunAt = std::chrono::steady_clock::now();
        r.begun = true;
        readAnswer(r);
    });
    return reading;
}

void Readings::giveUp(Reading& r) {
    r.spool.cancel();
    std::lock_guard lock(r.leaseMutex);
    if (r.lease) {
        log::failure("the database gave no sign of life for " +
                     std::to_string(silence().count() / 1000) + " s: its connection is given up");
        pool_.abandon(r.lease->slot());
    }
}

// Reads a query's answer into its spool and gives the verdict; the connection is given back
// before the verdict is known to the request.
void Readings::readAnswer(Reading& r) {
    const Verdict verdict = readWithOneRetry(r);
    {
        std::lock_guard lock(r.leaseMutex);
        r.lease.reset();
    }
    r.verdict = verdict;
    if (r.done)
        r.done(r);
    r.spool.finish();
}

namespace {

// Codes the selection names as they are: some, none with a wildcard.
bool namedExactly(const stationxml::Selection& s, const std::vector<std::string>& codes) {
    return !codes.empty() &&
           (s.exactCodes || std::none_of(codes.begin(), codes.end(), [](const std::string& c) {
                return c.find_first_of("*?") != std::string::npos;
            }));
}

// At most this many station codes, none with a wildcard, bound what a query reads to those
// stations' rows: read on a plain connection, whole.
constexpr std::size_t kFewStations = 16;

bool namesFewStations(const Query& query) {
    std::size_t named = 0;
    for (const stationxml::Selection& s : query.selections) {
        if (!namedExactly(s, s.stations))
            return false;
        named += s.stations.size();
    }
    return named > 0 && named <= kFewStations;
}

// At most this many channels, named by station and channel codes without wildcards: their
// epochs are read at once (ReadOptions::fewChannels).
constexpr std::size_t kFewChannels = 16;

bool namesFewChannels(const Query& query) {
    std::size_t named = 0;
    for (const stationxml::Selection& s : query.selections) {
        if (!namedExactly(s, s.stations) || !namedExactly(s, s.channels))
            return false;
        named += s.stations.size() * s.channels.size();
    }
    return named > 0 && named <= kFewChannels;
}

// The slot's connection of the kind a reading wants, for the reading's time: the two kinds
// change places in the slot, so that opening, the retry and giving up on a connection that
// has gone all work on the one in use.
class SlotKind {
public:
    SlotKind(Slot& slot, bool streaming) : slot_(slot), swapped_(slot.streaming != streaming) {
        if (swapped_)
            swap();
    }
    ~SlotKind() {
        if (swapped_)
            swap();
    }
    SlotKind(const SlotKind&) = delete;
    SlotKind& operator=(const SlotKind&) = delete;

private:
    void swap() {
        std::swap(slot_.connection, slot_.other);
        slot_.streaming = !slot_.streaming;
    }
    Slot& slot_;
    const bool swapped_;
};

} // namespace

// A connection that went away since its last use (a server restarted with no traffic in
// between) is noticed at its first statement: that reading is done again at once, on a fresh
// connection, when nothing of it has been sent. A database that cannot be reached then (a
// failover: the old server gone, the new one not yet taking connections) is asked again every
// kRideStep for up to kRideThrough, so that a failover's gap costs the answers time, not a
// 503.
Verdict Readings::readWithOneRetry(Reading& r) {
    Slot& slot = r.lease->slot();
    const SlotKind kind(slot, !namesFewStations(r.query));
    const auto until = std::chrono::steady_clock::now() + kRideThrough;
    bool readAgain = false;
    for (;;) {
        const bool reused = slot.connection != nullptr;
        const auto began = std::chrono::steady_clock::now();
        const Verdict verdict = pool_.open(slot) ? readOnce(r, slot) : Verdict::Unreachable;
        if (verdict != Verdict::Unreachable || !r.spool.rewind())
            return verdict;
        if (reused && !readAgain) {
            readAgain = true;
            log::failure("the connection had gone; reading again on a new one");
            continue;
        }
        // A server that hangs rather than refuses takes its timeout to fail each attempt:
        // one is begun only when it may end within the bound, as the last one took.
        if (!waitForTheDatabase(r, until - (std::chrono::steady_clock::now() - began)))
            return verdict;
    }
}

bool Readings::waitForTheDatabase(Reading& r, std::chrono::steady_clock::time_point until) {
    const auto next = std::chrono::steady_clock::now() + kRideStep;
    if (next >= until)
        return false;
    while (std::chrono::steady_clock::now() < next) {
        if (r.spool.cancelled())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !r.spool.cancelled();
}

namespace {

// Writes the answer into the reading's spool; notes in matched whether anything of the level
// asked for was written. The sink stops the writing (Stop) at any write, the document's
// first and last included.
template <typename Writer>
Outcome writeDocument(Writer& writer, Reading& r, Slot& slot, Warnings& warnings,
                      const KeptByValue& kept, std::string& failure, bool& matched) {
    const Query& query = r.query;
    const Level probeLevel = query.level == Level::Response ? Level::Channel : query.level;
    // At network level the text counts the stations.
    const Level shown = query.format == Format::Text && query.level == Level::Network
                            ? Level::Station
                            : query.level;
    writer.begin();
    Watch watch(writer, probeLevel, r.spool);
    const auto warn = [&warnings](const stationxml::Problem& problem) {
        warnings.log(render(problem, stationxml::Language::English));
    };
    Outcome outcome = Outcome::Done;
    try {
        // All selections at once: each epoch once, however many match it.
        std::vector<stationxml::Selection> selections = query.selections;
        for (stationxml::Selection& s : selections)
            s.level = readingLevel(query);
        Filter filtered(watch, shown, selections.front());
        stationxml::ReadOptions options = readOptions(kept);
        options.fewChannels = namesFewChannels(query);
        stationxml::readInventory(*slot.connection, selections, filtered, warn, options);
    } catch (const Stop&) {
        outcome = Outcome::Stopped;
    } catch (const std::exception& e) {
        failure = e.what();
        outcome = Outcome::DatabaseError;
    }
    matched = watch.matched();
    if (outcome == Outcome::Done)
        writer.finish();
    return outcome;
}

Outcome write(Reading& r, Slot& slot, Warnings& warnings, const KeptByValue& kept,
              std::string& failure, bool& matched) {
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
            return writeDocument(text, r, slot, warnings, kept, failure, matched);
        }
        stationxml::WriterOptions options;
        options.module = "stationws";
        options.responseTexts = kept.texts;
        stationxml::StationXmlWriter xml(sink, options);
        return writeDocument(xml, r, slot, warnings, kept, failure, matched);
    } catch (const Stop&) {
        return Outcome::Stopped;
    } catch (const std::exception& e) {
        failure = e.what();
        return Outcome::DatabaseError;
    }
}

} // namespace

Verdict Readings::readOnce(Reading& r, Slot& slot) {
    if (!slot.connection->tableExists("SITE")) {
        // A catalog call that failed on a connection that has gone says nothing.
        if (!keepIfAlive(slot))
            return Verdict::Unreachable;
        r.failure = "the database has no SITE table";
        log::failure("query failed: " + r.failure);
        return Verdict::Misconfigured;
    }
    std::string failure;
    bool matched = false;
    const Outcome o = write(r, slot, warnings_, kept_, failure, matched);
    if (o == Outcome::Stopped)
        return r.overLimit ? Verdict::TooLarge : Verdict::Cancelled;
    if (o == Outcome::Done) {
        // Nothing found on a connection that has gone is no answer.
        if (!matched && !keepIfAlive(slot))
            return Verdict::Unreachable;
        return matched ? Verdict::Answer : Verdict::Empty;
    }
    if (!keepIfAlive(slot)) {
        log::failure("query failed: " + failure);
        return Verdict::Unreachable;
    }
    // A response table dropped, or taken away while the response editor rebuilds it.
    if (const char* table = missingTable(*slot.connection, r.query.level)) {
        r.failure = std::string("the database has no ") + table + " table";
        log::failure("query failed: " + r.failure);
        return Verdict::NoResponses;
    }
    r.failure = failure;
    log::failure("query failed: " + failure);
    return Verdict::DatabaseError;
}

bool Readings::checkDatabase() {
    Lease lease(pool_, pool_.take(std::chrono::milliseconds(0)));
    Slot& slot = lease.slot();
    if (!pool_.open(slot)) {
        if (slot.refusal.refused && gainbook::serverUnreachable(slot.refusal)) {
            log::failure("the database cannot be reached yet; serving, and connecting again for "
                         "each request");
            return true;
        }
        log::failure("the data source " + config_.database.dataSource +
                     " cannot be used with these settings; stopping");
        return false;
    }
    std::string missing;
    for (const char* table : {"CALIBRATION", "ID_SENS", "ID_FREQ"})
        if (!slot.connection->tableExists(table))
            missing += std::string(missing.empty() ? "" : ", ") + table;
    if (!missing.empty()) {
        log::failure("the database of " + config_.database.dataSource +
                     " has no response tables (" + missing + "); stopping");
        return false;
    }
    if (!slot.connection->tableExists("SITE"))
        log::failure("warning: the database has no SITE table: queries fail with 500 until it is "
                     "made");
    return true;
}

void Readings::end() {
    if (!workers_.finish(silence()))
        log::failure("database statements did not end; left");
}

} // namespace orv::stationws
