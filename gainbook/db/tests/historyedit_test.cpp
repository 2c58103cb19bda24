// Re-dating and deleting stored responses against the real back ends: what each change does
// to the row it names and to no other, and how a change that matched nothing or that the
// database refused is told from one that was made.
#include "db/historyedit.h"

#include "db/responsestatements.h"
#include "responsetables.h"

#include <gtest/gtest.h>

using namespace orv::gainbook;
using orv::odbc::Timestamp;
using orv::test::Backend;
using orv::test::TestDatabase;
using Strings = std::vector<std::string>;

namespace {

const StoredKey kKey{"KIV", "KZ", "BHZ", "00"};

Timestamp at(int year, int month = 1, int day = 1) {
    return {year, month, day, 0, 0, 0};
}

} // namespace

class HistoryEdit : public testing::TestWithParam<Backend> {
protected:
    HistoryEdit() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        test::createResponseTables(db);
        connection = db.connect();
        // 2001 to 2003, 2003 to 2005, and the open interval from 2005.
        add("2001-01-01 00:00:00", "2003-01-01 00:00:00");
        add("2003-01-01 00:00:00", "2005-01-01 00:00:00");
        add("2005-01-01 00:00:00", "", "SAC TEXT", "FAP TEXT");
    }
    void add(const std::string& start, const std::string& end, const std::string& sac = "SAC TEXT",
             const std::string& fap = "") {
        test::insertResponse(db, "KZ", "KIV", "BHZ", "00", start, end, sac, fap);
    }
    // The key's intervals, oldest first, as the date editor lists them.
    Strings intervals() {
        Strings out =
            readIntervals(*connection, sql::kDateEditorIntervals, {"KZ", "KIV", "BHZ", "00"}, "-")
                .values;
        std::reverse(out.begin(), out.end());
        return out;
    }
    std::string texts(const std::string& start) {
        const Strings sac =
            db.column("SELECT SAC FROM CALIBRATION WHERE STARTDATE={ts '" + start + "'}");
        const Strings fap =
            db.column("SELECT FAP FROM CALIBRATION WHERE STARTDATE={ts '" + start + "'}");
        return sac.empty() ? "no row" : sac[0] + "," + fap[0];
    }

    TestDatabase db;
    std::unique_ptr<orv::odbc::Connection> connection;
};

TEST_P(HistoryEdit, ClosedAndOpenIntervalsAreReDatedAndNoOtherOne) {
    // A closed interval gets both new dates; its neighbours keep theirs (now overlapping).
    EXPECT_EQ(redateInterval(*connection, kKey, at(2003), at(2005), at(2002), at(2006)).status,
              EditStatus::Changed);
    // An end emptied: the interval becomes open.
    EXPECT_EQ(redateInterval(*connection, kKey, at(2001), at(2003), at(2000), std::nullopt).status,
              EditStatus::Changed);
    // The open interval: matched by its NULL end, given an end and then opened again.
    EXPECT_EQ(redateInterval(*connection, kKey, at(2005), std::nullopt, at(2007), at(2008)).status,
              EditStatus::Changed);
    EXPECT_EQ(intervals(),
              (Strings{"2000.01.01 00:00:00 / -", "2002.01.01 00:00:00 / 2006.01.01 00:00:00",
                       "2007.01.01 00:00:00 / 2008.01.01 00:00:00"}));
    EXPECT_EQ(redateInterval(*connection, kKey, at(2007), at(2008), at(2009), std::nullopt).status,
              EditStatus::Changed);
    EXPECT_EQ(intervals().back(), "2009.01.01 00:00:00 / -");
    EXPECT_EQ(texts("2009-01-01 00:00:00"), "SAC TEXT,FAP TEXT");
}

TEST_P(HistoryEdit, ACollisionIsRefusedWithTheDriversMessageAndAMissingRowIsToldApart) {
    const Strings before = intervals();
    const EditResult collision =
        redateInterval(*connection, kKey, at(2003), at(2005), at(2001), at(2002));
    EXPECT_EQ(collision.status, EditStatus::Failed);
    EXPECT_FALSE(collision.diagnostic.empty());
    // Dates that name no stored interval, or the open one as if it were closed.
    EXPECT_EQ(redateInterval(*connection, kKey, at(2004), at(2005), at(2010), at(2011)).status,
              EditStatus::NoRow);
    EXPECT_EQ(redateInterval(*connection, kKey, at(2005), at(1900), at(2010), at(2011)).status,
              EditStatus::NoRow);
    EXPECT_EQ(intervals(), before);
    // The dates it already has: done, though a driver may count no changed row.
    EXPECT_EQ(redateInterval(*connection, kKey, at(2003), at(2005), at(2003), at(2005)).status,
              EditStatus::Changed);
    EXPECT_EQ(intervals(), before);
}

TEST_P(HistoryEdit, DeletingARecordOrEmptyingOneOfItsTexts) {
    // Emptying FAP of a row that also holds SAC: the row stays with SAC, SENS and FREQ.
    EXPECT_EQ(deleteStored(*connection, kKey, at(2005), DeleteChoice::EmptyFap).status,
              EditStatus::Changed);
    EXPECT_EQ(texts("2005-01-01 00:00:00"), "SAC TEXT,<NULL>");
    EXPECT_EQ(db.scalar("SELECT SENS FROM CALIBRATION WHERE STARTDATE={ts '2005-01-01 00:00:00'}")
                  .substr(0, 3),
              "1.5");
    // Emptying a text that is empty already finds the row all the same.
    EXPECT_EQ(deleteStored(*connection, kKey, at(2005), DeleteChoice::EmptyFap).status,
              EditStatus::Changed);
    // Emptying the only text: the row stays without any.
    EXPECT_EQ(deleteStored(*connection, kKey, at(2001), DeleteChoice::EmptySac).status,
              EditStatus::Changed);
    EXPECT_EQ(texts("2001-01-01 00:00:00"), "<NULL>,<NULL>");
    // Deleting the newest interval reopens none: the older one keeps its end.
    EXPECT_EQ(deleteStored(*connection, kKey, at(2005), DeleteChoice::WholeRecord).status,
              EditStatus::Changed);
    EXPECT_EQ(intervals(), (Strings{"2001.01.01 00:00:00 / 2003.01.01 00:00:00",
                                    "2003.01.01 00:00:00 / 2005.01.01 00:00:00"}));
    // A record that is not there: nothing matched.
    EXPECT_EQ(deleteStored(*connection, kKey, at(2005), DeleteChoice::WholeRecord).status,
              EditStatus::NoRow);
    EXPECT_EQ(deleteStored(*connection, kKey, at(2005), DeleteChoice::EmptySac).status,
              EditStatus::NoRow);
    db.exec("DROP TABLE CALIBRATION");
    const EditResult failed = deleteStored(*connection, kKey, at(2001), DeleteChoice::WholeRecord);
    EXPECT_EQ(failed.status, EditStatus::Failed);
    EXPECT_FALSE(failed.diagnostic.empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryEdit, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
