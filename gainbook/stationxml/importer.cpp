#include "stationxml/importer.h"

#include "db/datetext.h"
#include "db/inventoryrows.h"
#include "db/schema.h"
#include "response/evaluation.h"
#include "stationxml/importresponse.h"
#include "text/text.h"
#include "ui/console.h"

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>

namespace orv::stationxml {

namespace {

using Verdict = EpochPlan::Verdict;
namespace gb = orv::gainbook;
constexpr std::string_view kWriteSuccess = "Запись прошла успешно!";

// A text the writer showed, on one line.
std::string oneLine(const std::string& text) {
    return orv::text::trim(
        orv::text::replaceAll(orv::text::replaceAll(text, "\r\n", " "), "\n", " "));
}

// The writer's boxes kept as lines instead of shown; its questions answered Yes with yes.
class Recorder : public ui::HeadlessInteraction {
public:
    explicit Recorder(bool yes) : HeadlessInteraction(yes) {}

    std::string joined() const {
        std::string out;
        for (const std::string& l : lines)
            out += (out.empty() ? "" : " ") + l;
        return out;
    }

    std::vector<std::string> lines;

protected:
    void said(std::string_view text, std::string_view, ui::Buttons buttons,
              ui::Answer answer) override {
        lines.push_back(oneLine(std::string(text)) + std::string(answerText(buttons, answer)));
    }
};

// The interval as the writer's time field takes it.
std::string timeField(const ImportedEpoch& e) {
    std::string time = gb::formatDateText(e.start);
    if (e.end)
        time += " / " + gb::formatDateText(*e.end);
    return time;
}

// An epoch whose dates cannot be read is named with its start as written.
std::string epochName(const ImportedEpoch& e) {
    const bool dated = e.startRead && e.refusal.find(" date") == std::string::npos;
    return e.network + "." + e.station + "." + e.location + "." + e.channel + " " +
           (dated ? timeField(e) : "startDate=\"" + e.startText + "\"");
}

// The response as the file panel would hold it; false (the plan skipped) when the epoch's
// response is none the database can hold.
bool takeResponse(const ImportedEpoch& e, EpochPlan& p) {
    gb::ResponseInput& in = p.input;
    std::string why, listWhy;
    if (const auto sac = toSac(e, why)) {
        in.freq = orv::text::format("%.17g", sac->frequency);
        in.sensUnit = std::string(gb::response::kCalibUnits[std::size_t(sac->sensUnit)]);
        in.text = sac->text;
        in.kind = 0;
        p.notes.insert(p.notes.end(), sac->notes.begin(), sac->notes.end());
    } else if (const auto fap = toFap(e, listWhy)) {
        in.freq = orv::text::format("%.17g", fap->frequency);
        in.sensUnit = std::string(gb::response::kCalibUnits[std::size_t(fap->sensUnit)]);
        in.text = fap->text;
        in.kind = 1;
        p.notes.insert(p.notes.end(), fap->notes.begin(), fap->notes.end());
    } else {
        // A lone response list tells why it failed; any other response, why it has no
        // analog poles and zeros.
        const bool onlyList =
            e.stages.size() == 1 && e.stages[0].kind == ImportedStage::Kind::ResponseList;
        p.verdict = Verdict::Skipped;
        p.reason = onlyList ? listWhy : why;
        return false;
    }
    in.network = e.network;
    in.station = e.station;
    in.channel = e.channel;
    in.location = e.location;
    in.time = timeField(e);
    in.freqUnit = "Hz";
    const gb::response::CalibResult calib = gb::response::panelCalib(
        in.text,
        in.kind == 0 ? gb::formats::LoadedFileKind::Sac : gb::formats::LoadedFileKind::FapOrv,
        {in.freq, in.sensUnit, in.freqUnit});
    in.calib = calib.calib;
    p.summary = std::string(in.kind == 0 ? "SAC" : "FAP") + ", " + in.sensUnit + ", FREQ " +
                in.freq + " Hz, CALIB " + in.calib;
    return true;
}

} // namespace

EpochPlan planEpoch(const ImportedEpoch& e) {
    EpochPlan p;
    p.epoch = &e;
    p.name = epochName(e);
    p.notes = e.notes;
    if (!e.refusal.empty()) {
        p.verdict = Verdict::Refused;
        p.reason = e.refusal;
        return p;
    }
    if (!takeResponse(e, p))
        return p;
    // The writer's own checks of the fields, as the write will make them.
    Recorder ui(false);
    const auto prepared = gb::prepareResponse(p.input, ui);
    if (!prepared) {
        p.verdict = Verdict::Refused;
        p.reason = ui.joined();
        return p;
    }
    p.start = prepared->start;
    p.end = prepared->end;
    p.key = prepared->network + "." + prepared->station + "." + prepared->location + "." +
            prepared->channel;
    return p;
}

namespace {

// The time as one ordered number.
std::int64_t packed(const odbc::Timestamp& t) {
    return ((((std::int64_t(t.year) * 13 + t.month) * 32 + t.day) * 24 + t.hour) * 60 + t.minute) *
               60 +
           t.second;
}

constexpr std::int64_t kOpen = std::numeric_limits<std::int64_t>::max();

// Epochs of one group sorted by start: each pair whose intervals overlap, once.
template <class T, class Same, class Pair> void overlappingPairs(T& items, Same same, Pair pair) {
    for (std::size_t i = 0; i < items.size(); ++i)
        for (std::size_t j = i + 1; j < items.size() && same(items[i], items[j]); ++j) {
            if (items[i].end != kOpen && !(items[j].start < items[i].end))
                break;
            pair(items[i], items[j]);
        }
}

gb::StationRows stationRows(const ImportedEpoch& e) {
    gb::StationRows rows;
    rows.station = e.station;
    rows.latitude = e.stationLatitude;
    rows.longitude = e.stationLongitude;
    rows.elevation = e.stationElevation;
    rows.siteName = e.siteName;
    rows.description = e.stationDescription;
    rows.on = e.stationStart;
    rows.off = e.stationEnd;
    rows.channel = e.channel;
    rows.location = e.location; // SITECHAN keeps the empty location empty
    rows.channelLatitude = e.latitude;
    rows.channelLongitude = e.longitude;
    rows.depth = e.depth;
    rows.sampleRate = e.sampleRate;
    rows.sensor = e.sensorDescription;
    return rows;
}

// The key's stored intervals as the interval dialog lists them.
std::vector<std::string> storedIntervals(odbc::Connection& connection,
                                         const gb::PreparedResponse& key) {
    Recorder quiet(false);
    gb::IntervalChoiceDialog dialog(connection, quiet, key);
    dialog.initialise();
    return dialog.entries;
}

// The stored intervals a write deleted ("X удалён"), changed ("X -> Y") or, at the new
// row's start, replaced by it ("X заменён"); entries begin with their start and " / ".
std::vector<std::string> replacedIntervals(const std::vector<std::string>& before,
                                           const std::vector<std::string>& after,
                                           const std::string& writtenStart, bool completed) {
    std::vector<std::string> out;
    for (const std::string& b : before) {
        const std::string start = b.substr(0, b.find(" / ") + 3);
        if (std::find(after.begin(), after.end(), b) != after.end()) {
            if (!completed && start == writtenStart)
                out.push_back(b + " заменён");
            continue;
        }
        const auto same = std::find_if(after.begin(), after.end(), [&](const std::string& a) {
            return a.compare(0, start.size(), start) == 0;
        });
        out.push_back(same == after.end() ? b + " удалён" : b + " -> " + *same);
    }
    return out;
}

std::vector<std::string> entries(const std::vector<gb::StoredInterval>& intervals) {
    std::vector<std::string> out;
    for (const gb::StoredInterval& i : intervals)
        out.push_back(gb::intervalEntry(i));
    return out;
}

} // namespace

void OverlapIndex::add(const EpochPlan& p) {
    const std::uint32_t place = added_++;
    if (p.verdict == Verdict::Writable)
        entries_.push_back({std::uint32_t(std::hash<std::string>{}(p.key)), place, packed(p.start),
                            p.end ? packed(*p.end) : kOpen});
}

bool OverlapIndex::needsConfirmation() {
    if (!closed_) {
        // Sorted in place: the index is never held twice.
        std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
            return std::tie(a.keyHash, a.start, a.place) < std::tie(b.keyHash, b.start, b.place);
        });
        overlappingPairs(
            entries_, [](const Entry& a, const Entry& b) { return a.keyHash == b.keyHash; },
            [&](const Entry& a, const Entry& b) {
                candidates_.insert(a.place);
                candidates_.insert(b.place);
            });
        std::deque<Entry>().swap(entries_);
        closed_ = true;
    }
    return !candidates_.empty();
}

void OverlapIndex::confirm(const EpochPlan& p) {
    const std::uint32_t place = seen_++;
    if (candidates_.count(place))
        confirmed_.push_back(
            {p.key, p.name, place, packed(p.start), p.end ? packed(*p.end) : kOpen});
}

std::map<std::size_t, std::string> OverlapIndex::refusals() const {
    std::vector<const Candidate*> sorted;
    for (const Candidate& c : confirmed_)
        sorted.push_back(&c);
    std::sort(sorted.begin(), sorted.end(), [](const Candidate* a, const Candidate* b) {
        return std::tie(a->key, a->start, a->place) < std::tie(b->key, b->start, b->place);
    });
    struct View { // what overlappingPairs compares
        const Candidate* c;
        std::int64_t start, end;
    };
    std::vector<View> views;
    for (const Candidate* c : sorted)
        views.push_back({c, c->start, c->end});
    std::map<std::uint32_t, std::vector<const Candidate*>> overlapping;
    overlappingPairs(
        views, [](const View& a, const View& b) { return a.c->key == b.c->key; },
        [&](const View& a, const View& b) {
            overlapping[a.c->place].push_back(b.c);
            overlapping[b.c->place].push_back(a.c);
        });
    std::map<std::size_t, std::string> out;
    for (const auto& [place, others] : overlapping) {
        std::string reason = "overlaps another epoch of the channel in the documents:";
        for (const Candidate* other : others)
            reason += " " + other->name + ";";
        reason.pop_back();
        out.emplace(place, std::move(reason));
    }
    return out;
}

void OverlapIndex::refuse(EpochPlan& plan, const std::string& reason) {
    plan.verdict = Verdict::Refused;
    plan.reason = reason;
}

std::vector<EpochPlan> planImport(const std::vector<ImportedEpoch>& epochs) {
    std::vector<EpochPlan> plans;
    plans.reserve(epochs.size());
    OverlapIndex index;
    for (const ImportedEpoch& e : epochs) {
        plans.push_back(planEpoch(e));
        index.add(plans.back());
    }
    if (index.needsConfirmation())
        for (const EpochPlan& p : plans)
            index.confirm(p);
    for (const auto& [place, reason] : index.refusals())
        OverlapIndex::refuse(plans[place], reason);
    return plans;
}

WriteReport writeEpoch(odbc::Connection& connection, const EpochPlan& plan, bool stations,
                       bool yes) {
    WriteReport report;
    Recorder ui(yes);
    std::vector<std::string> stationNotes;
    gb::IntervalChoiceDialog::ExtraStep rows;
    if (stations)
        rows = [&](std::string& diagnostic) {
            stationNotes.clear();
            return gb::ensureStationRows(connection, stationRows(*plan.epoch), stationNotes,
                                         diagnostic);
        };
    std::vector<std::string> before;
    bool completed = false;
    gb::PreparedResponse written;
    const gb::WriteOutcome outcome = gb::writeResponse(
        connection, ui, plan.input,
        [&](gb::IntervalChoiceDialog& dialog) {
            before = dialog.entries;
            // A document's epoch is written whole or not at all, as the write command does.
            dialog.overlap = gb::IntervalChoiceDialog::Overlap::Refuse;
            dialog.write();
            completed = dialog.lastWriteCompleted();
            return true;
        },
        &written, rows);
    if (outcome != gb::WriteOutcome::Written && outcome != gb::WriteOutcome::Unconfirmed) {
        report.reason = ui.joined();
        return report;
    }
    report.written = true;
    report.unconfirmed = outcome == gb::WriteOutcome::Unconfirmed;
    if (!before.empty())
        report.replaced = replacedIntervals(before, storedIntervals(connection, written),
                                            gb::formatDateText(written.start) + " / ", completed);
    report.notes = std::move(stationNotes);
    // What the writer said beyond its success: the interval ended earlier, the network.
    for (const std::string& line : ui.lines) {
        const std::string rest =
            orv::text::trim(line.compare(0, kWriteSuccess.size(), kWriteSuccess) == 0
                                ? line.substr(kWriteSuccess.size())
                                : line);
        if (!rest.empty())
            report.notes.push_back(rest);
    }
    return report;
}

WriteReport previewEpoch(odbc::Connection& connection, const EpochPlan& plan) {
    using Kind = gb::IntervalChoiceDialog::Preview::Kind;
    WriteReport report;
    Recorder ui(false);
    const auto prepared = gb::prepareResponse(plan.input, ui);
    if (!prepared) {
        report.reason = ui.joined();
        return report;
    }
    gb::IntervalChoiceDialog dialog(connection, ui, *prepared);
    const gb::IntervalChoiceDialog::Preview preview = dialog.preview();
    if (preview.kind == Kind::Refused || preview.kind == Kind::Failed) {
        report.reason = ui.joined();
        return report;
    }
    report.written = true;
    if (preview.kind == Kind::Writes) {
        report.replaced = replacedIntervals(entries(preview.before), entries(preview.after),
                                            gb::formatDateText(prepared->start) + " / ", false);
        if (!preview.endedNote.empty())
            report.notes.push_back(oneLine(preview.endedNote));
    }
    return report;
}

bool makeStationTables(odbc::Connection& connection, ui::Interaction& ui) {
    gb::Schema schema(connection, ui);
    if (!schema.detectKind()) {
        ui.error("Не удалось определить тип базы данных: таблицы SITE и SITECHAN не созданы");
        return false;
    }
    if (!connection.tableExists("SITE") && !schema.createSite())
        return false;
    if (!connection.tableExists("SITECHAN")) {
        if (!schema.createSiteChan())
            return false;
        schema.completeIndexes("SITECHAN");
    }
    return true;
}

} // namespace orv::stationxml
