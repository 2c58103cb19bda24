#!/usr/bin/env bash
# scripts/cluster-drill.sh: the archive past one machine, and what losing a machine does to
# it. Starts the set-up of scripts/throwaway-cluster.sh (a primary, a synchronous hot
# standby, two stationws instances behind HAProxy, the editors' frontend) with the programs
# of ./build, and runs five steps, each timed and printed:
#   1. a response written on the primary is answered by the instance on the standby;
#   2. an instance killed and started again under 16 clients: no answer but 200;
#   3. the standby stopped under one instance: the balancer takes that instance out and
#      back; an editor's write meanwhile ends after a bounded wait with a clear message;
#   4. the primary killed after about half of 200 gainbook-cli writes (and of 40 station
#      writes of 21 channels), the standby promoted: every write that reported success is
#      there with its history, a write that failed said so, no key has two open intervals;
#   5. an embedded archive copied onto the cluster, verified; the standby's tables have
#      the copy's checksums.
# A correctness goal missed (a lost write, two open intervals, a non-200 answer through the
# balancer, a client that hangs without a word) fails the drill (status 1); timing goals
# are printed. About two to three minutes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ORV_BUILD_DIR:-$top/build}
cli=$build/bin/gainbook-cli
writer=$build/bin/cluster-station-writer
pz=$top/gainbook/formats/tests/data/obspy_IU_ANMO_00_BHZ.sacpz
for program in "$cli" "$writer" "$build/bin/stationws"; do
  [ -x "$program" ] || { echo "cluster drill: $program is not built" >&2; exit 1; }
done

. "$top/scripts/throwaway-cluster.sh"
trap 'set +e; kill $(jobs -p) 2>/dev/null; cluster_stop' EXIT
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
# until the seconds are over; one line per answer: status and seconds.
load_start() {
  local seconds=$1 tag=$2 n end
  end=$(($(date +%s) + seconds))
  load_pids=()
  for n in $(seq 16); do
    (
      until [ "$(date +%s)" -ge "$end" ]; do
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
# primary.
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
  local n
  step "0: set-up (primary, synchronous standby, HAProxy, two instances, the archive)"
  cluster_start >/dev/null
  work=$CLUSTER_DIR/drill
  mkdir -p "$work"
  cd "$work"
  note "primary a, standby b (synchronous), HAProxy: $(since "$step_at") s"
  printf '\n[DRILL_CHECK]\nDriver=SQLite3\nDatabase=%s\n' "$work/standby-copy.db" >>"$ODBCINI"
  make_archive || { bad "the archive was not made: $(tail -n 2 "$work/archive.err")"; exit 1; }
  cluster_ws_start 1 ORV_CLUSTER_B
  cluster_ws_start 2 ORV_CLUSTER_A
  wait_state stationws ws1 UP 10 >/dev/null && wait_state stationws ws2 UP 10 >/dev/null \
    || { bad "HAProxy does not see both instances"; exit 1; }
  for n in $(seq 16); do
    shuf -i 1-40 -n 25 --random-source=<(yes "$n") |
      awk -v b="$CLUSTER_HTTP/fdsnws/station/1/query" \
        '{ printf "url = \"%s?net=DR&sta=A%03d&level=station\"\noutput = /dev/null\n", b, $1 }' \
        >"$work/client$n.urls"
  done
  note "archive of 40 stations, 840 channels, 40 responses copied onto the primary;" \
    "instance 1 reads the standby, instance 2 the primary"
  step_done
}

# A channel of a station as the instance on the standby answers it, directly.
on_standby_instance() {
  curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$(cluster_port ws1)/fdsnws/station/1/query?net=DR&sta=$1&loc=00&cha=$2&level=channel&format=text"
}

# --- 1. replication -----------------------------------------------------------------------

replication() {
  local write_at written_at seen= rc delay
  step "1: a response written on the primary appears at the instance on the standby"
  write_at=$(now)
  editor_write A001 HHZ 00 "2011.01.01 00:00:00" 30 >/dev/null 2>"$work/step1.err" && rc=0 || rc=$?
  written_at=$(now)
  if [ "$rc" != 0 ]; then
    bad "the write ended with status $rc: $(cat "$work/step1.err")"
    return
  fi
  for _ in $(seq 500); do
    [ "$(on_standby_instance A001 HHZ)" = 200 ] && { seen=$(now); break; }
    sleep 0.01
  done
  if [ -z "$seen" ]; then
    bad "the instance on the standby did not answer the new channel within 5 s"
    return
  fi
  delay=$(between "$written_at" "$seen")
  note "write through the editors' frontend $(between "$write_at" "$written_at") s" \
    "(gainbook-cli's start, schema check, commit confirmed by the standby)"
  note "answered by the instance on the standby $delay s after the write returned" \
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
  cluster_ws_start 2 ORV_CLUSTER_A
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
  [ "$not200" -eq 0 ] && ok "no answer but 200" || bad "$not200 answers were not 200"
  step_done
}

# --- 3. a replica dies --------------------------------------------------------------------

# An editor's write while the standby is down: a bounded wait, then kept but unconfirmed.
write_without_standby() {
  local write_at rc
  write_at=$(now)
  editor_write A002 HHZ 00 "2011.01.01 00:00:00" 60 >/dev/null 2>"$work/step3.err" && rc=0 || rc=$?
  note "an editor's write with the standby down: status $rc after $(since "$write_at") s; it said:"
  sed 's/^/     | /' "$work/step3.err"
  if [ "$rc" = 124 ]; then
    bad "the write hung without a word"
  elif [ "$rc" = 3 ] && grep -q "не подтвердил" "$work/step3.err" &&
    ! grep -q "успешно" "$work/step3.err"; then
    ok "a bounded wait, then: kept on the primary, not confirmed by the standby (status 3)"
  else
    bad "the write did not end as written-but-unconfirmed (status $rc)"
  fi
}

replica_dies() {
  local stopped_at restarted_at out back answers not200 gap_n gap_retried gap_p99 status
  step "3: the standby under instance 1 stopped while clients ask; an editor writes meanwhile"
  load_start 24 load3
  sleep 3
  stopped_at=$(now)
  cluster_pg_stop b
  if out=$(wait_state stationws ws1 DOWN 6); then
    note "instance 1 taken out $out s after its standby stopped (readiness bound 2 s," \
      "checks every 0.5 s, 2 failures)"
    awk -v d="$out" 'BEGIN { exit !(d <= 3) }' && ok "out within the bound" \
      || note "timing goal missed: $out s"
  else
    bad "instance 1 was not taken out within 6 s"
  fi
  write_without_standby
  cluster_pg_start b
  restarted_at=$(now)
  if back=$(wait_state stationws ws1 UP 10); then
    note "instance 1 back $back s after its standby started"
  else
    bad "instance 1 did not come back within 10 s"
  fi
  load_wait
  read -r answers not200 < <(load_statuses load3)
  read -r gap_n gap_retried < <(haproxy_window "$stopped_at" "$restarted_at")
  gap_p99=$(percentile 99 <"$work/window.ms")
  note "$answers answers; while the standby was down: $gap_n requests, p99 $gap_p99 ms," \
    "$gap_retried retried by HAProxy"
  [ "$not200" -eq 0 ] && ok "no answer but 200" || bad "$not200 answers were not 200"
  status=$(on_standby_instance A002 HHZ)
  [ "$status" = 200 ] && ok "the unconfirmed write reached the standby once it was back" \
    || bad "the unconfirmed write is not on the standby (status $status)"
  step_done
}

# --- 4. the primary dies mid-write --------------------------------------------------------

# Kills the primary NODE once FILE has COUNT lines, a moment into the next write, and
# promotes the standby STANDBY; the moments of the kill and of the promotion go to
# $work/failover.
kill_primary_after() {
  local file=$1 count=$2 node=$3 standby=$4 killed
  while [ "$(wc -l <"$file")" -lt "$count" ]; do sleep 0.01; done
  sleep 0.03
  killed=$(now)
  cluster_pg_kill "$node"
  cluster_promote "$standby"
  echo "$killed $(now)" >"$work/failover"
}

# Makes the dead primary NODE anew as the standby of the new primary FROM.
follow() {
  local rebuild_at
  rebuild_at=$(now)
  if cluster_rebuild "$1" "$2" && cluster_wait_sync; then
    note "$1 made anew as the synchronous standby of $2 in $(since "$rebuild_at") s (pg_basebackup)"
  else
    bad "$1 could not be made the new standby"
  fi
}

# The histories of the keys written, as stored on NODE: "key|start|end" ("" for open).
stored_histories() {
  sql "$1" "SELECT sta, to_char(startdate, 'YYYY-MM-DD'),
                   coalesce(to_char(enddate, 'YYYY-MM-DD'), '')
            FROM calibration WHERE network = 'DR' AND location = '10' ORDER BY sta, startdate"
}

# Compares the stored histories with the writes' results ("ok|unconfirmed|failed KEY DAY"):
# every write that reported success stored, nothing stored that no write made, each key a
# chain of intervals, each ending where the next begins, the last one open.
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
        if (result[r] == "ok" && !(r in stored)) { print "lost: " r; errors++ }
        if (result[r] == "unconfirmed" && !(r in stored)) unconfirmedLost++
        if (result[r] != "ok" && result[r] != "unconfirmed" && (r in stored)) doubt++
      }
      if (unconfirmedLost) print "unconfirmed and lost with the primary, as they said: " unconfirmedLost
      for (s in stored) if (!(s in result)) { print "written by nobody: " s; errors++ }
      printf "in-doubt %d errors %d\n", doubt + 0, errors + 0
    }' "$work/writes" -
}

# 200 writes one after another, 20 each into 10 keys, each a day after the key's last;
# one line per write: result, station, day, start and end times.
write_responses() {
  local i sta day started rc result
  for i in $(seq 0 199); do
    sta=$(printf 'A%03d' $((2 + i % 10)))
    day=$(date -u -d "2020-01-01 + $((i / 10)) days" +%Y-%m-%d)
    started=$(now)
    editor_write "$sta" BHZ 10 "${day//-/.} 00:00:00" 60 >/dev/null 2>>"$work/writes.err" \
      && rc=0 || rc=$?
    case $rc in
      0) result=ok ;; 3) result=unconfirmed ;; 124) result=hung ;; *) result=failed ;;
    esac
    echo "$result $sta $day $started $(now)" >>"$work/writes"
  done
}

primary_dies_under_responses() {
  local writes_pid killed_at promoted_at ok_n failed_n hung_n first_after each doubt errors
  : >"$work/writes"
  write_responses &
  writes_pid=$!
  kill_primary_after "$work/writes" 100 a b
  wait "$writes_pid"
  read -r killed_at promoted_at <"$work/failover"
  ok_n=$(grep -c '^ok ' "$work/writes" || true)
  failed_n=$(grep -c '^failed ' "$work/writes" || true)
  hung_n=$(grep -c '^hung ' "$work/writes" || true)
  first_after=$(awk -v k="$killed_at" '$1 == "ok" && $4 > k { print $5; exit }' "$work/writes")
  each=$(awk '{ printf "%.2f\n", $5 - $4 }' "$work/writes" | percentile 50)
  note "$ok_n written, $failed_n failed (each said so), $hung_n hung; $each s per write" \
    "(median); promoted $(between "$killed_at" "$promoted_at") s after the kill; the first" \
    "write after the kill done $(between "$killed_at" "${first_after:-$killed_at}") s after it"
  [ "$hung_n" -eq 0 ] || bad "$hung_n writes hung"
  read -r _ doubt _ errors < <(stored_histories b | check_histories | tee "$work/check4" | tail -n 1)
  grep -v '^in-doubt' "$work/check4" | sed 's/^/     /' | head -n 20 || true
  [ "$errors" -eq 0 ] && ok "every write that reported success is stored with its history;" \
    "no key has two open intervals; $doubt failed writes were committed before the primary died" \
    || bad "$errors faults in the stored histories"
}

primary_dies_under_stations() {
  local stations_pid rc killed_at promoted_at written failed lost twice partial
  note "second run: 40 station writes of 21 channels through the station editor's code;" \
    "the primary b killed after about 20"
  : >"$work/stations"
  bounded 300 "$writer" --dsn ORV_CLUSTER --user ORV --password KTZ --prefix W --count 40 \
    --work "$work" >"$work/stations" 2>"$work/stations.err" &
  stations_pid=$!
  kill_primary_after "$work/stations" 20 b a
  wait "$stations_pid" && rc=0 || rc=$?
  read -r killed_at promoted_at <"$work/failover"
  [ "$rc" = 124 ] && bad "the station writes hung"
  written=$(grep -c '^written ' "$work/stations" || true)
  failed=$(grep -c '^failed ' "$work/stations" || true)
  note "$written stations written, $failed failed; promoted" \
    "$(between "$killed_at" "$promoted_at") s after the kill"
  grep -E '^failed |: then ' "$work/stations" | head -n 3 | cut -c1-160 | sed 's/^/     /' || true
  # Each station reported written has its SITE row and its 21 channels, once each.
  sql a "SELECT s.sta, count(c.chan), count(DISTINCT c.chan) FROM site s LEFT JOIN sitechan c
         ON c.sta = s.sta WHERE s.sta LIKE 'W%' GROUP BY s.sta" >"$work/stations.stored"
  read -r lost twice partial < <(awk '
    FNR == NR { split($0, f, "|"); rows[f[1]] = f[2]; if (f[2] != f[3]) twice++; next }
    { code = $2; sub(":", "", code) }
    $1 == "written" && rows[code] != 21 { lost++ }
    $1 == "failed" && (code in rows) && rows[code] < 21 { partial++ }
    END { print lost + 0, twice + 0, partial + 0 }' "$work/stations.stored" "$work/stations")
  [ "$lost" -eq 0 ] && [ "$twice" -eq 0 ] \
    && ok "every station reported written has its 21 channels, none twice" \
    || bad "$lost stations reported written are not whole, $twice have a channel twice"
  note "$partial failed station writes left the station's row without all its channels" \
    "(the editor writes the row, then the channels in a transaction of their own)"
}

primary_dies() {
  step "4: 200 gainbook-cli writes one after another; the primary killed (-9) after about 100"
  primary_dies_under_responses
  follow a b
  primary_dies_under_stations
  follow b a
  step_done
}

# --- 5. copy onto the cluster -------------------------------------------------------------

checksums() { sed -n 's/^\([A-Z_]*\): .*SHA-256 \([0-9a-f]\{64\}\).*/\1 \2/p' "$1" | sort; }

copy_onto_cluster() {
  local rc target
  step "5: the embedded archive copied onto the primary, verified; the standby compared"
  bounded 120 "$cli" copy --from ORV --from-user ORV --from-password KTZ --to ORV_CLUSTER \
    --to-user ORV --to-password KTZ --replace >"$work/copy5.out" 2>"$work/copy5.err" \
    && rc=0 || rc=$?
  [ "$rc" = 0 ] && ok "copied and verified in $(since "$step_at") s" \
    || bad "the copy ended with status $rc: $(tail -n 2 "$work/copy5.err")"
  # The standby has replayed everything the primary wrote.
  target=$(cluster_psql a -d postgres -Atc 'SELECT pg_current_wal_lsn()')
  for _ in $(seq 100); do
    [ "$(cluster_psql b -d postgres -Atc "SELECT pg_last_wal_replay_lsn() >= '$target'")" = t ] \
      && break
    sleep 0.1
  done
  bounded 120 "$cli" copy --from ORV_CLUSTER_B --from-user ORV --from-password KTZ \
    --to DRILL_CHECK --to-user ORV --to-password KTZ >"$work/copy5b.out" 2>"$work/copy5b.err" \
    || bad "the standby's tables could not be read: $(tail -n 2 "$work/copy5b.err")"
  checksums "$work/copy5.out" >"$work/primary.sums"
  checksums "$work/copy5b.out" >"$work/standby.sums"
  sed 's/^/     primary /' "$work/primary.sums"
  if [ -s "$work/primary.sums" ] && cmp -s "$work/primary.sums" "$work/standby.sums"; then
    ok "the standby's $(wc -l <"$work/standby.sums") tables have the primary's checksums"
  else
    bad "the standby's tables differ from the primary's"
    sed 's/^/     standby /' "$work/standby.sums"
  fi
  step_done
}

set_up
replication
instance_dies
replica_dies
primary_dies
copy_onto_cluster
echo "== cluster drill: $failures failed goals, $(since "$drill_at") s"
[ "$failures" -eq 0 ]
