#include "odbc/odbc.h"

#include "text/text.h"

#include <cstring>

namespace orv::odbc {

namespace {

// The most prepared statements a connection keeps.
constexpr std::size_t kMostKept = 64;

// The transaction's first statement on SQLite, with the name of a table it writes between:
// a write that changes no row but takes the write lock.
constexpr std::string_view kLockForWritingPrefix = "DELETE FROM ";
constexpr std::string_view kLockForWritingSuffix = " WHERE 1 = 0";
// A transaction inside another: a savepoint, named after its depth.
constexpr std::string_view kSavepoint = "SAVEPOINT ORV_LEVEL_";
constexpr std::string_view kReleaseSavepoint = "RELEASE SAVEPOINT ORV_LEVEL_";
constexpr std::string_view kRollbackToSavepoint = "ROLLBACK TO SAVEPOINT ORV_LEVEL_";

SQLCHAR* sqlText(std::string& s) {
    return reinterpret_cast<SQLCHAR*>(s.data());
}

SQLSMALLINT smallLength(std::string_view s) {
    return static_cast<SQLSMALLINT>(std::min<std::size_t>(s.size(), 32767));
}

} // namespace

std::string diagnostic(SQLSMALLINT handleType, SQLHANDLE handle) {
    return diagnosticRecord(handleType, handle).message;
}

DiagnosticRecord diagnosticRecord(SQLSMALLINT handleType, SQLHANDLE handle) {
    if (handle == SQL_NULL_HANDLE)
        return {};
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        SQLGetDiagRec(handleType, handle, 1, state, &native, message, sizeof message, &length);
    if (!isSuccess(rc))
        return {};
    return {reinterpret_cast<const char*>(state), static_cast<long>(native),
            text::decodeLegacy(reinterpret_cast<const char*>(message))};
}

// --- Timestamp ------------------------------------------------------------------------

Timestamp Timestamp::fromTm(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

Timestamp Timestamp::now() {
    return fromTm(text::localNow());
}

std::tm Timestamp::toTm() const {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return tm;
}

namespace {

// "%04d-%02d-%02d?%02d:%02d:%02d", ? the separator: written digit by digit where every field
// fits its width (every date of every document and statement), by printf where one does not.
std::string timestampText(const Timestamp& t, char separator) {
    const auto fits = [](int v, int most) { return v >= 0 && v <= most; };
    if (!fits(t.year, 9999) || !fits(t.month, 99) || !fits(t.day, 99) || !fits(t.hour, 99) ||
        !fits(t.minute, 99) || !fits(t.second, 99))
        return text::format("%04d-%02d-%02d%c%02d:%02d:%02d", t.year, t.month, t.day, separator,
                            t.hour, t.minute, t.second);
    std::string out = "0000-00-00 00:00:00";
    const auto put = [&](std::size_t end, int v) {
        for (std::size_t at = end; v > 0; v /= 10)
            out[--at] = static_cast<char>('0' + v % 10);
    };
    put(4, t.year);
    put(7, t.month);
    put(10, t.day);
    out[10] = separator;
    put(13, t.hour);
    put(16, t.minute);
    put(19, t.second);
    return out;
}

} // namespace

std::string Timestamp::toSqlText() const {
    return timestampText(*this, ' ');
}

std::string Timestamp::toIsoText() const {
    return timestampText(*this, 'T');
}

bool Timestamp::isValid() const {
    if (year < 1 || year > 9999 || month < 1 || month > 12)
        return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day >= 1 && day <= days && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
           second >= 0 && second <= 59;
}

// --- Parameter ---------------------------------------------------------------------------

std::vector<Parameter> Parameter::codes(std::initializer_list<std::string_view> values) {
    std::vector<Parameter> out;
    out.reserve(values.size());
    for (const std::string_view v : values)
        out.push_back(code(v));
    return out;
}

Parameter Parameter::date(const Timestamp& value, bool legacyType) {
    Parameter p(legacyType ? Kind::LegacyDate : Kind::Date);
    p.date_ = value;
    return p;
}

Parameter Parameter::number(double value) {
    Parameter p(Kind::Number);
    p.number_ = value;
    return p;
}

Parameter Parameter::unitId(short value) {
    Parameter p(Kind::UnitId);
    p.integer_ = value;
    return p;
}

Parameter Parameter::integer(long value) {
    Parameter p(Kind::Integer);
    p.integer_ = value;
    return p;
}

// --- Environment -------------------------------------------------------------------------

Environment::Environment() {
    if (!isSuccess(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle_))) {
        handle_ = SQL_NULL_HENV;
        return;
    }
    if (!isSuccess(SQLSetEnvAttr(handle_, SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
        SQLFreeHandle(SQL_HANDLE_ENV, handle_);
        handle_ = SQL_NULL_HENV;
    }
}

Environment::~Environment() {
    if (handle_ != SQL_NULL_HENV)
        SQLFreeHandle(SQL_HANDLE_ENV, handle_);
}

std::vector<DataSource> listDataSources(Environment& env, bool system) {
    std::vector<DataSource> out;
    if (!env.valid())
        return out;
    SQLUSMALLINT direction = system ? SQL_FETCH_FIRST_SYSTEM : SQL_FETCH_FIRST_USER;
    for (;;) {
        SQLCHAR name[1024] = {};
        SQLCHAR description[1024] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT descriptionLength = 0;
        const SQLRETURN rc = SQLDataSources(env.handle(), direction, name, sizeof name, &nameLength,
                                            description, sizeof description, &descriptionLength);
        if (!isSuccess(rc))
            break;
        out.push_back(
            {reinterpret_cast<const char*>(name), reinterpret_cast<const char*>(description)});
        direction = SQL_FETCH_NEXT;
    }
    return out;
}

// --- Connection ------------------------------------------------------------------------

Connection::Connection() {
    if (!env_.valid())
        return;
    if (!isSuccess(SQLAllocHandle(SQL_HANDLE_DBC, env_.handle(), &dbc_)))
        dbc_ = SQL_NULL_HDBC;
}

Connection::~Connection() {
    disconnect();
    if (dbc_ != SQL_NULL_HDBC)
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
}

SQLRETURN Connection::connect(std::string_view dsn, std::string_view user,
                              std::string_view password) {
    if (!allocated())
        return SQL_ERROR;
    disconnect();
    std::string d(dsn);
    std::string u(user);
    std::string p(password);
    const SQLRETURN rc = SQLConnect(dbc_, sqlText(d), SQL_NTS, sqlText(u), smallLength(u),
                                    sqlText(p), smallLength(p));
    if (!isError(rc))
        afterConnect();
    return rc;
}

SQLRETURN Connection::driverConnect(std::string_view connectString) {
    if (!allocated())
        return SQL_ERROR;
    disconnect();
    std::string in(connectString);
    SQLCHAR out[1024] = {};
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, sqlText(in), smallLength(in), out,
                                          sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (!isError(rc))
        afterConnect();
    return rc;
}

void Connection::afterConnect() {
    open_ = true;
    forgetCatalog();
    // Some drivers (PostgreSQL's among them) call setlocale while connecting; numbers are
    // handled in the C locale by orv::text whatever happens here.
    const auto name = dbmsName();
    sqlite_ = name && text::equalsNoCase(*name, "SQLite");
}

void Connection::disconnect() {
    if (open_ && sqlite_) {
        // SQLite keeps the query planner's statistics up to date only when asked; it
        // advises this before every connection closes. It analyses only the tables whose
        // statistics the connection's queries consulted and that have grown manyfold
        // since, from a sample (milliseconds), and mostly does nothing.
        for (const char* pragma : {"PRAGMA analysis_limit=1000", "PRAGMA optimize"}) {
            Statement st(*this);
            st.execDirect(pragma);
        }
    }
    prepared_.clear();
    if (open_ && dbc_ != SQL_NULL_HDBC)
        SQLDisconnect(dbc_);
    open_ = false;
    sqlite_ = false;
    forgetCatalog();
}

std::string Connection::diagnostic() const {
    return odbc::diagnostic(SQL_HANDLE_DBC, dbc_);
}

DiagnosticRecord Connection::diagnosticRecord() const {
    return odbc::diagnosticRecord(SQL_HANDLE_DBC, dbc_);
}

std::optional<std::string> Connection::dbmsName(std::size_t bufferSize) const {
    std::string buffer(std::max<std::size_t>(bufferSize, 2), '\0');
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetInfo(dbc_, SQL_DBMS_NAME, buffer.data(),
                                    static_cast<SQLSMALLINT>(buffer.size()), &length);
    if (!isSuccess(rc))
        return std::nullopt;
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

SQLRETURN Connection::setAutocommit(bool on) {
    return SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                             reinterpret_cast<SQLPOINTER>(
                                 static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                             SQL_IS_UINTEGER);
}

SQLRETURN Connection::endTransaction(bool commit) {
    // A rollback may undo a change of the schema.
    if (!commit)
        forgetCatalog();
    return SQLEndTran(SQL_HANDLE_DBC, dbc_, commit ? SQL_COMMIT : SQL_ROLLBACK);
}

std::string Connection::currentCatalog() const {
    if (catalog_)
        return *catalog_;
    SQLCHAR name[256] = {};
    SQLINTEGER length = 0;
    if (!isSuccess(
            SQLGetConnectAttr(dbc_, SQL_ATTR_CURRENT_CATALOG, name, sizeof name - 1, &length)))
        return {};
    catalog_ = reinterpret_cast<const char*>(name);
    return *catalog_;
}

void Connection::forgetCatalog() {
    knownTables_.clear();
    knownColumns_.clear();
    catalog_.reset();
}

void Connection::keepPreparedStatements(bool keep) {
    keepPrepared_ = keep;
    if (!keep)
        prepared_.clear();
}

void Connection::noteStatement(std::string_view sql) {
    const auto start = sql.find_first_not_of(" \t\r\n(");
    if (start == std::string_view::npos)
        return;
    const std::string_view word = sql.substr(start, sql.find_first_of(" \t\r\n", start) - start);
    for (const char* changing : {"CREATE", "ALTER", "DROP", "RENAME", "USE"})
        if (text::equalsNoCase(word, changing)) {
            forgetCatalog();
            // A statement prepared before may no longer fit the tables.
            prepared_.clear();
            return;
        }
}

bool Connection::tableExists(std::string_view table) {
    const std::string key = text::toUpper(table);
    if (knownTables_.contains(key))
        return true;
    Statement st(*this);
    if (!st.valid())
        return false;
    std::string catalog = currentCatalog();
    std::string t(table);
    if (isError(SQLTables(st.handle(), catalog.empty() ? nullptr : sqlText(catalog),
                          catalog.empty() ? SQLSMALLINT{0} : SQLSMALLINT{SQL_NTS}, nullptr, 0,
                          sqlText(t), SQL_NTS, nullptr, 0)))
        return false;
    if (!isSuccess(st.fetch()))
        return false;
    knownTables_.insert(key);
    return true;
}

bool Connection::columnExists(std::string_view table, std::string_view column) {
    return columnTypeName(table, column).has_value();
}

std::optional<std::map<std::string, std::string>> Connection::listColumns(std::string_view table) {
    Statement st(*this);
    if (!st.valid())
        return std::nullopt;
    std::string catalog = currentCatalog();
    std::string t(table);
    if (isError(SQLColumns(st.handle(), catalog.empty() ? nullptr : sqlText(catalog),
                           catalog.empty() ? SQLSMALLINT{0} : SQLSMALLINT{SQL_NTS}, nullptr, 0,
                           sqlText(t), SQL_NTS, nullptr, 0)))
        return std::nullopt;
    std::map<std::string, std::string> columns;
    // The first table the pattern finds (schema and name) is the one listed.
    std::optional<std::pair<std::string, std::string>> first;
    while (isSuccess(st.fetch())) {
        std::pair<std::string, std::string> owner{st.getText(2, 127).value_or(std::string()),
                                                  st.getText(3, 127).value_or(std::string())};
        std::string name = text::toUpper(st.getText(4, 127).value_or(std::string()));
        std::string type = st.getText(6, 127).value_or(std::string());
        if (!first)
            first = owner;
        if (owner == *first)
            columns.emplace(std::move(name), std::move(type));
    }
    if (columns.empty())
        return std::nullopt;
    return columns;
}

std::optional<std::string> Connection::columnTypeName(std::string_view table,
                                                      std::string_view column) {
    const std::string key = text::toUpper(table);
    auto known = knownColumns_.find(key);
    if (known == knownColumns_.end()) {
        auto listed = listColumns(table);
        if (!listed)
            return std::nullopt;
        known = knownColumns_.emplace(key, std::move(*listed)).first;
    }
    const auto found = known->second.find(text::toUpper(column));
    if (found == known->second.end())
        return std::nullopt;
    return found->second;
}

// --- Statement -------------------------------------------------------------------------

Statement::Statement(Connection& connection) : connection_(connection) {
    if (!connection.isOpen() ||
        !isSuccess(SQLAllocHandle(SQL_HANDLE_STMT, connection.handle(), &stmt_)))
        stmt_ = SQL_NULL_HSTMT;
}

Statement::~Statement() {
    if (stmt_ != SQL_NULL_HSTMT) {
        SQLFreeStmt(stmt_, SQL_CLOSE);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    }
}

std::string Statement::diagnostic() const {
    return odbc::diagnostic(SQL_HANDLE_STMT, stmt_);
}

SQLRETURN Statement::execDirect(std::string_view sql) {
    connection_.noteStatement(sql);
    if (!valid())
        return SQL_ERROR;
    std::string s(sql);
    return SQLExecDirect(stmt_, sqlText(s), static_cast<SQLINTEGER>(s.size()));
}

SQLRETURN Statement::prepare(std::string_view sql) {
    connection_.noteStatement(sql);
    if (!valid())
        return SQL_ERROR;
    std::string s(sql);
    return SQLPrepare(stmt_, sqlText(s), static_cast<SQLINTEGER>(s.size()));
}

SQLRETURN Statement::execute() {
    return valid() ? SQLExecute(stmt_) : SQL_ERROR;
}

SQLRETURN Statement::bindChar(std::string_view value, SQLSMALLINT sqlType, SQLULEN columnSize,
                              bool lengthGiven) {
    if (!valid())
        return SQL_ERROR;
    std::string& buffer = texts_.emplace_back(value);
    SQLLEN& length =
        lengths_.emplace_back(lengthGiven ? static_cast<SQLLEN>(buffer.size()) : SQLLEN{SQL_NTS});
    return SQLBindParameter(stmt_, nextParameter_++, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType,
                            columnSize, 0, buffer.data(), static_cast<SQLLEN>(buffer.size() + 1),
                            &length);
}

// Codes and file names are bound with their length: a NUL byte inside one is part of the
// value, never its end.
SQLRETURN Statement::bindCode(std::string_view value) {
    return bindChar(value, SQL_VARCHAR, 8, true);
}

SQLRETURN Statement::bindFileName(std::string_view value) {
    return bindChar(value, SQL_VARCHAR, 64, true);
}

SQLRETURN Statement::bindUnitName(std::string_view value) {
    return bindChar(value, SQL_VARCHAR, 50, true);
}

SQLRETURN Statement::bindLongText(std::string_view value) {
    return bindChar(value, SQL_LONGVARCHAR, 131072, true);
}

SQLRETURN Statement::bindText(std::string_view value) {
    return bindChar(value, SQL_VARCHAR, std::max<std::size_t>(value.size(), 1), true);
}

SQLRETURN Statement::bindDate(const Timestamp& value, bool legacyType) {
    const SQLSMALLINT sqlType = legacyType ? SQL_TIMESTAMP : SQL_TYPE_TIMESTAMP;
    if (connection_.isSQLite())
        return bindChar(value.toSqlText(), sqlType, 19, false);
    if (!valid())
        return SQL_ERROR;
    SQL_TIMESTAMP_STRUCT& ts = timestamps_.emplace_back();
    ts.year = static_cast<SQLSMALLINT>(value.year);
    ts.month = static_cast<SQLUSMALLINT>(value.month);
    ts.day = static_cast<SQLUSMALLINT>(value.day);
    ts.hour = static_cast<SQLUSMALLINT>(value.hour);
    ts.minute = static_cast<SQLUSMALLINT>(value.minute);
    ts.second = static_cast<SQLUSMALLINT>(value.second);
    ts.fraction = 0;
    return SQLBindParameter(stmt_, nextParameter_++, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, sqlType,
                            19, 0, &ts, 0, nullptr);
}

SQLRETURN Statement::bindNumber(double value) {
    if (!valid())
        return SQL_ERROR;
    double& v = doubles_.emplace_back(value);
    return SQLBindParameter(stmt_, nextParameter_++, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0,
                            0, &v, 0, nullptr);
}

SQLRETURN Statement::bindUnitId(short value) {
    if (!valid())
        return SQL_ERROR;
    SQLSMALLINT& v = shorts_.emplace_back(value);
    return SQLBindParameter(stmt_, nextParameter_++, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_INTEGER, 0,
                            0, &v, 0, nullptr);
}

SQLRETURN Statement::bindInteger(long value) {
    if (!valid())
        return SQL_ERROR;
    SQLINTEGER& v = integers_.emplace_back(static_cast<SQLINTEGER>(value));
    return SQLBindParameter(stmt_, nextParameter_++, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                            0, &v, 0, nullptr);
}

void Statement::resetParameters() {
    if (valid())
        SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    nextParameter_ = 1;
    texts_.clear();
    timestamps_.clear();
    doubles_.clear();
    shorts_.clear();
    integers_.clear();
    lengths_.clear();
}

SQLRETURN Statement::bind(const Parameter& p) {
    switch (p.kind_) {
    case Parameter::Kind::Code:
        return bindCode(p.text_);
    case Parameter::Kind::FileName:
        return bindFileName(p.text_);
    case Parameter::Kind::UnitName:
        return bindUnitName(p.text_);
    case Parameter::Kind::LongText:
        return bindLongText(p.text_);
    case Parameter::Kind::Text:
        return bindText(p.text_);
    case Parameter::Kind::Date:
    case Parameter::Kind::LegacyDate:
        return bindDate(p.date_, p.kind_ == Parameter::Kind::LegacyDate);
    case Parameter::Kind::Number:
        return bindNumber(p.number_);
    case Parameter::Kind::UnitId:
        return bindUnitId(static_cast<short>(p.integer_));
    case Parameter::Kind::Integer:
        return bindInteger(p.integer_);
    }
    return SQL_ERROR;
}

SQLRETURN Statement::run(std::string_view sql, const std::vector<Parameter>& parameters) {
    const SQLRETURN prepared = prepare(sql);
    if (isError(prepared))
        return prepared;
    for (const Parameter& p : parameters)
        if (const SQLRETURN rc = bind(p); isError(rc))
            return rc;
    return execute();
}

SQLLEN Statement::rowCount() const {
    SQLLEN rows = -1;
    if (!valid() || !isSuccess(SQLRowCount(stmt_, &rows)))
        return -1;
    return rows;
}

SQLRETURN Statement::fetch() {
    return valid() ? SQLFetch(stmt_) : SQL_ERROR;
}

void Statement::closeCursor() {
    if (valid())
        SQLFreeStmt(stmt_, SQL_CLOSE);
}

std::optional<std::string> Statement::getText(SQLUSMALLINT column, std::size_t maxBytes) {
    bool longer = false;
    std::optional<std::string> out = getText(column, maxBytes, longer);
    if (out && longer) {
        // Cut at a character boundary.
        std::size_t cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>((*out)[cut]) & 0xC0) == 0x80)
            --cut;
        out->resize(cut);
    }
    return out;
}

std::optional<std::string> Statement::getText(SQLUSMALLINT column, std::size_t maxBytes,
                                              bool& longer) {
    longer = false;
    if (!valid())
        return std::nullopt;
    std::string out;
    char chunk[4096];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_CHAR, chunk, sizeof chunk, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!isSuccess(rc))
            return std::nullopt;
        if (indicator == SQL_NULL_DATA)
            return std::nullopt;
        // A part that did not fit (the length left is unknown or beyond the chunk) filled
        // the chunk less its terminating zero; a NUL byte inside the text is no end.
        // Only a last part of unknown length is measured up to its terminator.
        std::size_t got;
        if (indicator >= 0 && indicator < SQLLEN(sizeof chunk))
            got = static_cast<std::size_t>(indicator);
        else if (rc == SQL_SUCCESS_WITH_INFO || indicator >= SQLLEN(sizeof chunk))
            got = sizeof chunk - 1;
        else
            got = std::strlen(chunk);
        out.append(chunk, got);
        if (rc == SQL_SUCCESS)
            break;
        if (out.size() > maxBytes) {
            longer = true;
            break;
        }
    }
    if (out.size() > maxBytes)
        longer = true;
    return out;
}

std::optional<double> Statement::getDouble(SQLUSMALLINT column) {
    double value = 0;
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_DOUBLE, &value, 0, &indicator);
    if (!isSuccess(rc) || indicator == SQL_NULL_DATA)
        return std::nullopt;
    return value;
}

std::optional<long long> Statement::getInteger(SQLUSMALLINT column) {
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_SBIGINT, &value, 0, &indicator);
    if (!isSuccess(rc) || indicator == SQL_NULL_DATA)
        return std::nullopt;
    return static_cast<long long>(value);
}

std::optional<Timestamp> Statement::getTimestamp(SQLUSMALLINT column) {
    SQL_TIMESTAMP_STRUCT ts{};
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        SQLGetData(stmt_, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator);
    if (!isSuccess(rc) || indicator == SQL_NULL_DATA)
        return std::nullopt;
    return Timestamp{ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second};
}

// --- PreparedStatement ----------------------------------------------------------------

PreparedStatement::PreparedStatement(Connection& connection, std::string_view sql)
    : connection_(connection), sql_(sql) {
    if (connection.keepPrepared_) {
        const auto found = connection.prepared_.find(sql_);
        if (found == connection.prepared_.end()) {
            statement_ = std::make_shared<Statement>(connection);
            // Beyond the bound (texts made of a caller's choices may be many), not kept.
            if (connection.prepared_.size() < kMostKept) {
                connection.prepared_.emplace(sql_, statement_);
                kept_ = true;
            }
            return;
        }
        // A statement lent to another use at the same time is not shared.
        if (found->second.use_count() == 1) {
            statement_ = found->second;
            prepared_ = true;
            kept_ = true;
            return;
        }
    }
    statement_ = std::make_shared<Statement>(connection);
}

PreparedStatement::~PreparedStatement() {
    if (kept_)
        statement_->closeCursor();
}

SQLRETURN PreparedStatement::run(const std::vector<Parameter>& parameters) {
    if (!prepared_) {
        if (const SQLRETURN rc = statement_->prepare(sql_); isError(rc)) {
            // Not kept unprepared: the next use prepares a statement of its own.
            if (kept_)
                connection_.prepared_.erase(sql_);
            return rc;
        }
        prepared_ = true;
    }
    statement_->resetParameters();
    for (const Parameter& p : parameters)
        if (const SQLRETURN rc = statement_->bind(p); isError(rc))
            return rc;
    const SQLRETURN rc = statement_->execute();
    // A kept statement that fails is prepared anew next time: the tables may have been
    // made again under it.
    if (isError(rc) && kept_)
        connection_.prepared_.erase(sql_);
    return rc;
}

// --- Transaction ------------------------------------------------------------------------

namespace {

SQLRETURN setIsolation(SQLHDBC dbc, SQLUINTEGER level) {
    return SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION,
                             reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(level)),
                             SQL_IS_UINTEGER);
}

} // namespace

Transaction::Transaction(Connection& connection, Isolation isolation) : connection_(connection) {
    if (connection_.transactionLevel_ > 0) {
        level_ = connection_.transactionLevel_ + 1;
        begun_ = savepointStep(kSavepoint);
        if (begun_)
            connection_.transactionLevel_ = level_;
        return;
    }
    // The level is set while no transaction is open, as the drivers require.
    SQLUINTEGER level = 0;
    const SQLUINTEGER wanted =
        isolation == Isolation::Serializable ? SQL_TXN_SERIALIZABLE : SQL_TXN_REPEATABLE_READ;
    if (isolation != Isolation::Default &&
        isSuccess(SQLGetConnectAttr(connection_.handle(), SQL_ATTR_TXN_ISOLATION, &level,
                                    SQL_IS_UINTEGER, nullptr)) &&
        level != wanted && isSuccess(setIsolation(connection_.handle(), wanted)))
        previousIsolation_ = level;
    begun_ = !isError(connection_.setAutocommit(false));
    level_ = 1;
    if (begun_)
        connection_.transactionLevel_ = 1;
}

Transaction::~Transaction() {
    if (nested()) {
        if (begun_ && !ended_)
            rollback();
        if (begun_)
            connection_.transactionLevel_ = level_ - 1;
        return;
    }
    if (begun_ && !ended_)
        connection_.endTransaction(false);
    connection_.transactionLevel_ = 0;
    connection_.setAutocommit(true);
    if (previousIsolation_)
        setIsolation(connection_.handle(), *previousIsolation_);
}

bool Transaction::savepointStep(std::string_view prefix) {
    Statement st(connection_);
    std::string sql(prefix);
    sql += std::to_string(level_);
    if (!isError(st.execDirect(sql)))
        return true;
    diagnostic_ = st.valid() ? st.diagnostic() : connection_.diagnostic();
    return false;
}

SQLRETURN Transaction::commit() {
    ended_ = true;
    if (nested()) {
        if (savepointStep(kReleaseSavepoint))
            return SQL_SUCCESS;
        const std::string released = diagnostic_;
        rollback();
        diagnostic_ = released;
        return SQL_ERROR;
    }
    const SQLRETURN rc = connection_.endTransaction(true);
    if (isError(rc)) {
        diagnostic_ = connection_.diagnostic();
        connection_.endTransaction(false);
    }
    return rc;
}

bool Transaction::lockForWriting(std::string_view table) {
    if (!connection_.isSQLite())
        return true;
    Statement st(connection_);
    std::string sql(kLockForWritingPrefix);
    sql.append(table).append(kLockForWritingSuffix);
    if (!isError(st.execDirect(sql)))
        return true;
    diagnostic_ = st.valid() ? st.diagnostic() : connection_.diagnostic();
    return false;
}

SQLRETURN Transaction::rollback() {
    ended_ = true;
    if (nested()) {
        // A rollback may undo a change of the schema.
        connection_.forgetCatalog();
        // Rolled back to, the savepoint stays until released.
        if (!savepointStep(kRollbackToSavepoint))
            return SQL_ERROR;
        return savepointStep(kReleaseSavepoint) ? SQL_SUCCESS : SQL_ERROR;
    }
    return connection_.endTransaction(false);
}

} // namespace orv::odbc
