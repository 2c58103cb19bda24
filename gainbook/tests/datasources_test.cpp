// The data source editor writes through the installer library into the test process's
// own odbc.ini files.
#include "datasources.h"
#include "db/connection.h"

#include "testdb.h"

#include <odbcinst.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace orv;
using namespace orv::gainbook;
using orv::test::TempDir;

namespace {
bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}
} // namespace

TEST(DataSources, TheInstalledDriversAreListed) {
    orv::test::odbcIniDir();
    const auto drivers = installedDrivers();
    EXPECT_TRUE(contains(drivers, "SQLite3"));
    EXPECT_TRUE(contains(drivers, "PostgreSQL Unicode"));
}

TEST(DataSources, AUserSourceIsAddedEditedUsedAndRemoved) {
    orv::test::odbcIniDir();
    TempDir dir;
    DataSourceDefinition d;
    d.name = "GB_EDITOR_USER";
    d.driver = "SQLite3";
    d.attributes = {{"Database", (dir / "edited.db").string()}, {"Description", "first"}};
    std::string error;
    ASSERT_TRUE(writeDataSource(d, error)) << error;
    EXPECT_TRUE(contains(dataSourceNames(false), d.name));
    EXPECT_FALSE(contains(dataSourceNames(true), d.name));

    d.attributes[1].second = "second";
    d.attributes.push_back({"Timeout", "1000"});
    ASSERT_TRUE(writeDataSource(d, error)) << error;
    d.attributes.pop_back(); // a removed attribute is gone from the file
    ASSERT_TRUE(writeDataSource(d, error)) << error;
    const auto read = readDataSource(d.name, false);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->driver, "SQLite3");
    EXPECT_EQ(read->attributes, d.attributes);
    EXPECT_FALSE(readDataSource(d.name, true));

    OpenResult open = openConnection({d.name, "", ""});
    EXPECT_TRUE(open.connection) << open.diagnostic;
    open.connection.reset();

    ASSERT_TRUE(removeDataSource(d.name, false, error)) << error;
    EXPECT_FALSE(contains(dataSourceNames(false), d.name));
    EXPECT_FALSE(readDataSource(d.name, false));
}

TEST(DataSources, ASystemSourceGoesToTheSystemFile) {
    orv::test::odbcIniDir();
    TempDir dir;
    DataSourceDefinition d{
        "GB_EDITOR_SYSTEM", true, "SQLite3", {{"Database", (dir / "s.db").string()}}};
    std::string error;
    ASSERT_TRUE(writeDataSource(d, error)) << error;
    EXPECT_TRUE(contains(dataSourceNames(true), d.name));
    EXPECT_FALSE(contains(dataSourceNames(false), d.name));
    ASSERT_TRUE(removeDataSource(d.name, true, error)) << error;
    EXPECT_FALSE(contains(dataSourceNames(true), d.name));
}

TEST(DataSources, AnEditedSourceIsNeverRemovedBeforeItsReplacementIsWritten) {
    orv::test::odbcIniDir();
    TempDir dir;
    // Longer than the driver manager registers anew (32 characters), as another tool may
    // have written it: registering it again fails, so it must be edited in place.
    const std::string name(40, 'G');
    SQLSetConfigMode(ODBC_USER_DSN);
    SQLWritePrivateProfileString(name.c_str(), "Driver", "SQLite3", "odbc.ini");
    SQLWritePrivateProfileString(name.c_str(), "Database", (dir / "a.db").c_str(), "odbc.ini");
    SQLWritePrivateProfileString(name.c_str(), "Timeout", "1000", "odbc.ini");
    SQLSetConfigMode(ODBC_BOTH_DSN);
    ASSERT_TRUE(readDataSource(name, false));

    DataSourceDefinition d{name, false, "SQLite3", {{"Database", (dir / "b.db").string()}}};
    std::string error;
    EXPECT_TRUE(writeDataSource(d, error)) << error;
    const auto read = readDataSource(name, false);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->driver, "SQLite3");
    EXPECT_EQ(read->attributes, d.attributes); // Timeout removed once the rest was written
    ASSERT_TRUE(removeDataSource(name, false, error)) << error;
}

TEST(DataSources, BadDefinitionsAreRefusedBeforeAnythingIsWritten) {
    std::string error;
    EXPECT_FALSE(writeDataSource({"", false, "SQLite3", {}}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(writeDataSource({"A[B]", false, "SQLite3", {}}, error));
    EXPECT_FALSE(writeDataSource({"GOOD", false, "", {}}, error));
    EXPECT_FALSE(writeDataSource({"GOOD", false, "SQLite3", {{"", "x"}}}, error));
    EXPECT_FALSE(writeDataSource({"GOOD", false, "SQLite3", {{"Driver", "x"}}}, error));
    EXPECT_EQ(validateDataSource({"GOOD", false, "SQLite3", {{"Database", "/x"}}}), "");
}
