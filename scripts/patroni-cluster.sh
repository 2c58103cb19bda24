#!/usr/bin/env bash
# Starts the archive as a data centre runs it past one machine, all on this machine, for
# the cluster drill and for trials: three nodes a, b and c, each an etcd member, a Patroni
# and the PostgreSQL server that Patroni runs (one leader, the others its streaming
# replicas, one of them synchronous); HAProxy in front, with a TCP frontend for the editors
# that sends to the writable primary, a TCP frontend for reads that sends to the replicas
# (to the primary while none is up), both checked on Patroni's REST API, and an HTTP
# frontend for the station service's instances (health checks on /health, retries and
# redispatch). Everything lives in one temporary directory and listens on loopback (or a
# Unix socket in that directory) only, on ports picked free at the start. As root, the
# servers run as the 'postgres' account (or 'nobody').
# The failover is Patroni's over a three-member etcd (v2 API): what the cluster drill
# (scripts/cluster-drill.sh) runs its faults on. scripts/cluster-common.sh has what this
# shares with the two-server set-up (scripts/throwaway-cluster.sh).
#
# Meant to be sourced. cluster_start starts the nodes and HAProxy and exports
#   CLUSTER_DIR          the directory (the functions below find everything through it)
#   ODBCSYSINI, ODBCINI  the data sources: ORV_CLUSTER (the editors', through HAProxy),
#                        ORV_CLUSTER_READ (the reads', through HAProxy), ORV_CLUSTER_A,
#                        _B and _C (each server directly)
#   CLUSTER_HTTP         http://127.0.0.1:PORT, the station service through HAProxy
# The editors log in as "ORV" (password KTZ), the instances as orv_reader (reader).
#
#   cluster_stop                   stops everything and removes the directory
#   cluster_ws_start N DSN         starts stationws instance N (1 or 2) reading DSN
#   cluster_ws_kill N              kill -9 of the instance
#   cluster_pg_kill NODE           kill -9 of the node's PostgreSQL and all its processes
#   cluster_patroni_start NODE     starts the node's Patroni (it starts PostgreSQL itself)
#   cluster_patroni_kill NODE      kill -9 of the node's Patroni (PostgreSQL goes on)
#   cluster_patroni_freeze NODE / cluster_patroni_thaw NODE   SIGSTOP / SIGCONT of it
#   cluster_etcd_start NODE / cluster_etcd_kill NODE          the node's etcd member
#   cluster_node_kill NODE         the whole node at once: etcd, Patroni, PostgreSQL
#   cluster_node_start NODE        its etcd member and its Patroni again
#   cluster_leader                 the node holding Patroni's leader key ("" when none)
#   cluster_sync_standby           the leader's synchronous standby ("" when none)
#   cluster_member NODE FIELD      a field of the node in `patronictl list` (State, TL...)
#   cluster_wait_healthy SECONDS   waits for a leader and every member streaming
#   cluster_psql NODE ARGS...      psql as the administrator on NODE's socket
#   cluster_server_state BACKEND SERVER   HAProxy's status of a server (UP, DOWN, ...)
#   cluster_show_stat              HAProxy's statistics (CSV)
#   cluster_write_servers_up       how many servers the editors' backend has up

. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/cluster-common.sh"

cluster_nodes=(a b c)
# A frozen Patroni is taken out after two checks of a second.
CLUSTER_CHECK_TIMEOUT=1s

# A background program of a node, its process id kept in $CLUSTER_DIR/NODE/NAME.pid.
cluster_spawn() { # node name program args...
  local node=$1 name=$2
  shift 2
  (cluster_exec_as_owner "$@") >>"$CLUSTER_DIR/$node/$name.log" 2>&1 &
  echo $! >"$CLUSTER_DIR/$node/$name.pid"
  # Killed on purpose: the shell does not report it.
  disown $! 2>/dev/null || true
}

cluster_signal() { # node name signal
  local pid
  pid=$(cat "$CLUSTER_DIR/$1/$2.pid" 2>/dev/null) || return 0
  kill "-$3" "$pid" 2>/dev/null || true
  if [ "$3" = KILL ]; then
    while kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
    rm -f "$CLUSTER_DIR/$1/$2.pid"
  fi
}

# --- etcd ----------------------------------------------------------------------------------

cluster_etcd_start() { # node [state]: "new" for the first start, "existing" after
  local node=$1 state=${2:-existing} initial= n
  for n in "${cluster_nodes[@]}"; do
    initial+="${initial:+,}etcd-$n=http://127.0.0.1:$(cluster_port "peer.$n")"
  done
  # The v2 API is what Patroni's etcd back end speaks (see the README for why not etcd3).
  # Heartbeats every 100 ms, an election after 1 s (etcd's own defaults): a member that
  # dies is replaced well within Patroni's retry_timeout (4 s), which each Patroni shares out
  # over the members (1.3 s a request). With an election after 2 s, the loss of the etcd
  # leader's machine (with the synchronous standby on it) left the Patroni leader without
  # an answer for 4 s on the loaded machine: it demoted itself and took the lead again, a
  # failover nobody asked for.
  cluster_spawn "$node" etcd /usr/bin/etcd --name "etcd-$node" \
    --data-dir "$CLUSTER_DIR/$node/etcd" --enable-v2 \
    --listen-client-urls "http://127.0.0.1:$(cluster_port "etcd.$node")" \
    --advertise-client-urls "http://127.0.0.1:$(cluster_port "etcd.$node")" \
    --listen-peer-urls "http://127.0.0.1:$(cluster_port "peer.$node")" \
    --initial-advertise-peer-urls "http://127.0.0.1:$(cluster_port "peer.$node")" \
    --initial-cluster "$initial" --initial-cluster-state "$state" \
    --initial-cluster-token orv-drill --heartbeat-interval 100 --election-timeout 1000 \
    --log-level warn
}

cluster_etcd_kill() { cluster_signal "$1" etcd KILL; }

cluster_etcd_endpoints() {
  local n list=
  for n in "${cluster_nodes[@]}"; do list+="${list:+,}127.0.0.1:$(cluster_port "etcd.$n")"; done
  echo "$list"
}

cluster_wait_etcd() {
  for _ in $(seq 150); do
    curl -s --max-time 1 "http://127.0.0.1:$(cluster_port etcd.a)/v2/keys/" >/dev/null &&
      curl -s --max-time 1 "http://127.0.0.1:$(cluster_port etcd.a)/health" | grep -q true &&
      return 0
    sleep 0.1
  done
  echo "etcd did not form its cluster within 15 s" >&2
  return 1
}

# --- Patroni -------------------------------------------------------------------------------

# One node's patroni.yml. The cluster-wide settings (bootstrap.dcs) go to etcd when the
# first node bootstraps; `patronictl edit-config` changes them later.
cluster_write_patroni_config() {
  local node=$1 dir=$CLUSTER_DIR/$1
  cat >"$dir/patroni.yml" <<YML
scope: orv
namespace: /orv-drill/
name: $node
restapi:
  listen: 127.0.0.1:$(cluster_port "rest.$node")
  connect_address: 127.0.0.1:$(cluster_port "rest.$node")
etcd:
  hosts: $(cluster_etcd_endpoints)
bootstrap:
  dcs:
    ttl: 10
    loop_wait: 2
    retry_timeout: 4
    maximum_lag_on_failover: 1048576
    synchronous_mode: true
    synchronous_mode_strict: false
    primary_start_timeout: 0
    postgresql:
      use_pg_rewind: true
      use_slots: true
      parameters:
        wal_level: replica
        hot_standby: "on"
        hot_standby_feedback: "on"
        wal_log_hints: "on"
        wal_keep_size: 256MB
        max_wal_senders: 10
        max_replication_slots: 10
        synchronous_commit: "on"
        fsync: "off"
  initdb:
    - encoding: UTF8
    - locale: C.UTF-8
    - no-sync
  pg_hba:
    - local all postgres trust
    - host all postgres 127.0.0.1/32 scram-sha-256
    - host replication replicator 127.0.0.1/32 scram-sha-256
    - host orv ORV,orv_reader 127.0.0.1/32 scram-sha-256
postgresql:
  listen: 127.0.0.1:$(cluster_port "$node")
  connect_address: 127.0.0.1:$(cluster_port "$node")
  use_unix_socket: true
  data_dir: $dir/data
  bin_dir: $(cluster_pg_bin)
  pgpass: $dir/pgpass
  # A new replica's copy starts at once (a spread checkpoint would keep it waiting).
  basebackup:
    - checkpoint: fast
  authentication:
    superuser: {username: postgres, password: drill-admin}
    replication: {username: replicator, password: replica}
    rewind: {username: postgres, password: drill-admin}
  parameters:
    unix_socket_directories: $dir
tags:
  nofailover: false
  noloadbalance: false
YML
}

cluster_patroni_start() { cluster_spawn "$1" patroni /usr/bin/patroni "$CLUSTER_DIR/$1/patroni.yml"; }
cluster_patroni_kill() { cluster_signal "$1" patroni KILL; }
cluster_patroni_freeze() { cluster_signal "$1" patroni STOP; }
cluster_patroni_thaw() { cluster_signal "$1" patroni CONT; }

# Every process of the node's server at once, as a machine that dies would take them.
cluster_pg_kill() { cluster_kill_server "$1"; }

cluster_node_kill() {
  cluster_patroni_kill "$1"
  cluster_pg_kill "$1"
  cluster_etcd_kill "$1"
}

cluster_node_start() {
  cluster_etcd_start "$1"
  cluster_patroni_start "$1"
}

# Patroni's view of the members: "name|role|state|timeline|lag" per line, from the first
# REST API that answers.
cluster_members() {
  local n
  for n in "${cluster_nodes[@]}"; do
    curl -s --max-time 1 "http://127.0.0.1:$(cluster_port "rest.$n")/cluster" 2>/dev/null |
      python3 -c 'import json, sys
for m in json.load(sys.stdin)["members"]:
    print("|".join(str(m.get(k, "")) for k in ("name", "role", "state", "timeline", "lag")))' \
        2>/dev/null && return 0
  done
  return 1
}

cluster_member() { # node field (role, state, timeline, lag)
  local column
  case $2 in role) column=2 ;; state) column=3 ;; timeline) column=4 ;; lag) column=5 ;; esac
  cluster_members | awk -F'|' -v n="$1" -v c="$column" '$1 == n { print $c }'
}

cluster_leader() { cluster_members | awk -F'|' '$2 == "leader" { print $1 }'; }
cluster_sync_standby() { cluster_members | awk -F'|' '$2 == "sync_standby" { print $1 }'; }

# A leader that answers writes, every other member running and streaming from it, one of
# them synchronous.
cluster_healthy() {
  local members leader
  members=$(cluster_members) || return 1
  leader=$(awk -F'|' '$2 == "leader" && $3 == "running" { print $1 }' <<<"$members")
  [ -n "$leader" ] || return 1
  [ "$(awk -F'|' '$2 != "leader" && $3 == "running"' <<<"$members" | wc -l)" -eq 2 ] &&
    grep -q '|sync_standby|running|' <<<"$members" &&
    [ "$(cluster_psql "$leader" -d postgres -Atc "SELECT pg_is_in_recovery()::text ||
           count(*) FILTER (WHERE state = 'streaming') ||
           count(*) FILTER (WHERE sync_state = 'sync') FROM pg_stat_replication" \
         2>/dev/null)" = false21 ]
}

cluster_wait_healthy() {
  local end=$(($(date +%s) + $1))
  until cluster_healthy; do
    [ "$(date +%s)" -lt "$end" ] || return 1
    sleep 0.2
  done
}

# The roles and the database, on the leader (Patroni made the replication role).
cluster_make_roles() {
  PGOPTIONS='-c synchronous_commit=local' cluster_psql "$1" -d postgres <<'SQL' >/dev/null
CREATE ROLE "ORV" LOGIN PASSWORD 'KTZ';
CREATE ROLE orv_reader LOGIN PASSWORD 'reader';
CREATE DATABASE orv OWNER "ORV";
\c orv
ALTER DEFAULT PRIVILEGES FOR ROLE "ORV" IN SCHEMA public GRANT SELECT ON TABLES TO orv_reader;
SQL
}

# --- HAProxy -------------------------------------------------------------------------------

# The servers of a backend, each checked on its Patroni's REST API.
cluster_pg_servers() {
  local n
  for n in "${cluster_nodes[@]}"; do
    echo "    server $n 127.0.0.1:$(cluster_port "$n") check port $(cluster_port "rest.$n")"
  done
}

cluster_write_haproxy_config() {
  {
    cluster_stations_proxy "$(cluster_port http)" "$(cluster_port ws1)" "$(cluster_port ws2)"
    cat <<CFG

# The editors' data source: the primary that accepts writes. Patroni's /primary answers
# 200 on the node holding the leader key, also while its PostgreSQL is still read-only
# (starting, or not yet promoted); the body says whether it runs and is the primary
# ("role" is what pg_is_in_recovery() said as the check was answered).
frontend editors
    mode tcp
    bind 127.0.0.1:$(cluster_port editors)
    timeout client 30m
    default_backend primary

backend primary
    mode tcp
    timeout server 30m
    option httpchk
    http-check send meth GET uri /primary
    http-check expect status 200
    http-check expect rstring "\"state\": \"running\", .*\"role\": \"master\""
    default-server inter 250ms fall 2 rise 2 on-marked-down shutdown-sessions
$(cluster_pg_servers)

# The instances' data source: a streaming replica, or the primary while none is up.
frontend reads
    mode tcp
    bind 127.0.0.1:$(cluster_port reads)
    timeout client 30m
    use_backend replicas if { nbsrv(replicas) ge 1 }
    default_backend primary

backend replicas
    mode tcp
    timeout server 30m
    balance leastconn
    option httpchk
    http-check send meth GET uri /replica
    http-check expect status 200
    default-server inter 500ms fall 2 rise 2 on-marked-down shutdown-sessions
$(cluster_pg_servers)

listen stats
    mode http
    bind 127.0.0.1:$(cluster_port stats)
    stats enable
    stats uri /stats
CFG
  } >"$CLUSTER_DIR/haproxy.cfg"
}

# How many servers of the editors' backend HAProxy has up now (never more than one).
cluster_write_servers_up() {
  cluster_show_stat 2>/dev/null |
    awk -F, '$1 == "primary" && $2 != "BACKEND" && $18 ~ /^UP/ { n++ } END { print n + 0 }'
}

cluster_start() {
  local node leader=
  cluster_pg_bin >/dev/null || { echo "PostgreSQL server binaries not found" >&2; return 1; }
  cluster_haproxy_bin >/dev/null || { echo "haproxy is not installed" >&2; return 1; }
  command -v patroni >/dev/null && [ -x /usr/bin/etcd ] ||
    { echo "patroni and etcd-server are not installed" >&2; return 1; }
  CLUSTER_DIR=$(mktemp -d /tmp/orv-cluster.XXXXXX)
  chmod 755 "$CLUSTER_DIR"
  export CLUSTER_DIR
  for node in "${cluster_nodes[@]}"; do
    cluster_pick_ports "$node" "rest.$node" "etcd.$node" "peer.$node" || return 1
  done
  cluster_pick_ports editors reads http stats ws1 ws2 || return 1
  for node in "${cluster_nodes[@]}"; do
    cluster_owned_dir "$CLUSTER_DIR/$node"
    cluster_write_patroni_config "$node"
    cluster_etcd_start "$node" new
  done
  cluster_wait_etcd || return 1
  # a bootstraps (its Patroni starts first and takes the initialisation key), the others
  # wait for it and copy it.
  cluster_patroni_start a
  sleep 0.5
  cluster_patroni_start b
  cluster_patroni_start c
  for _ in $(seq 300); do
    leader=$(cluster_leader 2>/dev/null) && [ -n "$leader" ] &&
      [ "$(cluster_psql "$leader" -d postgres -Atc 'SELECT pg_is_in_recovery()' 2>/dev/null)" = f ] &&
      break
    leader=
    sleep 0.1
  done
  [ -n "$leader" ] || { echo "no Patroni leader after 30 s" >&2; tail -n 20 "$CLUSTER_DIR/a/patroni.log" >&2; return 1; }
  cluster_make_roles "$leader" || return 1
  cluster_wait_healthy 60 || { echo "the replicas did not stream within 60 s" >&2; return 1; }
  cluster_write_data_sources "ORV_CLUSTER $(cluster_port editors)" \
    "ORV_CLUSTER_READ $(cluster_port reads)" "ORV_CLUSTER_A $(cluster_port a)" \
    "ORV_CLUSTER_B $(cluster_port b)" "ORV_CLUSTER_C $(cluster_port c)"
  cluster_write_haproxy_config
  cluster_start_haproxy primary "$leader" || return 1
  echo "Cluster in $CLUSTER_DIR: leader $leader; editors on 127.0.0.1:$(cluster_port editors)," \
    "reads on 127.0.0.1:$(cluster_port reads), stations on $CLUSTER_HTTP"
}

cluster_stop() {
  [ -n "${CLUSTER_DIR:-}" ] && [ -d "$CLUSTER_DIR" ] || return 0
  local node
  cluster_stop_front
  for node in "${cluster_nodes[@]}"; do
    cluster_patroni_thaw "$node"
    cluster_patroni_kill "$node"
    cluster_pg_kill "$node"
    cluster_etcd_kill "$node"
  done
  rm -rf "$CLUSTER_DIR"
  CLUSTER_DIR=
}
