// The station and channel records: CSite over SITE and CSiteChan over SITECHAN.
//
// Each is opened on a connection that is already open, with a filter (a condition
// without the word WHERE). Opening reads a snapshot of every matching row; the rows are
// then read forward. Database errors are thrown as DatabaseError carrying the driver's
// text. CSiteChan also writes: a new row carries only the columns given a value, an
// edited row only the columns that changed; the depth and the coordinates of a channel
// are never written.
#pragma once

#include "odbc/odbc.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv::sitewright {

// A double column without a value reads as this.
inline constexpr double kNoValue = -9.123e19;
inline constexpr std::size_t kMaxBoundText = 255;
// Station, international and location codes: the width of their columns.
inline constexpr std::size_t kCodeChars = 8;

class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const std::string& driverText) : std::runtime_error(driverText) {}
};

// Throws DatabaseError with the statement's (or, failing that, the connection's) text.
[[noreturn]] void throwDatabaseError(orv::odbc::Statement* statement,
                                     orv::odbc::Connection& connection);

// Binds the parameters in marker order and runs the statement directly: the first failing
// result, or that of the execution. One exchange with the server where a prepared
// statement would take more (the station editor runs each statement once).
SQLRETURN execDirect(orv::odbc::Statement& statement, std::string_view sql,
                     const std::vector<orv::odbc::Parameter>& parameters);

struct SiteRow {
    std::string sta;
    std::string cod;
    int ngroups = 0;
    double elev = 0;
    double lat = 0;
    double lon = 0;
    std::string descr;
    orv::odbc::Timestamp lddate = orv::odbc::Timestamp::now();
    int nindex = 0;
    double deast = 0;
    double dnorth = 0;
    std::string refsta;
    std::string staname;
    std::string statype;
    std::string underground;
    std::string ondate;
    std::string offdate;
};

struct SiteChanRow {
    std::string sta;
    std::string chan;
    int ngroup = 0;
    std::optional<int> chanindex; // nullopt: the row has no component index
    double edeph = 0;
    double lat = 0;
    double lon = 0;
    double sps = 0;
    double hang = 0;
    double vang = 0;
    std::string descr;
    std::string calibfile;
    std::string lcode;
    orv::odbc::Timestamp lddate = orv::odbc::Timestamp::now();
};

// Forward reading of a snapshot of rows.
template <class Row> class RecordSet {
public:
    explicit RecordSet(orv::odbc::Connection& connection) : connection_(connection) {}

    // The condition and the values of its markers, in marker order.
    void setFilter(std::string filter, std::vector<orv::odbc::Parameter> parameters = {}) {
        filter_ = std::move(filter);
        parameters_ = std::move(parameters);
    }
    const std::string& filter() const { return filter_; }
    bool isOpen() const { return open_; }
    bool isEOF() const { return !open_ || position_ >= rows_.size(); }
    const Row& row() const { return rows_.at(position_); }
    Row& row() { return rows_.at(position_); }
    void moveNext() {
        if (position_ < rows_.size())
            ++position_;
    }
    void close() {
        open_ = false;
        rows_.clear();
        position_ = 0;
    }

protected:
    std::string whereClause() const;

    orv::odbc::Connection& connection_;
    std::string filter_;
    std::vector<orv::odbc::Parameter> parameters_;
    std::vector<Row> rows_;
    std::size_t position_ = 0;
    bool open_ = false;
};

class CSite : public RecordSet<SiteRow> {
public:
    using RecordSet::RecordSet;
    // The statement that open() runs.
    std::string selectStatement() const;
    void open();
};

class CSiteChan : public RecordSet<SiteChanRow> {
public:
    using RecordSet::RecordSet;

    // The name of the depth column on this connection: EDEPH, or EDEPTH where the table
    // has that one instead.
    std::string depthColumn();
    std::string selectStatement();
    void open();

    // Writing: addNew() or edit() (of the current row), set the fields of editRow(),
    // then update().
    void addNew();
    void edit();
    SiteChanRow& editRow() { return pending_; }
    void update();

private:
    enum class Mode { None, Adding, Editing } mode_ = Mode::None;
    SiteChanRow pending_;
    SiteChanRow original_;
    std::string depth_;
};

} // namespace orv::sitewright
