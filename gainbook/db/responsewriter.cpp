#include "responsewriter.h"

#include "connection.h"
#include "datetext.h"
#include "responsestatements.h"
#include "text/text.h"

#include <cmath>

namespace orv::gainbook {

using orv::odbc::isError;
using orv::odbc::isSuccess;
using orv::odbc::Statement;
using orv::odbc::Timestamp;
using orv::ui::Buttons;
using orv::ui::Icon;

namespace {

constexpr const char* kRequiredFields =
    "Для занесения в базу необходимо заполнить поля Станция, Канал и Время!";
constexpr const char* kCalibMissing =
    "Поле CALIB не задано или равно нулю: чувствительность SENS = 1000000000 / CALIB не может "
    "быть вычислена.\r\nЗапись в базу не выполнена.";
constexpr const char* kTextTooLong =
    "Текст отклика длиннее 131071 символа и не может быть записан в базу целиком.\r\nЗапись в "
    "базу не выполнена.";
constexpr const char* kWriteAction = "записи в базу";
constexpr const char* kWriteSuccess = "Запись прошла успешно!";
constexpr const char* kDirectCaption = "Запись информации в базу данных";
constexpr const char* kDialogCaption = "Запись информации в базу";
constexpr const char* kUnknownErrorCaption = "Неизвестная ошибка";
constexpr const char* kOpenEnd = "до настоящего времени";

std::string storedForm(const std::string& text) {
    return orv::text::replaceAll(text, "\r\n", "|");
}

const char* insertStatement(const PreparedResponse& r, bool withEnd) {
    if (r.sac())
        return withEnd ? sql::kInsertSacClosed : sql::kInsertSacOpen;
    return withEnd ? sql::kInsertFapClosed : sql::kInsertFapOpen;
}

// Prepares and binds the INSERT of the response; the end is bound only when given.
SQLRETURN prepareInsert(Statement& st, const PreparedResponse& r, const Timestamp& start,
                        const std::optional<Timestamp>& end, const Timestamp& loaded) {
    const SQLRETURN rc = st.prepare(insertStatement(r, end.has_value()));
    st.bindCode(r.network);
    st.bindCode(r.location);
    st.bindCode(r.station);
    st.bindCode(r.channel);
    st.bindDate(start);
    if (end)
        st.bindDate(*end);
    st.bindNumber(r.sens);
    st.bindUnitId(r.idSens);
    st.bindNumber(r.freq);
    st.bindUnitId(r.idFreq);
    st.bindLongText(storedForm(r.text));
    st.bindDate(loaded);
    return rc;
}

std::string code(const std::string& value, const char* fallback) {
    const std::string v = orv::text::truncateChars(value, kMaxCodeChars);
    return v.empty() ? std::string(fallback) : v;
}

} // namespace

std::optional<PreparedResponse> prepareResponse(const ResponseInput& in, orv::ui::Interaction& ui) {
    PreparedResponse r;
    r.network = code(in.network, "XYN");
    r.station = code(in.station, "");
    r.channel = code(in.channel, "");
    r.location = code(in.location, "??");
    const std::string time = orv::text::truncateChars(in.time, 41);
    if (time.empty() || r.station.empty() || r.channel.empty()) {
        ui.message(kRequiredFields, "", Icon::Information, Buttons::Ok);
        return std::nullopt;
    }
    if (const auto slash = time.find(" / "); slash != std::string::npos) {
        r.start = parseDateText(time.substr(0, slash));
        r.end = parseDateText(time.substr(slash + 3));
    } else {
        r.start = parseDateText(time);
    }
    const double calib = orv::text::toDouble(in.calib);
    if (calib == 0.0 || !std::isfinite(calib)) {
        ui.message(kCalibMissing, "", Icon::Exclamation, Buttons::Ok);
        return std::nullopt;
    }
    if (in.text.size() > kMaxResponseTextBytes) {
        ui.message(kTextTooLong, "", Icon::Exclamation, Buttons::Ok);
        return std::nullopt;
    }
    r.sens = 1000000000.0 / calib;
    r.freq = orv::text::toDouble(in.freq);
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
    Statement st(connection_);
    if (st.valid()) {
        const SQLRETURN rc =
            st.executeWithCodes(sql::kChoiceIntervals, {response_.network, response_.station,
                                                        response_.channel, response_.location});
        if (isError(rc)) {
            ui_.message(st.diagnostic(), kUnknownErrorCaption, Icon::Exclamation, Buttons::Ok);
        } else {
            while (isSuccess(st.fetch())) {
                const auto start = st.getTimestamp(1).value_or(Timestamp{0, 0, 0, 0, 0, 0});
                const auto end = st.getTimestamp(2);
                entries.push_back(formatDateText(start) + " / " +
                                  (end ? formatDateText(*end) : std::string(kOpenEnd)));
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

bool IntervalChoiceDialog::run(Statement& st, SQLRETURN prepared, bool& failed) {
    SQLRETURN rc = prepared;
    if (!isError(rc))
        rc = st.execute();
    if (isError(rc)) {
        ui_.message(failureText(kWriteAction, st.diagnostic()), kDialogCaption, Icon::Exclamation, Buttons::Ok);
        failed = true;
        return false;
    }
    return true;
}

bool IntervalChoiceDialog::complete(const Timestamp& start, bool& failed) {
    Statement st(connection_);
    if (!st.valid())
        return false;
    SQLRETURN rc = st.prepare(response_.sac() ? sql::kCompletionSac : sql::kCompletionFap);
    st.bindCode(response_.network);
    st.bindCode(response_.station);
    st.bindCode(response_.channel);
    st.bindCode(response_.location);
    st.bindDate(start, true);
    if (!isError(rc))
        rc = st.execute();
    if (isError(rc)) {
        ui_.message(st.diagnostic(), kUnknownErrorCaption, Icon::Exclamation, Buttons::Ok);
        return false;
    }
    if (!isSuccess(st.fetch()))
        return false;
    st.closeCursor();

    Statement update(connection_);
    if (!update.valid())
        return true;
    rc = update.prepare(response_.sac() ? sql::kCompleteSac : sql::kCompleteFap);
    // The completed text is stored as it stands, its line breaks not replaced.
    update.bindLongText(response_.text);
    update.bindNumber(response_.sens);
    update.bindNumber(response_.freq);
    update.bindCode(response_.network);
    update.bindCode(response_.location);
    update.bindCode(response_.station);
    update.bindCode(response_.channel);
    update.bindDate(start);
    run(update, rc, failed);
    return true;
}

bool IntervalChoiceDialog::write() {
    committed_ = false;
    orv::odbc::Transaction tx(connection_);
    if (!tx.begun()) {
        ui_.message(failureText(kWriteAction, connection_.diagnostic()), kDialogCaption, Icon::Exclamation,
                    Buttons::Ok);
        return false;
    }
    bool failed = false;
    const Timestamp now = nowToTheSecond();
    const Timestamp start = parseDateText(startEdit);
    const bool open = endEdit.empty();
    const std::optional<Timestamp> end =
        open ? std::nullopt : std::optional<Timestamp>(parseDateText(endEdit));
    const PreparedResponse& r = response_;

    if (!complete(start, failed)) {
        // 1. Delete the rows the new interval covers.
        if (Statement st(connection_); st.valid()) {
            SQLRETURN rc = st.prepare(open ? sql::kDeleteCoveredOpen : sql::kDeleteCoveredClosed);
            st.bindCode(r.network);
            st.bindCode(r.location);
            st.bindCode(r.station);
            st.bindCode(r.channel);
            st.bindDate(start);
            if (open) {
                st.bindDate(now);
            } else {
                st.bindDate(*end);
                st.bindDate(start);
                st.bindDate(*end);
            }
            run(st, rc, failed);
        }
        // 2. Close the interval valid at the new start.
        if (Statement st(connection_); st.valid()) {
            SQLRETURN rc = st.prepare(sql::kCloseValidInterval);
            st.bindDate(start);
            st.bindCode(r.network);
            st.bindCode(r.location);
            st.bindCode(r.station);
            st.bindCode(r.channel);
            st.bindDate(start);
            st.bindDate(start);
            run(st, rc, failed);
        }
        // 3. Insert the new row.
        if (Statement st(connection_); st.valid())
            run(st, prepareInsert(st, r, start, end, now), failed);
    }

    if (failed) {
        tx.rollback();
        return false;
    }
    // Success is reported only for a write that was committed.
    if (isError(tx.commit())) {
        ui_.message(failureText(kWriteAction, connection_.diagnostic()), kDialogCaption, Icon::Exclamation,
                    Buttons::Ok);
        return false;
    }
    committed_ = true;
    ui_.message(kWriteSuccess, kDialogCaption, Icon::Information, Buttons::Ok);
    return true;
}

// --- the write action ---------------------------------------------------------------------

WriteOutcome writeResponse(orv::odbc::Connection& connection, orv::ui::Interaction& ui,
                           const ResponseInput& input,
                           const std::function<bool(IntervalChoiceDialog&)>& runDialog,
                           PreparedResponse* written) {
    const auto prepared = prepareResponse(input, ui);
    if (!prepared)
        return WriteOutcome::Refused;
    if (written)
        *written = *prepared;
    const PreparedResponse& r = *prepared;

    bool exists = false;
    {
        Statement st(connection);
        if (!st.valid())
            return WriteOutcome::Failed;
        const SQLRETURN rc = st.executeWithCodes(sql::kExistingIntervals,
                                                 {r.station, r.channel, r.network, r.location});
        if (isError(rc)) {
            ui.message(st.diagnostic(), kUnknownErrorCaption, Icon::Exclamation, Buttons::Ok);
            return WriteOutcome::Failed;
        }
        exists = isSuccess(st.fetch());
    }

    if (exists) {
        IntervalChoiceDialog dialog(connection, ui, r);
        dialog.initialise();
        if (!runDialog || !runDialog(dialog))
            return WriteOutcome::Cancelled;
        if (written) {
            written->start = parseDateText(dialog.startEdit);
            written->end = dialog.endEdit.empty()
                               ? std::nullopt
                               : std::optional<Timestamp>(parseDateText(dialog.endEdit));
        }
        return dialog.lastWriteCommitted() ? WriteOutcome::Written : WriteOutcome::DialogFailed;
    }

    Statement st(connection);
    if (!st.valid())
        return WriteOutcome::Failed;
    SQLRETURN rc = prepareInsert(st, r, r.start, r.end, r.loaded);
    if (!isError(rc))
        rc = st.execute();
    if (isError(rc)) {
        ui.message(failureText(kWriteAction, st.diagnostic()), kDirectCaption, Icon::Exclamation, Buttons::Ok);
        return WriteOutcome::Failed;
    }
    ui.message(kWriteSuccess, kDirectCaption, Icon::Information, Buttons::Ok);
    return WriteOutcome::Written;
}

} // namespace orv::gainbook
