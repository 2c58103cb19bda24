// Response tables for the tests of the database panel and the writer, created by the
// editor's own schema code, with their default unit rows.
#pragma once

#include "schema.h"
#include "testdb.h"
#include "ui/scripted.h"

#include <string>

namespace orv::gainbook::test {

inline void createResponseTables(const orv::test::TestDatabase& db) {
    auto connection = db.connect();
    orv::ui::ScriptedInteraction ui;
    Schema schema(*connection, ui);
    ASSERT_TRUE(schema.detectKind());
    ASSERT_TRUE(schema.createIdSens());
    ASSERT_TRUE(schema.createIdFreq());
    ASSERT_TRUE(schema.createCalibration());
}

// A stored response row; dates as "YYYY-MM-DD HH:MM:SS", "" for NULL.
inline void insertResponse(const orv::test::TestDatabase& db, const std::string& network,
                           const std::string& station, const std::string& channel,
                           const std::string& location, const std::string& start,
                           const std::string& end, const std::string& sac = "SAC TEXT",
                           const std::string& fap = "", double sens = 1.5, int idSens = 1,
                           double freq = 1.0, int idFreq = 0) {
    auto lit = [](const std::string& v) { return v.empty() ? std::string("NULL") : "'" + v + "'"; };
    auto ts = [](const std::string& v) {
        return v.empty() ? std::string("NULL") : "{ts '" + v + "'}";
    };
    db.exec("INSERT INTO CALIBRATION VALUES(" + lit(network) + "," + lit(location) + "," +
            lit(station) + "," + lit(channel) + "," + ts(start) + "," + ts(end) + "," +
            std::to_string(sens) + "," + std::to_string(idSens) + "," + std::to_string(freq) + "," +
            std::to_string(idFreq) + "," + lit(sac) + "," + lit(fap) +
            ",{ts '2020-01-01 00:00:00'})");
}

} // namespace orv::gainbook::test
