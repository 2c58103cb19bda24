#include "connectiondialog.h"

#include "testdb.h"
#include "text/text.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace orv;
using namespace orv::gainbook;
using orv::test::Backend;
using orv::test::TestDatabase;
using orv::ui::Icon;
using orv::ui::ScriptedInteraction;

namespace {

int indexOf(const std::vector<std::string>& v, const std::string& s) {
    const auto it = std::find(v.begin(), v.end(), s);
    return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

} // namespace

TEST(ConnectionDialog, ListsSystemSourcesFirstAndSelectsFromTheSecondEntryOn) {
    TestDatabase db(Backend::SQLite); // a system data source of the test's own
    ORV_SKIP_IF_UNAVAILABLE(db);
    // The same name as a user data source.
    {
        std::ofstream user(std::getenv("ODBCINI"), std::ios::app);
        user << "[" << db.dsn() << "]\nDriver=SQLite3\nDatabase=/nonexistent/x.db\n\n";
    }
    ScriptedInteraction ui;
    ConnectionDialog dialog(ui, {db.dsn(), "ORV", "KTZ"});
    dialog.listDataSources();
    const auto& entries = dialog.entries();
    const int system = indexOf(entries, db.dsn() + " (System DSN)");
    const int user = indexOf(entries, db.dsn() + " (User DSN)");
    ASSERT_GE(system, 0);
    ASSERT_GT(user, system);
    // The search runs from the second entry, so the first entry is found last.
    EXPECT_EQ(dialog.selected(), system == 0 ? user : system);
    EXPECT_EQ(dialog.user, "ORV");
    EXPECT_EQ(dialog.password, "KTZ");

    ConnectionDialog empty(ui, {});
    empty.listDataSources();
    EXPECT_EQ(empty.selected(), entries.size() > 1 ? 1 : 0);

    ConnectionDialog unknown(ui, {"NO_SUCH_SOURCE_AT_ALL", "", ""});
    unknown.listDataSources();
    EXPECT_EQ(unknown.selected(), 0);
    EXPECT_TRUE(ui.messages().empty());
}

TEST(ConnectionDialog, EntriesAreCutAtTheirSuffix) {
    EXPECT_EQ(ConnectionDialog::dataSourceOf("ORV (System DSN)"), "ORV");
    EXPECT_EQ(ConnectionDialog::dataSourceOf("ORV (User DSN)"), "ORV");
    EXPECT_EQ(ConnectionDialog::dataSourceOf("ORV"), "ORV");
}

class ConnectionDialogTest : public testing::TestWithParam<Backend> {};

TEST_P(ConnectionDialogTest, TestReportsTheTablesAndOkTestsAgain) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    db.exec("CREATE TABLE ID_FREQ (ID_FREQ INT)");
    ScriptedInteraction ui;
    ConnectionDialog dialog(ui, {db.dsn(), "", ""});
    dialog.listDataSources();
    ASSERT_EQ(dialog.entries()[static_cast<std::size_t>(dialog.selected())],
              db.dsn() + " (System DSN)");
    dialog.user = "ORV";
    dialog.password = "KTZ";
    ASSERT_TRUE(dialog.test());
    ASSERT_TRUE(dialog.ok());
    ASSERT_EQ(ui.messages().size(), 2u); // the report is shown twice
    const auto report = ui.messages()[1];
    EXPECT_EQ(report.caption, "Подключение к источнику данных!");
    EXPECT_EQ(report.icon, Icon::Information);
    const std::string head = "Успешное подключение к DSN: " + db.dsn() +
                             "\t\r\nПользователь: ORV\r\n\r\nКоличество таблиц: 1\r\n\t";
    EXPECT_EQ(report.text.substr(0, head.size()), head);
    // PostgreSQL keeps unquoted names in lower case.
    EXPECT_TRUE(text::equalsNoCase(report.text.substr(report.text.size() - 9), "ID_FREQ\r\n"))
        << report.text;

    EXPECT_EQ(dialog.settings(), (ConnectionSettings{db.dsn(), "ORV", "KTZ"}));
    DatabaseConnection c = dialog.takeConnection();
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->isOpen());
}

INSTANTIATE_TEST_SUITE_P(Backends, ConnectionDialogTest,
                         testing::ValuesIn(orv::test::allBackends()), orv::test::backendParamName);

TEST(ConnectionDialog, AFailedTryShowsTheDriverManagersText) {
    orv::test::odbcIniDir();
    ScriptedInteraction ui;
    ConnectionDialog dialog(ui, {});
    // Nothing selected: the name is empty.
    EXPECT_FALSE(dialog.test());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Ошибка при подключении к базе данных");
    EXPECT_EQ(ui.messages()[0].icon, Icon::Stop);
    EXPECT_EQ(ui.messages()[0].text.rfind(
                  "При попытке подключения к базе данных произошла ошибка:\r\n", 0),
              0u);
    EXPECT_FALSE(dialog.takeConnection());
}
