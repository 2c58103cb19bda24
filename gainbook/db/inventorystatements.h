// The statements through which the StationXML export reads stations, channels and
// responses. Parameters are "?" markers; the code conditions are LIKE patterns with "!" as
// the escape character, joined from the fragments below.
#pragma once

namespace orv::gainbook::sql {

// The SITE, SITECHAN and stations-with-responses statements: the head, then " WHERE 1=1"
// and the code conditions below, then the order.
inline constexpr const char* kInventorySitesHead =
    "SELECT STA,LAT,LON,ELEV,STANAME,DESCR,ONDATE,OFFDATE FROM SITE WHERE 1=1";
inline constexpr const char* kInventorySitesOrder = " ORDER BY STA;";
// The depth column is EDEPH as the station editor binds it, EDEPTH as the response editor
// creates the table; a table without LCODE has only the empty location. CALIBFILE and
// NGROUP are in every form of the table.
inline constexpr const char* kInventorySiteChansEdephHead =
    "SELECT STA,CHAN,LCODE,EDEPH,LAT,LON,SPS,DESCR,CALIBFILE,NGROUP FROM SITECHAN WHERE 1=1";
inline constexpr const char* kInventorySiteChansEdepthHead =
    "SELECT STA,CHAN,LCODE,EDEPTH,LAT,LON,SPS,DESCR,CALIBFILE,NGROUP FROM SITECHAN WHERE 1=1";
inline constexpr const char* kInventorySiteChansNoLcodeEdephHead =
    "SELECT STA,CHAN,'',EDEPH,LAT,LON,SPS,DESCR,CALIBFILE,NGROUP FROM SITECHAN WHERE 1=1";
inline constexpr const char* kInventorySiteChansNoLcodeEdepthHead =
    "SELECT STA,CHAN,'',EDEPTH,LAT,LON,SPS,DESCR,CALIBFILE,NGROUP FROM SITECHAN WHERE 1=1";
inline constexpr const char* kInventorySiteChansOrder = " ORDER BY STA,CHAN;";
inline constexpr const char* kInventoryStationsWithResponsesHead =
    "SELECT DISTINCT STA FROM CALIBRATION WHERE 1=1";
// The stations' channels that have CALIBRATION rows, under any network.
inline constexpr const char* kInventoryChannelsWithResponsesHead =
    "SELECT DISTINCT STA,LOCATION,CHAN FROM CALIBRATION WHERE 1=1";
// The networks under which stations have CALIBRATION rows, each with its first start, in
// the order of the channel starts' statement.
inline constexpr const char* kInventoryStationNetworksHead =
    "SELECT NETWORK,STA,MIN(STARTDATE) FROM CALIBRATION WHERE 1=1";
inline constexpr const char* kInventoryStationNetworksGroup =
    " GROUP BY NETWORK,STA ORDER BY NETWORK,STA;";
inline constexpr const char* kInventorySensUnits = "SELECT ID_SENS,SENS_UNITS FROM ID_SENS;";
inline constexpr const char* kInventoryFreqUnits = "SELECT ID_FREQ,FREQ_UNITS FROM ID_FREQ;";

// The CALIBRATION rows, without and with their texts: the select list, then " WHERE 1=1"
// and the conditions, then the order.
inline constexpr const char* kInventoryRowsHead =
    "SELECT NETWORK,STA,LOCATION,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,ID_FREQ FROM "
    "CALIBRATION WHERE 1=1";
inline constexpr const char* kInventoryRowsWithTextsHead =
    "SELECT NETWORK,STA,LOCATION,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,ID_FREQ,SAC,FAP "
    "FROM CALIBRATION WHERE 1=1";
// The same with the name of each row's frequency unit (ID_FREQ's FREQ_UNITS, NULL where
// ID_FREQ has no row of its code), for the readings that have the ID_FREQ table.
inline constexpr const char* kInventoryRowsWithTextsAndUnitsHead =
    "SELECT NETWORK,STA,LOCATION,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,ID_FREQ,SAC,FAP,"
    "(SELECT MAX(FREQ_UNITS) FROM ID_FREQ WHERE ID_FREQ.ID_FREQ=CALIBRATION.ID_FREQ) "
    "FROM CALIBRATION WHERE 1=1";
// The first start of each channel: for answers that show no channel epochs. The head, the
// conditions, then the grouping.
inline constexpr const char* kInventoryChannelStartsHead =
    "SELECT NETWORK,STA,LOCATION,CHAN,MIN(STARTDATE) FROM CALIBRATION WHERE 1=1";
inline constexpr const char* kInventoryChannelStartsGroup =
    " GROUP BY NETWORK,STA,LOCATION,CHAN ORDER BY NETWORK,STA,LOCATION,CHAN;";
inline constexpr const char* kInventoryRowsOrder = " ORDER BY NETWORK,STA,LOCATION,CHAN,STARTDATE;";
// One code pattern each (" OR " between the items of one list, in parentheses): a
// pattern with wildcards as LIKE, a plain code as an equality, which the indexes on the
// code columns serve (SQLite uses no index for a LIKE). The conditions of several clauses
// are joined as " AND ((...) OR (...))".
inline constexpr const char* kLikeNetwork = "NETWORK LIKE ? ESCAPE '!'";
inline constexpr const char* kLikeStation = "STA LIKE ? ESCAPE '!'";
inline constexpr const char* kLikeLocation = "LOCATION LIKE ? ESCAPE '!'";
inline constexpr const char* kLikeChannel = "CHAN LIKE ? ESCAPE '!'";
inline constexpr const char* kEqualsNetwork = "NETWORK=?";
inline constexpr const char* kEqualsStation = "STA=?";
inline constexpr const char* kEqualsLocation = "LOCATION=?";
inline constexpr const char* kEqualsChannel = "CHAN=?";
// The empty location in every form it is stored in: "??", "" or blanks.
inline constexpr const char* kEmptyLocation = "TRIM(LOCATION) IN ('','?\?')";
// The time conditions of one clause. An epoch that ends at or after the start of the window
// (an open one always does); one that begins at or before its end.
inline constexpr const char* kEndsAfter = " AND (ENDDATE IS NULL OR ENDDATE>=?)";
inline constexpr const char* kStartsBefore = " AND STARTDATE<=?";
// Epochs that start before, start after, end before (an open one never does), end after the
// time.
inline constexpr const char* kStartsBeforeStrictly = " AND STARTDATE<?";
inline constexpr const char* kStartsAfterStrictly = " AND STARTDATE>?";
inline constexpr const char* kEndsBeforeStrictly = " AND ENDDATE<?";
inline constexpr const char* kEndsAfterStrictly = " AND (ENDDATE IS NULL OR ENDDATE>?)";

// --- import --with-stations: rows made for stations and channels not yet there ------------
// station
inline constexpr const char* kImportSite = "SELECT LAT,LON,ELEV FROM SITE WHERE STA=?;";
// station, latitude, longitude, elevation, English name, description
inline constexpr const char* kImportInsertSite =
    "INSERT INTO SITE(STA,LAT,LON,ELEV,STANAME,DESCR) VALUES(?,?,?,?,?,?);";
// opening or closing, station
inline constexpr const char* kImportSiteOnDate = "UPDATE SITE SET ONDATE=? WHERE STA=?;";
inline constexpr const char* kImportSiteOffDate = "UPDATE SITE SET OFFDATE=? WHERE STA=?;";
// station; the channels and groups it has
inline constexpr const char* kImportSiteChans =
    "SELECT CHAN,LCODE,NGROUP,SPS FROM SITECHAN WHERE STA=?;";
// station, channel, group, component, depth, latitude, longitude, samples per second,
// sensor, location
inline constexpr const char* kImportInsertSiteChanEdepth =
    "INSERT INTO SITECHAN(STA,CHAN,NGROUP,CHANINDEX,EDEPTH,LAT,LON,SPS,DESCR,LCODE) "
    "VALUES(?,?,?,?,?,?,?,?,?,?);";
inline constexpr const char* kImportInsertSiteChanEdeph =
    "INSERT INTO SITECHAN(STA,CHAN,NGROUP,CHANINDEX,EDEPH,LAT,LON,SPS,DESCR,LCODE) "
    "VALUES(?,?,?,?,?,?,?,?,?,?);";

} // namespace orv::gainbook::sql
