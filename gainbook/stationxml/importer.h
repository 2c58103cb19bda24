// What an import of StationXML epochs writes, decided before anything is written, and the
// writing. One function (planImport) decides whether an epoch is writable: the document's
// own faults, its response, the writer's checks of the fields (codes, interval, CALIB) and
// epochs of one channel that overlap. A dry run then asks previewEpoch what the writer's
// interval rules make of each against the stored rows (when the database can be reached);
// the import writes what planImport allowed.
#pragma once

#include "odbc/odbc.h"
#include "responsewriter.h"
#include "stationxml/xmlreader.h"
#include "ui/interaction.h"

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

// One plan per epoch, in order.
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
