// The schema check against the real drivers: creation, a second start that changes
// nothing, added columns, type changes and the rebuild with every row kept.
#include "db/browser.h"
#include "db/connection.h"
#include "db/responsewriter.h"
#include "db/schema.h"

#include "testdb.h"
#include "text/text.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orv;
using namespace orv::gainbook;
using orv::test::Backend;
using orv::test::TestDatabase;
using orv::ui::Answer;
using orv::ui::Icon;
using orv::ui::ScriptedInteraction;

namespace {

class SchemaCheck : public testing::TestWithParam<Backend> {
protected:
    DatabaseConnection open(const TestDatabase& db) {
        OpenResult r = openConnection({db.dsn(), db.user(), db.password()});
        EXPECT_TRUE(r.connection) << r.diagnostic;
        return std::move(r.connection);
    }

    // CALIBRATION as an older installation may have it: given SAC and STARTDATE types,
    // optionally without FAP and LDDATE, with its key.
    static void createOldCalibration(const TestDatabase& db, const std::string& sacType,
                                     const std::string& startType, bool withFapAndLddate) {
        const std::string d = db.doubleType();
        db.exec("CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
                "NULL,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT NULL,STARTDATE " +
                startType + " NOT NULL,ENDDATE " + startType + ",SENS " + d + ",ID_SENS INT,FREQ " +
                d + ",ID_FREQ INT,SAC " + sacType +
                (withFapAndLddate ? ",FAP " + db.longTextType() + ",LDDATE " + db.timestampType()
                                  : std::string()) +
                ",PRIMARY KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE))");
    }

    static bool hasIndex(odbc::Connection& connection, const char* table, const char* index) {
        const auto names = listIndexes(connection, table);
        return names && std::find(names->begin(), names->end(), index) != names->end();
    }

    static DbmsKind kind() {
        switch (GetParam()) {
        case Backend::SQLite:
            return DbmsKind::SQLite;
        case Backend::PostgreSQL:
            return DbmsKind::PostgreSql;
        case Backend::MariaDB:
            break;
        }
        return DbmsKind::MySql;
    }

    static void createUnitTables(const TestDatabase& db) {
        db.exec("CREATE TABLE ID_SENS(ID_SENS INT NOT NULL,SENS_UNITS VARCHAR(50) NOT "
                "NULL,CALIB_UNITS VARCHAR(50) NOT NULL,PRIMARY KEY(ID_SENS))");
        db.exec("CREATE TABLE ID_FREQ(ID_FREQ INT NOT NULL,FREQ_UNITS VARCHAR(50) NOT "
                "NULL,PRIMARY KEY(ID_FREQ))");
        db.createSiteChanTable();
    }
};

std::vector<std::string> questions(const ScriptedInteraction& ui) {
    std::vector<std::string> out;
    for (const auto& m : ui.messages())
        if (m.icon == Icon::Question)
            out.push_back(m.text);
    return out;
}

} // namespace

TEST_P(SchemaCheck, CreatesTheFourTablesAfterAskingInOrder) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    auto connection = open(db);
    ScriptedInteraction ui;
    Schema schema(*connection, ui);
    ASSERT_TRUE(schema.check());
    EXPECT_EQ(schema.kind(), kind());
    EXPECT_TRUE(schema.siteChanPresent());
    EXPECT_TRUE(schema.siteChanHasLcode());

    EXPECT_EQ(questions(ui),
              (std::vector<std::string>{
                  "В базе данных отсутствует таблица SITECHAN.\r\nСоздать?",
                  "В базе данных отсутствует таблица ID_SENS.\r\nТаблица ID_SENS необходима для "
                  "корректной работы программы.\r\nСоздать?",
                  "В базе данных отсутствует таблица ID_FREQ.\r\nТаблица ID_FREQ необходима для "
                  "корректной работы программы.\r\nСоздать?",
                  "В базе данных отсутствует таблица CALIBRATION.\r\nТаблица CALIBRATION "
                  "необходима работы программы.\r\nСоздать?"}));
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 8u);
    EXPECT_EQ(messages[1].text, "Таблица SITECHAN создана успешно!");
    EXPECT_EQ(messages[1].caption, "Создание таблицы SITECHAN");
    EXPECT_EQ(messages[1].icon, Icon::Information);
    EXPECT_EQ(messages[7].text, "Таблица CALIBRATION создана успешно!");

    // The indexes beside the keys come with the tables.
    EXPECT_TRUE(hasIndex(*connection, "CALIBRATION", "CALIBRATION_STA"));
    EXPECT_TRUE(hasIndex(*connection, "SITECHAN", "SITECHAN_CALIBFILE"));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM ID_SENS"), "12");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM ID_FREQ"), "2");
    EXPECT_EQ(db.column("SELECT CALIB_UNITS FROM ID_SENS WHERE ID_SENS<3 ORDER BY ID_SENS"),
              (std::vector<std::string>{"nm/counts", "nm/counts*sec", "nm/counts*sec**2"}));
    EXPECT_EQ(db.scalar("SELECT SENS_UNITS FROM ID_SENS WHERE ID_SENS=11"), "T");
    EXPECT_EQ(db.column("SELECT FREQ_UNITS FROM ID_FREQ ORDER BY ID_FREQ"),
              (std::vector<std::string>{"Hz", "rad/sec"}));

    // Two responses of one day keep their times of day and do not collide on the key,
    // and a response of well over 64 KB is kept whole.
    const std::string longText(131071, 'p');
    odbc::Statement insert(*connection);
    ASSERT_FALSE(odbc::isError(
        insert.prepare("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS,FREQ,SAC) "
                       "VALUES(?,?,?,?,?,?,?,?)")));
    for (int hour : {8, 17}) {
        insert.resetParameters();
        insert.bindCode("KZ");
        insert.bindCode("00");
        insert.bindCode("KUR");
        insert.bindCode("BHZ");
        insert.bindDate({2003, 7, 15, hour, 5, 0});
        insert.bindNumber(0.123456789012345);
        insert.bindNumber(1.0);
        insert.bindLongText(longText);
        ASSERT_FALSE(odbc::isError(insert.execute())) << insert.diagnostic();
    }
    odbc::Statement read(*connection);
    ASSERT_FALSE(odbc::isError(
        read.execDirect("SELECT STARTDATE,SAC FROM CALIBRATION ORDER BY STARTDATE DESC")));
    ASSERT_TRUE(odbc::isSuccess(read.fetch()));
    EXPECT_EQ(read.getTimestamp(1), (odbc::Timestamp{2003, 7, 15, 17, 5, 0}));
    EXPECT_EQ(read.getText(2)->size(), longText.size());
}

TEST_P(SchemaCheck, ASecondStartChangesAndShowsNothing) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    {
        auto connection = open(db);
        ScriptedInteraction ui;
        ASSERT_TRUE(Schema(*connection, ui).check());
    }
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE) VALUES "
            "('KZ','00','KUR','BHZ','2003-07-15 08:05:00')");
    auto connection = open(db);
    ScriptedInteraction ui;
    ASSERT_TRUE(Schema(*connection, ui).check());
    EXPECT_TRUE(ui.messages().empty()) << ui.messageTexts().front();
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION"), "1");
}

// The indexes beside the keys are never required: an older database without them passes
// without a word and keeps its rows (gaining the indexes), and one where they cannot be
// made (here CALIBRATION is a view) passes all the same.
TEST_P(SchemaCheck, AnOlderDatabaseWithoutIndexesPassesUnchangedAndGetsThem) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    createUnitTables(db);
    createOldCalibration(db, db.longTextType(), db.timestampType(), true);
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC) VALUES "
            "('KZ','00','KUR','BHZ','2003-07-15 08:05:00','ZEROS 3')");
    auto connection = open(db);
    ScriptedInteraction ui;
    ASSERT_TRUE(Schema(*connection, ui).check());
    EXPECT_TRUE(ui.messages().empty()) << ui.messageTexts().front();
    EXPECT_EQ(db.column("SELECT SAC FROM CALIBRATION"), std::vector<std::string>{"ZEROS 3"});
    EXPECT_TRUE(hasIndex(*connection, "CALIBRATION", "CALIBRATION_STA"));
    EXPECT_TRUE(hasIndex(*connection, "CALIBRATION", "CALIBRATION_NET"));
    EXPECT_TRUE(hasIndex(*connection, "SITECHAN", "SITECHAN_STA"));
    EXPECT_TRUE(hasIndex(*connection, "SITECHAN", "SITECHAN_CALIBFILE"));
    if (GetParam() == Backend::SQLite) {
        EXPECT_NE(db.scalar("SELECT COUNT(*) FROM sqlite_stat1 WHERE tbl='CALIBRATION'"), "0");
    }
}

TEST_P(SchemaCheck, ADatabaseWhereTheIndexesCannotBeMadePassesAllTheSame) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    createUnitTables(db);
    createOldCalibration(db, db.longTextType(), db.timestampType(), true);
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC) VALUES "
            "('KZ','00','KUR','BHZ','2003-07-15 08:05:00','ZEROS 3')");
    const std::string renamed = GetParam() == Backend::MariaDB
                                    ? "RENAME TABLE CALIBRATION TO ARCHIVED"
                                    : "ALTER TABLE CALIBRATION RENAME TO ARCHIVED";
    db.exec(renamed);
    db.exec("CREATE VIEW CALIBRATION AS SELECT * FROM ARCHIVED");
    auto connection = open(db);
    ScriptedInteraction ui;
    ASSERT_TRUE(Schema(*connection, ui).check());
    EXPECT_TRUE(ui.messages().empty()) << ui.messageTexts().front();
    EXPECT_EQ(db.column("SELECT SAC FROM CALIBRATION"), std::vector<std::string>{"ZEROS 3"});
}

TEST_P(SchemaCheck, DecliningSiteChanStillPassesDecliningIdFreqFails) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    auto connection = open(db);
    ScriptedInteraction declineIdFreq;
    declineIdFreq.answer(Answer::No);  // SITECHAN
    declineIdFreq.answer(Answer::Yes); // ID_SENS
    declineIdFreq.answer(Answer::No);  // ID_FREQ
    Schema first(*connection, declineIdFreq);
    EXPECT_FALSE(first.check());
    EXPECT_FALSE(first.siteChanPresent());
    EXPECT_TRUE(declineIdFreq.allAnswersUsed());
    EXPECT_EQ(questions(declineIdFreq).size(), 3u); // CALIBRATION was not looked at
    EXPECT_FALSE(connection->tableExists("CALIBRATION"));
    EXPECT_FALSE(connection->tableExists("SITECHAN"));

    ScriptedInteraction declineSiteChan;
    declineSiteChan.answer(Answer::No);
    Schema second(*connection, declineSiteChan);
    EXPECT_TRUE(second.check());
    EXPECT_FALSE(connection->tableExists("SITECHAN"));
    EXPECT_TRUE(connection->tableExists("CALIBRATION"));
    // ID_SENS was there already: only ID_FREQ and CALIBRATION were asked about.
    EXPECT_EQ(questions(declineSiteChan).size(), 3u);
}

TEST_P(SchemaCheck, SensUnitRowsZeroToTwoAreBroughtUpToDate) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    createUnitTables(db);
    for (int i = 0; i < 5; ++i)
        db.exec("INSERT INTO ID_SENS VALUES (" + std::to_string(i) + ", 's" + std::to_string(i) +
                "', 'old" + std::to_string(i) + "')");
    auto connection = open(db);
    ScriptedInteraction ui;
    ui.answer(Answer::No); // no CALIBRATION
    EXPECT_FALSE(Schema(*connection, ui).check());
    EXPECT_EQ(db.column("SELECT CALIB_UNITS FROM ID_SENS ORDER BY ID_SENS"),
              (std::vector<std::string>{"nm/counts", "nm/counts*sec", "nm/counts*sec**2", "old3",
                                        "old4"}));
    EXPECT_EQ(db.scalar("SELECT SENS_UNITS FROM ID_SENS WHERE ID_SENS=1"), "s1");
}

TEST_P(SchemaCheck, MissingFapLddateAndLcodeAreAddedWithTheirBoxes) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    db.exec("CREATE TABLE ID_SENS(ID_SENS INT NOT NULL,SENS_UNITS VARCHAR(50) NOT "
            "NULL,CALIB_UNITS VARCHAR(50) NOT NULL,PRIMARY KEY(ID_SENS))");
    db.exec("CREATE TABLE ID_FREQ(ID_FREQ INT NOT NULL,FREQ_UNITS VARCHAR(50) NOT NULL)");
    db.exec("CREATE TABLE SITECHAN (STA VARCHAR(8), CHAN VARCHAR(8))");
    createOldCalibration(db, db.longTextType(), db.timestampType(), false);
    auto connection = open(db);
    ScriptedInteraction ui;
    Schema schema(*connection, ui);
    ASSERT_TRUE(schema.check());
    EXPECT_TRUE(schema.siteChanHasLcode());
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"В таблице SITECHAN отсутствует поле LCODE.\r\nДобавить?",
                                        "В таблицу SITECHAN добавлено поле LCODE!",
                                        "В таблицу CALIBRATION добавлено поле FAP!",
                                        "В таблицу CALIBRATION добавлено поле LDDATE!"}));
    EXPECT_EQ(ui.messages()[2].caption, "Добавление поля FAP в таблицу CALIBRATION");
    EXPECT_TRUE(connection->columnExists("CALIBRATION", "FAP"));
    EXPECT_TRUE(connection->columnExists("CALIBRATION", "LDDATE"));

    // The table now passes its own check unchanged.
    ScriptedInteraction again;
    ASSERT_TRUE(Schema(*connection, again).check());
    EXPECT_TRUE(again.messages().empty());
}

TEST_P(SchemaCheck, AWrongSacTypeIsChangedWithEveryRowKeptAndTheKeyInPlace) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    createUnitTables(db);
    createOldCalibration(db, "VARCHAR(255)", db.timestampType(), true);
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS,SAC) VALUES "
            "('KZ','00','KUR','BHZ','2003-07-15 08:05:00',1.5,'ZEROS 3')");
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS,SAC) VALUES "
            "('KZ','00','KUR','BHZ','2003-07-15 17:05:00',2.5,'POLES 2')");
    auto connection = open(db);
    ScriptedInteraction ui;
    ASSERT_TRUE(Schema(*connection, ui).check());
    if (GetParam() == Backend::SQLite) {
        EXPECT_EQ(ui.messageTexts(),
                  (std::vector<std::string>{"Структура таблицы CALIBRATION успешно изменена!"}));
        EXPECT_EQ(ui.messages()[0].caption, "Изменение структуры таблицы CALIBRATION");
    } else {
        EXPECT_EQ(ui.messageTexts(),
                  (std::vector<std::string>{"Тип поля SAC таблицы CALIBRATION изменен на " +
                                            db.longTextType() + "!"}));
        EXPECT_EQ(ui.messages()[0].caption, "Изменения типа поля SAC");
    }
    EXPECT_FALSE(connection->tableExists("TMP_CALIBRATION"));
    EXPECT_EQ(db.column("SELECT SAC FROM CALIBRATION ORDER BY STARTDATE"),
              (std::vector<std::string>{"ZEROS 3", "POLES 2"}));
    EXPECT_EQ(db.scalar("SELECT SENS FROM CALIBRATION WHERE SAC='POLES 2'"), "2.5");

    // The key still refuses a second row of the same start.
    odbc::Statement duplicate(*connection);
    EXPECT_TRUE(odbc::isError(
        duplicate.execDirect("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE) VALUES "
                             "('KZ','00','KUR','BHZ','2003-07-15 08:05:00')")));

    ScriptedInteraction again;
    ASSERT_TRUE(Schema(*connection, again).check());
    EXPECT_TRUE(again.messages().empty());
}

TEST_P(SchemaCheck, AStartDateWithoutTimeOfDayIsChanged) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    createUnitTables(db);
    createOldCalibration(db, db.longTextType(), "DATE", true);
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC) VALUES "
            "('KZ','00','KUR','BHZ','2003-07-15','ZEROS 3')");
    auto connection = open(db);
    ScriptedInteraction ui;
    ASSERT_TRUE(Schema(*connection, ui).check());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, GetParam() == Backend::SQLite
                                         ? "Структура таблицы CALIBRATION успешно изменена!"
                                         : "Тип поля STARTDATE таблицы CALIBRATION изменен на " +
                                               db.timestampType() + "!");
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION"), "ZEROS 3");
    EXPECT_EQ(text::toUpper(connection->columnTypeName("CALIBRATION", "STARTDATE").value_or("")),
              db.timestampType());
}

TEST_P(SchemaCheck, AFailedRebuildLeavesTheTableAsItWas) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    createUnitTables(db);
    createOldCalibration(db, db.longTextType(), db.timestampType(), true);
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC) VALUES "
            "('KZ','00','KUR','BHZ','2003-07-15 08:05:00','ZEROS 3')");
    // A leftover TMP_CALIBRATION makes the first step fail (on MySQL the rebuild is refused
    // before it: there DDL commits at once and could not be rolled back).
    db.exec("CREATE TABLE TMP_CALIBRATION (X INT)");
    auto connection = open(db);
    ScriptedInteraction ui;
    Schema schema(*connection, ui);
    ASSERT_TRUE(schema.detectKind());
    EXPECT_FALSE(schema.rebuildCalibration());
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_EQ(ui.messages().back().text,
              kind() == DbmsKind::MySql
                  ? "Для СУБД MySQL невозможно изменение структуры таблицы CALIBRATION"
                  : "Не удалось изменить структуру таблицы CALIBRATION");
    EXPECT_EQ(ui.messages().back().icon, Icon::Exclamation);
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION"), "ZEROS 3");
    EXPECT_TRUE(connection->columnExists("TMP_CALIBRATION", "X"));
    // Autocommit is on again: a later statement is kept.
    odbc::Statement st(*connection);
    ASSERT_FALSE(odbc::isError(st.execDirect("DROP TABLE TMP_CALIBRATION")));
    EXPECT_FALSE(connection->tableExists("TMP_CALIBRATION"));
}

// A CALIBRATION created by earlier versions with TEXT columns (on MySQL: 64 KB at most) is
// brought to the long text type in place, once; afterwards a response of 100,000 bytes is
// written and read back whole.
TEST_P(SchemaCheck, OlderTextColumnsAreMigratedAndThenHoldALongResponse) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    createUnitTables(db);
    if (GetParam() == Backend::MariaDB)
        db.exec("CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
                "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT "
                "NULL,ENDDATE DATETIME,SENS FLOAT,ID_SENS INT REFERENCES ID_SENS,FREQ "
                "FLOAT,ID_FREQ INT REFERENCES ID_FREQ,SAC TEXT,FAP TEXT,LDDATE DATETIME,PRIMARY "
                "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));");
    else
        createOldCalibration(db, "TEXT", db.timestampType(), true);
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC) VALUES "
            "('KZ','00','KUR','BHZ','2003-07-15 08:05:00','ZEROS 3')");
    for (int i = 0; i < 3; ++i)
        db.exec("INSERT INTO ID_SENS VALUES (" + std::to_string(i) + ",'s','c')");
    db.exec("INSERT INTO ID_FREQ VALUES (0,'Hz')");
    auto connection = open(db);
    ScriptedInteraction ui;
    ASSERT_TRUE(Schema(*connection, ui).check());
    EXPECT_EQ(
        ui.messageTexts(),
        GetParam() == Backend::MariaDB
            ? (std::vector<std::string>{"Тип поля FAP таблицы CALIBRATION изменен на MEDIUMTEXT!",
                                        "Тип поля SAC таблицы CALIBRATION изменен на MEDIUMTEXT!"})
            : std::vector<std::string>{});
    ScriptedInteraction again;
    ASSERT_TRUE(Schema(*connection, again).check());
    EXPECT_TRUE(again.messages().empty()) << again.messageTexts().front();
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION"), "ZEROS 3");

    // 4000 lines of 25 bytes.
    ResponseInput input{"KZ",        "KUR", "BHN", "00", "2004.01.01 00:00:00", "1", "1",
                        "nm/counts", "Hz",  "",    0};
    for (int i = 0; i < 4000; ++i)
        input.text += text::format("%11.4e %11.4e\r\n", 1.0 + i, 2.0 + i);
    ASSERT_EQ(input.text.size(), 100000u);
    ASSERT_EQ(writeResponse(*connection, ui, input, nullptr), WriteOutcome::Written)
        << ui.messageTexts().back();
    ResponseBrowser browser(connection.get(), ui);
    browser.startSelectionRequested = true;
    browser.stationToSelect = "KUR";
    browser.networkToSelect = "KZ";
    browser.channelToSelect = "BHN";
    browser.locationToSelect = "00";
    browser.fillFirstList();
    EXPECT_TRUE(browser.storedText == input.text)
        << browser.storedText.size() << " bytes read back of " << input.text.size();
}

// SQLite takes any type name, so the statements of systems that cannot run here can at
// least be run through the rebuild sequence on it.
TEST(SchemaRebuild, MySqlRefusesAndLeavesTheTableAsItWas) {
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    db.exec("CREATE TABLE CALIBRATION (NETWORK VARCHAR(8), SAC VARCHAR(10))");
    db.exec("INSERT INTO CALIBRATION VALUES ('KZ', 'ZEROS 3')");
    OpenResult open = openConnection({db.dsn(), db.user(), db.password()});
    ASSERT_TRUE(open.connection);
    ScriptedInteraction ui;
    Schema schema(*open.connection, ui);
    schema.setKind(DbmsKind::MySql);
    EXPECT_FALSE(schema.rebuildCalibration());
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{
                  "Для СУБД MySQL невозможно изменение структуры таблицы CALIBRATION"}));
    EXPECT_EQ(ui.messages()[0].icon, Icon::Exclamation);
    EXPECT_EQ(open.connection->columnTypeName("CALIBRATION", "SAC"), "VARCHAR(10)");
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION"), "ZEROS 3");
}

TEST(SchemaRebuild, OracleCopiesBackCommitsAndReportsTheKey) {
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    db.exec("CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
            "NULL,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT NULL,STARTDATE DATE NOT NULL,ENDDATE "
            "DATE,SENS FLOAT,ID_SENS INT,FREQ FLOAT,ID_FREQ INT,SAC VARCHAR(10),FAP "
            "VARCHAR(10),LDDATE DATE)");
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC) VALUES "
            "('KZ','00','KUR','BHZ','2003-07-15 08:05:00','ZEROS 3')");
    OpenResult open = openConnection({db.dsn(), db.user(), db.password()});
    ASSERT_TRUE(open.connection);
    ScriptedInteraction ui;
    Schema schema(*open.connection, ui);
    schema.setKind(DbmsKind::Oracle);
    EXPECT_TRUE(schema.rebuildCalibration());
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Не удалось установить ключ на таблицу CALIBRATION",
                                        "Структура таблицы CALIBRATION успешно изменена!"}));
    EXPECT_EQ(open.connection->columnTypeName("CALIBRATION", "SAC"), "CLOB");
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION"), "ZEROS 3");
    EXPECT_FALSE(open.connection->tableExists("TMP_CALIBRATION"));
}

INSTANTIATE_TEST_SUITE_P(Backends, SchemaCheck, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
