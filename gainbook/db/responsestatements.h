// Every statement through which Gainbook reads, looks up and writes stored responses,
// in one place. Parameters are "?" markers; the comment under each names them in order.
#pragma once

namespace orv::gainbook::sql {

// --- the database panel ------------------------------------------------------------------
inline constexpr const char* kStationsAll = "SELECT DISTINCT STA FROM CALIBRATION";
inline constexpr const char* kNetworksAll = "SELECT DISTINCT NETWORK FROM CALIBRATION";
// PostgreSQL (15 and earlier) cannot skip from one value of an index to the next: the two
// DISTINCT statements above read every one of a million index entries (90 ms and more with
// the index, 200 ms without). These forms return the same values, in ascending order, with
// one probe of the index per value (a "loose index scan"); the database panel sends them
// to PostgreSQL only. SQLite (with its statistics) and MySQL skip by themselves.
inline constexpr const char* kStationsAllLooseScan =
    "WITH RECURSIVE T(STA) AS (SELECT MIN(STA) FROM CALIBRATION UNION ALL SELECT (SELECT "
    "MIN(STA) FROM CALIBRATION WHERE STA>T.STA) FROM T WHERE T.STA IS NOT NULL) SELECT STA "
    "FROM T WHERE STA IS NOT NULL";
inline constexpr const char* kNetworksAllLooseScan =
    "WITH RECURSIVE T(NETWORK) AS (SELECT MIN(NETWORK) FROM CALIBRATION UNION ALL SELECT "
    "(SELECT MIN(NETWORK) FROM CALIBRATION WHERE NETWORK>T.NETWORK) FROM T WHERE T.NETWORK IS "
    "NOT NULL) SELECT NETWORK FROM T WHERE NETWORK IS NOT NULL";
// station
inline constexpr const char* kNetworksOfStation =
    "SELECT DISTINCT NETWORK FROM CALIBRATION WHERE STA=?;";
// station, network
inline constexpr const char* kChannelsOfStationNetwork =
    "SELECT DISTINCT CHAN FROM CALIBRATION WHERE STA=? AND NETWORK=?;";
// network, station
inline constexpr const char* kChannelsOfNetworkStation =
    "SELECT DISTINCT CHAN FROM CALIBRATION WHERE NETWORK=? AND STA=?;";
// network
inline constexpr const char* kStationsOfNetwork =
    "SELECT DISTINCT STA FROM CALIBRATION WHERE NETWORK=?;";
// station, network, channel
inline constexpr const char* kLocations =
    "SELECT DISTINCT LOCATION FROM CALIBRATION WHERE STA=? AND NETWORK=? AND CHAN=?;";
// station, network, channel, location; newest first
inline constexpr const char* kIntervals =
    "SELECT STARTDATE,ENDDATE FROM CALIBRATION WHERE STA=? AND NETWORK=? AND CHAN=? AND "
    "LOCATION=? ORDER BY STARTDATE DESC;";
// station, network, channel, location, start (bound as SQL_TIMESTAMP); the last column
// says whether the record holds the other text (1) or not (0)
inline constexpr const char* kRecordSac =
    "SELECT SAC,SENS,ID_SENS,FREQ,ID_FREQ,CASE WHEN FAP IS NULL THEN 0 ELSE 1 END "
    "FROM CALIBRATION WHERE STA=? AND NETWORK=? AND CHAN=? AND LOCATION=? AND STARTDATE=?;";
inline constexpr const char* kRecordFap =
    "SELECT FAP,SENS,ID_SENS,FREQ,ID_FREQ,CASE WHEN SAC IS NULL THEN 0 ELSE 1 END "
    "FROM CALIBRATION WHERE STA=? AND NETWORK=? AND CHAN=? AND LOCATION=? AND STARTDATE=?;";
// ID_SENS of the record
inline constexpr const char* kSensUnit = "SELECT SENS_UNITS FROM ID_SENS WHERE ID_SENS=?;";
// ID_FREQ of the record
inline constexpr const char* kFreqUnit = "SELECT FREQ_UNITS FROM ID_FREQ WHERE ID_FREQ=?";

// --- the file panel's look-up of a bare response file --------------------------------------
// file name (without directory)
inline constexpr const char* kSiteChanByFileWithLcode =
    "SELECT STA,CHAN,LDDATE,LCODE FROM SITECHAN WHERE CALIBFILE=?;";
inline constexpr const char* kSiteChanByFile =
    "SELECT STA,CHAN,LDDATE FROM SITECHAN WHERE CALIBFILE=?;";

// --- writing a response ------------------------------------------------------------------
// station, channel, network, location
inline constexpr const char* kExistingIntervals =
    "SELECT STARTDATE,ENDDATE FROM CALIBRATION WHERE STA=? AND CHAN=? AND NETWORK=? AND "
    "LOCATION=?;";
// network, location, station, channel, start, [end,] SENS, ID_SENS, FREQ, ID_FREQ, text, LDDATE
inline constexpr const char* kInsertSacOpen =
    "INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,"
    "ID_FREQ,SAC,LDDATE) VALUES(?,?,?,?,?,NULL,?,?,?,?,?,?);";
inline constexpr const char* kInsertSacClosed =
    "INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,"
    "ID_FREQ,SAC,LDDATE) VALUES(?,?,?,?,?,?,?,?,?,?,?,?);";
inline constexpr const char* kInsertFapOpen =
    "INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,"
    "ID_FREQ,FAP,LDDATE) VALUES(?,?,?,?,?,NULL,?,?,?,?,?,?);";
inline constexpr const char* kInsertFapClosed =
    "INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,"
    "ID_FREQ,FAP,LDDATE) VALUES(?,?,?,?,?,?,?,?,?,?,?,?);";
// network, station, channel, location; newest first
inline constexpr const char* kChoiceIntervals =
    "SELECT DISTINCT STARTDATE,ENDDATE FROM CALIBRATION WHERE NETWORK=? AND STA=? AND CHAN=? "
    "AND LOCATION=? ORDER BY STARTDATE DESC;";
// network, station, channel, location, start (SQL_TIMESTAMP)
inline constexpr const char* kCompletionSac =
    "SELECT SAC FROM CALIBRATION WHERE NETWORK=? AND STA=? AND CHAN=? AND LOCATION=? AND "
    "STARTDATE=? AND SAC IS NULL;";
inline constexpr const char* kCompletionFap =
    "SELECT FAP FROM CALIBRATION WHERE NETWORK=? AND STA=? AND CHAN=? AND LOCATION=? AND "
    "STARTDATE=? AND FAP IS NULL;";
// text, SENS, FREQ, network, location, station, channel, start
inline constexpr const char* kCompleteSac =
    "UPDATE CALIBRATION SET SAC=?,SENS=?,FREQ=? WHERE NETWORK=? AND LOCATION=? AND STA=? AND "
    "CHAN=? AND STARTDATE=?;";
inline constexpr const char* kCompleteFap =
    "UPDATE CALIBRATION SET FAP=?,SENS=?,FREQ=? WHERE NETWORK=? AND LOCATION=? AND STA=? AND "
    "CHAN=? AND STARTDATE=?;";
// network, location, station, channel, start, now
inline constexpr const char* kDeleteCoveredOpen =
    "DELETE FROM CALIBRATION WHERE NETWORK=? AND LOCATION=? AND STA=? AND CHAN=? AND "
    "(STARTDATE BETWEEN ? AND ?);";
// network, location, station, channel, start, end, start, end
inline constexpr const char* kDeleteCoveredClosed =
    "DELETE FROM CALIBRATION WHERE NETWORK=? AND LOCATION=? AND STA=? AND CHAN=? AND "
    "(STARTDATE BETWEEN ? AND ?) AND (ENDDATE BETWEEN ? AND ?);";
// start, network, location, station, channel, start, start
inline constexpr const char* kCloseValidInterval =
    "UPDATE CALIBRATION SET ENDDATE=? WHERE NETWORK=? AND LOCATION=? AND STA=? AND CHAN=? AND "
    "STARTDATE<? AND (ENDDATE>? OR ENDDATE IS NULL)";

// network, location, station, channel, start; the intervals after start, oldest first
inline constexpr const char* kLaterIntervals =
    "SELECT STARTDATE,ENDDATE FROM CALIBRATION WHERE NETWORK=? AND LOCATION=? AND STA=? AND "
    "CHAN=? AND STARTDATE>? ORDER BY STARTDATE;";

// --- the date editor ("Редактор времени") ------------------------------------------------
inline constexpr const char* kDateEditorStations = "SELECT DISTINCT STA FROM CALIBRATION;";
// station
inline constexpr const char* kDateEditorNetworks = kNetworksOfStation;
// station, network
inline constexpr const char* kDateEditorChannels = kChannelsOfStationNetwork;
// network, station, channel
inline constexpr const char* kDateEditorLocations =
    "SELECT DISTINCT LOCATION FROM CALIBRATION WHERE NETWORK=? AND STA=? AND CHAN=?;";
// network, station, channel, location; newest first (the dialog lists them oldest first)
inline constexpr const char* kDateEditorIntervals =
    "SELECT STARTDATE,ENDDATE FROM CALIBRATION WHERE NETWORK=? AND STA=? AND CHAN=? AND "
    "LOCATION=? ORDER BY STARTDATE DESC;";
// A closed interval re-dated. New start, [new end,] station, channel, network, location, old
// start, old end.
inline constexpr const char* kRedateClosed =
    "UPDATE CALIBRATION SET STARTDATE=?,ENDDATE=? WHERE STA=? AND CHAN=? AND NETWORK=? AND "
    "LOCATION=? AND STARTDATE=? AND ENDDATE=?;";
inline constexpr const char* kRedateClosedToOpen =
    "UPDATE CALIBRATION SET STARTDATE=?,ENDDATE=NULL WHERE STA=? AND CHAN=? AND NETWORK=? AND "
    "LOCATION=? AND STARTDATE=? AND ENDDATE=?;";
// An open interval re-dated: its end is NULL, which no compared value equals. New start,
// [new end,] station, channel, network, location, old start.
inline constexpr const char* kRedateOpenToClosed =
    "UPDATE CALIBRATION SET STARTDATE=?,ENDDATE=? WHERE STA=? AND CHAN=? AND NETWORK=? AND "
    "LOCATION=? AND STARTDATE=? AND ENDDATE IS NULL;";
inline constexpr const char* kRedateOpen =
    "UPDATE CALIBRATION SET STARTDATE=?,ENDDATE=NULL WHERE STA=? AND CHAN=? AND NETWORK=? AND "
    "LOCATION=? AND STARTDATE=? AND ENDDATE IS NULL;";
// Whether the interval a re-dating names is stored, for an update that reports no changed
// row (MariaDB counts only rows whose values differ). Station, channel, network, location,
// start, [end].
inline constexpr const char* kClosedIntervalStored =
    "SELECT STARTDATE FROM CALIBRATION WHERE STA=? AND CHAN=? AND NETWORK=? AND LOCATION=? AND "
    "STARTDATE=? AND ENDDATE=?;";
inline constexpr const char* kOpenIntervalStored =
    "SELECT STARTDATE FROM CALIBRATION WHERE STA=? AND CHAN=? AND NETWORK=? AND LOCATION=? AND "
    "STARTDATE=? AND ENDDATE IS NULL;";

// --- deleting ----------------------------------------------------------------------------
// station, network, channel, location, start (SQL_TIMESTAMP)
inline constexpr const char* kDeleteRecord =
    "DELETE FROM CALIBRATION WHERE STA=? AND NETWORK=? AND CHAN=? AND LOCATION=? AND "
    "STARTDATE=?;";
inline constexpr const char* kEmptySac =
    "UPDATE CALIBRATION SET SAC=NULL WHERE STA=? AND NETWORK=? AND CHAN=? AND LOCATION=? AND "
    "STARTDATE=?;";
inline constexpr const char* kEmptyFap =
    "UPDATE CALIBRATION SET FAP=NULL WHERE STA=? AND NETWORK=? AND CHAN=? AND LOCATION=? AND "
    "STARTDATE=?;";
// Whether the record an emptying names is stored, as above.
inline constexpr const char* kRecordStored =
    "SELECT STARTDATE FROM CALIBRATION WHERE STA=? AND NETWORK=? AND CHAN=? AND LOCATION=? AND "
    "STARTDATE=?;";

} // namespace orv::gainbook::sql
