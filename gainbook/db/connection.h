// The response editor's connection and the way it turns failures into messages.
//
// One connection per main window (its own environment, ODBC version 3), opened with
// SQLConnect. Only SQL_ERROR counts as a failure: a connection that comes back with
// SQL_SUCCESS_WITH_INFO is open. A handle that cannot be allocated fails silently.
#pragma once

#include "odbc/odbc.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook {

// Caption of boxes that have none of their own.
inline constexpr std::string_view kProgramTitle = "Gainbook";

// Longest data source name, user name and password the editor keeps.
inline constexpr std::size_t kSettingChars = 63;
// The longest code (network, station, channel, location): the width of the key columns
// (VARCHAR(8)). A longer code is refused where it is typed, never cut.
inline constexpr std::size_t kMaxCodeChars = 8;
// The longest unit name and table name read from the database.
inline constexpr std::size_t kMaxUnitChars = 63;
// The longest response text read from or written to the database.
inline constexpr std::size_t kMaxResponseTextBytes = 131071;

struct ConnectionSettings {
    std::string dataSource;
    std::string user;
    std::string password;
    // Seconds a connection attempt, and then each statement, may wait for the server
    // before it fails (0: no bound). PostgreSQL's driver takes them as the login and query
    // timeouts (the query timeout ends the statement on the server, so a server that hangs
    // whole is not bounded by it); MariaDB's driver ignores those and takes its own
    // connect, read and write timeouts from the connect string instead; SQLite has no
    // server to wait for.
    int timeoutSeconds = 0;
    bool operator==(const ConnectionSettings&) const = default;
};

using DatabaseConnection = std::unique_ptr<odbc::Connection>;

struct OpenResult {
    DatabaseConnection connection; // open, or null
    // True when the driver refused the connection (as opposed to handles that could not
    // be allocated, which is not reported).
    bool refused = false;
    std::string diagnostic; // the first diagnostic message when refused
    std::string sqlState;   // its SQLSTATE
    long nativeError = 0;   // and the driver's or server's own number
};

// SQLConnect with the three values; with driver attributes ("Key=value;..."), SQLDriverConnect
// with the data source, user and password followed by them. The drivers do not agree on
// how a value in a connect string is quoted (one splits at the first ";" inside braces), so
// a value holding ";", "{", "}" or "=", or blanks at either end, is never put into one: no
// connection is opened then, nothing is refused, and the caller goes on with the plain
// connection it has.
//
// With settings.timeoutSeconds, MariaDB's timeouts are connect-string attributes: the
// connection is made with SQLDriverConnect when the values allow a connect string, with
// SQLConnect (and only the attributes other drivers honour) when they do not.
OpenResult openConnection(const ConnectionSettings& settings,
                          std::string_view driverAttributes = {});

// A connection under which the driver streams the rows of a query (the dialect's streaming
// attributes) instead of reading a whole result into memory first: a second connection to
// the data source of `first`, which it replaces. Where none can be had, `first` is kept
// (its driver reads results whole) and the reason is given.
enum class StreamingFallback {
    None,          // the rows stream, or the driver reads them as they come anyway
    NamesNotPlain, // the data source, user or password cannot go into a connect string
    Refused,       // the driver refused the second connection (see diagnostic)
};
struct StreamingConnection {
    DatabaseConnection connection; // the streaming one, else first
    StreamingFallback fallback = StreamingFallback::None;
    std::string diagnostic; // the driver's message when Refused
};
StreamingConnection openStreamingConnection(const ConnectionSettings& settings,
                                            DatabaseConnection first);

// Why a connection reads whole results, for a message; "" when it streams.
std::string streamingFallbackText(const StreamingConnection& connection);
// True when a refused connection says that the server could not be reached or did not
// answer in time (down, starting, stopping, out of connections): the same settings may
// work later. False when the settings themselves were refused: no such data source or
// driver, the login refused, no such database, a database file that cannot be opened.
// PostgreSQL's driver reports every failure as 08001; the server's own refusal is told
// by its severity ("FATAL:  ...") in the message.
bool serverUnreachable(const OpenResult& refused);

// True when the driver says the connection is gone (a driver that cannot tell: false).
bool connectionDead(odbc::Connection& connection);

// Added to the message of a statement that failed on a connection that is gone.
inline constexpr const char* kConnectionLostNote =
    "\r\nСоединение с сервером базы данных потеряно.";

// The driver's message for a statement that failed, or for one that could not even be
// allocated (the connection's message, else "Не удалось выделить оператор ODBC"); on a
// connection that is gone, kConnectionLostNote after it.
std::string statementFailure(const odbc::Statement& st, odbc::Connection& connection);

// "При попытке " + action + " произошла ошибка:\r\n" + diagnostic
std::string failureText(std::string_view action, std::string_view diagnostic);

// The names of the tables (type 'TABLE') of the connection's database; nullopt when the
// listing fails.
std::optional<std::vector<std::string>> listTables(odbc::Connection& connection);

// The names of the indexes of a table (SQLStatistics, keys included), in upper case;
// nullopt when the listing fails.
std::optional<std::vector<std::string>> listIndexes(odbc::Connection& connection,
                                                    std::string_view table);

// The first column of every row of a query, as text of at most maxChars characters.
struct TextColumn {
    bool executed = false;  // false: the statement failed (see diagnostic)
    bool allocated = false; // false: no statement could be allocated, nothing was run
    std::vector<std::string> values;
    std::string diagnostic;
};
// A code column of the current row, whole; "" for NULL.
std::string readCode(odbc::Statement& st, SQLUSMALLINT column);

TextColumn readTextColumn(odbc::Connection& connection, std::string_view sql,
                          std::size_t maxChars = kMaxUnitChars);

// How a write's commit ended.
enum class CommitResult {
    Committed,
    Failed,      // rolled back; the diagnostic says why
    Unconfirmed, // kept by the server, but no synchronous standby confirmed it in time
};
struct CommitOutcome {
    CommitResult result = CommitResult::Failed;
    std::string diagnostic;
};

// How long a write's commit waits for a synchronous standby's confirmation.
inline constexpr std::chrono::seconds kCommitConfirmationBound{10};

// Commits the transaction. A PostgreSQL server with synchronous standbys answers a commit
// only once a standby has confirmed it, and waits for ever while none is there: its commit
// is sent as a statement and cancelled after the bound. The server keeps the commit then
// and says so in a warning (Unconfirmed, the warning in the diagnostic). A transaction
// inside another is a savepoint, released at once: its confirmation is the enclosing one's.
CommitOutcome commitBounded(odbc::Transaction& transaction, odbc::Connection& connection,
                            std::chrono::milliseconds bound = kCommitConfirmationBound);

} // namespace orv::gainbook
