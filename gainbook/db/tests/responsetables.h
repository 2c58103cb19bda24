// Response tables for the tests of the database panel and the writer, made the way a
// database brought into shape by Gainbook has them.
#pragma once

#include "testdb.h"

#include <string>

namespace orv::gainbook::test {

inline void createResponseTables(const orv::test::TestDatabase& db) {
    const std::string d = db.doubleType();
    db.exec("CREATE TABLE ID_SENS(ID_SENS INT NOT NULL,SENS_UNITS VARCHAR(50) NOT NULL,"
            "CALIB_UNITS VARCHAR(50) NOT NULL,PRIMARY KEY(ID_SENS))");
    db.exec("CREATE TABLE ID_FREQ(ID_FREQ INT NOT NULL,FREQ_UNITS VARCHAR(50) NOT NULL,"
            "PRIMARY KEY(ID_FREQ))");
    db.exec("INSERT INTO ID_SENS VALUES(0,'counts/m','nm/counts')");
    db.exec("INSERT INTO ID_SENS VALUES(1,'counts*sec/m','nm/counts*sec')");
    db.exec("INSERT INTO ID_SENS VALUES(2,'counts*sec**2/m','nm/counts*sec**2')");
    db.exec("INSERT INTO ID_FREQ VALUES(0,'Hz')");
    db.exec("INSERT INTO ID_FREQ VALUES(1,'rad/sec')");
    db.exec("CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,"
            "STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT NULL,STARTDATE TIMESTAMP NOT NULL,"
            "ENDDATE TIMESTAMP,SENS " + d + ",ID_SENS INT,FREQ " + d + ",ID_FREQ INT,SAC TEXT,"
            "FAP TEXT,LDDATE TIMESTAMP,PRIMARY KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE))");
}

// A stored response row; dates as "YYYY-MM-DD HH:MM:SS", "" for NULL.
inline void insertResponse(const orv::test::TestDatabase& db, const std::string& network,
                           const std::string& station, const std::string& channel,
                           const std::string& location, const std::string& start,
                           const std::string& end, const std::string& sac = "SAC TEXT",
                           const std::string& fap = "", double sens = 1.5, int idSens = 1,
                           double freq = 1.0, int idFreq = 0) {
    auto lit = [](const std::string& v) { return v.empty() ? std::string("NULL") : "'" + v + "'"; };
    auto ts = [](const std::string& v) { return v.empty() ? std::string("NULL") : "{ts '" + v + "'}"; };
    db.exec("INSERT INTO CALIBRATION VALUES(" + lit(network) + "," + lit(location) + "," +
            lit(station) + "," + lit(channel) + "," + ts(start) + "," + ts(end) + "," +
            std::to_string(sens) + "," + std::to_string(idSens) + "," + std::to_string(freq) +
            "," + std::to_string(idFreq) + "," + lit(sac) + "," + lit(fap) +
            ",{ts '2020-01-01 00:00:00'})");
}

} // namespace orv::gainbook::test
