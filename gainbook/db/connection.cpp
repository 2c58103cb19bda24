#include "db/connection.h"

#include "db/schema.h"
#include "text/text.h"

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <thread>

namespace orv::gainbook {

namespace {

// A value that a connect string carries as it is: nothing in it can end the value or
// start another attribute.
bool plainValue(const std::string& value) {
    return value.find_first_of(";{}=") == std::string::npos && value == text::trim(value);
}

bool plainSettings(const ConnectionSettings& settings) {
    return plainValue(settings.dataSource) && plainValue(settings.user) &&
           plainValue(settings.password);
}

// The data source, user and password as SQLConnect would take them (an empty user or
// password leaves the data source's own), followed by the driver attributes.
std::string connectString(const ConnectionSettings& settings, std::string_view driverAttributes) {
    std::string s = "DSN=" + settings.dataSource + ";";
    if (!settings.user.empty())
        s += "UID=" + settings.user + ";";
    if (!settings.password.empty())
        s += "PWD=" + settings.password + ";";
    return s + std::string(driverAttributes);
}

void setTimeout(odbc::Connection& connection, SQLINTEGER attribute, int seconds) {
    // A driver that does not take the attribute says so with a warning or an error; the
    // connection works as before then.
    SQLSetConnectAttr(connection.handle(), attribute,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)), 0);
}

// The server refused the login for a while only: it is starting, stopping or full.
bool passingRefusal(const std::string& message) {
    for (const char* passing : {"starting up", "shutting down", "recovery", "accepting connections",
                                "too many", "connection slots"})
        if (message.find(passing) != std::string::npos)
            return true;
    return false;
}

} // namespace

OpenResult openConnection(const ConnectionSettings& settings, std::string_view driverAttributes) {
    OpenResult result;
    const bool plain = plainSettings(settings);
    if (!driverAttributes.empty() && !plain)
        return result;
    std::string attributes(driverAttributes);
    if (settings.timeoutSeconds > 0 && plain)
        attributes +=
            text::format("CONN_TIMEOUT=%d;READ_TIMEOUT=%d;WRITE_TIMEOUT=%d;",
                         settings.timeoutSeconds, settings.timeoutSeconds, settings.timeoutSeconds);
    auto connection = std::make_unique<odbc::Connection>();
    if (!connection->allocated())
        return result;
    if (settings.timeoutSeconds > 0)
        setTimeout(*connection, SQL_ATTR_LOGIN_TIMEOUT, settings.timeoutSeconds);
    const SQLRETURN rc =
        attributes.empty()
            ? connection->connect(settings.dataSource, settings.user, settings.password)
            : connection->driverConnect(connectString(settings, attributes));
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
        const odbc::DiagnosticRecord record = connection->diagnosticRecord();
        result.refused = true;
        result.diagnostic = record.message;
        result.sqlState = record.state;
        result.nativeError = record.native;
        return result;
    }
    if (settings.timeoutSeconds > 0)
        setTimeout(*connection, SQL_ATTR_QUERY_TIMEOUT, settings.timeoutSeconds);
    result.connection = std::move(connection);
    return result;
}

StreamingConnection openStreamingConnection(const ConnectionSettings& settings,
                                            DatabaseConnection first) {
    StreamingConnection result;
    const auto kind = classifyDbmsName(first->dbmsName().value_or(""));
    const std::string_view streaming = kind ? dialect(*kind).streamingAttributes : "";
    if (!streaming.empty()) {
        OpenResult second = openConnection(settings, streaming);
        if (second.connection) {
            result.connection = std::move(second.connection);
            return result;
        }
        if (!plainSettings(settings))
            result.fallback = StreamingFallback::NamesNotPlain;
        else if (second.refused)
            result.fallback = StreamingFallback::Refused;
        result.diagnostic = std::move(second.diagnostic);
    }
    result.connection = std::move(first);
    return result;
}

std::string streamingFallbackText(const StreamingConnection& connection) {
    switch (connection.fallback) {
    case StreamingFallback::None:
        break;
    case StreamingFallback::NamesNotPlain:
        return "строки читаются целиком, без потоковой выборки: имя источника данных, "
               "пользователь или пароль содержит ';', '{', '}' или '=' либо пробелы по краям и "
               "не может войти в строку подключения";
    case StreamingFallback::Refused:
        return "строки читаются целиком, без потоковой выборки: второе подключение не открылось: " +
               text::replaceAll(connection.diagnostic, "\r\n", " ");
    }
    return {};
}

bool serverUnreachable(const OpenResult& refused) {
    const std::string& state = refused.sqlState;
    if (state == "08001" && refused.diagnostic.find(":  ") != std::string::npos)
        return passingRefusal(refused.diagnostic);
    if (state.rfind("08", 0) == 0 || state.rfind("HYT", 0) == 0)
        return true;
    // MariaDB's client: no server at the socket or port, or the connection lost.
    constexpr long kMariaDbUnreachable[] = {2002, 2003, 2006, 2013};
    return state == "HY000" &&
           std::find(std::begin(kMariaDbUnreachable), std::end(kMariaDbUnreachable),
                     refused.nativeError) != std::end(kMariaDbUnreachable);
}

bool connectionDead(odbc::Connection& connection) {
    SQLUINTEGER dead = SQL_CD_FALSE;
    return odbc::isSuccess(SQLGetConnectAttr(connection.handle(), SQL_ATTR_CONNECTION_DEAD, &dead,
                                             0, nullptr)) &&
           dead == SQL_CD_TRUE;
}

std::string statementFailure(const odbc::Statement& st, odbc::Connection& connection) {
    std::string d = st.valid() ? st.diagnostic() : connection.diagnostic();
    if (d.empty() && !st.valid())
        d = "Не удалось выделить оператор ODBC";
    // The driver's word may name only its own step ("internal SAVEPOINT failed").
    if (connectionDead(connection))
        d += kConnectionLostNote;
    return d;
}

std::string failureText(std::string_view action, std::string_view diagnostic) {
    std::string s = "При попытке ";
    s += action;
    s += " произошла ошибка:\r\n";
    s += diagnostic;
    return s;
}

std::optional<std::vector<std::string>> listTables(odbc::Connection& connection) {
    odbc::Statement st(connection);
    if (!st.valid())
        return std::nullopt;
    SQLCHAR type[] = "'TABLE'";
    std::string catalog = connection.currentCatalog();
    SQLCHAR* catalogName = catalog.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(catalog.data());
    if (odbc::isError(SQLTables(st.handle(), catalogName,
                                catalogName ? SQLSMALLINT{SQL_NTS} : SQLSMALLINT{0}, nullptr, 0,
                                nullptr, 0, type, SQL_NTS)))
        return std::nullopt;
    std::vector<std::string> names;
    while (odbc::isSuccess(st.fetch()))
        names.push_back(st.getText(3, kMaxUnitChars).value_or(std::string()));
    return names;
}

std::optional<std::vector<std::string>> listIndexes(odbc::Connection& connection,
                                                    std::string_view table) {
    odbc::Statement st(connection);
    if (!st.valid())
        return std::nullopt;
    std::string catalog = connection.currentCatalog();
    std::string name(table);
    SQLCHAR* catalogName = catalog.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(catalog.data());
    if (odbc::isError(SQLStatistics(
            st.handle(), catalogName, catalogName ? SQLSMALLINT{SQL_NTS} : SQLSMALLINT{0}, nullptr,
            0, reinterpret_cast<SQLCHAR*>(name.data()), SQL_NTS, SQL_INDEX_ALL, SQL_QUICK)))
        return std::nullopt;
    std::vector<std::string> names;
    while (odbc::isSuccess(st.fetch())) {
        // One row per column of an index; the table's statistics row has no name.
        const std::string index = text::toUpper(st.getText(6, kMaxUnitChars).value_or(""));
        if (!index.empty() && std::find(names.begin(), names.end(), index) == names.end())
            names.push_back(index);
    }
    return names;
}

std::string readCode(odbc::Statement& st, SQLUSMALLINT column) {
    // Room for kMaxCodeChars characters of any script.
    return st.getText(column, 4 * kMaxCodeChars).value_or(std::string());
}

TextColumn readTextColumn(odbc::Connection& connection, std::string_view sql,
                          std::size_t maxChars) {
    TextColumn result;
    odbc::Statement st(connection);
    if (!st.valid())
        return result;
    result.allocated = true;
    if (odbc::isError(st.execDirect(sql))) {
        result.diagnostic = st.diagnostic();
        return result;
    }
    result.executed = true;
    SQLRETURN rc = st.fetch();
    for (; rc != SQL_NO_DATA && !odbc::isError(rc); rc = st.fetch())
        result.values.push_back(
            text::truncateChars(st.getText(1, 4 * maxChars).value_or(""), maxChars));
    // A failed fetch fails the read as a failed execution does.
    if (odbc::isError(rc)) {
        result.executed = false;
        result.diagnostic = st.diagnostic();
        result.values.clear();
    }
    st.closeCursor();
    return result;
}

CommitOutcome commitBounded(odbc::Transaction& transaction, odbc::Connection& connection,
                            std::chrono::milliseconds bound) {
    std::optional<odbc::Statement> commit;
    if (classifyDbmsName(connection.dbmsName().value_or("")) == DbmsKind::PostgreSql)
        commit.emplace(connection);
    if (!commit || !commit->valid()) {
        if (odbc::isError(transaction.commit()))
            return {CommitResult::Failed, transaction.diagnostic()};
        return {CommitResult::Committed, {}};
    }
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool cancelled = false;
    std::thread watch([&] {
        std::unique_lock lock(mutex);
        if (!answered.wait_for(lock, bound, [&] { return done; })) {
            cancelled = true;
            SQLCancel(commit->handle());
        }
    });
    const SQLRETURN rc = commit->execDirect("COMMIT");
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    answered.notify_one();
    watch.join();
    // The statement has ended the transaction either way; the object only takes note.
    if (odbc::isError(rc)) {
        CommitOutcome failed{CommitResult::Failed, statementFailure(*commit, connection)};
        transaction.rollback();
        return failed;
    }
    transaction.commit();
    if (cancelled && rc == SQL_SUCCESS_WITH_INFO)
        return {CommitResult::Unconfirmed, commit->diagnostic()};
    return {CommitResult::Committed, {}};
}

} // namespace orv::gainbook
