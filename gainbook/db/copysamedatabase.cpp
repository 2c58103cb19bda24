#include "db/copysamedatabase.h"

#include "db/statements.h"

#include <random>
#include <vector>

#include <sys/stat.h>

namespace orv::gainbook::copy {

namespace {

// The file of an SQLite connection's main database; "" for one in memory.
std::string sqliteFile(odbc::Connection& connection) {
    odbc::Statement st(connection);
    if (odbc::isError(st.execDirect(sql::kSQLiteDatabaseFiles)))
        return {};
    while (odbc::isSuccess(st.fetch()))
        if (st.getText(2, 127).value_or("") == "main")
            return st.getText(3, 4096).value_or("");
    return {};
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return !a.empty() && !b.empty() && stat(a.c_str(), &first) == 0 &&
           stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// The first column of a query's first row; nullopt for NULL or a failure.
std::optional<long long> firstInteger(odbc::Connection& connection, std::string_view sql,
                                      const std::vector<odbc::Parameter>& parameters) {
    odbc::Statement st(connection);
    if (odbc::isError(st.run(sql, parameters)) || !odbc::isSuccess(st.fetch()))
        return std::nullopt;
    return st.getInteger(1);
}

// A lock name or key no other copy takes at the same time.
long randomKey() {
    static std::random_device random;
    return static_cast<long>(random() & 0x7FFFFFFF);
}

bool samePostgreSqlDatabase(odbc::Connection& source, odbc::Connection& target) {
    const std::vector<odbc::Parameter> key{odbc::Parameter::integer(randomKey()),
                                           odbc::Parameter::integer(randomKey())};
    if (firstInteger(source, sql::kPostgreSqlTryLock, key) != 1)
        return false;
    const auto taken = firstInteger(target, sql::kPostgreSqlTryLock, key);
    if (taken == 1)
        firstInteger(target, sql::kPostgreSqlUnlock, key);
    firstInteger(source, sql::kPostgreSqlUnlock, key);
    return taken == 0;
}

// The database both work in when they are one, else nullopt.
std::optional<std::string> sameMySqlDatabase(odbc::Connection& source, odbc::Connection& target) {
    const std::vector<odbc::Parameter> name{odbc::Parameter::text(
        "orv-copy-" + std::to_string(randomKey()) + "-" + std::to_string(randomKey()))};
    if (firstInteger(source, sql::kMySqlTryLock, name) != 1)
        return std::nullopt;
    std::optional<std::string> same;
    {
        odbc::Statement st(target);
        odbc::Statement database(source);
        if (!odbc::isError(st.run(sql::kMySqlLockHolder, name)) && odbc::isSuccess(st.fetch()) &&
            st.getInteger(1) && !odbc::isError(database.execDirect(sql::kMySqlDatabase)) &&
            odbc::isSuccess(database.fetch())) {
            const auto targetDatabase = st.getText(2, 256);
            if (targetDatabase && targetDatabase == database.getText(1, 256))
                same = targetDatabase;
        }
    }
    firstInteger(source, sql::kMySqlUnlock, name);
    return same;
}

} // namespace

std::optional<std::string> oneDatabase(const Side& source, const Side& target) {
    if (source.kind != target.kind)
        return std::nullopt;
    switch (source.kind) {
    case DbmsKind::SQLite:
        if (const std::string file = sqliteFile(source.connection);
            sameFile(file, sqliteFile(target.connection)))
            return "файл " + file;
        return std::nullopt;
    case DbmsKind::PostgreSql:
        if (samePostgreSqlDatabase(source.connection, target.connection))
            return "база " + source.connection.currentCatalog() + " сервера PostgreSQL";
        return std::nullopt;
    case DbmsKind::MySql:
        if (const auto database = sameMySqlDatabase(source.connection, target.connection))
            return "база " + *database + " сервера MariaDB";
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace orv::gainbook::copy
