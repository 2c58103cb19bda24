#include "core/records.h"

#include "core/sql.h"
#include "text/text.h"

#include <cmath>

namespace orv::sitewright {

using orv::odbc::Statement;
using orv::text::format;

void throwDatabaseError(Statement* statement, orv::odbc::Connection& connection) {
    std::string why = statement ? statement->diagnostic() : std::string();
    if (why.empty())
        why = connection.diagnostic();
    if (why.empty())
        why = "Ошибка базы данных";
    throw DatabaseError(why);
}

SQLRETURN execDirect(Statement& statement, std::string_view sql,
                     const std::vector<orv::odbc::Parameter>& parameters) {
    for (const orv::odbc::Parameter& p : parameters)
        if (const SQLRETURN rc = statement.bind(p); orv::odbc::isError(rc))
            return rc;
    return statement.execDirect(sql);
}

template <class Row> std::string RecordSet<Row>::whereClause() const {
    return filter_.empty() ? std::string() : format(sql::kWhere, filter_.c_str());
}

template class RecordSet<SiteRow>;
template class RecordSet<SiteChanRow>;

namespace {

std::string textOf(Statement& st, SQLUSMALLINT column) {
    return orv::text::truncateChars(st.getText(column).value_or(""), kMaxBoundText);
}
double doubleOf(Statement& st, SQLUSMALLINT column) {
    return st.getDouble(column).value_or(kNoValue);
}
int intOf(Statement& st, SQLUSMALLINT column) {
    return static_cast<int>(st.getInteger(column).value_or(0));
}
std::optional<int> optionalIntOf(Statement& st, SQLUSMALLINT column) {
    if (const auto v = st.getInteger(column))
        return static_cast<int>(*v);
    return std::nullopt;
}
orv::odbc::Timestamp timeOf(Statement& st, SQLUSMALLINT column) {
    return st.getTimestamp(column).value_or(orv::odbc::Timestamp{});
}

bool isSet(double value) {
    return value != kNoValue;
}

// Runs a select and reads every row at once (a static snapshot, read forward later).
template <class Row, class ReadRow>
void readSnapshot(orv::odbc::Connection& connection, const std::string& sql,
                  const std::vector<orv::odbc::Parameter>& parameters, std::vector<Row>& rows,
                  ReadRow readRow) {
    Statement st(connection);
    if (!st.valid())
        throwDatabaseError(nullptr, connection);
    if (orv::odbc::isError(execDirect(st, sql, parameters)))
        throwDatabaseError(&st, connection);
    for (;;) {
        const SQLRETURN rc = st.fetch();
        if (rc == SQL_NO_DATA)
            break;
        if (orv::odbc::isError(rc))
            throwDatabaseError(&st, connection);
        rows.push_back(readRow(st));
    }
}

} // namespace

// --- CSite -------------------------------------------------------------------------

std::string CSite::selectStatement() const {
    return format(sql::kSiteSelect, whereClause().c_str());
}

void CSite::open() {
    close();
    readSnapshot(connection_, selectStatement(), parameters_, rows_, [](Statement& st) {
        SiteRow r;
        r.sta = textOf(st, 1);
        r.cod = textOf(st, 2);
        r.ngroups = intOf(st, 3);
        r.elev = doubleOf(st, 4);
        r.lat = doubleOf(st, 5);
        r.lon = doubleOf(st, 6);
        r.descr = textOf(st, 7);
        r.lddate = timeOf(st, 8);
        r.nindex = intOf(st, 9);
        r.deast = doubleOf(st, 10);
        r.dnorth = doubleOf(st, 11);
        r.refsta = textOf(st, 12);
        r.staname = textOf(st, 13);
        r.statype = textOf(st, 14);
        r.underground = textOf(st, 15);
        r.ondate = textOf(st, 16);
        r.offdate = textOf(st, 17);
        return r;
    });
    open_ = true;
}

// --- CSiteChan ---------------------------------------------------------------------

std::string CSiteChan::depthColumn() {
    if (depth_.empty()) {
        depth_ = "EDEPH";
        if (!connection_.columnExists("SITECHAN", "EDEPH") &&
            connection_.columnExists("SITECHAN", "EDEPTH"))
            depth_ = "EDEPTH";
    }
    return depth_;
}

std::string CSiteChan::selectStatement() {
    return format(sql::kSiteChanSelect, depthColumn().c_str(), whereClause().c_str());
}

void CSiteChan::open() {
    close();
    readSnapshot(connection_, selectStatement(), parameters_, rows_, [](Statement& st) {
        SiteChanRow r;
        r.sta = textOf(st, 1);
        r.chan = textOf(st, 2);
        r.ngroup = intOf(st, 3);
        r.chanindex = optionalIntOf(st, 4);
        r.edeph = doubleOf(st, 5);
        r.lat = doubleOf(st, 6);
        r.lon = doubleOf(st, 7);
        r.sps = doubleOf(st, 8);
        r.hang = doubleOf(st, 9);
        r.vang = doubleOf(st, 10);
        r.descr = textOf(st, 11);
        r.calibfile = textOf(st, 12);
        r.lcode = textOf(st, 13);
        r.lddate = timeOf(st, 14);
        return r;
    });
    open_ = true;
    mode_ = Mode::None;
}

void CSiteChan::addNew() {
    // A new row starts without values: empty texts, numbers without value.
    pending_ = SiteChanRow{};
    pending_.edeph = pending_.lat = pending_.lon = kNoValue;
    pending_.sps = pending_.hang = pending_.vang = kNoValue;
    original_ = pending_;
    mode_ = Mode::Adding;
}

void CSiteChan::edit() {
    if (isEOF())
        throw DatabaseError("Нет текущей записи для изменения");
    pending_ = row();
    original_ = pending_;
    mode_ = Mode::Editing;
}

namespace {

// One column of a write: its name and how to bind its value. A column without a value
// (an empty text, a number without value) is written as NULL, without a marker.
struct Column {
    std::string name;
    enum class Kind { Text, Integer, Double, Date } kind;
    std::string text;
    long integer = 0;
    double number = 0;
    orv::odbc::Timestamp date;
    bool null = false;
};

void bindColumn(Statement& st, const Column& c) {
    switch (c.kind) {
    case Column::Kind::Text:
        st.bindText(c.text);
        break;
    case Column::Kind::Integer:
        st.bindInteger(c.integer);
        break;
    case Column::Kind::Double:
        st.bindNumber(c.number);
        break;
    case Column::Kind::Date:
        st.bindDate(c.date);
        break;
    }
}

} // namespace

void CSiteChan::update() {
    if (mode_ == Mode::None)
        throw DatabaseError("Запись не открыта для изменения");
    const bool adding = mode_ == Mode::Adding;
    const SiteChanRow& p = pending_;
    const SiteChanRow& o = original_;
    std::vector<Column> columns;
    auto text = [&](const char* name, const std::string& now, const std::string& before) {
        if (adding ? !now.empty() : now != before)
            columns.push_back({name, Column::Kind::Text, now, 0, 0, {}, now.empty()});
    };
    auto integer = [&](const char* name, std::optional<int> now, std::optional<int> before) {
        if (adding ? now.has_value() : now != before)
            columns.push_back({name, Column::Kind::Integer, {}, now.value_or(0), 0, {}, !now});
    };
    auto number = [&](const char* name, double now, double before) {
        if (adding ? isSet(now) : now != before)
            columns.push_back({name, Column::Kind::Double, {}, 0, now, {}, !isSet(now)});
    };
    text("STA", p.sta, o.sta);
    text("CHAN", p.chan, o.chan);
    integer("NGROUP", p.ngroup, o.ngroup);
    integer("CHANINDEX", p.chanindex, o.chanindex);
    number("SPS", p.sps, o.sps);
    number("HANG", p.hang, o.hang);
    number("VANG", p.vang, o.vang);
    text("DESCR", p.descr, o.descr);
    text("CALIBFILE", p.calibfile, o.calibfile);
    text("LCODE", p.lcode, o.lcode);
    if (adding || p.lddate != o.lddate)
        columns.push_back({"LDDATE", Column::Kind::Date, {}, 0, 0, p.lddate, false});

    mode_ = Mode::None;
    if (columns.empty())
        return;

    std::string names;
    std::string markers;
    for (const Column& c : columns) {
        if (adding) {
            names += (names.empty() ? "" : ",") + c.name;
            markers += markers.empty() ? "?" : ",?";
        } else {
            names += (names.empty() ? "" : ",") + c.name + (c.null ? "=NULL" : "=?");
        }
    }
    const std::string statement =
        adding ? format(sql::kSiteChanInsert, names.c_str(), markers.c_str())
               : format(o.chanindex ? sql::kSiteChanUpdate : sql::kSiteChanUpdateNoIndex,
                        names.c_str());
    Statement st(connection_);
    if (!st.valid())
        throwDatabaseError(nullptr, connection_);
    if (orv::odbc::isError(st.prepare(statement)))
        throwDatabaseError(&st, connection_);
    for (const Column& c : columns) {
        if (!c.null)
            bindColumn(st, c);
    }
    if (!adding) {
        st.bindText(o.sta);
        st.bindText(o.chan);
        st.bindInteger(o.ngroup);
        if (o.chanindex)
            st.bindInteger(*o.chanindex);
    }
    if (orv::odbc::isError(st.execute()))
        throwDatabaseError(&st, connection_);
    if (!adding) {
        rows_.at(position_) = pending_;
    } else {
        rows_.push_back(pending_);
    }
}

} // namespace orv::sitewright
