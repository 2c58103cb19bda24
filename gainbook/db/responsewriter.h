// Writing a loaded response into CALIBRATION, fitted into the channel's history: the
// first response of a key (network, location, station, channel) is inserted directly;
// otherwise IntervalChoiceDialog lets the user choose the interval, and in one
// transaction the rows the new interval covers are deleted, the interval valid at the
// new start is closed there, and the new row is inserted (or a row of the same start
// that lacks this kind of text is completed).
#pragma once

#include "db/connection.h"
#include "odbc/odbc.h"
#include "ui/interaction.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook {

// What an empty network and an empty location code are written as.
inline constexpr const char* kEmptyNetworkCode = "XYN";
inline constexpr const char* kEmptyLocationCode = "??";

// What the file panel holds at the moment of writing.
struct ResponseInput {
    std::string network;
    std::string station;
    std::string channel;
    std::string location;
    std::string time; // a date text, or start and end joined by " / "
    std::string calib;
    std::string freq;
    std::string sensUnit;
    std::string freqUnit;
    std::string text; // lines separated by "\r\n"
    int kind = 0;     // 0 SAC, 1 or 2 FAP
};

// The values a write stores.
struct PreparedResponse {
    std::string network;
    std::string station;
    std::string channel;
    std::string location;
    orv::odbc::Timestamp start;
    std::optional<orv::odbc::Timestamp> end;
    double sens = 0;
    double freq = 0;
    short idSens = 0;
    short idFreq = 0;
    std::string text;
    int kind = 0;
    orv::odbc::Timestamp loaded;
    // The network field was empty: the network is the default one.
    bool networkDefaulted = false;

    bool sac() const { return kind == 0; }
};

// The number fields as their labels name them.
inline constexpr std::string_view kCalibField = "CALIB";
inline constexpr std::string_view kFreqField = "FREQ (CALPER)";

// Reads the panel's values with their defaults; nullopt (after telling the user why)
// when they cannot be written: a required field empty, a code longer than its column, no
// response text, a time that is not a date text of
// a real date (or an end not after the start), CALIB or FREQ not a finite number, CALIB
// that gives no finite SENS, a text too long.
std::optional<PreparedResponse> prepareResponse(const ResponseInput& input,
                                                orv::ui::Interaction& ui);

// A stored interval of a key.
struct StoredInterval {
    orv::odbc::Timestamp start;
    std::optional<orv::odbc::Timestamp> end; // none: open

    bool operator==(const StoredInterval&) const = default;
};

// An interval as the dialog lists it: "start / end", "до настоящего времени" for an open end.
std::string intervalEntry(const StoredInterval& interval);

// How a new interval [start, end) fits among the key's stored intervals that start after it
// (oldest first), as the write decides: rows from a closed new interval's end on do not
// overlap it, rows that end within it are deleted as covered; rows that start before now
// are deleted as covered by an open new one. The first stored row left over is kept, and
// the new interval overlaps it: a closed one Overlaps (asked about or refused), an open one
// EndsEarlier, where that row begins.
struct IntervalFit {
    enum class Kind { Fits, EndsEarlier, Overlaps };
    Kind kind = Kind::Fits;
    std::optional<orv::odbc::Timestamp> end; // the end written (Fits, EndsEarlier)
    std::optional<StoredInterval> later;     // the kept row overlapped (EndsEarlier, Overlaps)
};
IntervalFit fitInterval(const std::vector<StoredInterval>& laterOldestFirst,
                        const orv::odbc::Timestamp& start,
                        const std::optional<orv::odbc::Timestamp>& end,
                        const orv::odbc::Timestamp& now);

// The key's intervals (oldest first) after a write of [start, end) that replaces rather than
// completes: the rows it covers deleted, the one valid at start closed there, the new one
// added; what the write's three statements do to the rows.
std::vector<StoredInterval> intervalsAfterWrite(
    const std::vector<StoredInterval>& storedOldestFirst, const orv::odbc::Timestamp& start,
    const std::optional<orv::odbc::Timestamp>& end, const orv::odbc::Timestamp& now);

// The dialog "Выбор интервала времени": its list, its two edits and "Записать".
class IntervalChoiceDialog {
public:
    IntervalChoiceDialog(orv::odbc::Connection& connection, orv::ui::Interaction& ui,
                         PreparedResponse response);

    // Fills the list with the key's intervals, newest first, and the edits with the new
    // response's interval.
    void initialise();
    // The user picks a listed interval: its dates go into the edits.
    void chooseEntry(int index);
    // "Записать": true when the transaction was committed. Edits that do not hold a start
    // and an end after it are refused before any statement (editsRefused(): the dialog
    // stays open); otherwise the dialog closes as accepted either way, and the caller
    // refills the panel. Any step that cannot run fails the whole write, rolled back.
    bool write();
    bool lastWriteCommitted() const { return committed_; }
    // The last write completed a stored row of the same start that lacked this kind of
    // text, rather than replacing the rows its interval covers.
    bool lastWriteCompleted() const { return completed_; }
    // Committed, but no synchronous standby confirmed it within the bound.
    bool lastWriteUnconfirmed() const { return unconfirmed_; }
    bool editsRefused() const { return editsRefused_; }

    // What write() would do with the response's interval, read from the stored rows without
    // writing anything, as with Overlap::Refuse (the refusal is shown through ui as write()
    // shows it). Failed: a read failed (shown through ui).
    struct Preview {
        enum class Kind { Writes, Completes, Refused, Failed };
        Kind kind = Kind::Failed;
        std::optional<orv::odbc::Timestamp> end;   // the end written (Writes)
        std::vector<StoredInterval> before, after; // the key's rows, oldest first (Writes)
        std::string endedNote; // the new interval ends where a kept later one begins
    };
    Preview preview();

    // A new closed interval that would overlap a later stored one (which the write keeps):
    // Ask the user (Да: the new one ends where the stored one begins; Нет: nothing is
    // written and the dialog stays open), or Refuse it. A new open interval that starts
    // before a kept later one always ends where that one begins, and the success message
    // says so.
    enum class Overlap { Ask, Refuse };
    Overlap overlap = Overlap::Ask;

    // Run in the write's transaction after its own statements, before the commit: false
    // (with the reason in diagnostic) rolls the whole write back.
    using ExtraStep = std::function<bool(std::string& diagnostic)>;
    ExtraStep alsoInTransaction;

    std::vector<std::string> entries;
    std::string startEdit;
    std::string endEdit;

    // The response; after a committed write, with the interval and load time written.
    const PreparedResponse& response() const { return response_; }

private:
    enum class Completion { None, Found, Failed };
    Completion findIncomplete(const orv::odbc::Timestamp& start);
    // The key's rows a statement lists (start, end); nullopt (after telling the user) when
    // the statement fails.
    std::optional<std::vector<StoredInterval>>
    readIntervals(const char* sql, const std::vector<orv::odbc::Parameter>& parameters);
    // The new interval fitted among the stored ones after its start (fitInterval); nullopt
    // (after telling the user) when they could not be read.
    std::optional<IntervalFit> fitLater(const orv::odbc::Timestamp& now);
    bool replaceCovered(const orv::odbc::Timestamp& now,
                        const std::optional<orv::odbc::Timestamp>& insertEnd);
    bool step(const char* sql, const std::vector<orv::odbc::Parameter>& parameters);
    // The steps of write(): the edited interval read and fitted before any lock is taken
    // (a closed one overlapping a later stored one asked about or refused); the rows
    // written inside the transaction; the commit and what the user is told of it.
    bool takeEdits();
    bool writeRows(std::string& endedNote);
    bool commitAndTell(orv::odbc::Transaction& tx, const std::string& endedNote);

    orv::odbc::Connection& connection_;
    orv::ui::Interaction& ui_;
    PreparedResponse response_;
    bool committed_ = false;
    bool completed_ = false;
    bool unconfirmed_ = false;
    bool editsRefused_ = false;
};

enum class WriteOutcome {
    Refused,      // required values missing or unusable; nothing written
    Failed,       // a statement failed or could not run; nothing written
    Cancelled,    // the interval dialog was cancelled; nothing written
    DialogFailed, // the interval dialog's write was rolled back; the panel is refilled
    Written,      // written and committed: the panel is to show the key
    Unconfirmed,  // committed, not confirmed by a synchronous standby in time: shown as written
};

// The write action. runDialog shows the interval dialog modally and returns true when it
// ended with "Записать" (its write has then run). alsoInTransaction, when given, runs in
// the write's transaction (see IntervalChoiceDialog::alsoInTransaction).
WriteOutcome writeResponse(orv::odbc::Connection& connection, orv::ui::Interaction& ui,
                           const ResponseInput& input,
                           const std::function<bool(IntervalChoiceDialog&)>& runDialog,
                           PreparedResponse* written = nullptr,
                           const IntervalChoiceDialog::ExtraStep& alsoInTransaction = {});

} // namespace orv::gainbook
