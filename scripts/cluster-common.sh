#!/usr/bin/env bash
# What the two cluster set-ups share (scripts/throwaway-cluster.sh, the two servers with a
# promotion by hand, and scripts/patroni-cluster.sh, the three nodes under Patroni): the
# accounts, the ports, psql on a node, killing a server as its machine would, HAProxy's
# program, its station service frontend and its statistics, the ODBC drivers and the
# stationws instances. Sourced by them; everything is found through $CLUSTER_DIR.
#
#   CLUSTER_CHECK_TIMEOUT   HAProxy's timeout for a check (2s unless set)

cluster_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$cluster_top/scripts/throwaway-postgres.sh"

cluster_pg_bin() { pg_throwaway_bin; }

# HAProxy's program (in /usr/sbin, which a user's PATH may lack).
cluster_haproxy_bin() {
  command -v haproxy 2>/dev/null || { [ -x /usr/sbin/haproxy ] && echo /usr/sbin/haproxy; }
}

# The account the servers run as when the script runs as root.
cluster_account() {
  if id postgres >/dev/null 2>&1; then echo postgres; else echo nobody; fi
}

# Runs a command as that account when root, else as it is.
cluster_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    local account
    account=$(cluster_account)
    setpriv --reuid="$account" --regid="$(id -g "$account")" --clear-groups -- "$@"
  else
    "$@"
  fi
}

# The same in place of the (sub)shell: "( cluster_exec_as_owner PROGRAM ... ) &" leaves the
# program's own process id in $!.
cluster_exec_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    local account
    account=$(cluster_account)
    exec setpriv --reuid="$account" --regid="$(id -g "$account")" --clear-groups -- "$@"
  fi
  exec "$@"
}

# A directory of the set-up that the servers' account writes in.
cluster_owned_dir() {
  mkdir -p "$1"
  if [ "$(id -u)" -eq 0 ]; then chown "$(cluster_account)" "$1"; fi
}

# A TCP port on loopback that nothing uses and this run has not handed out, below the
# range the kernel gives to outgoing connections.
cluster_free_port() {
  local port hex used
  used=" $(cat "$CLUSTER_DIR/ports" 2>/dev/null | tr '\n' ' ')"
  while read -r _ hex _; do
    used+=" $((16#${hex##*:}))"
  done < <(tail -q -n +2 /proc/net/tcp /proc/net/tcp6 2>/dev/null)
  used+=" "
  for _ in $(seq 200); do
    port=$((20000 + RANDOM % 12000))
    case "$used" in *" $port "*) continue ;; esac
    echo "$port" >>"$CLUSTER_DIR/ports"
    echo "$port"
    return 0
  done
  echo "no free port found" >&2
  return 1
}

# Ports for the names given, kept as $CLUSTER_DIR/port.NAME.
cluster_pick_ports() {
  local name
  for name in "$@"; do
    cluster_free_port >"$CLUSTER_DIR/port.$name" || return 1
  done
}

cluster_port() { cat "$CLUSTER_DIR/port.$1"; }

cluster_psql() {
  local node=$1
  shift
  "$(cluster_pg_bin)/psql" -X -q -h "$CLUSTER_DIR/$node" -p "$(cluster_port "$node")" \
    -U postgres "$@"
}

# Every process of the node's server at once, as a machine that dies would take them: the
# postmaster and its children (each of which is a session of its own).
cluster_kill_server() {
  local pid children
  pid=$(head -n 1 "$CLUSTER_DIR/$1/data/postmaster.pid" 2>/dev/null) || return 0
  # A process that ends while cat reads the list makes cat fail: no reason to fail here.
  children=$({ cat /proc/[0-9]*/stat 2>/dev/null || true; } | sed 's/ (.*) / /' |
    awk -v p="$pid" '$3 == p { print $1 }')
  # shellcheck disable=SC2086
  kill -KILL "$pid" $children 2>/dev/null || true
  while kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
}

# --- HAProxy -------------------------------------------------------------------------------

# HAProxy's global settings and the station service's frontend on PORT, sending to the
# instances on the ports that follow (ws1, ws2, ...): any instance whose /health answers 200
# gets queries; while none does, all of them. One log line per request on HAProxy's
# standard output: the moment it was accepted (s.ms), the status, the milliseconds it was
# active, its retries and the server.
cluster_stations_proxy() {
  local port=$1 n=0 server
  shift
  cat <<CFG
global
    maxconn 400

defaults
    timeout connect 1s
    timeout client 60s
    timeout server 60s
    timeout check ${CLUSTER_CHECK_TIMEOUT:-2s}

frontend stations
    mode http
    bind 127.0.0.1:$port
    log stdout format raw local0
    log-format "%Ts.%ms %ST %Ta %rc %s"
    default_backend stationws

backend stationws
    mode http
    balance leastconn
    option httpchk
    http-check send meth GET uri /health
    http-check expect status 200
    # Retried on another instance: a request whose instance died or answered 5xx.
    retries 3
    option redispatch 1
    retry-on all-retryable-errors
    default-server inter 500ms fall 2 rise 2
    # While no instance is ready (the database away from all of them: a failover's gap),
    # the requests still go to the instances, unchecked, rather than HAProxy answering 503
    # at once: a reading asks again for the database for up to 3 s.
    option allbackups
CFG
  for server in "$@"; do
    n=$((n + 1))
    echo "    server ws$n 127.0.0.1:$server check"
  done
  n=0
  for server in "$@"; do
    n=$((n + 1))
    echo "    server ws$n-unready 127.0.0.1:$server backup"
  done
}

# HAProxy's statistics (the "listen stats" section on the port named stats), as CSV.
cluster_show_stat() { curl -s --max-time 2 "http://127.0.0.1:$(cluster_port stats)/stats;csv"; }

# HAProxy's status of a server: UP, DOWN, MAINT, "UP 1/2", ...
cluster_server_state() {
  cluster_show_stat 2>/dev/null | awk -F, -v b="$1" -v s="$2" '$1 == b && $2 == s { print $18 }'
}

# Starts HAProxy on $CLUSTER_DIR/haproxy.cfg and waits until it sees SERVER of BACKEND up.
cluster_start_haproxy() { # backend server
  "$(cluster_haproxy_bin)" -c -q -f "$CLUSTER_DIR/haproxy.cfg" || return 1
  (cluster_exec_as_owner "$(cluster_haproxy_bin)" -db -f "$CLUSTER_DIR/haproxy.cfg") \
    >"$CLUSTER_DIR/haproxy.log" 2>&1 &
  echo $! >"$CLUSTER_DIR/haproxy.pid"
  for _ in $(seq 100); do
    [ "$(cluster_server_state "$1" "$2")" = UP ] && return 0
    sleep 0.1
  done
  echo "HAProxy does not see $2 up in $1" >&2
  cat "$CLUSTER_DIR/haproxy.log" >&2
  return 1
}

# --- data sources and the station service -------------------------------------------------

# The drivers' file, $CLUSTER_DIR/odbcinst.ini; the data sources, one
# "NAME PORT" pair per argument, to $CLUSTER_DIR/odbc.ini (database orv on 127.0.0.1).
cluster_write_data_sources() {
  local entry
  cat >"$CLUSTER_DIR/odbcinst.ini" <<INI
[PostgreSQL Unicode]
Driver=$(dpkg -L odbc-postgresql 2>/dev/null | grep '/psqlodbcw.so$' | head -n 1)

[SQLite3]
Driver=$(dpkg -L libsqliteodbc 2>/dev/null | grep '/libsqlite3odbc.so$' | head -n 1)
INI
  for entry in "$@"; do
    printf '[%s]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%s\nDatabase=orv\n\n' \
      ${entry}
  done >"$CLUSTER_DIR/odbc.ini"
  export ODBCSYSINI=$CLUSTER_DIR ODBCINI=$CLUSTER_DIR/odbc.ini \
    ORV_SETTINGS_DIR=$CLUSTER_DIR/settings CLUSTER_HTTP="http://127.0.0.1:$(cluster_port http)"
  mkdir -p "$CLUSTER_DIR/settings"
}

cluster_ws_start() {
  local n=$1 dsn=$2 port
  port=$(cluster_port "ws$n")
  (cluster_exec_as_owner "${ORV_BUILD_DIR:-$cluster_top/build}/bin/stationws" \
    --listen "127.0.0.1:$port" --dsn "$dsn" --user orv_reader --password reader --threads 4) \
    >>"$CLUSTER_DIR/ws$n.log" 2>&1 &
  echo $! >"$CLUSTER_DIR/ws$n.pid"
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/fdsnws/station/1/version" && return 0
    sleep 0.05
  done
  echo "stationws $n did not start" >&2
  tail -n 5 "$CLUSTER_DIR/ws$n.log" >&2
  return 1
}

cluster_ws_kill() {
  local pid
  pid=$(cat "$CLUSTER_DIR/ws$1.pid" 2>/dev/null) || return 0
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -f "$CLUSTER_DIR/ws$1.pid"
}

# The instances and HAProxy stopped (the servers are each set-up's own).
cluster_stop_front() {
  local file
  for file in "$CLUSTER_DIR"/ws*.pid "$CLUSTER_DIR/haproxy.pid"; do
    if [ -f "$file" ]; then kill "$(cat "$file")" 2>/dev/null || true; fi
  done
}
