#!/usr/bin/env bash
# Starts a throwaway PostgreSQL server for the tests, in a temporary directory,
# listening on a Unix socket only. Meant to be sourced: defines
#   pg_throwaway_start   starts it and exports ORV_TEST_PG_HOST / _PORT / _USER
#   pg_throwaway_stop    stops it and removes the directory
# and, for the tests of a server that goes away in the middle of a write (both find the
# server by PG_THROWAWAY_DIR, so that another shell can call them):
#   pg_throwaway_halt    stops it: open sessions end and their transactions roll back
#   pg_throwaway_resume  starts it again on the same directory, socket and port
# initdb refuses to run as root, so as root the server runs as the 'postgres'
# account that the postgresql package creates (or 'nobody' if that is missing).

pg_throwaway_bin() {
  local d
  for d in /usr/lib/postgresql/*/bin; do
    [ -x "$d/initdb" ] && { echo "$d"; return 0; }
  done
  return 1
}

# Runs a command as the owner of the server's directory (root runs the server as another
# account).
pg_throwaway_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$(stat -c %U "$PG_THROWAWAY_DIR")" -- "$@"
  else
    "$@"
  fi
}

pg_throwaway_start() {
  local bin port user
  bin=$(pg_throwaway_bin) || { echo "PostgreSQL server binaries not found" >&2; return 1; }
  port=${ORV_TEST_PG_PORT:-$((54000 + $$ % 1000))}
  PG_THROWAWAY_DIR=$(mktemp -d /tmp/orv-pg.XXXXXX)
  chmod 755 "$PG_THROWAWAY_DIR"
  if [ "$(id -u)" -eq 0 ]; then
    user=postgres
    id "$user" >/dev/null 2>&1 || user=nobody
    chown "$user" "$PG_THROWAWAY_DIR"
  fi
  pg_throwaway_as_owner "$bin/initdb" -D "$PG_THROWAWAY_DIR/data" -U postgres -A trust \
      -E UTF8 --locale=C.UTF-8 --no-sync >"$PG_THROWAWAY_DIR/initdb.log" 2>&1 \
    || { cat "$PG_THROWAWAY_DIR/initdb.log" >&2; return 1; }
  echo "$port" >"$PG_THROWAWAY_DIR/port"
  pg_throwaway_resume || return 1
  export ORV_TEST_PG_HOST="$PG_THROWAWAY_DIR" ORV_TEST_PG_PORT="$port" ORV_TEST_PG_USER=postgres
  # The role the programs use by default; created quoted so that its name keeps its case.
  "$bin/psql" -q -h "$ORV_TEST_PG_HOST" -p "$port" -U postgres -d postgres \
      -c "CREATE ROLE \"ORV\" LOGIN SUPERUSER PASSWORD 'KTZ'" >/dev/null
  echo "PostgreSQL test server on socket $PG_THROWAWAY_DIR, port $port"
}

pg_throwaway_resume() {
  local bin port
  bin=$(pg_throwaway_bin) || return 1
  port=$(cat "$PG_THROWAWAY_DIR/port")
  pg_throwaway_as_owner "$bin/pg_ctl" -D "$PG_THROWAWAY_DIR/data" -w -t 60 \
      -l "$PG_THROWAWAY_DIR/server.log" \
      -o "-k $PG_THROWAWAY_DIR -p $port -c listen_addresses= -c fsync=off -c full_page_writes=off" \
      start >/dev/null \
    || { cat "$PG_THROWAWAY_DIR/server.log" >&2; return 1; }
}

pg_throwaway_halt() {
  local bin
  bin=$(pg_throwaway_bin) || return 1
  pg_throwaway_as_owner "$bin/pg_ctl" -D "$PG_THROWAWAY_DIR/data" -m fast -w -t 60 stop >/dev/null
}

pg_throwaway_stop() {
  [ -n "${PG_THROWAWAY_DIR:-}" ] || return 0
  local bin
  bin=$(pg_throwaway_bin) || true
  if [ -n "$bin" ] && [ -f "$PG_THROWAWAY_DIR/data/postmaster.pid" ]; then
    pg_throwaway_as_owner "$bin/pg_ctl" -D "$PG_THROWAWAY_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$PG_THROWAWAY_DIR"
  PG_THROWAWAY_DIR=
}
