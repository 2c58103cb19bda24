// A thin RAII layer over the ODBC 3 call interface, shared by both editors.
//
// It keeps the order of calls visible (allocate, prepare, bind, execute, fetch, close,
// free) and returns the driver's result codes unchanged, so that each program puts its
// own error semantics on top: the station editor turns database errors into exceptions
// carrying the driver's text, the response editor counts only SQL_ERROR as failure.
//
// Dates: the SQLite driver stores a bound timestamp as "YYYY-MM-DD HH:MM:SS.000" but a
// literal as "YYYY-MM-DD HH:MM:SS", and compares them as text. On SQLite every bound
// date is therefore passed as the text "YYYY-MM-DD HH:MM:SS", the form literals take,
// so that a bound date finds rows written by either.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <ctime>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orv::odbc {

inline bool isError(SQLRETURN rc) {
    return rc == SQL_ERROR || rc == SQL_INVALID_HANDLE;
}
inline bool isSuccess(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// The message text of diagnostic record 1 of a handle ("" when there is none).
std::string diagnostic(SQLSMALLINT handleType, SQLHANDLE handle);

// Diagnostic record 1 of a handle whole: the SQLSTATE ("" when there is no record), the
// driver's or server's own error number and the message text.
struct DiagnosticRecord {
    std::string state;
    long native = 0;
    std::string message;
};
DiagnosticRecord diagnosticRecord(SQLSMALLINT handleType, SQLHANDLE handle);

// A date and time of day, to the second.
struct Timestamp {
    int year = 1900;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    static Timestamp fromTm(const std::tm& tm);
    static Timestamp now();
    std::tm toTm() const;
    // "YYYY-MM-DD HH:MM:SS"
    std::string toSqlText() const;
    // ISO 8601, "YYYY-MM-DDTHH:MM:SS" (StationXML and the service's texts add "Z").
    std::string toIsoText() const;
    // A date and time that exist: year 1-9999, month 1-12, a day of that month (leap
    // years by the Gregorian rule), hour 0-23, minute and second 0-59.
    bool isValid() const;
    auto operator<=>(const Timestamp&) const = default;
};

// Environment handle with ODBC version 3 set.
class Environment {
public:
    Environment();
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    bool valid() const { return handle_ != SQL_NULL_HENV; }
    SQLHENV handle() const { return handle_; }

private:
    SQLHENV handle_ = SQL_NULL_HENV;
};

struct DataSource {
    std::string name;
    std::string description;
};

// The data sources the driver manager knows: system ones (SQL_FETCH_FIRST_SYSTEM) or
// user ones (SQL_FETCH_FIRST_USER), in the order it lists them.
std::vector<DataSource> listDataSources(Environment& env, bool system);

class Statement;

// One connection with an environment of its own.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // True when both handles could be allocated.
    bool allocated() const { return dbc_ != SQL_NULL_HDBC; }
    bool isOpen() const { return open_; }

    // SQLConnect with data source, user and password.
    SQLRETURN connect(std::string_view dsn, std::string_view user, std::string_view password);
    // SQLDriverConnect without prompting ("DSN=...;UID=...;PWD=...;").
    SQLRETURN driverConnect(std::string_view connectString);
    // Disconnects; the handles stay allocated and the object can connect again.
    void disconnect();

    // Diagnostic record 1 of the connection handle.
    std::string diagnostic() const;
    DiagnosticRecord diagnosticRecord() const;

    // SQLGetInfo(SQL_DBMS_NAME) read into a buffer of bufferSize bytes; nullopt when the
    // call fails.
    std::optional<std::string> dbmsName(std::size_t bufferSize = 256) const;
    // True when the driver is the SQLite one (dates then travel as text).
    bool isSQLite() const { return sqlite_; }

    SQLRETURN setAutocommit(bool on);
    SQLRETURN endTransaction(bool commit);

    // The database the connection works in (SQL_ATTR_CURRENT_CATALOG); "" when the driver
    // has none. Catalog calls are limited to it: without it the MariaDB driver lists the
    // tables of every database on the server.
    std::string currentCatalog() const;

    // Catalog tests, in the current catalog. A table name is a search pattern ("_" matches
    // any one character); a column name is compared without regard to case.
    //
    // The connection remembers what it has learnt: a table found, and the columns of a
    // table once listed (one SQLColumns call for all of them). A table not found is asked
    // for again next time, since another program may create it. What is remembered is
    // forgotten when a statement on this connection changes the schema (one that begins
    // with CREATE, ALTER, DROP or RENAME), when a transaction is rolled back, and at
    // disconnection; a column another program adds meanwhile is seen on the next
    // connection.
    bool tableExists(std::string_view table);
    bool columnExists(std::string_view table, std::string_view column);
    // TYPE_NAME of the column as the driver reports it (result column 6 of SQLColumns),
    // read into a buffer of 128 bytes; nullopt when the column is not found.
    std::optional<std::string> columnTypeName(std::string_view table, std::string_view column);
    // Forgets what the catalog calls have taught the connection.
    void forgetCatalog();

    // While on, a PreparedStatement of a text is prepared once and executed again with new
    // parameters each time (a batch of writes saves parsing and planning); off, each is a
    // statement of its own. Kept statements are freed when it is switched off, when a
    // statement changes the schema, and at disconnection.
    void keepPreparedStatements(bool keep);
    // Called with every statement text run on the connection: one that changes the schema
    // makes it forget.
    void noteStatement(std::string_view sql);

    SQLHENV environmentHandle() const { return env_.handle(); }
    SQLHDBC handle() const { return dbc_; }

private:
    friend class PreparedStatement;
    friend class Transaction;
    void afterConnect();
    // The columns of a table (upper-case name -> type name); nullopt when the table has
    // none or the call fails.
    std::optional<std::map<std::string, std::string>> listColumns(std::string_view table);

    Environment env_;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool open_ = false;
    bool sqlite_ = false;
    // What the catalog calls have taught, by upper-case table name.
    std::set<std::string> knownTables_;
    std::map<std::string, std::map<std::string, std::string>> knownColumns_;
    mutable std::optional<std::string> catalog_;
    bool keepPrepared_ = false;
    // How many Transaction objects are open on the connection, one inside the other.
    int transactionLevel_ = 0;
    // Prepared statements kept for reuse, by text; shared with the PreparedStatement that
    // has one lent.
    std::map<std::string, std::shared_ptr<Statement>, std::less<>> prepared_;
};

// One input parameter of the kinds Statement binds (see there), for Statement::run.
class Parameter {
public:
    static Parameter code(std::string_view value) { return {Kind::Code, value}; }
    // One code parameter per value, in order.
    static std::vector<Parameter> codes(std::initializer_list<std::string_view> values);
    static Parameter fileName(std::string_view value) { return {Kind::FileName, value}; }
    static Parameter unitName(std::string_view value) { return {Kind::UnitName, value}; }
    static Parameter longText(std::string_view value) { return {Kind::LongText, value}; }
    static Parameter text(std::string_view value) { return {Kind::Text, value}; }
    static Parameter date(const Timestamp& value, bool legacyType = false);
    static Parameter number(double value);
    static Parameter unitId(short value);
    static Parameter integer(long value);

private:
    friend class Statement;
    enum class Kind {
        Code,
        FileName,
        UnitName,
        LongText,
        Text,
        Date,
        LegacyDate,
        Number,
        UnitId,
        Integer
    };
    Parameter(Kind kind, std::string_view value) : kind_(kind), text_(value) {}
    explicit Parameter(Kind kind) : kind_(kind) {}

    Kind kind_;
    std::string text_;
    Timestamp date_;
    double number_ = 0;
    long integer_ = 0;
};

// One statement handle, allocated on an open connection and freed with the object.
// Parameter values are copied and kept alive until the parameters are reset.
class Statement {
public:
    explicit Statement(Connection& connection);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool valid() const { return stmt_ != SQL_NULL_HSTMT; }
    SQLHSTMT handle() const { return stmt_; }
    std::string diagnostic() const;

    SQLRETURN execDirect(std::string_view sql);
    SQLRETURN prepare(std::string_view sql);
    SQLRETURN execute();

    // Parameter kinds, bound in the order of the markers (1, 2, ...).
    // Codes: NETWORK, STA, CHAN, LOCATION (VARCHAR, column size 8).
    SQLRETURN bindCode(std::string_view value);
    // File names: CALIBFILE (VARCHAR, column size 64).
    SQLRETURN bindFileName(std::string_view value);
    // Unit names: SENS_UNITS, CALIB_UNITS, FREQ_UNITS (VARCHAR, column size 50).
    SQLRETURN bindUnitName(std::string_view value);
    // Dates: STARTDATE, ENDDATE, LDDATE (TIMESTAMP, column size 19). legacyType gives the
    // older SQL type SQL_TIMESTAMP that some statements use.
    SQLRETURN bindDate(const Timestamp& value, bool legacyType = false);
    // Numbers: SENS, FREQ (DOUBLE).
    SQLRETURN bindNumber(double value);
    // Unit ids: ID_SENS, ID_FREQ (16-bit value, INTEGER column).
    SQLRETURN bindUnitId(short value);
    // Response texts: SAC, FAP (LONGVARCHAR, column size 131072).
    SQLRETURN bindLongText(std::string_view value);
    // A plain integer (32 bits) and a general text, for statements outside those kinds.
    SQLRETURN bindInteger(long value);
    SQLRETURN bindText(std::string_view value);
    SQLRETURN bind(const Parameter& parameter);
    void resetParameters();
    // Prepares sql, binds the parameters in marker order and executes: the first failing
    // result (SQL_ERROR when no handle could be allocated), or that of the execution.
    SQLRETURN run(std::string_view sql, const std::vector<Parameter>& parameters);

    // The rows the last UPDATE, INSERT or DELETE changed (SQLRowCount); -1 when the driver
    // does not tell. Some drivers (MariaDB's) count only rows whose values changed.
    SQLLEN rowCount() const;

    // SQL_SUCCESS or SQL_SUCCESS_WITH_INFO for a row, SQL_NO_DATA at the end.
    SQLRETURN fetch();
    void closeCursor();

    // Column values of the current row (columns count from 1); nullopt for NULL or a
    // failed read. Texts longer than maxBytes are cut at a character boundary. Every byte
    // the driver gives counts, a NUL byte inside the text too.
    std::optional<std::string> getText(SQLUSMALLINT column, std::size_t maxBytes = 131071);
    // As getText, but a text longer than maxBytes is not cut: longer is set and the text
    // read so far (more than maxBytes bytes) is returned.
    std::optional<std::string> getText(SQLUSMALLINT column, std::size_t maxBytes, bool& longer);
    std::optional<double> getDouble(SQLUSMALLINT column);
    std::optional<long long> getInteger(SQLUSMALLINT column);
    std::optional<Timestamp> getTimestamp(SQLUSMALLINT column);

private:
    SQLRETURN bindChar(std::string_view value, SQLSMALLINT sqlType, SQLULEN columnSize,
                       bool lengthGiven);

    Connection& connection_;
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
    SQLUSMALLINT nextParameter_ = 1;
    // Owned parameter buffers; a deque keeps their addresses stable.
    std::deque<std::string> texts_;
    std::deque<SQL_TIMESTAMP_STRUCT> timestamps_;
    std::deque<double> doubles_;
    std::deque<SQLSMALLINT> shorts_;
    std::deque<SQLINTEGER> integers_;
    std::deque<SQLLEN> lengths_;
};

// One use of a statement text: prepared on a statement of its own, or, while the connection
// keeps prepared statements, on the one it prepared for the text before (its cursor is
// closed when the use ends and its parameters are bound again).
class PreparedStatement {
public:
    PreparedStatement(Connection& connection, std::string_view sql);
    ~PreparedStatement();
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    // Binds the parameters in marker order and executes, preparing the text first when it
    // is not prepared yet: the first failing result, or that of the execution.
    SQLRETURN run(const std::vector<Parameter>& parameters);
    Statement& statement() { return *statement_; }
    Statement* operator->() { return statement_.get(); }

private:
    Connection& connection_;
    std::string sql_;
    std::shared_ptr<Statement> statement_;
    bool prepared_ = false;
    bool kept_ = false;
};

// Switches autocommit off for the lifetime of the object and always switches it on
// again. Without commit() the transaction is rolled back.
//
// Begun while another transaction of the connection is open, it is a savepoint of that one
// (SQLite, PostgreSQL and MariaDB have them): commit() releases it, rollback() undoes what
// was done since it began and nothing before, and only the outermost commit makes anything
// lasting. Its isolation is the enclosing transaction's. A savepoint that cannot be rolled
// back to (a server that undid the whole transaction itself: a deadlock on MariaDB, a full
// disk on SQLite) fails rollback(): the enclosing transaction has lost its work.
//
// A serializable transaction runs as though no other ran at the same time: where two
// would mix (two writers of one key, each deciding from what the other is changing), the
// server fails one of them at a statement or at the commit. A repeatable-read one reads
// from one snapshot on PostgreSQL (a reader's consistent view, which a hot standby allows
// where it refuses serializable). The connection's isolation level is set back afterwards.
// A driver that cannot set it leaves its own level.
class Transaction {
public:
    enum class Isolation { Default, Serializable, RepeatableRead };
    explicit Transaction(Connection& connection, Isolation isolation = Isolation::Default);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // False when autocommit could not be switched off.
    bool begun() const { return begun_; }
    // A commit that fails is rolled back at once (a driver may leave the transaction open
    // after a failed COMMIT, to be committed by whatever runs next); diagnostic() then
    // holds the commit's message.
    SQLRETURN commit();
    SQLRETURN rollback();
    // SQLite takes a transaction's locks as its statements need them: two writers that
    // both read first each hold the file for reading while asking to write, and wait for
    // each other until the driver's lock timeout. A write as the transaction's first
    // statement takes the write lock before anything is read, so that a second writer
    // waits holding nothing and goes on once the first has ended. table: one the
    // transaction writes anyway (no row of it changes). Other servers lock what is written
    // as it is written: nothing is run there. False, with diagnostic(), when the lock was
    // not had (the driver's lock timeout passed, the connection was lost).
    bool lockForWriting(std::string_view table);
    // The first diagnostic message of a failed commit or lock ("" otherwise).
    const std::string& diagnostic() const { return diagnostic_; }
    // A savepoint of an enclosing transaction.
    bool nested() const { return level_ > 1; }

private:
    // Runs a savepoint statement (the prefix and this one's name); false, with
    // diagnostic(), when it fails.
    bool savepointStep(std::string_view prefix);

    Connection& connection_;
    int level_ = 0; // 1 for an outermost transaction, more for a savepoint
    bool begun_ = false;
    bool ended_ = false;
    std::string diagnostic_;
    std::optional<SQLUINTEGER> previousIsolation_; // set when the level was changed
};

} // namespace orv::odbc
