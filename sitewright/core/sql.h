// Every statement and condition the station editor sends, in one place. Texts with
// printf conversions are filled by orv::text::format with names of tables and columns,
// markers and numbers only; codes and other texts are always bound to the "?" markers,
// so that nothing a user types can change what a statement means on any back end.
#pragma once

namespace orv::sitewright::sql {

// --- record classes ------------------------------------------------------------------

// CSite: the 17 bound columns in binding order; "%s" is the WHERE clause (or empty).
inline constexpr const char* kSiteSelect =
    "select STA,COD,NGROUPS,ELEV,LAT,LON,DESCR,LDDATE,NINDEX,DEAST,DNORTH,REFSTA,STANAME,"
    "STATYPE,UNDERGROUND,ONDATE,OFFDATE from SITE%s";
// CSiteChan: the 14 bound columns; the first "%s" is the depth column (EDEPH, or EDEPTH
// on a table created with that name), the second the WHERE clause.
inline constexpr const char* kSiteChanSelect =
    "select STA,CHAN,NGROUP,CHANINDEX,%s,LAT,LON,SPS,HANG,VANG,DESCR,CALIBFILE,LCODE,LDDATE "
    "from SITECHAN%s";
// Insert and update of one channel row: column lists and markers are built from the
// columns that carry a value (new row) or that changed (edited row).
inline constexpr const char* kSiteChanInsert = "insert into SITECHAN (%s) values (%s)";
inline constexpr const char* kSiteChanUpdate =
    "update SITECHAN set %s where STA=? and CHAN=? and NGROUP=? and CHANINDEX=?";
inline constexpr const char* kSiteChanUpdateNoIndex =
    "update SITECHAN set %s where STA=? and CHAN=? and NGROUP=? and CHANINDEX is null";

// --- conditions ----------------------------------------------------------------------

inline constexpr const char* kWhere = " where %s";
// The markers take the station code, the channel name, the group and the component index.
inline constexpr const char* kFilterStation = "STA=?";
inline constexpr const char* kFilterGroup = "STA=? and NGROUP=?";
inline constexpr const char* kFilterChannel = "STA=? and CHAN=? and NGROUP=? and CHANINDEX=?";

// --- look-up, counting ---------------------------------------------------------------

inline constexpr const char* kNextStationNumber = "select max(NINDEX)+1 as maxindex from SITE";
inline constexpr const char* kStationCount = "select count(*) from %s where STA=?";

// --- writing a station ---------------------------------------------------------------

// The SITE row: the column list and the values (in the same order, the station code last),
// or the assignments and the station code. The columns are NINDEX, NGROUPS, LAT, LON, ELEV,
// DESCR, STANAME, COD, ONDATE and OFFDATE where given, REFSTA, DEAST, DNORTH, UNDERGROUND,
// LDDATE (and STA); numbers go as the shortest exact text or NULL, dates as {ts '...'},
// texts and the station code as markers.
inline constexpr const char* kSiteInsert = "insert into SITE (%s) values (%s)";
inline constexpr const char* kSiteUpdate = "update SITE set %s where STA=?";

// The clean-up after the channels are written: the start, and one part per channel
// written (its marker takes the name). It reaches only rows the dialog showed: those of the
// groups read (1 to %d) with a component index of 0, 1 or 2.
// The channel table, whose write lock a channel write takes first.
inline constexpr const char* kChannelTable = "SITECHAN";
inline constexpr const char* kChannelCleanup =
    "delete from SITECHAN where STA=? and NGROUP between 1 and %d and CHANINDEX in (0,1,2) ";
inline constexpr const char* kChannelCleanupKeep = "and CHAN<>? ";

// --- deleting ------------------------------------------------------------------------

inline constexpr const char* kDeleteChannels = "delete from SITECHAN where STA=?";
inline constexpr const char* kDeleteSite = "delete from SITE where STA=?";

// --- schema upgrade ------------------------------------------------------------------

inline constexpr const char* kColumnTest = "select %s from %s where 1=0";
inline constexpr const char* kAlterTable = "ALTER TABLE %s %s %s %s %s";

} // namespace orv::sitewright::sql
