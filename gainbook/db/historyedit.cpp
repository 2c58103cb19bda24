#include "db/historyedit.h"

#include "db/connection.h"
#include "db/datetext.h"
#include "db/responsestatements.h"

namespace orv::gainbook {

using orv::odbc::isError;
using orv::odbc::isSuccess;
using orv::odbc::Parameter;
using orv::odbc::Statement;
using orv::odbc::Timestamp;

namespace {

// Runs a change; when the driver reports no changed row, the query `stored` (with the
// same key) tells whether the row is there already as asked or matched nothing.
EditResult change(orv::odbc::Connection& connection, const char* sql,
                  const std::vector<Parameter>& parameters, const char* stored,
                  const std::vector<Parameter>& storedParameters) {
    {
        Statement st(connection);
        if (isError(st.run(sql, parameters)))
            return {EditStatus::Failed, statementFailure(st, connection)};
        if (st.rowCount() > 0)
            return {EditStatus::Changed, {}};
    }
    Statement st(connection);
    SQLRETURN rc = st.run(stored, storedParameters);
    if (!isError(rc))
        rc = st.fetch();
    if (isError(rc))
        return {EditStatus::Failed, statementFailure(st, connection)};
    return {isSuccess(rc) ? EditStatus::Changed : EditStatus::NoRow, {}};
}

} // namespace

EditResult redateInterval(orv::odbc::Connection& connection, const StoredKey& key,
                          const Timestamp& oldStart, const std::optional<Timestamp>& oldEnd,
                          const Timestamp& newStart, const std::optional<Timestamp>& newEnd) {
    const char* sql = oldEnd ? (newEnd ? sql::kRedateClosed : sql::kRedateClosedToOpen)
                             : (newEnd ? sql::kRedateOpenToClosed : sql::kRedateOpen);
    std::vector<Parameter> where =
        Parameter::codes({key.station, key.channel, key.network, key.location});
    where.push_back(Parameter::date(oldStart));
    if (oldEnd)
        where.push_back(Parameter::date(*oldEnd));
    std::vector<Parameter> parameters = {Parameter::date(newStart)};
    if (newEnd)
        parameters.push_back(Parameter::date(*newEnd));
    parameters.insert(parameters.end(), where.begin(), where.end());
    return change(connection, sql, parameters,
                  oldEnd ? sql::kClosedIntervalStored : sql::kOpenIntervalStored, where);
}

EditResult deleteStored(orv::odbc::Connection& connection, const StoredKey& key,
                        const Timestamp& start, DeleteChoice choice) {
    std::vector<Parameter> parameters =
        Parameter::codes({key.station, key.network, key.channel, key.location});
    parameters.push_back(Parameter::date(start, true));
    const char* sql = choice == DeleteChoice::WholeRecord ? sql::kDeleteRecord
                      : choice == DeleteChoice::EmptySac  ? sql::kEmptySac
                                                          : sql::kEmptyFap;
    if (choice == DeleteChoice::WholeRecord) {
        // A deleted row is always counted; no row deleted is no row matched.
        Statement st(connection);
        if (isError(st.run(sql, parameters)))
            return {EditStatus::Failed, statementFailure(st, connection)};
        return {st.rowCount() == 0 ? EditStatus::NoRow : EditStatus::Changed, {}};
    }
    return change(connection, sql, parameters, sql::kRecordStored, parameters);
}

namespace {

template <typename ReadRow>
ListRead readList(orv::odbc::Connection& connection, const char* sql,
                  std::initializer_list<std::string_view> codes, ReadRow readRow) {
    ListRead out;
    Statement st(connection);
    if (!st.valid())
        return out;
    out.allocated = true;
    const SQLRETURN rc =
        codes.size() == 0 ? st.execDirect(sql) : st.run(sql, Parameter::codes(codes));
    if (isError(rc)) {
        out.diagnostic = st.diagnostic();
        return out;
    }
    SQLRETURN fetched = SQL_NO_DATA;
    while (isSuccess(fetched = st.fetch()))
        out.values.push_back(readRow(st));
    // A failed fetch fails the read: a part of a list would pass for the whole.
    if (isError(fetched)) {
        out.diagnostic = st.diagnostic();
        out.values.clear();
        return out;
    }
    out.executed = true;
    return out;
}

} // namespace

ListRead readCodes(orv::odbc::Connection& connection, const char* sql,
                   std::initializer_list<std::string_view> codes) {
    return readList(connection, sql, codes, [](Statement& st) {
        return st.getText(1, kMaxCodeChars).value_or(std::string());
    });
}

ListRead readIntervals(orv::odbc::Connection& connection, const char* sql,
                       std::initializer_list<std::string_view> codes, std::string_view openEnd) {
    return readList(connection, sql, codes, [openEnd](Statement& st) {
        const Timestamp start = st.getTimestamp(1).value_or(Timestamp{0, 0, 0, 0, 0, 0});
        const std::optional<Timestamp> end = st.getTimestamp(2);
        return formatDateText(start) + " / " + (end ? formatDateText(*end) : std::string(openEnd));
    });
}

} // namespace orv::gainbook
