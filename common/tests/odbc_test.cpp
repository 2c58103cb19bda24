#include "odbc/odbc.h"
#include "text/text.h"

#include "testdb.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace orv;
using orv::test::Backend;
using orv::test::TestDatabase;

class Odbc : public testing::TestWithParam<Backend> {
protected:
    Odbc() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        connection = db.connect();
        db.exec("CREATE TABLE T (CODE VARCHAR(8), FNAME VARCHAR(64), UNIT VARCHAR(50), D " +
                db.timestampType() + ", N " + db.doubleType() + ", ID INT, BODY " +
                db.longTextType() + ")");
    }

    TestDatabase db;
    std::unique_ptr<odbc::Connection> connection;
};

TEST_P(Odbc, ConnectsAndNamesTheDbms) {
    ASSERT_TRUE(connection->isOpen());
    EXPECT_EQ(connection->dbmsName(), orv::test::backendName(GetParam()));
    EXPECT_EQ(connection->isSQLite(), GetParam() == Backend::SQLite);

    odbc::Connection viaString;
    EXPECT_FALSE(odbc::isError(viaString.driverConnect(db.connectString())));
    EXPECT_TRUE(viaString.isOpen());
}

TEST_P(Odbc, AFailedConnectionReportsTheDriverManagersDiagnostic) {
    odbc::Connection c;
    EXPECT_TRUE(odbc::isError(c.connect("NO_SUCH_DSN_XYZ", "ORV", "KTZ")));
    EXPECT_FALSE(c.isOpen());
    EXPECT_NE(c.diagnostic().find("Data source name not found"), std::string::npos)
        << c.diagnostic();
}

TEST_P(Odbc, EveryParameterKindRoundTrips) {
    // The longest text a response may have: 131071 bytes.
    const std::string longText = std::string(131071 - 10, 'x') + "Конец";
    {
        odbc::Statement st(*connection);
        ASSERT_FALSE(odbc::isError(st.prepare("INSERT INTO T VALUES(?,?,?,?,?,?,?)")));
        st.bindCode("KIV");
        st.bindFileName("kiv_bhz.pz");
        st.bindUnitName("nm/counts*sec");
        st.bindDate({2001, 5, 7, 13, 14, 15});
        st.bindNumber(1.2345678901234e-7);
        st.bindUnitId(2);
        st.bindLongText(longText);
        ASSERT_FALSE(odbc::isError(st.execute())) << st.diagnostic();
    }
    odbc::Statement st(*connection);
    ASSERT_FALSE(odbc::isError(st.execDirect("SELECT CODE, FNAME, UNIT, D, N, ID, BODY FROM T")));
    ASSERT_TRUE(odbc::isSuccess(st.fetch()));
    EXPECT_EQ(st.getText(1), "KIV");
    EXPECT_EQ(st.getText(2), "kiv_bhz.pz");
    EXPECT_EQ(st.getText(3), "nm/counts*sec");
    EXPECT_EQ(st.getTimestamp(4), (odbc::Timestamp{2001, 5, 7, 13, 14, 15}));
    // SQLite gives doubles back with 15 significant digits.
    EXPECT_NEAR(*st.getDouble(5), 1.2345678901234e-7, 1e-20);
    EXPECT_EQ(st.getInteger(6), 2);
    EXPECT_EQ(st.getText(7), longText);
    EXPECT_EQ(st.fetch(), SQL_NO_DATA);
}

TEST_P(Odbc, LongTextsAreCutAtTheCallersLimitOnACharacterBoundary) {
    db.exec("INSERT INTO T (BODY) VALUES ('ЖЖЖЖ')");
    odbc::Statement st(*connection);
    ASSERT_FALSE(odbc::isError(st.execDirect("SELECT BODY FROM T")));
    ASSERT_TRUE(odbc::isSuccess(st.fetch()));
    EXPECT_EQ(st.getText(1, 5), "ЖЖ"); // 5 bytes hold two whole letters
}

TEST_P(Odbc, TextsAreReadWholeWithEveryByteTheDriverGives) {
    // Letters of two bytes across the reader's 4095-byte parts, and (where the driver
    // gives one back: PostgreSQL's texts hold no NUL byte, the SQLite driver ends a text
    // it reads at one) a NUL byte inside, after which the text goes on.
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "Ж";
    if (GetParam() == Backend::MariaDB)
        text += std::string("a\0b", 3) + std::string(6000, 'z');
    {
        odbc::Statement st(*connection);
        ASSERT_FALSE(odbc::isError(st.prepare("INSERT INTO T (BODY) VALUES (?)")));
        st.bindLongText(text);
        ASSERT_FALSE(odbc::isError(st.execute())) << st.diagnostic();
    }
    odbc::Statement st(*connection);
    ASSERT_FALSE(odbc::isError(st.execDirect("SELECT BODY, BODY FROM T")));
    ASSERT_TRUE(odbc::isSuccess(st.fetch()));
    const std::optional<std::string> read = st.getText(1, 4 * text.size());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), text.size());
    EXPECT_TRUE(*read == text);
    // Beyond the caller's limit: said, and not cut.
    bool longer = false;
    const std::optional<std::string> part = st.getText(2, 5000, longer);
    EXPECT_TRUE(longer);
    ASSERT_TRUE(part);
    EXPECT_GT(part->size(), 5000u);
    EXPECT_TRUE(text.starts_with(*part));
}

TEST_P(Odbc, ACodeIsBoundWithItsLengthNotUpToANulByte) {
    if (GetParam() == Backend::PostgreSQL)
        GTEST_SKIP() << "PostgreSQL's texts hold no NUL byte";
    {
        odbc::Statement st(*connection);
        ASSERT_FALSE(odbc::isError(st.prepare("INSERT INTO T (CODE, FNAME) VALUES (?, ?)")));
        st.bindCode(std::string("NU\0LL", 5));
        st.bindFileName(std::string("a\0b", 3));
        ASSERT_FALSE(odbc::isError(st.execute())) << st.diagnostic();
    }
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T WHERE CODE='NU'"), "0");
    // SQLite's LENGTH of a text stops at a NUL byte; that of its bytes does not.
    const bool sqlite = GetParam() == Backend::SQLite;
    EXPECT_EQ(db.scalar(sqlite ? "SELECT LENGTH(CAST(CODE AS BLOB)) FROM T"
                               : "SELECT LENGTH(CODE) FROM T"),
              "5");
    EXPECT_EQ(db.scalar(sqlite ? "SELECT LENGTH(CAST(FNAME AS BLOB)) FROM T"
                               : "SELECT LENGTH(FNAME) FROM T"),
              "3");
}

TEST_P(Odbc, NullsReadAsNoValue) {
    db.exec("INSERT INTO T (CODE) VALUES (NULL)");
    odbc::Statement st(*connection);
    ASSERT_FALSE(odbc::isError(st.execDirect("SELECT CODE, D, N, ID FROM T")));
    ASSERT_TRUE(odbc::isSuccess(st.fetch()));
    EXPECT_EQ(st.getText(1), std::nullopt);
    EXPECT_EQ(st.getTimestamp(2), std::nullopt);
    EXPECT_EQ(st.getDouble(3), std::nullopt);
    EXPECT_EQ(st.getInteger(4), std::nullopt);
}

TEST_P(Odbc, ABoundDateFindsARowWrittenByALiteralAndTheOtherWayRound) {
    db.exec("INSERT INTO T (CODE, D) VALUES ('LIT', {ts '2001-05-07 01:02:03'})");
    {
        odbc::Statement st(*connection);
        st.prepare("INSERT INTO T (CODE, D) VALUES ('BOUND', ?)");
        st.bindDate({2001, 5, 7, 1, 2, 3});
        ASSERT_FALSE(odbc::isError(st.execute())) << st.diagnostic();
    }
    odbc::Statement st(*connection);
    st.prepare("SELECT CODE FROM T WHERE D=? ORDER BY CODE");
    st.bindDate({2001, 5, 7, 1, 2, 3});
    ASSERT_FALSE(odbc::isError(st.execute())) << st.diagnostic();
    std::vector<std::string> codes;
    while (odbc::isSuccess(st.fetch()))
        codes.push_back(*st.getText(1));
    EXPECT_EQ(codes, (std::vector<std::string>{"BOUND", "LIT"}));
    // Both are stored in one form, so that they also compare in order with each other.
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T WHERE D > {ts '2001-05-07 01:02:02'}"), "2");
}

TEST_P(Odbc, CyrillicTextSurvivesTheDriver) {
    {
        odbc::Statement st(*connection);
        st.prepare("INSERT INTO T (CODE, UNIT) VALUES (?, ?)");
        st.bindCode("ЁЛК");
        st.bindUnitName("Почва: суглинок");
        ASSERT_FALSE(odbc::isError(st.execute())) << st.diagnostic();
    }
    EXPECT_EQ(db.scalar("SELECT UNIT FROM T WHERE CODE='ЁЛК'"), "Почва: суглинок");
}

TEST_P(Odbc, TransactionRollsBackUnlessCommittedAndRestoresAutocommit) {
    {
        odbc::Transaction tx(*connection);
        ASSERT_TRUE(tx.begun());
        odbc::Statement st(*connection);
        ASSERT_FALSE(odbc::isError(st.execDirect("INSERT INTO T (CODE) VALUES ('GONE')")));
    } // no commit: rolled back
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T"), "0");
    {
        odbc::Transaction tx(*connection);
        odbc::Statement st(*connection);
        ASSERT_FALSE(odbc::isError(st.execDirect("INSERT INTO T (CODE) VALUES ('KEPT')")));
        EXPECT_FALSE(odbc::isError(tx.commit()));
    }
    EXPECT_EQ(db.scalar("SELECT CODE FROM T"), "KEPT");
    // Autocommit is on again: a later statement is visible at once to another connection.
    odbc::Statement st(*connection);
    ASSERT_FALSE(odbc::isError(st.execDirect("INSERT INTO T (CODE) VALUES ('AUTO')")));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T"), "2");
}

// A transaction begun inside another is a savepoint of it: undone alone, kept only by the
// outer commit; a statement that failed inside it (which on PostgreSQL spoils the whole
// transaction) is undone with it and the outer one goes on.
TEST_P(Odbc, ATransactionInsideAnotherIsUndoneAloneAndKeptByTheOuterCommit) {
    const auto insert = [&](const char* code) {
        odbc::Statement st(*connection);
        const std::string sql = std::string("INSERT INTO T (CODE) VALUES ('") + code + "')";
        return !odbc::isError(st.execDirect(sql));
    };
    {
        odbc::Transaction outer(*connection, odbc::Transaction::Isolation::Serializable);
        ASSERT_TRUE(outer.begun());
        EXPECT_FALSE(outer.nested());
        ASSERT_TRUE(insert("FIRST"));
        {
            odbc::Transaction inner(*connection);
            ASSERT_TRUE(inner.begun()) << inner.diagnostic();
            EXPECT_TRUE(inner.nested());
            ASSERT_TRUE(insert("UNDONE"));
            odbc::Statement st(*connection);
            EXPECT_TRUE(odbc::isError(st.execDirect("SELECT NOPE FROM NO_SUCH_TABLE")));
            EXPECT_FALSE(odbc::isError(inner.rollback())) << inner.diagnostic();
        }
        {
            odbc::Transaction inner(*connection);
            ASSERT_TRUE(insert("RELEASED"));
            {
                odbc::Transaction deeper(*connection);
                ASSERT_TRUE(insert("DEEPER"));
            } // no commit: undone alone
            EXPECT_FALSE(odbc::isError(inner.commit())) << inner.diagnostic();
        }
        // Not yet lasting: another connection sees none of it.
        EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T"), "0");
        EXPECT_FALSE(odbc::isError(outer.commit())) << outer.diagnostic();
    }
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T"), "2");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T WHERE CODE IN ('FIRST', 'RELEASED')"), "2");
    {
        odbc::Transaction outer(*connection);
        odbc::Transaction inner(*connection);
        ASSERT_TRUE(insert("AGAIN"));
        EXPECT_FALSE(odbc::isError(inner.commit()));
    } // the outer one not committed: the released savepoint goes with it
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T"), "2");
    // Autocommit is on again once the outermost has ended.
    ASSERT_TRUE(insert("AUTO"));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T"), "3");
}

TEST_P(Odbc, AFailedCommitIsRolledBackAndTheConnectionGoesOnInAutocommit) {
    // A child row without its parent passes the insert and fails the deferred check at COMMIT.
    if (GetParam() == Backend::MariaDB)
        GTEST_SKIP() << "MariaDB checks every constraint at once: no commit of it fails alone";
    db.exec("CREATE TABLE P (ID INT PRIMARY KEY)");
    db.exec("CREATE TABLE C (PID INT REFERENCES P(ID) DEFERRABLE INITIALLY DEFERRED)");
    if (GetParam() == Backend::SQLite) {
        odbc::Statement st(*connection);
        ASSERT_FALSE(odbc::isError(st.execDirect("PRAGMA foreign_keys=ON")));
    }
    {
        odbc::Transaction tx(*connection);
        odbc::Statement st(*connection);
        ASSERT_FALSE(odbc::isError(st.execDirect("INSERT INTO C VALUES (7)"))) << st.diagnostic();
        ASSERT_FALSE(odbc::isError(st.execDirect("INSERT INTO T (CODE) VALUES ('LOST')")));
        EXPECT_TRUE(odbc::isError(tx.commit()));
        EXPECT_FALSE(tx.diagnostic().empty());
    }
    // Nothing of the failed transaction is left open to be committed by a later statement.
    odbc::Statement st(*connection);
    ASSERT_FALSE(odbc::isError(st.execDirect("INSERT INTO P VALUES (7)"))) << st.diagnostic();
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM P"), "1");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM C"), "0");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM T"), "0");
}

TEST_P(Odbc, AFailedStatementLeavesTheConnectionUsable) {
    {
        odbc::Statement st(*connection);
        EXPECT_TRUE(odbc::isError(st.execDirect("SELECT NOPE FROM NO_SUCH_TABLE")));
        EXPECT_FALSE(st.diagnostic().empty());
    }
    odbc::Statement st(*connection);
    EXPECT_FALSE(odbc::isError(st.execDirect("SELECT COUNT(*) FROM T"))) << st.diagnostic();
}

TEST_P(Odbc, CatalogTestsFindTablesAndColumns) {
    EXPECT_TRUE(connection->tableExists("T"));
    EXPECT_FALSE(connection->tableExists("NO_SUCH_TABLE"));
    EXPECT_TRUE(connection->columnExists("T", "UNIT"));
    EXPECT_FALSE(connection->columnExists("T", "NOPE"));
    const auto type = connection->columnTypeName("T", "D");
    ASSERT_TRUE(type);
    EXPECT_NE(text::toUpper(*type).find(db.timestampType()), std::string::npos) << *type;
    EXPECT_EQ(connection->columnTypeName("T", "NOPE"), std::nullopt);

    // A table of another database on the same server is not this database's.
    TestDatabase other(GetParam());
    other.exec("CREATE TABLE ELSEWHERE (X INT)");
    EXPECT_FALSE(connection->tableExists("ELSEWHERE"));
    EXPECT_FALSE(connection->columnExists("ELSEWHERE", "X"));
}

// A connection answers from what it has learnt of the catalog until it changes the schema
// itself; a table it did not find it asks for again.
TEST_P(Odbc, CatalogAnswersAreRememberedUntilTheConnectionChangesTheSchema) {
    ASSERT_TRUE(connection->columnExists("T", "UNIT"));
    db.exec("ALTER TABLE T ADD EXTRA INT");
    EXPECT_FALSE(connection->columnExists("T", "EXTRA"));
    EXPECT_FALSE(connection->tableExists("U"));
    db.exec("CREATE TABLE U (X INT)");
    EXPECT_TRUE(connection->tableExists("U"));

    odbc::Statement st(*connection);
    ASSERT_FALSE(odbc::isError(st.execDirect("  create table V (X INT)"))) << st.diagnostic();
    EXPECT_TRUE(connection->columnExists("T", "extra"));
}

// In a batch a text is prepared once: the next use runs the same statement with its new
// parameters; a use while it is lent gets one of its own, and a change of the schema has
// the text prepared anew.
TEST_P(Odbc, ABatchRunsAPreparedStatementAgainWithNewParameters) {
    connection->keepPreparedStatements(true);
    const std::string insert = "INSERT INTO T (CODE, ID) VALUES (?, ?)";
    SQLHSTMT first = SQL_NULL_HSTMT;
    for (long id : {1, 2}) {
        odbc::PreparedStatement st(*connection, insert);
        ASSERT_FALSE(odbc::isError(
            st.run({odbc::Parameter::code(std::string("K").append(std::to_string(id))),
                    odbc::Parameter::integer(id)})))
            << st->diagnostic();
        if (first == SQL_NULL_HSTMT)
            first = st->handle();
        EXPECT_EQ(st->handle(), first);
    }
    const std::string select = "SELECT CODE FROM T WHERE ID>=? ORDER BY ID";
    odbc::PreparedStatement outer(*connection, select);
    ASSERT_FALSE(odbc::isError(outer.run({odbc::Parameter::integer(1)})));
    ASSERT_TRUE(odbc::isSuccess(outer->fetch()));
    {
        odbc::PreparedStatement inner(*connection, select);
        EXPECT_NE(inner->handle(), outer->handle());
        ASSERT_FALSE(odbc::isError(inner.run({odbc::Parameter::integer(2)})));
        ASSERT_TRUE(odbc::isSuccess(inner->fetch()));
        EXPECT_EQ(inner->getText(1), "K2");
    }
    EXPECT_EQ(outer->getText(1), "K1");

    // Once the table changes, the text is prepared anew (PostgreSQL and MariaDB refuse to
    // run a prepared statement whose columns changed).
    const std::string everything = "SELECT * FROM T WHERE ID=?";
    for (const char* change : {"", "ALTER TABLE T ADD EXTRA INT"}) {
        if (*change) {
            odbc::Statement alter(*connection);
            ASSERT_FALSE(odbc::isError(alter.execDirect(change))) << alter.diagnostic();
        }
        odbc::PreparedStatement st(*connection, everything);
        ASSERT_FALSE(odbc::isError(st.run({odbc::Parameter::integer(1)}))) << st->diagnostic();
        EXPECT_TRUE(odbc::isSuccess(st->fetch())) << st->diagnostic();
    }
}

TEST_P(Odbc, AnEmptyResultSetEndsTheFetchLoopAtOnce) {
    odbc::Statement st(*connection);
    ASSERT_FALSE(odbc::isError(st.execDirect("SELECT CODE FROM T")));
    EXPECT_EQ(st.fetch(), SQL_NO_DATA);
}

INSTANTIATE_TEST_SUITE_P(Backends, Odbc, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

TEST(OdbcDataSources, ListsUserAndSystemSourcesSeparately) {
    TestDatabase db(Backend::SQLite); // registers a system data source of the test's own
    odbc::Environment env;
    ASSERT_TRUE(env.valid());
    bool found = false;
    for (const auto& ds : odbc::listDataSources(env, true))
        found = found || ds.name == db.dsn();
    EXPECT_TRUE(found);
    for (const auto& ds : odbc::listDataSources(env, false))
        EXPECT_NE(ds.name, db.dsn());
}

TEST(Timestamp, OnlyDatesThatExistAreValid) {
    using T = odbc::Timestamp;
    EXPECT_TRUE((T{2024, 2, 29, 23, 59, 59}.isValid()));
    EXPECT_TRUE((T{2000, 2, 29, 0, 0, 0}.isValid()));
    EXPECT_TRUE((T{1, 1, 1, 0, 0, 0}.isValid()));
    for (const T& bad : {T{1900, 2, 29, 0, 0, 0}, T{2023, 2, 29, 0, 0, 0}, T{2001, 4, 31, 0, 0, 0},
                         T{15, 0, 2009, 0, 0, 0}, T{2009, 13, 1, 0, 0, 0}, T{0, 1, 1, 0, 0, 0},
                         T{2009, 1, 1, 24, 0, 0}, T{2009, 1, 1, 0, 60, 0}, T{2009, 1, 1, 0, 0, -1}})
        EXPECT_FALSE(bad.isValid()) << bad.toSqlText();
}

// The texts of a time are printf's "%04d-%02d-%02d %02d:%02d:%02d" (and with T), at the
// widths' edges and past them.
TEST(Timestamp, TextsAreThoseOfPrintf) {
    using T = orv::odbc::Timestamp;
    for (const T& t :
         {T{2009, 6, 1, 0, 0, 0}, T{1, 1, 1, 1, 1, 1}, T{0, 0, 0, 0, 0, 0},
          T{9999, 12, 31, 23, 59, 59}, T{10000, 1, 1, 0, 0, 0}, T{-5, 1, 1, 0, 0, 0},
          T{2009, 100, 1, 0, 0, 0}, T{2009, 1, 1, 0, 0, -1}, T{305, 10, 9, 8, 70, 99}}) {
        char sql[64], iso[64];
        std::snprintf(sql, sizeof sql, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        EXPECT_EQ(t.toSqlText(), sql);
        EXPECT_EQ(t.toIsoText(), iso);
    }
}
