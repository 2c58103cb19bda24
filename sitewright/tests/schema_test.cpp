#include "core/schema.h"
#include "text/text.h"
#include "ui/scripted.h"

#include "testdb.h"

#include <gtest/gtest.h>

using namespace orv::sitewright;
using orv::test::Backend;
using orv::test::TestDatabase;

TEST(SchemaKind, TheDbmsNameDecidesTheKind) {
    EXPECT_EQ(classifySchemaDbms("MICROSOFT ACCESS"), SchemaDbmsKind::Access);
    EXPECT_EQ(classifySchemaDbms("ACCESS"), SchemaDbmsKind::Access);
    EXPECT_EQ(classifySchemaDbms("Microsoft SQL Server"), SchemaDbmsKind::SqlServer);
    EXPECT_EQ(classifySchemaDbms("Oracle"), SchemaDbmsKind::Oracle);
    EXPECT_EQ(classifySchemaDbms("MySQL"), SchemaDbmsKind::MySql);
    EXPECT_EQ(classifySchemaDbms("MariaDB"), SchemaDbmsKind::MySql);
    EXPECT_EQ(classifySchemaDbms("PostgreSQL"), SchemaDbmsKind::PostgreSql);
    EXPECT_EQ(classifySchemaDbms("SQLite"), SchemaDbmsKind::SQLite);
    EXPECT_EQ(classifySchemaDbms("Something else"), SchemaDbmsKind::Access);
}

TEST(SchemaKind, StatementsPerKind) {
    const auto& cols = schemaColumns();
    ASSERT_EQ(cols.size(), 32u);
    const SchemaColumn& nindex = cols[0];
    const SchemaColumn& dnorth = cols[8];
    const SchemaColumn& ondate = cols[5];
    EXPECT_EQ(alterStatement(SchemaDbmsKind::Access, nindex, false),
              "ALTER TABLE SITE ADD NINDEX   INT");
    EXPECT_EQ(alterStatement(SchemaDbmsKind::Access, dnorth, true),
              "ALTER TABLE SITE ALTER DNORTH   DOUBLE");
    EXPECT_EQ(alterStatement(SchemaDbmsKind::SqlServer, dnorth, true),
              "ALTER TABLE SITE ALTER COLUMN DNORTH   FLOAT");
    EXPECT_EQ(alterStatement(SchemaDbmsKind::PostgreSql, dnorth, true),
              "ALTER TABLE SITE ALTER DNORTH TYPE FLOAT");
    EXPECT_EQ(alterStatement(SchemaDbmsKind::Oracle, ondate, true),
              "ALTER TABLE SITE MODIFY ONDATE   DATE");
    // Opening and closing keep their time of day.
    EXPECT_EQ(alterStatement(SchemaDbmsKind::MySql, ondate, true),
              "ALTER TABLE SITE MODIFY ONDATE   DATETIME");
    EXPECT_EQ(alterStatement(SchemaDbmsKind::PostgreSql, ondate, true),
              "ALTER TABLE SITE ALTER ONDATE TYPE TIMESTAMP");
}

class Schema : public testing::TestWithParam<Backend> {
protected:
    Schema() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        // An older SITE without the later columns.
        db.exec("CREATE TABLE SITE (STA VARCHAR(8), NGROUPS INT, LAT " + db.doubleType() +
                ", LON " + db.doubleType() + ", ELEV " + db.doubleType() +
                ", DESCR VARCHAR(50), LDDATE " + db.timestampType() + ", COD VARCHAR(2))");
        db.createSiteChanTable();
        db.exec("CREATE TABLE ORIGIN (ORID INT)");
        connection = db.connect();
    }
    TestDatabase db;
    std::unique_ptr<orv::odbc::Connection> connection;
    orv::ui::ScriptedInteraction ui;
};

TEST_P(Schema, MissingColumnsAreAddedAndAMissingTableFailsOncePerColumn) {
    const auto statements = upgradeSchema(*connection, ui);
    // ARRIVAL does not exist: each of its 15 columns gives one message.
    ASSERT_EQ(ui.messages().size(), 15u);
    EXPECT_EQ(ui.messages()[0].icon, orv::ui::Icon::Stop);
    EXPECT_EQ(ui.messages()[0].text.rfind("Ошибка базы данных: \nОшибка добавления поля ARID в "
                                          "таблицу ARRIVAL",
                                          0),
              0u)
        << ui.messages()[0].text;
    for (const char* column : {"NINDEX", "STATYPE", "STANAME", "UNDERGROUND", "ONDATE", "OFFDATE",
                               "REFSTA", "DNORTH", "DEAST"})
        EXPECT_TRUE(connection->columnExists("SITE", column)) << column;
    EXPECT_TRUE(connection->columnExists("ORIGIN", "MSUNC"));
    EXPECT_EQ(statements[0], std::string("ALTER TABLE SITE ADD NINDEX   INT"));

    // The opening date keeps its time of day, a coordinate offset its digits.
    db.exec("INSERT INTO SITE (STA, ONDATE, DNORTH) VALUES ('KIV', {ts '2001-05-07 13:14:15'}, "
            "1234.5678901)");
    EXPECT_EQ(db.scalar("SELECT ONDATE FROM SITE").substr(0, 19), "2001-05-07 13:14:15");

    // A second run changes (or, on SQLite, leaves) the existing columns.
    ui.clear();
    const auto again = upgradeSchema(*connection, ui);
    EXPECT_EQ(ui.messages().size(), 15u);
    if (GetParam() == Backend::SQLite) {
        EXPECT_EQ(again.size(), 15u); // only the ARRIVAL columns are tried again
    } else {
        EXPECT_EQ(again.size(), 32u);
        EXPECT_EQ(again[0], GetParam() == Backend::MariaDB
                                ? "ALTER TABLE SITE MODIFY NINDEX   INT"
                                : "ALTER TABLE SITE ALTER NINDEX TYPE INT");
    }
    EXPECT_EQ(db.scalar("SELECT ONDATE FROM SITE").substr(0, 19), "2001-05-07 13:14:15");
    EXPECT_EQ(orv::text::toDouble(db.scalar("SELECT DNORTH FROM SITE")), 1234.5678901);
}

INSTANTIATE_TEST_SUITE_P(Backends, Schema, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
