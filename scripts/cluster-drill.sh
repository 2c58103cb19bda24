#!/usr/bin/env bash
# scripts/cluster-drill.sh: the archive past one machine, and what losing a machine does to
# it. Starts the set-up of scripts/patroni-cluster.sh (three nodes, each an etcd member, a
# Patroni and its PostgreSQL; HAProxy in front with the editors' frontend on the writable
# primary and the reads' on the replicas; two stationws instances reading through it) with
# the programs of ./build, and runs three steps, each timed and printed:
#   1. a response written through the editors' frontend is answered by an instance;
#   2. an instance killed and started again under 16 clients: no answer but 200;
#   3. the faults Patroni is there for, one after another, while gainbook-cli writes run one
#      after another through the editors' frontend and 16 clients read through the
#      instances: the leader's PostgreSQL killed; the leader's Patroni killed (started again
#      once another node leads); the whole leader node killed (its etcd member, Patroni and
#      PostgreSQL; started again likewise); the leader's Patroni frozen for 20 s and let go,
#      three times (the first time with a write sent straight to the frozen leader's
#      server, which ends with status 3 and is lost with it); the synchronous standby's
#      node killed and started again.
# Correctness goals fail the drill (status 1): a write that reported success missing or with
# another history on the leader or on any replica, a key with two open intervals, a failed
# write that hung or did not say the connection failed, two servers up at once in the
# editors' backend (sampled every 0.25 s), a timeline that did not change exactly once per
# leader fault, an old leader that is not a streaming replica again, a read answer other
# than 200. Times are printed and fail only past: set-up 30 s, a new leader 15 s, writes back
# 20 s, the old leader rejoined 60 s. Writes that ended with status 3 (kept on the primary,
# not confirmed by a standby) are counted apart with what became of each. About 4-5 minutes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ORV_BUILD_DIR:-$top/build}
cli=$build/bin/gainbook-cli
writer=$build/bin/cluster-station-writer
pz=$top/gainbook/formats/tests/data/obspy_IU_ANMO_00_BHZ.sacpz
for program in "$cli" "$writer" "$build/bin/stationws"; do
  [ -x "$program" ] || { echo "cluster drill: $program is not built" >&2; exit 1; }
done

. "$top/scripts/patroni-cluster.sh"
# ORV_DRILL_KEEP=DIR keeps the drill's records (the writes, what each said, the logs) there.
keep_records() {
  [ -n "${ORV_DRILL_KEEP:-}" ] && [ -n "${CLUSTER_DIR:-}" ] || return 0
  mkdir -p "$ORV_DRILL_KEEP"
  cp -r "$CLUSTER_DIR/drill" "$CLUSTER_DIR"/*.log "$ORV_DRILL_KEEP/" 2>/dev/null
  for node in "${cluster_nodes[@]}"; do
    cp "$CLUSTER_DIR/$node/patroni.log" "$ORV_DRILL_KEEP/patroni.$node.log" 2>/dev/null
  done
  return 0
}
trap 'set +e; touch "${work:-/nonexistent}/stop.writes"; kill $(jobs -p) 2>/dev/null; keep_records; cluster_stop' EXIT
trap 'exit 130' INT TERM

# --- printing --------------------------------------------------------------------------

failures=0
drill_at=$(date +%s.%N)
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
step() {
  step_at=$(now)
  echo "== cluster drill, step $*"
}
step_done() { echo "   step took $(since "$step_at") s"; }
ok() { echo "   ok: $*"; }
bad() {
  echo "   FAILED: $*"
  failures=$((failures + 1))
}
note() { echo "   $*"; }

# A client command, bounded: one that hangs is a failure of its own. Its status is
# returned; 124 means it hung.
bounded() {
  local seconds=$1
  shift
  timeout "$seconds" "$@"
}

sql() { # node, query: rows as "a|b|c"
  local node=$1
  shift
  cluster_psql "$node" -d orv -At -c "$*"
}

# p-th percentile (nearest rank) of numbers on stdin.
percentile() {
  sort -n | awk -v p="$1" '{ v[NR] = $1 } END { if (NR == 0) { print "-"; exit }
    r = int(NR * p / 100 + 0.999999); if (r < 1) r = 1; print v[r] }'
}

# --- the load: 16 clients asking single stations through HAProxy ---------------------------

# Each client asks 25 stations per curl run (one connection, kept alive), again and again
# until the seconds are over or $work/stop.TAG exists; one line per answer: status and
# seconds.
load_start() {
  local seconds=$1 tag=$2 n end
  end=$(($(date +%s) + seconds))
  load_pids=()
  for n in $(seq 16); do
    (
      until [ "$(date +%s)" -ge "$end" ] || [ -e "$work/stop.$tag" ]; do
        curl -s --max-time 30 -w '%{http_code} %{time_total}\n' -K "$work/client$n.urls" || true
      done >"$work/$tag.$n"
    ) &
    load_pids+=($!)
  done
}
load_wait() { wait "${load_pids[@]}"; }

# Answers of a load as the clients saw them: "N answers, K not 200".
load_statuses() {
  cat "$work/$1".* | awk '{ n++; if ($1 != 200) bad++ } END { printf "%d %d\n", n, bad + 0 }'
}

# What answered the requests that were not 200, as HAProxy logged them: "status server
# (count, first-last s.ms)" per status and server ("<NOSRV>": HAProxy itself).
not200_servers() {
  awk '$1 ~ /^[0-9]/ && $2 != 200 { k = $2 " " $5; n[k]++; if (!(k in a)) a[k] = $1; b[k] = $1 }
    END { for (k in n) printf "%s (%d, %s-%s)\n", k, n[k], a[k], b[k] }' "$CLUSTER_DIR/haproxy.log"
}

# HAProxy's own record of the requests accepted between two times: count, p99 of the
# active time (ms), retried requests.
haproxy_window() {
  awk -v a="$1" -v b="$2" '$1 ~ /^[0-9]/ && $1 >= a && $1 < b {
      print $3 > "/dev/stderr"; if ($4 > 0) r++; n++ }
    END { printf "%d %d\n", n, r + 0 }' "$CLUSTER_DIR/haproxy.log" 2>"$work/window.ms"
}

# A write through the editors' frontend; its status is returned (3: kept, unconfirmed).
editor_write() { # station channel location "YYYY.MM.DD HH:MM:SS" seconds; output to $work
  bounded "$5" "$cli" write "$pz" --net DR --sta "$1" --chan "$2" --loc "$3" --start "$4" \
    --dsn ORV_CLUSTER --user ORV --password KTZ
}

wait_state() { # backend server state seconds: the seconds it took, or nothing
  local started
  started=$(now)
  while [ "$(since "$started" | cut -d. -f1)" -lt "$4" ]; do
    if [ "$(cluster_server_state "$1" "$2" | cut -d' ' -f1)" = "$3" ]; then
      since "$started"
      return 0
    fi
    sleep 0.05
  done
  return 1
}

# --- set-up -------------------------------------------------------------------------------

# The embedded archive, as ./run makes it: 40 stations of 21 channels written through the
# station editor's code, a response of each through gainbook-cli; then copied onto the
# leader.
make_archive() {
  local i
  ORV_DATA_DIR=$work/embedded "$top/scripts/embedded-db.sh" --with-sitechan >/dev/null
  bounded 60 "$writer" --dsn ORV --user ORV --password KTZ --prefix A --count 40 \
    --work "$work" >"$work/archive-stations.out" || return 1
  for i in $(seq -w 1 40); do
    bounded 60 "$cli" write "$pz" --yes --dsn ORV --user ORV --password KTZ --net DR \
      --sta "A0$i" --chan BHZ --loc 00 --start "2010.01.01 00:00:00" >/dev/null \
      2>"$work/archive.err" || return 1
  done
  bounded 120 "$cli" copy --from ORV --from-user ORV --from-password KTZ --to ORV_CLUSTER \
    --to-user ORV --to-password KTZ >"$work/copy0.out" 2>"$work/archive.err"
}

set_up() {
  local n took
  step "0: set-up (three etcd members, three Patroni nodes, HAProxy, two instances, the archive)"
  cluster_start >/dev/null || { bad "the cluster did not start"; exit 1; }
  took=$(since "$step_at")
  work=$CLUSTER_DIR/drill
  mkdir -p "$work/w"
  cd "$work"
  note "leader $(cluster_leader), synchronous standby $(cluster_sync_standby), HAProxy: $took s" \
    "(goal: within 30 s)"
  awk -v d="$took" 'BEGIN { exit !(d <= 30) }' || bad "the set-up took $took s"
  make_archive || { bad "the archive was not made: $(tail -n 2 "$work/archive.err")"; exit 1; }
  cluster_ws_start 1 ORV_CLUSTER_READ
  cluster_ws_start 2 ORV_CLUSTER_READ
  wait_state stationws ws1 UP 10 >/dev/null && wait_state stationws ws2 UP 10 >/dev/null \
    || { bad "HAProxy does not see both instances"; exit 1; }
  for n in $(seq 16); do
    shuf -i 1-40 -n 25 --random-source=<(yes "$n") |
      awk -v b="$CLUSTER_HTTP/fdsnws/station/1/query" \
        '{ printf "url = \"%s?net=DR&sta=A%03d&level=station\"\noutput = /dev/null\n", b, $1 }' \
        >"$work/client$n.urls"
  done
  note "archive of 40 stations, 840 channels, 40 responses copied onto the leader;" \
    "both instances read through the reads' frontend"
  step_done
}

# A channel of a station as instance 1 answers it, directly.
on_instance() {
  curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$(cluster_port ws1)/fdsnws/station/1/query?net=DR&sta=$1&loc=00&cha=$2&level=channel&format=text"
}

# --- 1. replication -----------------------------------------------------------------------

replication() {
  local write_at written_at seen= rc delay
  step "1: a response written through the editors' frontend is answered by an instance on a replica"
  write_at=$(now)
  editor_write A001 HHZ 00 "2011.01.01 00:00:00" 30 >/dev/null 2>"$work/step1.err" && rc=0 || rc=$?
  written_at=$(now)
  if [ "$rc" != 0 ]; then
    bad "the write ended with status $rc: $(cat "$work/step1.err")"
    return
  fi
  for _ in $(seq 500); do
    [ "$(on_instance A001 HHZ)" = 200 ] && { seen=$(now); break; }
    sleep 0.01
  done
  if [ -z "$seen" ]; then
    bad "instance 1 did not answer the new channel within 5 s"
    return
  fi
  delay=$(between "$written_at" "$seen")
  note "write through the editors' frontend $(between "$write_at" "$written_at") s" \
    "(gainbook-cli's start, schema check, commit confirmed by the standby)"
  note "answered by instance 1 (reading a replica) $delay s after the write returned" \
    "(goal: under 1 s; the first poll included)"
  awk -v d="$delay" 'BEGIN { exit !(d < 1) }' && ok "delay under 1 s" \
    || note "timing goal missed: $delay s"
  step_done
}

# --- 2. an instance dies ------------------------------------------------------------------

instance_dies() {
  local killed_at started_at out back answers not200 gap_n gap_retried gap_p99 all_p99
  step "2: 16 clients for 20 s through HAProxy; instance 2 killed (-9) at 5 s, started at 12 s"
  load_start 20 load2
  sleep 5
  killed_at=$(now)
  cluster_ws_kill 2
  out=$(wait_state stationws ws2 DOWN 6) || out="more than 6"
  sleep "$(awk -v a="$killed_at" -v b="$(now)" 'BEGIN { s = 7 - (b - a); print (s > 0 ? s : 0) }')"
  started_at=$(now)
  cluster_ws_start 2 ORV_CLUSTER_READ
  back=$(wait_state stationws ws2 UP 6) || back="more than 6"
  load_wait
  read -r answers not200 < <(load_statuses load2)
  read -r gap_n gap_retried < <(haproxy_window "$killed_at" "$started_at")
  gap_p99=$(percentile 99 <"$work/window.ms")
  haproxy_window "$step_at" "$(now)" >/dev/null
  all_p99=$(percentile 99 <"$work/window.ms")
  note "$answers answers in 20 s ($((answers / 20))/s); taken out $out s after the kill," \
    "back $back s after the start"
  note "during the gap: $gap_n requests, p99 $gap_p99 ms, $gap_retried retried by HAProxy;" \
    "over the whole run p99 $all_p99 ms"
  [ "$not200" -eq 0 ] && ok "no answer but 200" ||
    bad "$not200 answers were not 200: $(not200_servers | paste -sd ';')"
  step_done
}

# --- 3. the faults ---------------------------------------------------------------------------

# Writes one after another, 20 a day's start apart into each of 10 keys in turn, each a day
# after the key's last, until $work/stop.writes exists; one line per write: result, station,
# day, start and end times; what it said goes to $work/w/N.err. A failed write is tried
# again with the next day after a fifth of a second, as a program that retries would.
write_responses() {
  local i=0 sta day started rc result
  until [ -e "$work/stop.writes" ]; do
    sta=$(printf 'A%03d' $((2 + i % 10)))
    day=$(date -u -d "2020-01-01 + $((i / 10)) days" +%Y-%m-%d)
    started=$(now)
    editor_write "$sta" BHZ 10 "${day//-/.} 00:00:00" 60 >/dev/null 2>"$work/w/$i.err" \
      && rc=0 || rc=$?
    case $rc in
      0) result=ok ;; 3) result=unconfirmed ;; 124) result=hung ;; *) result=failed ;;
    esac
    echo "$result $sta $day $started $(now) $i" >>"$work/writes"
    [ "$rc" = 0 ] || sleep 0.2
    i=$((i + 1))
  done
}

# HAProxy's editors' backend every 0.25 s: the moment and how many servers are up.
sample_write_backend() {
  until [ -e "$work/stop.writes" ]; do
    echo "$(now) $(cluster_write_servers_up)"
    sleep 0.25
  done >"$work/write-backend"
}

# True when NODE's server accepts writes.
writable() { [ "$(cluster_psql "$1" -d postgres -Atc 'SELECT pg_is_in_recovery()' 2>/dev/null)" = f ]; }

# True when NODE streams from the leader LEADER.
streams_from() {
  [ "$(cluster_psql "$1" -d postgres -Atc "SELECT count(*) FROM pg_stat_replication
        WHERE application_name = '$2' AND state = 'streaming'" 2>/dev/null)" = 1 ]
}

# Waits up to SECONDS for a node other than OLD whose server accepts writes (Patroni
# promotes only the node that took the leader key); prints it. Asked on the servers' own
# sockets: a frozen Patroni's REST API would hold each look up for its timeout.
wait_new_leader() { # old seconds
  local end node
  end=$(($(date +%s) + $2))
  while [ "$(date +%s)" -lt "$end" ]; do
    for node in "${cluster_nodes[@]}"; do
      if [ "$node" != "$1" ] && writable "$node"; then
        echo "$node"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

# Waits up to SECONDS for the cluster healthy with NODE streaming from LEADER.
wait_rejoined() { # node leader seconds
  local end
  end=$(($(date +%s) + $3))
  while [ "$(date +%s)" -lt "$end" ]; do
    streams_from "$2" "$1" && cluster_healthy && return 0
    sleep 0.2
  done
  return 1
}

within() { awk -v d="$1" -v b="$2" 'BEGIN { exit !(d != "" && d <= b) }'; }

# A write sent straight to NODE's server (not through HAProxy), as a program with an old
# data source would: one line to $work/direct as write_responses writes them.
direct_write() { # node
  local started rc result
  started=$(now)
  bounded 60 "$cli" write "$pz" --net DR --sta A012 --chan BHZ --loc 10 \
    --start "2020.01.01 00:00:00" --dsn "ORV_CLUSTER_${1^^}" --user ORV --password KTZ \
    >/dev/null 2>"$work/w/direct.err" && rc=0 || rc=$?
  case $rc in
    0) result=ok ;; 3) result=unconfirmed ;; 124) result=hung ;; *) result=failed ;;
  esac
  echo "$result A012 2020-01-01 $started $(now) direct" >"$work/direct"
}

# One fault of the leader (pg, patroni, node, freeze) or of the synchronous standby
# (standby), from a healthy cluster to a healthy one; one line to $work/faults, tabs between:
#   kind at old new new-leader-s rejoin-s timeline-before timeline-after name
# With a third argument, a frozen leader also gets a write straight to its server once
# another node leads: it waits for a standby that follows the new leader now, ends with
# status 3, and is lost when the old leader is rewound (the leader is let go once it ended).
fault() { # name kind [direct]
  local name=$1 kind=$2 direct=${3:-} old new= tl tl_after at back new_s= rejoin_s= victim
  local rewinds direct_pid=
  echo "   -- $name"
  if ! cluster_wait_healthy 90; then
    bad "$name: the cluster was not healthy before the fault"
    return
  fi
  old=$(cluster_leader) || true
  tl=$(cluster_member "$old" timeline) || true
  victim=$old
  [ "$kind" = standby ] && victim=$(cluster_sync_standby) || true
  rewinds=$(grep -c 'pg_rewind' "$CLUSTER_DIR/$victim/patroni.log" 2>/dev/null || true)
  at=$(now)
  case $kind in
    pg) cluster_pg_kill "$old" ;;
    patroni) cluster_patroni_kill "$old" ;;
    node | standby) cluster_node_kill "$victim" ;;
    freeze) cluster_patroni_freeze "$old" ;;
  esac
  if [ "$kind" = standby ]; then
    # The leader takes the other replica for its synchronous standby.
    for _ in $(seq 300); do
      new=$(cluster_sync_standby 2>/dev/null || true)
      [ -n "$new" ] && [ "$new" != "$victim" ] && { new_s=$(since "$at"); break; }
      new=
      sleep 0.1
    done
    note "$victim (synchronous standby) killed; $old keeps leading, ${new:-no node}" \
      "synchronous after ${new_s:-more than 30} s"
    sleep 3
    cluster_node_start "$victim"
    back=$(now)
    new=$old
  else
    if new=$(wait_new_leader "$old" 40); then
      new_s=$(since "$at")
      note "new leader $new $new_s s after the fault (goal: within 15 s)"
      within "$new_s" 15 || bad "$name: the new leader took $new_s s"
    else
      bad "$name: no new leader within 40 s"
      new=$(cluster_leader || true)
    fi
    case $kind in
      pg) back=$at ;;
      patroni) cluster_patroni_start "$old"; back=$(now) ;;
      node) cluster_node_start "$old"; back=$(now) ;;
      freeze)
        if [ -n "$direct" ]; then
          direct_write "$old" &
          direct_pid=$!
        fi
        sleep "$(awk -v a="$at" -v b="$(now)" 'BEGIN { s = 20 - (b - a); print (s > 0 ? s : 0) }')"
        if [ -n "$direct_pid" ]; then
          wait "$direct_pid" || true
          note "a write straight to the frozen $old's server: $(cut -d' ' -f1 "$work/direct")" \
            "after $(awk '{ printf "%.2f", $5 - $4 }' "$work/direct") s; $old let go" \
            "$(since "$at") s after the freeze"
        fi
        cluster_patroni_thaw "$old"
        back=$(now)
        ;;
    esac
  fi
  if [ -n "$new" ] && wait_rejoined "$victim" "$new" 90; then
    rejoin_s=$(since "$back")
    note "$victim streams from $new again $rejoin_s s after" \
      "$([ "$kind" = pg ] && echo "the fault" || echo "its Patroni was back") (goal: within 60 s)" \
      "$([ "$(grep -c 'pg_rewind' "$CLUSTER_DIR/$victim/patroni.log" 2>/dev/null)" -gt \
        "${rewinds:-0}" ] && echo "(through pg_rewind)")"
    within "$rejoin_s" 60 || bad "$name: $victim rejoined after $rejoin_s s"
  else
    bad "$name: $victim is not a streaming replica of ${new:-the leader} after 90 s"
  fi
  tl_after=$(cluster_member "$(cluster_leader)" timeline) || true
  if [ "$kind" = standby ]; then
    [ "$tl_after" = "$tl" ] && ok "timeline $tl unchanged, $old leads still" \
      || bad "$name: the timeline went from $tl to $tl_after"
  else
    [ "$tl_after" = $((tl + 1)) ] && ok "timeline $tl -> $tl_after: one failover" \
      || bad "$name: the timeline went from $tl to $tl_after (one failover expected)"
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$kind" "$at" "$old" "$new" "${new_s:--}" \
    "${rejoin_s:--}" "$tl" "$tl_after" "$name" >>"$work/faults"
}

# The writes of each fault, from its moment to the next one's, a line for each fault:
# done, failed, unconfirmed and "writes back", the seconds from the fault to the end of the
# first write that succeeded after the last one that did not (0 when none failed, "-" when
# none succeeded after).
fault_writes() {
  awk 'FNR == NR { split($0, fields, "\t"); at[++n] = fields[2]; next }
    { for (k = n; k >= 1; k--) if ($5 >= at[k]) break
      if (k < 1) next
      if ($1 == "ok") { d[k]++; if (lastBad[k] != "" && back[k] == "") back[k] = $5 - at[k] }
      else { lastBad[k] = $5; back[k] = "" }
      if ($1 == "unconfirmed") u[k]++
      else if ($1 != "ok") f[k]++ }
    END { for (k = 1; k <= n; k++)
      printf "%d\t%d\t%d\t%s\n", d[k], f[k], u[k],
        lastBad[k] == "" ? "0" : (back[k] == "" ? "-" : sprintf("%.2f", back[k])) }' \
    "$work/faults" "$work/writes"
}

# The histories of the keys written, as stored on NODE: "key|start|end" ("" for open).
stored_histories() {
  sql "$1" "SELECT sta, to_char(startdate, 'YYYY-MM-DD'),
                   coalesce(to_char(enddate, 'YYYY-MM-DD'), '')
            FROM calibration WHERE network = 'DR' AND location = '10' ORDER BY sta, startdate"
}

# Compares the stored histories with the writes' results in FILE ("ok|unconfirmed|failed
# KEY DAY ..."):
# every write that reported success stored, nothing stored that no write made, each key a
# chain of intervals, each ending where the next begins, the last one open. The writes
# that ended with status 3 are listed as "unconfirmed KEY DAY kept|lost".
check_histories() {
  awk -F'|' '
    FNR == NR { split($0, w, " "); result[w[2] "|" w[3]] = w[1]; next }
    { key = $1; stored[$1 "|" $2] = 1
      if (key == last && prevEnd != $2) { print "broken chain: " key " " prevEnd " / " $2; errors++ }
      if (key != last && last != "" && prevEnd != "") { print "no open interval: " last; errors++ }
      if ($3 == "") open[key]++
      last = key; prevEnd = $3 }
    END {
      if (last != "" && prevEnd != "") { print "no open interval: " last; errors++ }
      for (k in open) if (open[k] > 1) { print "two open intervals: " k; errors++ }
      for (r in result) {
        if (result[r] == "ok" && !(r in stored)) { print "lost: " r; errors++; lost++ }
        if (result[r] == "unconfirmed") {
          u = r; sub(/\|/, " ", u); print "unconfirmed " u ((r in stored) ? " kept" : " lost") }
        if (result[r] != "ok" && result[r] != "unconfirmed" && (r in stored)) doubt++
      }
      for (s in stored) if (!(s in result)) { print "written by nobody: " s; errors++ }
      printf "in-doubt %d lost %d errors %d\n", doubt + 0, lost + 0, errors + 0
    }' "$1" -
}

# Every write that reported success is on the leader and on each replica once it has
# replayed all the leader wrote, with its history; the writes that failed said why.
check_writes() {
  local leader node target doubt lost errors patterns said
  cluster_wait_healthy 90 || bad "the cluster was not healthy at the end"
  leader=$(cluster_leader) || true
  target=$(cluster_psql "$leader" -d postgres -Atc 'SELECT pg_current_wal_lsn()') || true
  for node in "${cluster_nodes[@]}"; do
    if [ "$node" != "$leader" ]; then
      for _ in $(seq 200); do
        [ "$(cluster_psql "$node" -d postgres -Atc \
          "SELECT pg_last_wal_replay_lsn() >= '$target'" 2>/dev/null)" = t ] && break
        sleep 0.1
      done
    fi
    read -r _ doubt _ lost _ errors < <(stored_histories "$node" | check_histories \
      <(cat "$work/writes" "$work/direct" 2>/dev/null) |
      tee "$work/check.$node" | tail -n 1)
    grep -v '^in-doubt\|^unconfirmed' "$work/check.$node" | sed "s/^/     $node: /" | head -n 20 || true
    [ "$errors" -eq 0 ] && ok "$node ($([ "$node" = "$leader" ] && echo leader || echo replica)):" \
      "every write that reported success is stored with its history, no key has two open" \
      "intervals; $doubt failed writes had been committed" \
      || bad "$node: $errors faults in the stored histories ($lost acknowledged writes lost)"
  done
  lost_total=$(awk '{ print $4 }' < <(tail -n 1 "$work/check.$leader"))
  # A failed write says the connection failed: the driver's words or the editor's own.
  patterns='connection|Connection|подключения к базе данных|Соединение с сервером|server closed|could not connect|terminating'
  said=0
  while read -r _ _ _ _ _ i; do
    if ! grep -Eq "$patterns" "$work/w/$i.err" || grep -Eq 'hot standby|read-only' "$work/w/$i.err"; then
      said=$((said + 1))
      [ "$said" -le 3 ] && note "write $i failed saying: $(tr '\n' ' ' <"$work/w/$i.err" | cut -c1-200)"
    fi
  done < <(grep -hE '^(failed|hung) ' "$work/writes" "$work/direct" 2>/dev/null)
  [ "$said" -eq 0 ] && ok "every failed write ended non-zero saying the connection failed" \
    || bad "$said failed writes did not say the connection failed"
  grep -q '^hung ' "$work/writes" && bad "$(grep -c '^hung ' "$work/writes") writes hung"
  return 0
}

faults() {
  local writes_pid sampler_pid answers not200 max_up done_n failed_n unconf_n kept_n n
  step "3: the faults, under gainbook-cli writes one after another and 16 clients reading"
  : >"$work/writes"
  : >"$work/faults"
  write_responses &
  writes_pid=$!
  sample_write_backend &
  sampler_pid=$!
  load_start 900 load3
  sleep 2
  fault "the leader's PostgreSQL killed" pg
  fault "the leader's Patroni killed" patroni
  fault "the whole leader node killed" node
  fault "the leader's Patroni frozen for 20 s (1)" freeze direct
  fault "the leader's Patroni frozen for 20 s (2)" freeze
  fault "the leader's Patroni frozen for 20 s (3)" freeze
  fault "the synchronous standby's node killed" standby
  sleep 2
  touch "$work/stop.writes" "$work/stop.load3"
  wait "$writes_pid" "$sampler_pid"
  load_wait
  echo "   -- the figures of each fault (seconds; writes from its moment to the next fault's)"
  printf '     %-44s %6s %7s %6s %5s %6s %7s %6s\n' fault leader rejoin TL done failed status3 back
  paste "$work/faults" <(fault_writes) | awk -F'\t' '{
      printf "     %-44s %6s %7s %6s %5s %6s %7s %6s\n", $9, ($1 == "standby" ? "(" $5 ")" : $5),
        $6, $7 "-" $8, $10, $11, $12, $13
      if ($13 == "-" || $13 + 0 > 20) print $9 ": writes back after " $13 " s" > "/dev/stderr" }' \
    2>"$work/back.bad"
  note "(leader: a new leader accepting writes after the fault; for the standby, the other" \
    "replica synchronous. rejoin: the node streaming again after its Patroni was back)"
  while read -r line; do bad "$line (goal: within 20 s)"; done <"$work/back.bad"
  done_n=$(grep -c '^ok ' "$work/writes" || true)
  failed_n=$(grep -Ec '^(failed|hung) ' "$work/writes" || true)
  unconf_n=$(grep -c '^unconfirmed ' "$work/writes" || true)
  note "writes through HAProxy: $done_n done, $failed_n failed, $unconf_n ended with status 3;" \
    "$(awk '{ printf "%.2f\n", $5 - $4 }' "$work/writes" | percentile 50) s per write (median)"
  max_up=$(awk 'BEGIN { m = 0 } $2 > m { m = $2 } END { print m }' "$work/write-backend")
  [ "$max_up" -le 1 ] && ok "at most one server up in the editors' backend in" \
    "$(wc -l <"$work/write-backend") samples every 0.25 s" \
    || bad "$(awk '$2 > 1' "$work/write-backend" | wc -l) samples had two servers up in the editors' backend"
  for n in 1 2; do
    kill -0 "$(cat "$CLUSTER_DIR/ws$n.pid")" 2>/dev/null ||
      note "instance $n ended during the faults ($(tail -n 1 "$CLUSTER_DIR/ws$n.log" | cut -c1-120));" \
        "HAProxy sent its requests to the other"
  done
  read -r answers not200 < <(load_statuses load3)
  [ "$not200" -eq 0 ] && ok "$answers read answers, none but 200" \
    || bad "$not200 of $answers read answers were not 200: $(not200_servers | paste -sd ';')"
  check_writes
  unconf_n=$(cat "$work/writes" "$work/direct" 2>/dev/null | grep -c '^unconfirmed ' || true)
  kept_n=$(grep -c ' kept$' "$work/check.$(cluster_leader)" || true)
  note "status 3 (kept on the primary, unconfirmed; the direct write included): $unconf_n," \
    "of which $kept_n are stored" \
    "and $((unconf_n - kept_n)) were lost with their primary, as their message warned"
  grep '^unconfirmed' "$work/check.$(cluster_leader)" | sed 's/^/     /' || true
  note "acknowledged writes lost: ${lost_total:-?}"
  step_done
}

set_up
replication
instance_dies
faults
echo "== cluster drill: $failures failed goals, $(since "$drill_at") s"
[ "$failures" -eq 0 ]
