// What an import of StationXML epochs writes, decided before anything is written, and the
// writing. One function (planImport) decides whether an epoch is writable: the document's
// own faults, its response, the writer's checks of the fields (codes, interval, CALIB) and
// epochs of one channel that overlap. A dry run then asks previewEpoch what the writer's
// interval rules make of each against the stored rows (when the database can be reached);
// the import writes what planImport allowed.
#pragma once

#include "db/responsewriter.h"
#include "odbc/odbc.h"
#include "stationxml/xmlreader.h"
#include "ui/interaction.h"

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace orv::stationxml {

struct EpochPlan {
    enum class Verdict {
        Writable,
        Skipped, // the response is none the database can hold (told, not a failure)
        Refused, // the document or the fields are at fault
    };
    const ImportedEpoch* epoch = nullptr;
    std::string name; // "NET.STA.LOC.CHAN start / end" as the document gives them
    Verdict verdict = Verdict::Writable;
    std::string reason;             // why skipped or refused
    std::vector<std::string> notes; // what was left out, assumed or rounded
    gainbook::ResponseInput input;  // what is written, when writable
    std::string summary;            // "SAC, nm/counts*sec, FREQ 1 Hz, CALIB 0.5"
    // The interval and key the writer takes, when writable.
    odbc::Timestamp start;
    std::optional<odbc::Timestamp> end;
    std::string key;
};

// The plan of one epoch, apart from the epochs beside it (see OverlapIndex).
EpochPlan planEpoch(const ImportedEpoch& epoch);

// The writable epochs of an import, kept small (a hash of the key and the interval, 24
// bytes an epoch, never the epochs themselves), to find those of one channel whose intervals
// overlap: written one after the other, the later would silently replace the earlier, so
// each is refused, naming the others. Two steps: every plan added, then, only where some
// may overlap, every plan confirmed (their keys compared whole, their names taken).
class OverlapIndex {
public:
    // Step one: every plan of the import, in order.
    void add(const EpochPlan& plan);
    // After step one: whether step two is needed.
    bool needsConfirmation();
    // Step two: every plan again, in the same order.
    void confirm(const EpochPlan& plan);
    // Why each overlapping plan is refused, by its place among those added (from 0).
    std::map<std::size_t, std::string> refusals() const;
    // The plan refused for that reason.
    static void refuse(EpochPlan& plan, const std::string& reason);

private:
    struct Entry {
        std::uint32_t keyHash, place;
        std::int64_t start, end; // end: the largest for an open interval
    };
    struct Candidate {
        std::string key, name;
        std::uint32_t place;
        std::int64_t start, end;
    };
    std::deque<Entry> entries_;
    std::set<std::uint32_t> candidates_;
    std::vector<Candidate> confirmed_;
    std::uint32_t added_ = 0, seen_ = 0;
    bool closed_ = false;
};

// One plan per epoch, in order, overlaps refused.
std::vector<EpochPlan> planImport(const std::vector<ImportedEpoch>& epochs);

struct WriteReport {
    bool written = false;
    bool unconfirmed = false;          // written, not confirmed by a synchronous standby in time
    std::string reason;                // why not written: the writer's or driver's message
    std::vector<std::string> replaced; // stored intervals deleted or cut by the write
    std::vector<std::string> notes;    // rows made, the interval as written
};

// Writes a writable epoch with the writer's interval rules (questions answered Yes with
// yes); with stations, the SITE and SITECHAN rows it lacks in the same transaction.
WriteReport writeEpoch(odbc::Connection& connection, const EpochPlan& plan, bool stations,
                       bool yes);

// What writeEpoch would do, read from the stored rows of the epoch's key without writing:
// the writer's interval rules decide (written: would be written; replaced: the stored
// intervals it would delete or cut; reason: the writer's refusal).
WriteReport previewEpoch(odbc::Connection& connection, const EpochPlan& plan);

// Makes SITE and SITECHAN where they are missing, by the schema's statements; false (the
// reason shown through ui) when one cannot be made.
bool makeStationTables(odbc::Connection& connection, ui::Interaction& ui);

} // namespace orv::stationxml
