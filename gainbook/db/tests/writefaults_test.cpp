// Faults during a write: the server stopped between the statements of a write, two
// writers on one key at once, an SQLite file held by another writer. Whatever happens,
// the key's history is as one whole write left it or as before, the user is told, and the
// editor goes on working.
#include "db/responsewriter.h"

#include "db/datetext.h"
#include "db/schema.h"
#include "privateserver.h"
#include "responsetables.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

using namespace orv::gainbook;
using orv::odbc::isError;
using orv::odbc::isSuccess;
using orv::odbc::Statement;
using orv::odbc::Timestamp;
using orv::test::Backend;
using orv::test::TestDatabase;
using Strings = std::vector<std::string>;

namespace {

constexpr const char* kFailurePrefix = "При попытке записи в базу произошла ошибка:\r\n";

// A key with two responses: [2010, 2015) and [2015, open).
void storeHistory(const TestDatabase& db) {
    orv::gainbook::test::createResponseTables(db);
    orv::gainbook::test::insertResponse(db, "KZ", "KIV", "BHZ", "00", "2010-01-01 00:00:00",
                                        "2015-01-01 00:00:00", "FIRST");
    orv::gainbook::test::insertResponse(db, "KZ", "KIV", "BHZ", "00", "2015-01-01 00:00:00", "",
                                        "SECOND");
}

// Every column of every row: the history exactly as stored.
Strings history(const TestDatabase& db) {
    Strings rows;
    auto c = db.connect();
    Statement st(*c);
    EXPECT_FALSE(isError(st.execDirect("SELECT * FROM CALIBRATION ORDER BY STARTDATE")));
    while (isSuccess(st.fetch())) {
        std::string row;
        for (SQLUSMALLINT column = 1; column <= 13; ++column)
            row.append(st.getText(column).value_or("<NULL>")).append("|");
        rows.push_back(row);
    }
    return rows;
}

// The intervals of the key, oldest first, as "start / end" ("-" for open).
Strings intervals(const TestDatabase& db) {
    auto c = db.connect();
    return orv::gainbook::test::storedIntervals(*c);
}

// A history is consistent when every interval ends where or before the next begins and
// only the last one is open.
bool consistent(const TestDatabase& db) {
    auto c = db.connect();
    Statement st(*c);
    if (isError(st.execDirect("SELECT STARTDATE,ENDDATE FROM CALIBRATION ORDER BY STARTDATE")))
        return false;
    std::optional<std::optional<Timestamp>> previousEnd;
    while (isSuccess(st.fetch())) {
        const Timestamp start = *st.getTimestamp(1);
        if (previousEnd && (!*previousEnd || **previousEnd > start))
            return false;
        previousEnd = st.getTimestamp(2);
    }
    return true;
}

bool waitFor(const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Sessions of this database that wait for a lock another session holds. MariaDB's lock
// tables do not show every wait (its engine status does), so there a session running one
// statement for a second or more counts: in these tests only a lock keeps one waiting.
int lockWaiters(const TestDatabase& db) {
    const char* sql =
        db.backend() == Backend::MariaDB
            ? "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE DB = DATABASE() AND "
              "COMMAND <> 'Sleep' AND ID <> CONNECTION_ID() AND TIME >= 1"
            : "SELECT COUNT(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND "
              "datname = current_database()";
    return std::stoi(db.scalar(sql));
}

// One write of the editor through its interval dialog, as the user presses "Записать".
struct Writer {
    explicit Writer(orv::odbc::Connection& c) : connection(c) {}
    WriteOutcome write(const std::string& time) {
        return writeResponse(connection, ui, orv::gainbook::test::sampleInput(time),
                             [](IntervalChoiceDialog& dialog) {
                                 dialog.write();
                                 return true;
                             });
    }
    std::thread writeInThread(const std::string& time) {
        return std::thread([this, time] { outcome = write(time); });
    }
    std::string lastMessage() const {
        return ui.messages().empty() ? std::string() : ui.messages().back().text;
    }
    bool toldFailure() const {
        const std::string m = lastMessage();
        return m.starts_with(kFailurePrefix) && m.size() > std::string_view(kFailurePrefix).size();
    }

    orv::odbc::Connection& connection;
    orv::ui::ScriptedInteraction ui;
    WriteOutcome outcome = WriteOutcome::Failed;
};

// Another session that holds the row [2010, 2015) locked in an open transaction, so that
// a write closing that interval waits for it after its first statement has run. The row
// is named by its whole key: InnoDB locks every row a search reads.
struct RowLock {
    explicit RowLock(const TestDatabase& db) : connection(db.connect()) {
        transaction = std::make_unique<orv::odbc::Transaction>(*connection);
        Statement st(*connection);
        EXPECT_FALSE(isError(st.execDirect(
            "SELECT STA FROM CALIBRATION WHERE NETWORK = 'KZ' AND LOCATION = '00' AND STA = "
            "'KIV' AND CHAN = 'BHZ' AND STARTDATE = {ts '2010-01-01 00:00:00'} FOR UPDATE")))
            << st.diagnostic();
        while (isSuccess(st.fetch())) {
        }
    }
    std::unique_ptr<orv::odbc::Connection> connection;
    std::unique_ptr<orv::odbc::Transaction> transaction;
};

} // namespace

class ServerFaults : public testing::TestWithParam<Backend> {};

TEST_P(ServerFaults, AServerStoppedBetweenTheStatementsOfAWriteChangesNothingAndIsSurvived) {
    orv::test::PrivateServer server(GetParam());
    if (!server.available())
        GTEST_SKIP() << server.whyUnavailable();
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    storeHistory(db);
    const Strings before = history(db);

    // The write from 2012 on deletes [2015, open) and then waits to close [2010, 2015).
    RowLock lock(db);
    auto connection = db.connect();
    Writer writer(*connection);
    std::thread writing = writer.writeInThread("2012.01.01 00:00:00");
    ASSERT_TRUE(waitFor([&] { return lockWaiters(db) == 1; }));
    ASSERT_TRUE(server.halt());
    writing.join();

    EXPECT_EQ(writer.outcome, WriteOutcome::DialogFailed);
    EXPECT_TRUE(writer.toldFailure()) << writer.lastMessage();
    // Whatever the driver's own word, the message says the connection went.
    EXPECT_NE(writer.lastMessage().find("Соединение с сервером базы данных потеряно"),
              std::string::npos)
        << writer.lastMessage();
    ASSERT_TRUE(server.resume());
    EXPECT_EQ(history(db), before);

    // The lost connection fails with the driver's word, without waiting...
    EXPECT_EQ(writer.write("2012.01.01 00:00:00"), WriteOutcome::Failed);
    EXPECT_FALSE(writer.lastMessage().empty());
    // ...and the connection the editor opens again writes.
    auto again = db.connect();
    Writer afterwards(*again);
    EXPECT_EQ(afterwards.write("2012.01.01 00:00:00"), WriteOutcome::Written);
    EXPECT_EQ(intervals(db),
              (Strings{"2010.01.01 00:00:00 / 2012.01.01 00:00:00", "2012.01.01 00:00:00 / -"}));
}

TEST_P(ServerFaults, OfTwoWritersOnOneKeyOneCommitsAndTheOtherIsTold) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    storeHistory(db);

    // The first writer (from 2012) deletes [2015, open) and waits to close [2010, 2015);
    // the second (from 2011) waits for the row the first deleted. Then both go on.
    auto lock = std::make_unique<RowLock>(db);
    auto firstConnection = db.connect();
    auto secondConnection = db.connect();
    Writer first(*firstConnection);
    Writer second(*secondConnection);
    std::thread firstWriting = first.writeInThread("2012.01.01 00:00:00");
    ASSERT_TRUE(waitFor([&] { return lockWaiters(db) == 1; }));
    std::thread secondWriting = second.writeInThread("2011.01.01 00:00:00");
    ASSERT_TRUE(waitFor([&] { return lockWaiters(db) == 2; }));
    lock->transaction->commit();
    firstWriting.join();
    secondWriting.join();

    const int written =
        (first.outcome == WriteOutcome::Written) + (second.outcome == WriteOutcome::Written);
    EXPECT_EQ(written, 1) << testing::PrintToString(intervals(db));
    for (const Writer* w : {&first, &second}) {
        if (w->outcome != WriteOutcome::Written) {
            EXPECT_TRUE(w->toldFailure()) << w->lastMessage();
        }
    }
    EXPECT_TRUE(consistent(db)) << testing::PrintToString(intervals(db));
}

TEST_P(ServerFaults, AConnectionLostDuringTheSchemaCheckIsSaidSoAndNothingIsMade) {
    orv::test::PrivateServer server(GetParam());
    if (!server.available())
        GTEST_SKIP() << server.whyUnavailable();
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    auto connection = db.connect();
    ASSERT_TRUE(server.halt());

    // Every question answered yes: a table taken for missing would be made.
    orv::ui::ScriptedInteraction ui;
    orv::gainbook::Schema schema(*connection, ui);
    EXPECT_FALSE(schema.check());
    ASSERT_TRUE(server.resume());
    for (const auto& shown : ui.shown())
        EXPECT_EQ(shown.text.find("Создать?"), std::string::npos) << shown.text;
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_NE(ui.messages().back().text.find("Соединение с сервером базы данных потеряно"),
              std::string::npos)
        << ui.messages().back().text;
    auto again = db.connect();
    EXPECT_FALSE(again->tableExists("CALIBRATION"));
    EXPECT_FALSE(again->tableExists("ID_SENS"));
}

// The tables were seen before the connection was lost, their columns not yet: every
// column then looks missing. Nothing is asked, added or rebuilt; the check fails saying so.
TEST_P(ServerFaults, AConnectionLostWhileTheColumnsAreCheckedChangesNothingAndIsSaidSo) {
    orv::test::PrivateServer server(GetParam());
    if (!server.available())
        GTEST_SKIP() << server.whyUnavailable();
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    storeHistory(db);
    db.createSiteChanTable();
    {
        auto making = db.connect();
        orv::ui::ScriptedInteraction ui;
        ASSERT_TRUE(Schema(*making, ui).check());
    }
    const Strings before = history(db);
    auto connection = db.connect();
    for (const char* table : {"SITECHAN", "ID_SENS", "ID_FREQ", "CALIBRATION"})
        ASSERT_TRUE(connection->tableExists(table)) << table;
    ASSERT_TRUE(server.halt());

    orv::ui::ScriptedInteraction ui;
    EXPECT_FALSE(Schema(*connection, ui).check());
    ASSERT_TRUE(server.resume());
    for (const auto& shown : ui.shown()) {
        EXPECT_EQ(shown.text.find("Добавить?"), std::string::npos) << shown.text;
        EXPECT_EQ(shown.text.find("CALIBRATION"), std::string::npos) << shown.text;
    }
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_NE(ui.messages().back().text.find("Соединение с сервером базы данных потеряно"),
              std::string::npos)
        << ui.messages().back().text;
    EXPECT_EQ(history(db), before);
    EXPECT_FALSE(db.connect()->tableExists("TMP_CALIBRATION"));
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerFaults,
                         testing::Values(Backend::PostgreSQL, Backend::MariaDB),
                         orv::test::backendParamName);

namespace {

// While it lives, every commit on the server waits for a synchronous standby that never
// comes, as a primary does whose only standby is down.
struct AbsentStandby {
    explicit AbsentStandby(const TestDatabase& database) : db(database) {
        db.exec("ALTER SYSTEM SET synchronous_standby_names = 'absent'");
        db.exec("SELECT pg_reload_conf()");
    }
    ~AbsentStandby() {
        db.exec("ALTER SYSTEM RESET synchronous_standby_names");
        db.exec("SELECT pg_reload_conf()");
    }
    AbsentStandby(const AbsentStandby&) = delete;
    AbsentStandby& operator=(const AbsentStandby&) = delete;
    const TestDatabase& db;
};

// Runs work within the seconds given; past them, false, the sessions waiting for the
// standby being cancelled until the work has ended (so that the test ends).
bool within(const TestDatabase& db, std::chrono::seconds bound, const std::function<void()>& work) {
    auto running = std::async(std::launch::async, work);
    if (running.wait_for(bound) == std::future_status::ready)
        return true;
    do
        db.scalar("SELECT COUNT(pg_cancel_backend(pid)) FROM pg_stat_activity WHERE wait_event "
                  "= 'SyncRep'");
    while (running.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready);
    return false;
}

} // namespace

TEST(SynchronousStandby, AWriteItNeverConfirmsEndsAfterTheBoundKeptAndToldSo) {
    orv::test::PrivateServer server(Backend::PostgreSQL);
    if (!server.available())
        GTEST_SKIP() << server.whyUnavailable();
    TestDatabase db(Backend::PostgreSQL);
    ORV_SKIP_IF_UNAVAILABLE(db);
    storeHistory(db);
    auto connection = db.connect();
    Writer writer(*connection);
    ASSERT_TRUE(Schema(*connection, writer.ui).check());
    {
        AbsentStandby standby(db);
        // The editor starts again: its schema check writes nothing that is as it should be.
        bool checked = false;
        ASSERT_TRUE(within(db, std::chrono::seconds(5), [&] {
            auto starting = db.connect();
            orv::ui::ScriptedInteraction ui;
            checked = Schema(*starting, ui).check();
        })) << "the schema check waited for the standby";
        EXPECT_TRUE(checked);
        WriteOutcome outcome = WriteOutcome::Failed;
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(within(db, kCommitConfirmationBound + std::chrono::seconds(10), [&] {
            outcome = writer.write("2016.01.01 00:00:00");
        })) << "the write waited for the standby without a bound";
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(outcome, WriteOutcome::Unconfirmed);
        EXPECT_GE(took, double(kCommitConfirmationBound.count()));
        // Neither a success nor a failure: kept, not confirmed, with the server's word.
        const std::string told = writer.lastMessage();
        EXPECT_TRUE(told.starts_with("Запись сохранена на основном сервере базы данных, но "
                                     "резервный сервер не подтвердил её за 10 с"))
            << told;
        EXPECT_NE(told.find("synchronous replication"), std::string::npos) << told;
        EXPECT_EQ(told.find("успешно"), std::string::npos) << told;
        EXPECT_FALSE(writer.toldFailure());
    }
    // Kept; and with the standby back the same connection writes as before.
    EXPECT_EQ(writer.write("2017.01.01 00:00:00"), WriteOutcome::Written);
    EXPECT_EQ(intervals(db),
              (Strings{"2010.01.01 00:00:00 / 2015.01.01 00:00:00",
                       "2015.01.01 00:00:00 / 2016.01.01 00:00:00",
                       "2016.01.01 00:00:00 / 2017.01.01 00:00:00", "2017.01.01 00:00:00 / -"}));
}

TEST(SQLiteFaults, AFileHeldByAnotherWriterGivesABusyErrorAndNoPartialWrite) {
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    storeHistory(db);
    const Strings before = history(db);

    // Another program writes to the key and has not committed yet.
    auto other = db.connect();
    auto otherWrite = std::make_unique<orv::odbc::Transaction>(*other);
    Statement(*other).execDirect("UPDATE CALIBRATION SET SENS = 7 WHERE STARTDATE = "
                                 "{ts '2015-01-01 00:00:00'}");
    // The driver waits for a lock as long as the data source's Timeout says (100 s unless
    // set): one second here.
    orv::odbc::Connection ours;
    ASSERT_FALSE(isError(ours.driverConnect(db.connectString() + "Timeout=1000;")));
    Writer writer(ours);
    EXPECT_EQ(writer.write("2012.01.01 00:00:00"), WriteOutcome::DialogFailed);
    EXPECT_TRUE(writer.toldFailure()) << writer.lastMessage();
    EXPECT_NE(writer.lastMessage().find("locked"), std::string::npos) << writer.lastMessage();

    otherWrite->rollback();
    otherWrite.reset();
    EXPECT_EQ(history(db), before);
    // Once the file is free the same write goes through.
    EXPECT_EQ(writer.write("2012.01.01 00:00:00"), WriteOutcome::Written);
    EXPECT_EQ(intervals(db),
              (Strings{"2010.01.01 00:00:00 / 2012.01.01 00:00:00", "2012.01.01 00:00:00 / -"}));
}

// Two first writes of one key at once: both find no row, then both insert. Another session
// holds the table so that both writers have read before either inserts: a table lock that
// lets reads through and stops writes. Whatever the order, at most one is written, the
// other is told, and the key never holds two open intervals. (On SQLite a writer takes the
// write lock before it reads: there the second waits and writes after the first, see
// CliSQLite.TwoWritersOfANewKeyStartedTogetherEndAtOnceOneAfterTheOther.)
class FirstWrites : public testing::TestWithParam<Backend> {};

TEST_P(FirstWrites, OfTwoFirstWritesOfAKeyAtOnceAtMostOneIsWrittenAndTheOtherIsTold) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    orv::gainbook::test::createResponseTables(db);

    auto holder = db.connect();
    std::unique_ptr<orv::odbc::Transaction> hold;
    if (db.backend() == Backend::MariaDB) {
        ASSERT_FALSE(isError(Statement(*holder).execDirect("LOCK TABLES CALIBRATION READ")));
    } else {
        hold = std::make_unique<orv::odbc::Transaction>(*holder);
        Statement st(*holder);
        ASSERT_FALSE(isError(st.execDirect("LOCK TABLE CALIBRATION IN SHARE MODE")))
            << st.diagnostic();
    }
    auto firstConnection = db.connect();
    auto secondConnection = db.connect();
    Writer first(*firstConnection);
    Writer second(*secondConnection);
    std::thread firstWriting = first.writeInThread("2010.01.01 00:00:00");
    std::thread secondWriting = second.writeInThread("2011.01.01 00:00:00");
    ASSERT_TRUE(waitFor([&] { return lockWaiters(db) == 2; }));
    if (hold)
        hold->rollback();
    else
        Statement(*holder).execDirect("UNLOCK TABLES");
    firstWriting.join();
    secondWriting.join();

    const int written =
        (first.outcome == WriteOutcome::Written) + (second.outcome == WriteOutcome::Written);
    EXPECT_LE(written, 1);
    for (const Writer* w : {&first, &second}) {
        if (w->outcome != WriteOutcome::Written) {
            EXPECT_EQ(w->outcome, WriteOutcome::Failed);
            EXPECT_TRUE(w->toldFailure()) << w->lastMessage();
        }
    }
    EXPECT_EQ(std::stoi(db.scalar("SELECT COUNT(*) FROM CALIBRATION WHERE STA = 'KIV'")), written);
    EXPECT_TRUE(consistent(db)) << testing::PrintToString(intervals(db));
}

INSTANTIATE_TEST_SUITE_P(Servers, FirstWrites,
                         testing::Values(Backend::PostgreSQL, Backend::MariaDB),
                         orv::test::backendParamName);
