// An SQLite database file damaged as a failing disk damages one: a table of many rows
// with pages of its file overwritten. Reading every row fails part way.
#pragma once

#include "testdb.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace orv::test {

// Overwrites a leaf page in the middle of the table and of each of its indexes that span
// more than 4 leaf pages (the file's pages are 4096 bytes): a scan of any of them reads its
// first rows and then fails. No connection to db may be open.
inline void damageTable(const TestDatabase& db, const std::string& table) {
    std::string file;
    std::vector<long> pages;
    {
        auto c = db.connect();
        odbc::Statement st(*c);
        ASSERT_FALSE(odbc::isError(st.execDirect("PRAGMA database_list")));
        ASSERT_TRUE(odbc::isSuccess(st.fetch()));
        file = st.getText(3).value_or("");
        odbc::Statement leaves(*c);
        ASSERT_FALSE(odbc::isError(
            leaves.execDirect("SELECT d.name, d.pageno FROM dbstat d JOIN sqlite_master m ON "
                              "m.name = d.name WHERE d.pagetype = 'leaf' AND m.tbl_name = '" +
                              table + "' ORDER BY d.name, d.pageno")))
            << leaves.diagnostic();
        std::map<std::string, std::vector<long>> byTree;
        while (odbc::isSuccess(leaves.fetch()))
            byTree[leaves.getText(1).value_or("")].push_back(
                std::stol(leaves.getText(2).value_or("0")));
        for (const auto& [tree, leafPages] : byTree)
            if (leafPages.size() > 4)
                pages.push_back(leafPages[leafPages.size() / 2]);
    }
    ASSERT_FALSE(pages.empty()) << table;
    constexpr std::streamoff kPage = 4096;
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    const std::string garbage(kPage, '\x55');
    for (const long page : pages) {
        f.seekp((page - 1) * kPage);
        f.write(garbage.data(), kPage);
    }
    ASSERT_TRUE(f.good());
}

// Fills CALIBRATION (which must exist, empty) with 3000 responses of stations S0001 to
// S3000 and damages it (damageTable).
inline void damageResponses(const TestDatabase& db) {
    db.exec("WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 3000) "
            "INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS,ID_SENS,FREQ,"
            "ID_FREQ,SAC,LDDATE) SELECT 'KZ','00',printf('S%04d',I),'BHZ','2003-01-01 "
            "00:00:00',1,1,1,0,printf('%0300d',I),'2020-01-01 00:00:00' FROM N");
    damageTable(db, "CALIBRATION");
}

} // namespace orv::test
