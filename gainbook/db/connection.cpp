#include "connection.h"

#include "schema.h"
#include "text/text.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orv::gainbook {

namespace {

// A value that a connect string carries as it is: nothing in it can end the value or
// start another attribute.
bool plainValue(const std::string& value) {
    return value.find_first_of(";{}=") == std::string::npos && value == text::trim(value);
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

} // namespace

OpenResult openConnection(const ConnectionSettings& settings, std::string_view driverAttributes) {
    OpenResult result;
    if (!driverAttributes.empty() && !(plainValue(settings.dataSource) &&
                                       plainValue(settings.user) && plainValue(settings.password)))
        return result;
    auto connection = std::make_unique<odbc::Connection>();
    if (!connection->allocated())
        return result;
    const SQLRETURN rc =
        driverAttributes.empty()
            ? connection->connect(settings.dataSource, settings.user, settings.password)
            : connection->driverConnect(connectString(settings, driverAttributes));
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
        result.refused = true;
        result.diagnostic = connection->diagnostic();
        return result;
    }
    result.connection = std::move(connection);
    return result;
}

std::string statementFailure(const odbc::Statement& st, odbc::Connection& connection) {
    if (st.valid())
        return st.diagnostic();
    const std::string d = connection.diagnostic();
    return d.empty() ? std::string("Не удалось выделить оператор ODBC") : d;
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
