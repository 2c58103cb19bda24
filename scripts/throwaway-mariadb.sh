#!/usr/bin/env bash
# Starts a throwaway MariaDB server for the tests, in a temporary directory, reached
# through a Unix socket only (no networking). Meant to be sourced: defines
#   mariadb_throwaway_start   starts it and exports ORV_TEST_MARIADB_SOCKET / _USER
#   mariadb_throwaway_stop    stops it and removes the directory
# and, for the tests of a server that goes away in the middle of a write (both find the
# server by MARIADB_THROWAWAY_DIR, so that another shell can call them):
#   mariadb_throwaway_halt    stops it: open sessions end and their transactions roll back
#   mariadb_throwaway_resume  starts it again on the same directory and socket
# As root the server runs as the 'mysql' account that the mariadb-server package
# creates (or 'nobody' if that is missing). No option file of the machine is read.

mariadb_throwaway_start() {
  local server sock
  server=$(command -v mariadbd || echo /usr/sbin/mariadbd)
  [ -x "$server" ] && command -v mariadb-install-db >/dev/null \
    || { echo "MariaDB server binaries not found" >&2; return 1; }
  MARIADB_THROWAWAY_DIR=$(mktemp -d /tmp/orv-maria.XXXXXX)
  chmod 755 "$MARIADB_THROWAWAY_DIR"
  local as_user=()
  if [ "$(id -u)" -eq 0 ]; then
    local user=mysql
    id "$user" >/dev/null 2>&1 || user=nobody
    chown "$user" "$MARIADB_THROWAWAY_DIR"
    as_user=(--user="$user")
  fi
  local dir=$MARIADB_THROWAWAY_DIR
  sock="$dir/mysqld.sock"
  # root without a password, on the socket only.
  mariadb-install-db --no-defaults "${as_user[@]}" --datadir="$dir/data" \
      --auth-root-authentication-method=normal --skip-test-db --skip-name-resolve \
      >"$dir/install.log" 2>&1 \
    || { cat "$dir/install.log" >&2; return 1; }
  mariadb_throwaway_resume || return 1
  export ORV_TEST_MARIADB_SOCKET="$sock" ORV_TEST_MARIADB_USER=root
  # The account the programs use by default.
  mariadb --no-defaults --socket="$sock" -u root -e \
      "CREATE USER 'ORV'@'localhost' IDENTIFIED BY 'KTZ';
       GRANT ALL PRIVILEGES ON *.* TO 'ORV'@'localhost' WITH GRANT OPTION;"
  echo "MariaDB test server on socket $sock"
}

mariadb_throwaway_resume() {
  local server dir=$MARIADB_THROWAWAY_DIR
  local sock="$dir/mysqld.sock" as_user=()
  server=$(command -v mariadbd || echo /usr/sbin/mariadbd)
  [ "$(id -u)" -eq 0 ] && as_user=(--user="$(stat -c %U "$dir")")
  # Written by hand: the server's default options are for a machine's own database,
  # these for a small one that lives for one test run (no durability, little memory).
  "$server" --no-defaults "${as_user[@]}" --datadir="$dir/data" --socket="$sock" \
      --skip-networking --pid-file="$dir/mysqld.pid" --log-error="$dir/server.log" \
      --character-set-server=utf8mb4 --innodb-buffer-pool-size=64M \
      --innodb-log-file-size=16M --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 \
      --skip-log-bin --max-connections=200 >/dev/null 2>&1 &
  MARIADB_THROWAWAY_PID=$!
  local i
  for i in $(seq 1 120); do
    mariadb-admin --no-defaults --socket="$sock" -u root ping >/dev/null 2>&1 && break
    kill -0 "$MARIADB_THROWAWAY_PID" 2>/dev/null || break
    sleep 0.5
  done
  mariadb-admin --no-defaults --socket="$sock" -u root ping >/dev/null 2>&1 \
    || { cat "$dir/server.log" >&2; return 1; }
}

# The server process: the one this shell started, else the one its pid file names.
mariadb_throwaway_pid() {
  if [ -n "${MARIADB_THROWAWAY_PID:-}" ]; then
    echo "$MARIADB_THROWAWAY_PID"
  else
    cat "$MARIADB_THROWAWAY_DIR/mysqld.pid" 2>/dev/null
  fi
}

mariadb_throwaway_halt() {
  local pid i
  pid=$(mariadb_throwaway_pid) || return 1
  kill "$pid" 2>/dev/null || return 1
  # The server removes its pid file when it has shut down (a server another shell
  # started cannot be waited for, and may linger as a zombie).
  for i in $(seq 1 120); do
    [ -e "$MARIADB_THROWAWAY_DIR/mysqld.pid" ] && kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.5
  done
  return 1
}

mariadb_throwaway_stop() {
  [ -n "${MARIADB_THROWAWAY_DIR:-}" ] || return 0
  local pid
  if pid=$(mariadb_throwaway_pid) && kill -0 "$pid" 2>/dev/null; then
    mariadb_throwaway_halt || kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$MARIADB_THROWAWAY_DIR"
  MARIADB_THROWAWAY_DIR= MARIADB_THROWAWAY_PID=
}
