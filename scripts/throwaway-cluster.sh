#!/usr/bin/env bash
# Starts the archive as a data centre runs it past one machine, all on this machine, for
# the cluster drill and for trials: two PostgreSQL servers, "a" the primary and "b" a hot
# standby made from it with pg_basebackup -R, replication synchronous; HAProxy in front,
# with an HTTP frontend for the station service's instances (health checks on /health,
# retries and redispatch) and a TCP frontend for the editors that sends to whichever server
# is the primary. Everything lives in one temporary directory and listens on loopback (or
# a Unix socket in that directory) only, on ports picked free at the start. As root, the
# servers run as the 'postgres' account (or 'nobody').
#
# Meant to be sourced. cluster_start starts the two servers and HAProxy and exports
#   CLUSTER_DIR          the directory (the functions below find everything through it)
#   ODBCSYSINI, ODBCINI  the data sources: ORV_CLUSTER (the editors', through HAProxy),
#                        ORV_CLUSTER_A and ORV_CLUSTER_B (each server directly)
#   CLUSTER_HTTP         http://127.0.0.1:PORT, the station service through HAProxy
# The editors log in as "ORV" (password KTZ), the instances as orv_reader (reader).
#
#   cluster_stop                   stops everything and removes the directory
#   cluster_ws_start N DSN         starts stationws instance N (1 or 2) reading DSN
#   cluster_ws_kill N              kill -9 of the instance
#   cluster_pg_kill NODE           kill -9 of the server and all its processes
#   cluster_pg_stop NODE           stops it (immediate: as if its machine went away)
#   cluster_pg_start NODE          starts it again on its data
#   cluster_promote NODE           promotes the standby NODE and lets it commit without a
#                                  standby until cluster_rebuild gives it one
#   cluster_rebuild NODE FROM      makes NODE anew as a standby of FROM (pg_basebackup -R)
#   cluster_wait_sync              waits until the primary has its synchronous standby
#   cluster_psql NODE ARGS...      psql as the administrator on NODE's socket
#   cluster_server_state BACKEND SERVER   HAProxy's status of a server (UP, DOWN, ...)

. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/cluster-common.sh"

cluster_pg_start() {
  local node=$1 bin
  bin=$(cluster_pg_bin) || return 1
  cluster_as_owner "$bin/pg_ctl" -D "$CLUSTER_DIR/$node/data" -w -t 60 \
      -l "$CLUSTER_DIR/$node/server.log" \
      -o "-k $CLUSTER_DIR/$node -p $(cluster_port "$node") -c cluster_name=$node" \
      start >/dev/null \
    || { tail -n 20 "$CLUSTER_DIR/$node/server.log" >&2; return 1; }
}

cluster_pg_stop() {
  local pid
  pid=$(head -n 1 "$CLUSTER_DIR/$1/data/postmaster.pid" 2>/dev/null) || return 0
  cluster_as_owner "$(cluster_pg_bin)/pg_ctl" -D "$CLUSTER_DIR/$1/data" -m immediate -w stop \
    >/dev/null 2>&1 || true
}

# Every process of the server at once, as a machine that dies would take them.
cluster_pg_kill() {
  cluster_kill_server "$1"
  rm -f "$CLUSTER_DIR/$1/data/postmaster.pid"
}

# The settings every server shares; pg_basebackup copies them to a new standby. A server
# never waits for itself, so one list names both.
cluster_write_settings() {
  local data=$1
  cat >>"$data/postgresql.conf" <<CONF

# --- the archive's replication ---
listen_addresses = '127.0.0.1'
wal_level = replica
max_wal_senders = 8
wal_keep_size = 256MB
hot_standby = on
hot_standby_feedback = on
synchronous_commit = on
synchronous_standby_names = 'ANY 1 (a, b)'
wal_log_hints = on
# The throwaway's own: the drill kills processes, never the machine.
fsync = off
full_page_writes = off
CONF
  cat >"$data/pg_hba.conf" <<HBA
# TYPE  DATABASE     USER            ADDRESS         METHOD
local   all          postgres                        trust
host    orv          ORV,orv_reader  127.0.0.1/32    scram-sha-256
host    replication  replicator      127.0.0.1/32    scram-sha-256
host    postgres     haproxy_check   127.0.0.1/32    trust
HBA
}

# The roles and the database, on the primary before its standby exists (committed without
# waiting for one).
cluster_make_roles() {
  PGOPTIONS='-c synchronous_commit=local' cluster_psql a -d postgres <<'SQL' >/dev/null
CREATE ROLE replicator LOGIN REPLICATION PASSWORD 'replica';
CREATE ROLE "ORV" LOGIN PASSWORD 'KTZ';
CREATE ROLE orv_reader LOGIN PASSWORD 'reader';
CREATE ROLE haproxy_check LOGIN;
CREATE DATABASE orv OWNER "ORV";
\c orv
ALTER DEFAULT PRIVILEGES FOR ROLE "ORV" IN SCHEMA public GRANT SELECT ON TABLES TO orv_reader;
SQL
}

cluster_rebuild() {
  local node=$1 from=$2 bin
  bin=$(cluster_pg_bin) || return 1
  cluster_pg_stop "$node"
  rm -rf "$CLUSTER_DIR/$node"
  cluster_owned_dir "$CLUSTER_DIR/$node"
  cluster_as_owner "$bin/pg_basebackup" -D "$CLUSTER_DIR/$node/data" -R -X stream \
      --checkpoint=fast --no-sync \
      -d "host=127.0.0.1 port=$(cluster_port "$from") user=replicator password=replica" \
    || return 1
  cluster_pg_start "$node" || return 1
  # Its primary waits for it again.
  cluster_psql "$from" -d postgres -c 'ALTER SYSTEM RESET synchronous_standby_names' \
    -c 'SELECT pg_reload_conf()' >/dev/null
}

cluster_promote() {
  local node=$1
  cluster_as_owner "$(cluster_pg_bin)/pg_ctl" -D "$CLUSTER_DIR/$node/data" -w -t 60 promote \
    >/dev/null || return 1
  # Alone, it would wait for a standby that is gone: it commits alone until it has one.
  cluster_psql "$node" -d postgres -c "ALTER SYSTEM SET synchronous_standby_names = ''" \
    -c 'SELECT pg_reload_conf()' >/dev/null
}

# The node that accepts writes ("" when none does).
cluster_primary() {
  local node
  for node in a b; do
    [ "$(cluster_psql "$node" -d postgres -Atc 'SELECT pg_is_in_recovery()' 2>/dev/null)" = f ] \
      && { echo "$node"; return 0; }
  done
  return 1
}

cluster_wait_sync() {
  local primary
  for _ in $(seq 300); do
    primary=$(cluster_primary) &&
      [ "$(cluster_psql "$primary" -d postgres -Atc \
        "SELECT count(*) FROM pg_stat_replication WHERE sync_state IN ('sync', 'quorum')")" \
        -ge 1 ] && return 0
    sleep 0.1
  done
  echo "no synchronous standby after 30 s" >&2
  return 1
}

# HAProxy's health check of a PostgreSQL server as the editors' frontend needs it: up only
# while the server accepts writes. In the server's own protocol: a start-up message for
# the role haproxy_check, AuthenticationOk, the query "SELECT pg_is_in_recovery()", its
# data row ("t" or "f"; once it is there, a "t" fails the check at once), then Terminate.
cluster_pg_message_hex() {
  local type=$1 body=$2
  printf '%s%08x%s' "$type" $(((${#body} / 2) + 4)) "$body"
}
cluster_hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }

cluster_primary_check() {
  local startup query
  startup="00030000$(cluster_hex user)00$(cluster_hex haproxy_check)00$(cluster_hex database)00"
  startup+="$(cluster_hex postgres)00$(cluster_hex application_name)00$(cluster_hex haproxy)0000"
  query="$(cluster_hex 'SELECT pg_is_in_recovery()')00"
  cat <<CHECK
    option tcp-check
    tcp-check connect
    tcp-check send-binary $(cluster_pg_message_hex '' "$startup")
    tcp-check expect binary 520000000800000000
    tcp-check send-binary $(cluster_pg_message_hex 51 "$query")
    tcp-check expect rbinary 440000000B000100000001(66|74)
    tcp-check expect min-recv 1 binary 440000000b000100000001$(cluster_hex f)
    tcp-check send-binary 5800000004
CHECK
}

cluster_write_haproxy_config() {
  {
    cluster_stations_proxy "$(cluster_port http)" "$(cluster_port ws1)" "$(cluster_port ws2)"
    cat <<CFG

# The editors' data source: the server that accepts writes, b only once promoted.
frontend editors
    mode tcp
    bind 127.0.0.1:$(cluster_port editors)
    timeout client 30m
    default_backend primary

backend primary
    mode tcp
    timeout server 30m
$(cluster_primary_check)
    default-server inter 500ms fall 2 rise 1 on-marked-down shutdown-sessions
    server a 127.0.0.1:$(cluster_port a) check
    server b 127.0.0.1:$(cluster_port b) check backup

listen stats
    mode http
    bind 127.0.0.1:$(cluster_port stats)
    stats enable
    stats uri /stats
CFG
  } >"$CLUSTER_DIR/haproxy.cfg"
}

cluster_start() {
  local bin name
  bin=$(cluster_pg_bin) || { echo "PostgreSQL server binaries not found" >&2; return 1; }
  cluster_haproxy_bin >/dev/null || { echo "haproxy is not installed" >&2; return 1; }
  CLUSTER_DIR=$(mktemp -d /tmp/orv-cluster.XXXXXX)
  chmod 755 "$CLUSTER_DIR"
  export CLUSTER_DIR
  cluster_pick_ports a b editors http stats ws1 ws2 || return 1
  cluster_owned_dir "$CLUSTER_DIR/a"
  cluster_as_owner "$bin/initdb" -D "$CLUSTER_DIR/a/data" -U postgres -A trust -E UTF8 \
      --locale=C.UTF-8 --no-sync >"$CLUSTER_DIR/initdb.log" 2>&1 \
    || { cat "$CLUSTER_DIR/initdb.log" >&2; return 1; }
  cluster_write_settings "$CLUSTER_DIR/a/data"
  cluster_pg_start a || return 1
  cluster_make_roles || return 1
  cluster_rebuild b a || return 1
  cluster_wait_sync || return 1
  cluster_write_data_sources "ORV_CLUSTER $(cluster_port editors)" \
    "ORV_CLUSTER_A $(cluster_port a)" "ORV_CLUSTER_B $(cluster_port b)"
  cluster_write_haproxy_config
  cluster_start_haproxy primary a || return 1
  echo "Cluster in $CLUSTER_DIR: primary a on 127.0.0.1:$(cluster_port a), standby b on" \
    "127.0.0.1:$(cluster_port b), editors on 127.0.0.1:$(cluster_port editors)," \
    "stations on $CLUSTER_HTTP"
}

cluster_stop() {
  [ -n "${CLUSTER_DIR:-}" ] && [ -d "$CLUSTER_DIR" ] || return 0
  cluster_stop_front
  cluster_pg_stop a || true
  cluster_pg_stop b || true
  rm -rf "$CLUSTER_DIR"
  CLUSTER_DIR=
}
