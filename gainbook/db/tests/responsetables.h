// Response tables for the tests of the database panel and the writer, created by the
// editor's own schema code, with their default unit rows; a sample response to write and
// the stored intervals to compare.
#pragma once

#include "db/datetext.h"
#include "db/responsewriter.h"
#include "db/schema.h"
#include "testdb.h"
#include "ui/scripted.h"

#include <string>
#include <vector>

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

// A response of the key KZ KIV BHZ 00 from time: a pole-zero text (kind 0) or a FAP
// table (kind 1).
inline ResponseInput sampleInput(const std::string& time, int kind = 0) {
    ResponseInput in;
    in.network = "KZ";
    in.station = "KIV";
    in.channel = "BHZ";
    in.location = "00";
    in.time = time;
    in.calib = "0.5";
    in.freq = "1.0";
    in.sensUnit = "nm/counts*sec";
    in.freqUnit = "Hz";
    in.text = kind == 0 ? "ZEROS 3\r\nPOLES 2\r\nCONSTANT 1.0\r\n" : "1.0 2.0 0.0\r\n";
    in.kind = kind;
    return in;
}

// Every stored interval, oldest first, as "start / end" ("-" when open).
inline std::vector<std::string> storedIntervals(orv::odbc::Connection& connection) {
    std::vector<std::string> out;
    orv::odbc::Statement st(connection);
    EXPECT_FALSE(orv::odbc::isError(
        st.execDirect("SELECT STARTDATE,ENDDATE FROM CALIBRATION ORDER BY STARTDATE")));
    while (orv::odbc::isSuccess(st.fetch())) {
        const auto end = st.getTimestamp(2);
        out.push_back(formatDateText(*st.getTimestamp(1)) + " / " +
                      (end ? formatDateText(*end) : std::string("-")));
    }
    return out;
}

} // namespace orv::gainbook::test
