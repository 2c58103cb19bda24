#!/usr/bin/env bash
# Makes sure the embedded default database exists: an SQLite file reached through
# the SQLite 3 ODBC driver as the user data source ORV (user ORV, password KTZ),
# holding the shared station table SITE. Everything else is left to the programs.
#
#   ORV_DATA_DIR  where the database file ORV.db lives
#                 (default: ${XDG_DATA_HOME:-$HOME/.local/share}/orv)
#   ODBCINI       the user's data source file (default: ~/.odbc.ini of the account)
#   ORV_SETTINGS_DIR  where the shared settings file ORV.ini lives
#                 (default: ${XDG_CONFIG_HOME:-$HOME/.config}/orv)
# When there is no ORV.ini yet, one is written that names the data source, so that both
# editors connect to the embedded database without being told, and DIR, whose RESPONSE
# folder (created here when missing) is where Sitewright offers response files from.
#
# With --with-sitechan (./run sitewright) the channel table SITECHAN is created too when
# missing, in the form the response editor gives it, so that the station editor can
# write channels on a fresh database. Without it SITECHAN is left to the response
# editor, which asks for it on its first start.
#
# With --with-database-dir (./run dsninstaller) an ORV.ini without [DATABASE] DIR gets it,
# naming the directory of the database file, which DsnInstaller registers.
set -euo pipefail
with_sitechan=0
with_database_dir=0
[ "${1:-}" = "--with-sitechan" ] && with_sitechan=1
[ "${1:-}" = "--with-database-dir" ] && with_database_dir=1

data_dir=${ORV_DATA_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/orv}
db="$data_dir/ORV.db"
# The user data source file exactly as the driver manager finds it (ODBCINI, else the
# account's home directory, which need not be $HOME).
odbc_ini=$(odbcinst -j 2>/dev/null | sed -n 's/^USER DATA SOURCES\.*: //p')
odbc_ini=${odbc_ini:-${ODBCINI:-$HOME/.odbc.ini}}

driver=$(dpkg -L libsqliteodbc 2>/dev/null | grep '/libsqlite3odbc\.so$' | head -n 1)
[ -n "$driver" ] || { echo "The SQLite 3 ODBC driver (libsqliteodbc) is not installed" >&2; exit 1; }

mkdir -p "$data_dir"

if ! grep -qiE '^\[ORV\][[:space:]]*$' "$odbc_ini" 2>/dev/null; then
  mkdir -p "$(dirname "$odbc_ini")"
  [ -s "$odbc_ini" ] && [ -n "$(tail -c 1 "$odbc_ini")" ] && echo >>"$odbc_ini"
  cat >>"$odbc_ini" <<INI
[ORV]
Description=Embedded station and response database
Driver=$driver
Database=$db

INI
  echo "Data source ORV added to $odbc_ini (database $db)"
fi

settings_dir=${ORV_SETTINGS_DIR:-${XDG_CONFIG_HOME:-$HOME/.config}/orv}
if ! ls "$settings_dir" 2>/dev/null | grep -qix 'orv.ini'; then
  mkdir -p "$settings_dir"
  printf '[DATABASE]\nODBC=ORV\nUSER=ORV\nPASSWORD=KTZ\nDIR=%s\n\n[ORV]\nDIR=%s\n' "$data_dir" "$data_dir" >"$settings_dir/ORV.ini"
  echo "Shared settings written to $settings_dir/ORV.ini"
fi

settings="$settings_dir/$(ls "$settings_dir" | grep -ix 'orv.ini' | head -n 1)"

if [ "$with_database_dir" = 1 ]; then
  # Section and key names without regard to case, blanks and line ends around them ignored.
  has_dir=$(awk '/^[[:space:]]*\[/ { s = tolower($0); gsub(/[[:space:]]/, "", s); inside = (s == "[database]"); next }
                 inside && tolower($0) ~ /^[[:space:]]*dir[[:space:]]*=/ { found = 1 }
                 END { print found + 0 }' "$settings")
  if [ "$has_dir" = 0 ]; then
    DIR_LINE="DIR=$data_dir" awk '{ print }
      !done && /^[[:space:]]*\[/ { s = tolower($0); gsub(/[[:space:]]/, "", s); if (s == "[database]") { print ENVIRON["DIR_LINE"]; done = 1 } }
      END { if (!done) { print ""; print "[DATABASE]"; print ENVIRON["DIR_LINE"] } }' "$settings" >"$settings.new"
    cat "$settings.new" >"$settings" && rm -f "$settings.new"
    echo "[DATABASE] DIR=$data_dir added to $settings"
  fi
fi

# The folder Sitewright offers response files from: DIR/RESPONSE, DIR being [ORV] DIR of
# ./Sitewright.ini, else of ORV.ini, else the environment variable ORV.
ini_value() { # file section key: the value, names matched as above
  [ -f "$1" ] || return 0
  awk -v section="[$(echo "$2" | tr '[:upper:]' '[:lower:]')]" -v key="$(echo "$3" | tr '[:upper:]' '[:lower:]')" '
    { sub(/\r$/, "") }
    /^[[:space:]]*\[/ { s = tolower($0); gsub(/[[:space:]]/, "", s); inside = (s == section); next }
    inside && (i = index($0, "=")) {
      k = tolower(substr($0, 1, i - 1)); gsub(/^[[:space:]]+|[[:space:]]+$/, "", k)
      if (k == key) { v = substr($0, i + 1); gsub(/^[[:space:]]+|[[:space:]]+$/, "", v); print v; exit }
    }' "$1"
}
base_dir=$(ini_value ./Sitewright.ini ORV DIR)
[ -n "$base_dir" ] || base_dir=$(ini_value "$settings" ORV DIR)
[ -n "$base_dir" ] || base_dir=${ORV:-}
if [ -n "$base_dir" ] && [ ! -d "$base_dir/RESPONSE" ]; then
  if mkdir -p "$base_dir/RESPONSE" 2>/dev/null; then
    echo "Folder for response files created: $base_dir/RESPONSE"
  else
    echo "The folder for response files $base_dir/RESPONSE could not be created" >&2
  fi
fi

# The same columns and types as the response editor's statement for SITE on SQLite
# (kCreateSiteSQLite in gainbook/db/statements.h, which a copy of an archive uses).
sqlite3 "$db" <<'SQL'
CREATE TABLE IF NOT EXISTS SITE (
  STA VARCHAR(8) NOT NULL PRIMARY KEY,
  COD VARCHAR(6),
  NGROUPS INT,
  ELEV DOUBLE,
  LAT DOUBLE,
  LON DOUBLE,
  DESCR VARCHAR(50),
  LDDATE TIMESTAMP,
  NINDEX INT,
  DEAST DOUBLE,
  DNORTH DOUBLE,
  REFSTA VARCHAR(16),
  STANAME VARCHAR(50),
  STATYPE VARCHAR(50),
  UNDERGROUND VARCHAR(250),
  ONDATE TIMESTAMP,
  OFFDATE TIMESTAMP
);
SQL

if [ "$with_sitechan" = 1 ]; then
  sqlite3 "$db" <<'SQL'
CREATE TABLE IF NOT EXISTS SITECHAN(NINDEX INT UNIQUE,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH DOUBLE,LAT DOUBLE,LON DOUBLE,SPS DOUBLE NOT NULL,HANG DOUBLE,VANG DOUBLE,DESCR VARCHAR(128),CALIBFILE VARCHAR(255),LDDATE TIMESTAMP,LCODE VARCHAR(8));
SQL
fi
