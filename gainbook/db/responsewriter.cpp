#include "db/responsewriter.h"

#include "db/connection.h"
#include "db/datetext.h"
#include "db/responsestatements.h"
#include "db/typedinput.h"
#include "formats/responsetext.h"
#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace orv::gainbook {

using orv::odbc::isError;
using orv::odbc::isSuccess;
using orv::odbc::Parameter;
using orv::odbc::Statement;
using orv::odbc::Timestamp;
using orv::ui::Buttons;
using orv::ui::Icon;

namespace {

constexpr const char* kRequiredFields =
    "Для занесения в базу необходимо заполнить поля Станция, Канал и Время!";
constexpr const char* kCalibMissing =
    "Поле CALIB не задано, равно нулю или так мало, что чувствительность SENS = 1000000000 / "
    "CALIB не может быть вычислена.";
constexpr const char* kTextTooLong =
    "Текст отклика длиннее 131071 символа и не может быть записан в базу целиком.";
constexpr const char* kTextMissing = "Текст отклика пуст: записывать нечего.";
constexpr const char* kNotWritten = "\r\nЗапись в базу не выполнена.";
constexpr const char* kWriteAction = "записи в базу";
constexpr const char* kWriteSuccess = "Запись прошла успешно!";
constexpr const char* kDirectCaption = "Запись информации в базу данных";
constexpr const char* kDialogCaption = "Запись информации в базу";
// The table every write of a response writes: its write lock is taken first.
constexpr const char* kResponseTable = "CALIBRATION";
constexpr const char* kUnknownErrorCaption = "Неизвестная ошибка";
constexpr const char* kOpenEnd = "до настоящего времени";
// The field as its label names it.
constexpr std::string_view kTimeField = "Время";

std::string storedForm(const std::string& text) {
    return orv::text::replaceAll(text, "\r\n", "|");
}

const char* insertStatement(const PreparedResponse& r, bool withEnd) {
    if (r.sac())
        return withEnd ? sql::kInsertSacClosed : sql::kInsertSacOpen;
    return withEnd ? sql::kInsertFapClosed : sql::kInsertFapOpen;
}

// The INSERT's parameters in column order; the end only when given.
std::vector<Parameter> insertParameters(const PreparedResponse& r, const Timestamp& start,
                                        const std::optional<Timestamp>& end,
                                        const Timestamp& loaded) {
    std::vector<Parameter> p = Parameter::codes({r.network, r.location, r.station, r.channel});
    p.push_back(Parameter::date(start));
    if (end)
        p.push_back(Parameter::date(*end));
    for (Parameter v : {Parameter::number(r.sens), Parameter::unitId(r.idSens),
                        Parameter::number(r.freq), Parameter::unitId(r.idFreq),
                        Parameter::longText(storedForm(r.text)), Parameter::date(loaded)})
        p.push_back(std::move(v));
    return p;
}

// Runs sql on a statement of its own (or the one a batch prepared for it). False, with the
// driver's message in diagnostic, when it fails or when no statement could be allocated.
bool runStatement(orv::odbc::Connection& connection, const char* sql,
                  const std::vector<Parameter>& parameters, std::string& diagnostic) {
    orv::odbc::PreparedStatement st(connection, sql);
    if (!isError(st.run(parameters)))
        return true;
    diagnostic = statementFailure(st.statement(), connection);
    return false;
}

// A query's first fetch: true for a row, false for none, nullopt (diagnostic set) when
// the query could not run.
std::optional<bool> anyRow(orv::odbc::Connection& connection, const char* sql,
                           const std::vector<Parameter>& parameters, std::string& diagnostic) {
    orv::odbc::PreparedStatement st(connection, sql);
    SQLRETURN rc = st.run(parameters);
    if (!isError(rc))
        rc = st->fetch();
    if (!isError(rc))
        return isSuccess(rc);
    diagnostic = statementFailure(st.statement(), connection);
    return std::nullopt;
}

std::string code(const std::string& value, const char* fallback) {
    return value.empty() ? std::string(fallback) : value;
}

// The success box; a network taken from the default is named with the key written, so
// that the row is looked for under it.
std::string successText(const PreparedResponse& r) {
    if (!r.networkDefaulted)
        return kWriteSuccess;
    return std::string(kWriteSuccess) + "\nСеть не указана, записано под сетью " + r.network +
           ": " + r.network + " " + r.station + " " + r.channel + " " + r.location;
}

// A commit the server kept without a synchronous standby's confirmation: neither a success
// nor a failure.
std::string unconfirmedText(const std::string& warning) {
    return orv::text::format(
               "Запись сохранена на основном сервере базы данных, но резервный сервер не "
               "подтвердил её за %lld с: пока он недоступен, запись есть только на основном "
               "сервере. Если этот сервер заменят другим до того, как резервный получит "
               "запись, она будет потеряна: проверьте её, когда резервный сервер вернётся.\r\n",
               static_cast<long long>(kCommitConfirmationBound.count())) +
           warning;
}

std::string namedInterval(const Timestamp& start, const std::optional<Timestamp>& end) {
    return intervalEntry({start, end});
}

// The success message's note on a new open interval ended where a kept later one begins.
std::string endedText(const StoredInterval& later) {
    return "\r\nНовый интервал закончен датой " + formatDateText(later.start) +
           ": с неё в базе начинается интервал " + namedInterval(later.start, later.end) + ".";
}

// The new interval overlaps the stored one.
std::string overlapText(const Timestamp& start, const Timestamp& end, const Timestamp& laterStart,
                        const std::optional<Timestamp>& laterEnd) {
    return "Новый интервал " + namedInterval(start, end) + " перекрывает интервал " +
           namedInterval(laterStart, laterEnd) + ", уже записанный в базе.";
}

// The new interval starts where a stored one the write keeps starts.
std::string sameStartText(const Timestamp& start, const std::optional<Timestamp>& end,
                          const StoredInterval& kept) {
    return "Новый интервал " + namedInterval(start, end) + " начинается там же, где интервал " +
           namedInterval(kept.start, kept.end) +
           ", уже записанный в базе: двух интервалов с одним началом таблица CALIBRATION не "
           "допускает.";
}

void refuse(orv::ui::Interaction& ui, const std::string& why) {
    ui.message(why + kNotWritten, "", Icon::Exclamation, Buttons::Ok);
}

// The first response of a key, inserted directly. The existence test is repeated with the
// insert in one serializable transaction: of two first writes of a key at once, one fails
// (or finds the other's row), rather than both inserting an open interval. nullopt when the
// key has rows by now.
std::optional<WriteOutcome> insertFirst(orv::odbc::Connection& connection, orv::ui::Interaction& ui,
                                        const PreparedResponse& r,
                                        const IntervalChoiceDialog::ExtraStep& alsoInTransaction) {
    std::string diagnostic;
    const auto failed = [&](const std::string& why) {
        ui.message(failureText(kWriteAction, why), kDirectCaption, Icon::Exclamation, Buttons::Ok);
        return WriteOutcome::Failed;
    };
    orv::odbc::Transaction tx(connection, orv::odbc::Transaction::Isolation::Serializable);
    if (!tx.begun())
        return failed(connection.diagnostic());
    if (!tx.lockForWriting(kResponseTable))
        return failed(tx.diagnostic());
    const auto exists =
        anyRow(connection, sql::kExistingIntervals,
               Parameter::codes({r.station, r.channel, r.network, r.location}), diagnostic);
    if (!exists) {
        tx.rollback();
        return failed(diagnostic);
    }
    if (*exists) {
        tx.rollback();
        return std::nullopt;
    }
    if (!runStatement(connection, insertStatement(r, r.end.has_value()),
                      insertParameters(r, r.start, r.end, r.loaded), diagnostic) ||
        (alsoInTransaction && !alsoInTransaction(diagnostic))) {
        tx.rollback();
        return failed(diagnostic);
    }
    // Success is reported only for a write that was committed and confirmed.
    const CommitOutcome committed = commitBounded(tx, connection);
    if (committed.result == CommitResult::Failed)
        return failed(committed.diagnostic);
    if (committed.result == CommitResult::Unconfirmed) {
        ui.message(unconfirmedText(committed.diagnostic), kDirectCaption, Icon::Exclamation,
                   Buttons::Ok);
        return WriteOutcome::Unconfirmed;
    }
    ui.message(successText(r), kDirectCaption, Icon::Information, Buttons::Ok);
    return WriteOutcome::Written;
}

} // namespace

std::string intervalEntry(const StoredInterval& interval) {
    return formatDateText(interval.start) + " / " +
           (interval.end ? formatDateText(*interval.end) : std::string(kOpenEnd));
}

IntervalFit fitInterval(const std::vector<StoredInterval>& laterOldestFirst, const Timestamp& start,
                        const std::optional<Timestamp>& end, const Timestamp& now) {
    IntervalFit fit;
    fit.end = end;
    for (const StoredInterval& stored : laterOldestFirst) {
        if (!(start < stored.start))
            continue;
        if (end) {
            // A closed interval: rows from its end on do not overlap it; rows within it are
            // deleted as covered when they end within it too.
            if (stored.start >= *end)
                break;
            if (stored.end && *stored.end <= *end)
                continue;
        } else if (stored.start <= now) {
            continue; // deleted as covered by the open interval
        }
        fit.kind = end ? IntervalFit::Kind::Overlaps : IntervalFit::Kind::EndsEarlier;
        fit.later = stored;
        if (!end)
            fit.end = stored.start;
        break;
    }
    return fit;
}

std::vector<StoredInterval>
intervalsAfterWrite(const std::vector<StoredInterval>& storedOldestFirst, const Timestamp& start,
                    const std::optional<Timestamp>& end, const Timestamp& now) {
    std::vector<StoredInterval> after;
    for (StoredInterval s : storedOldestFirst) {
        // kDeleteCoveredOpen, kDeleteCoveredClosed (an open row has no end BETWEEN anything).
        const bool covered =
            end ? start <= s.start && s.start <= *end && s.end && start <= *s.end && *s.end <= *end
                : start <= s.start && s.start <= now;
        if (covered)
            continue;
        // kCloseValidInterval.
        if (s.start < start && (!s.end || start < *s.end))
            s.end = start;
        after.push_back(s);
    }
    const StoredInterval added{start, fitInterval(storedOldestFirst, start, end, now).end};
    after.insert(std::upper_bound(after.begin(), after.end(), added,
                                  [](const StoredInterval& a, const StoredInterval& b) {
                                      return a.start < b.start;
                                  }),
                 added);
    return after;
}

std::optional<PreparedResponse> prepareResponse(const ResponseInput& in, orv::ui::Interaction& ui) {
    PreparedResponse r;
    r.network = code(in.network, kEmptyNetworkCode);
    r.networkDefaulted = in.network.empty();
    r.station = code(in.station, "");
    r.channel = code(in.channel, "");
    r.location = code(in.location, kEmptyLocationCode);
    // Read whole: a time longer than a date text or two is no date text.
    const std::string time = orv::text::trim(in.time);
    if (time.empty() || r.station.empty() || r.channel.empty()) {
        ui.message(kRequiredFields, "", Icon::Information, Buttons::Ok);
        return std::nullopt;
    }
    for (const auto& [field, value] :
         {std::pair{"Сеть", &r.network}, std::pair{"Станция", &r.station},
          std::pair{"Канал", &r.channel}, std::pair{"Расположение", &r.location}}) {
        if (const auto why = codeRefusal(field, *value)) {
            refuse(ui, *why);
            return std::nullopt;
        }
    }
    if (orv::text::trim(in.text).empty()) {
        refuse(ui, kTextMissing);
        return std::nullopt;
    }
    const TypedInterval interval = readTypedInterval(kTimeField, time);
    if (!interval.ok()) {
        refuse(ui, interval.error);
        return std::nullopt;
    }
    r.start = interval.start;
    r.end = interval.end;
    // An empty FREQ is 0, as it always was; anything else must be a number.
    if (!orv::text::trim(in.freq).empty()) {
        const TypedNumber freq = readTypedNumber(kFreqField, in.freq);
        if (!freq.value) {
            refuse(ui, freq.error);
            return std::nullopt;
        }
        r.freq = *freq.value;
    }
    if (orv::text::trim(in.calib).empty()) {
        refuse(ui, kCalibMissing);
        return std::nullopt;
    }
    const TypedNumber calib = readTypedNumber(kCalibField, in.calib);
    if (!calib.value) {
        refuse(ui, calib.error);
        return std::nullopt;
    }
    r.sens = 1000000000.0 / *calib.value;
    if (*calib.value == 0.0 || !std::isfinite(r.sens)) {
        refuse(ui, kCalibMissing);
        return std::nullopt;
    }
    if (!formats::fitsWorkingBuffer(in.text)) {
        refuse(ui, kTextTooLong);
        return std::nullopt;
    }
    r.idSens = in.sensUnit == "nm/counts*sec" ? 1 : in.sensUnit == "nm/counts*sec**2" ? 2 : 0;
    r.idFreq = in.freqUnit == "rad/sec" ? 1 : 0;
    r.text = in.text;
    r.kind = in.kind;
    r.loaded = nowToTheSecond();
    return r;
}

// --- IntervalChoiceDialog ----------------------------------------------------------------

IntervalChoiceDialog::IntervalChoiceDialog(orv::odbc::Connection& connection,
                                           orv::ui::Interaction& ui, PreparedResponse response)
    : connection_(connection), ui_(ui), response_(std::move(response)) {}

void IntervalChoiceDialog::initialise() {
    entries.clear();
    orv::odbc::PreparedStatement st(connection_, sql::kChoiceIntervals);
    if (st->valid()) {
        const SQLRETURN rc = st.run(Parameter::codes(
            {response_.network, response_.station, response_.channel, response_.location}));
        if (isError(rc)) {
            ui_.message(st->diagnostic(), kUnknownErrorCaption, Icon::Exclamation, Buttons::Ok);
        } else {
            SQLRETURN fetched = SQL_NO_DATA;
            while (isSuccess(fetched = st->fetch())) {
                const auto start = st->getTimestamp(1).value_or(Timestamp{0, 0, 0, 0, 0, 0});
                const auto end = st->getTimestamp(2);
                entries.push_back(intervalEntry({start, end}));
            }
            if (isError(fetched)) {
                entries.clear();
                ui_.message(st->diagnostic(), kUnknownErrorCaption, Icon::Exclamation, Buttons::Ok);
            }
        }
    }
    startEdit = formatDateText(response_.start);
    endEdit = response_.end ? formatDateText(*response_.end) : std::string();
}

void IntervalChoiceDialog::chooseEntry(int index) {
    if (index < 0 || index >= static_cast<int>(entries.size()))
        return;
    const std::string& entry = entries[static_cast<std::size_t>(index)];
    const auto slash = entry.find(" / ");
    startEdit = entry.substr(0, slash);
    endEdit = slash == std::string::npos || entry.find("до") != std::string::npos
                  ? std::string()
                  : entry.substr(slash + 3);
}

bool IntervalChoiceDialog::step(const char* sql, const std::vector<Parameter>& parameters) {
    std::string diagnostic;
    if (runStatement(connection_, sql, parameters, diagnostic))
        return true;
    ui_.message(failureText(kWriteAction, diagnostic), kDialogCaption, Icon::Exclamation,
                Buttons::Ok);
    return false;
}

IntervalChoiceDialog::Completion IntervalChoiceDialog::findIncomplete(const Timestamp& start) {
    const PreparedResponse& r = response_;
    std::vector<Parameter> p = Parameter::codes({r.network, r.station, r.channel, r.location});
    p.push_back(Parameter::date(start, true));
    std::string diagnostic;
    const auto found =
        anyRow(connection_, r.sac() ? sql::kCompletionSac : sql::kCompletionFap, p, diagnostic);
    if (!found) {
        // Unknown whether a row is to be completed: replacing it would lose its other text.
        ui_.message(diagnostic, kUnknownErrorCaption, Icon::Exclamation, Buttons::Ok);
        return Completion::Failed;
    }
    return *found ? Completion::Found : Completion::None;
}

std::optional<std::vector<StoredInterval>>
IntervalChoiceDialog::readIntervals(const char* sql, const std::vector<Parameter>& parameters) {
    std::vector<StoredInterval> rows;
    orv::odbc::PreparedStatement st(connection_, sql);
    SQLRETURN rc = st.run(parameters);
    while (!isError(rc)) {
        rc = st->fetch();
        if (!isSuccess(rc))
            break;
        if (const auto start = st->getTimestamp(1))
            rows.push_back({*start, st->getTimestamp(2)});
    }
    if (!isError(rc))
        return rows;
    ui_.message(failureText(kWriteAction, statementFailure(st.statement(), connection_)),
                kDialogCaption, Icon::Exclamation, Buttons::Ok);
    return std::nullopt;
}

std::optional<IntervalFit> IntervalChoiceDialog::fitLater(const Timestamp& now) {
    const PreparedResponse& r = response_;
    std::vector<Parameter> p = Parameter::codes({r.network, r.location, r.station, r.channel});
    p.push_back(Parameter::date(r.start));
    const auto later = readIntervals(sql::kLaterIntervals, p);
    if (!later)
        return std::nullopt;
    return fitInterval(*later, r.start, r.end, now);
}

bool IntervalChoiceDialog::replaceCovered(const Timestamp& now,
                                          const std::optional<Timestamp>& insertEnd) {
    const PreparedResponse& r = response_;
    const Timestamp& start = r.start;
    const std::vector<Parameter> key =
        Parameter::codes({r.network, r.location, r.station, r.channel});
    // 1. Delete the rows the new interval covers.
    std::vector<Parameter> covered = key;
    for (const Timestamp& d : r.end ? std::vector<Timestamp>{start, *r.end, start, *r.end}
                                    : std::vector<Timestamp>{start, now})
        covered.push_back(Parameter::date(d));
    bool ok = step(r.end ? sql::kDeleteCoveredClosed : sql::kDeleteCoveredOpen, covered);
    // 2. Close the interval valid at the new start. Each step runs even after a failure,
    // so that every failure is shown; the whole is rolled back then.
    std::vector<Parameter> close = {Parameter::date(start)};
    close.insert(close.end(), key.begin(), key.end());
    close.push_back(Parameter::date(start));
    close.push_back(Parameter::date(start));
    ok = step(sql::kCloseValidInterval, close) && ok;
    // 3. Insert the new row.
    return step(insertStatement(r, insertEnd.has_value()),
                insertParameters(r, start, insertEnd, now)) &&
           ok;
}

bool IntervalChoiceDialog::takeEdits() {
    const TypedInterval interval = readTypedInterval("STARTDATE", startEdit, "ENDDATE", endEdit);
    if (!interval.ok()) {
        editsRefused_ = true;
        ui_.message(interval.error + kNotWritten, kDialogCaption, Icon::Exclamation, Buttons::Ok);
        return false;
    }
    response_.start = interval.start;
    response_.end = interval.end;
    response_.loaded = nowToTheSecond();
    const PreparedResponse& r = response_;
    // A closed interval that would overlap a later stored one is asked about (or refused)
    // before the transaction: no lock is held while the user thinks.
    if (r.end) {
        const auto fit = fitLater(r.loaded);
        if (!fit)
            return false;
        if (fit->kind == IntervalFit::Kind::Overlaps) {
            const StoredInterval& later = *fit->later;
            const std::string overlapping = overlapText(r.start, *r.end, later.start, later.end);
            editsRefused_ = true;
            if (overlap == Overlap::Refuse) {
                ui_.message(overlapping + kNotWritten, kDialogCaption, Icon::Exclamation,
                            Buttons::Ok);
                return false;
            }
            if (!ui_.confirmChange(overlapping + "\r\nЗакончить новый интервал датой " +
                                       formatDateText(later.start) +
                                       ", началом записанного? (Нет: ничего не записывать)",
                                   kDialogCaption))
                return false;
            editsRefused_ = false;
            response_.end = later.start;
        }
    }
    return true;
}

bool IntervalChoiceDialog::writeRows(std::string& endedNote) {
    const PreparedResponse& r = response_;
    bool ok = false;
    switch (findIncomplete(r.start)) {
    case Completion::Found: {
        // The completed text is stored as it stands, its line breaks not replaced.
        std::vector<Parameter> p = {Parameter::longText(r.text), Parameter::number(r.sens),
                                    Parameter::number(r.freq)};
        for (Parameter c : Parameter::codes({r.network, r.location, r.station, r.channel}))
            p.push_back(std::move(c));
        p.push_back(Parameter::date(r.start));
        ok = completed_ = step(r.sac() ? sql::kCompleteSac : sql::kCompleteFap, p);
        break;
    }
    case Completion::None: {
        // The intervals are read again inside the transaction: another writer may have
        // added one since.
        const auto fit = fitLater(r.loaded);
        if (!fit)
            break;
        if (fit->kind == IntervalFit::Kind::Overlaps) {
            ui_.message(overlapText(r.start, *r.end, fit->later->start, fit->later->end) +
                            kNotWritten,
                        kDialogCaption, Icon::Exclamation, Buttons::Ok);
            break;
        }
        // A new open interval ends where the later stored one begins.
        if (fit->kind == IntervalFit::Kind::EndsEarlier)
            endedNote = endedText(*fit->later);
        ok = replaceCovered(r.loaded, fit->end);
        if (ok)
            response_.end = fit->end;
        break;
    }
    case Completion::Failed:
        break;
    }
    if (std::string diagnostic; ok && alsoInTransaction && !alsoInTransaction(diagnostic)) {
        ui_.message(failureText(kWriteAction, diagnostic), kDialogCaption, Icon::Exclamation,
                    Buttons::Ok);
        ok = false;
    }
    return ok;
}

bool IntervalChoiceDialog::commitAndTell(orv::odbc::Transaction& tx, const std::string& endedNote) {
    const PreparedResponse& r = response_;
    // Success is reported only for a write that was committed and confirmed.
    const CommitOutcome committed = commitBounded(tx, connection_);
    if (committed.result == CommitResult::Failed) {
        ui_.message(failureText(kWriteAction, committed.diagnostic), kDialogCaption,
                    Icon::Exclamation, Buttons::Ok);
        return false;
    }
    committed_ = true;
    unconfirmed_ = committed.result == CommitResult::Unconfirmed;
    if (unconfirmed_)
        ui_.message(unconfirmedText(committed.diagnostic), kDialogCaption, Icon::Exclamation,
                    Buttons::Ok);
    else
        ui_.message(successText(r) + endedNote, kDialogCaption, Icon::Information, Buttons::Ok);
    return true;
}

bool IntervalChoiceDialog::write() {
    committed_ = false;
    completed_ = false;
    unconfirmed_ = false;
    editsRefused_ = false;
    if (!takeEdits())
        return false;
    // Serializable: of two writers of the key at once, one fails rather than both fitting
    // their response into a history the other is changing.
    orv::odbc::Transaction tx(connection_, orv::odbc::Transaction::Isolation::Serializable);
    if (!tx.begun() || !tx.lockForWriting(kResponseTable)) {
        ui_.message(
            failureText(kWriteAction, tx.begun() ? tx.diagnostic() : connection_.diagnostic()),
            kDialogCaption, Icon::Exclamation, Buttons::Ok);
        return false;
    }

    std::string endedNote;
    if (!writeRows(endedNote)) {
        tx.rollback();
        return false;
    }
    return commitAndTell(tx, endedNote);
}

IntervalChoiceDialog::Preview IntervalChoiceDialog::preview() {
    Preview p;
    const PreparedResponse& r = response_;
    const Timestamp now = nowToTheSecond();
    auto stored = readIntervals(sql::kChoiceIntervals,
                                Parameter::codes({r.network, r.station, r.channel, r.location}));
    if (!stored)
        return p;
    std::reverse(stored->begin(), stored->end()); // oldest first
    // As write(): an overlapping closed interval is refused before anything else is read.
    const IntervalFit fit = fitInterval(*stored, r.start, r.end, now);
    if (fit.kind == IntervalFit::Kind::Overlaps) {
        ui_.message(overlapText(r.start, *r.end, fit.later->start, fit.later->end) + kNotWritten,
                    kDialogCaption, Icon::Exclamation, Buttons::Ok);
        p.kind = Preview::Kind::Refused;
        return p;
    }
    switch (findIncomplete(r.start)) {
    case Completion::Failed:
        return p;
    case Completion::Found:
        p.kind = Preview::Kind::Completes;
        return p;
    case Completion::None:
        break;
    }
    p.after = intervalsAfterWrite(*stored, r.start, r.end, now);
    // A row of the new start that the write keeps (neither covered nor completed): the
    // insert fails on the table's key, and the write leaves the rows as they were.
    const auto startsThen = [&](const StoredInterval& s) { return s.start == r.start; };
    const auto kept = std::find_if(stored->begin(), stored->end(), startsThen);
    if (kept != stored->end() && std::count_if(p.after.begin(), p.after.end(), startsThen) > 1) {
        ui_.message(sameStartText(r.start, r.end, *kept) + kNotWritten, kDialogCaption,
                    Icon::Exclamation, Buttons::Ok);
        p.kind = Preview::Kind::Refused;
        p.after.clear();
        return p;
    }
    p.kind = Preview::Kind::Writes;
    p.end = fit.end;
    if (fit.kind == IntervalFit::Kind::EndsEarlier)
        p.endedNote = endedText(*fit.later);
    p.before = std::move(*stored);
    return p;
}

// --- the write action ---------------------------------------------------------------------

WriteOutcome writeResponse(orv::odbc::Connection& connection, orv::ui::Interaction& ui,
                           const ResponseInput& input,
                           const std::function<bool(IntervalChoiceDialog&)>& runDialog,
                           PreparedResponse* written,
                           const IntervalChoiceDialog::ExtraStep& alsoInTransaction) {
    const auto prepared = prepareResponse(input, ui);
    if (!prepared)
        return WriteOutcome::Refused;
    if (written)
        *written = *prepared;
    const PreparedResponse& r = *prepared;

    std::string diagnostic;
    const auto exists =
        anyRow(connection, sql::kExistingIntervals,
               Parameter::codes({r.station, r.channel, r.network, r.location}), diagnostic);
    if (!exists) {
        ui.message(diagnostic, kUnknownErrorCaption, Icon::Exclamation, Buttons::Ok);
        return WriteOutcome::Failed;
    }
    if (!*exists) {
        if (const auto outcome = insertFirst(connection, ui, r, alsoInTransaction))
            return *outcome;
        // Another writer has given the key its first response meanwhile: this one is
        // fitted into that history as any other.
    }

    IntervalChoiceDialog dialog(connection, ui, r);
    dialog.alsoInTransaction = alsoInTransaction;
    dialog.initialise();
    if (!runDialog || !runDialog(dialog))
        return WriteOutcome::Cancelled;
    if (!dialog.lastWriteCommitted())
        return WriteOutcome::DialogFailed;
    if (written)
        *written = dialog.response();
    return dialog.lastWriteUnconfirmed() ? WriteOutcome::Unconfirmed : WriteOutcome::Written;
}

} // namespace orv::gainbook
