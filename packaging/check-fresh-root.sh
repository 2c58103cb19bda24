#!/usr/bin/env bash
# packaging/check-fresh-root.sh DEB CACHE: the administrator's road on a new machine. Makes a
# minimal Debian 12 root (debootstrap --variant=minbase bookworm, from the mirror this
# machine's own apt sources name), installs the package DEB into it with apt-get as an
# administrator would, and there:
#   - runs gainbook-cli --help and afr, stationws --help and the windows' shortest start;
#   - puts the settings example in /etc/orv/ORV.ini, runs dsninstaller, and writes and lists
#     responses through the data source it registered, the settings coming from that file;
#   - writes as a member of the group orv, and is refused, with the driver's reason, as
#     someone outside it;
#   - runs the service's ExecStart line with memory that is writable and executable at once
#     refused, as the unit's MemoryDenyWriteExecute= asks, on each ODBC driver;
#   - enables the unit, upgrades to a rebuilt package, purges it, and removes what stays
#     with the commands of the README's "Uninstalling".
# Downloaded packages are kept in CACHE between runs; the root is new every time and
# removed at the end. It fails, never skips, when the archive cannot be reached. Needs root
# (debootstrap, chroot, mount).
set -euo pipefail
deb=$(realpath "$1")
cache=$(mkdir -p "$2/debootstrap" "$2/apt" && realpath "$2")
top=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" = 0 ] || { echo "fresh root: needs root (debootstrap, chroot)" >&2; exit 1; }
failed=0
fail() { echo "fresh root: $*" >&2; failed=1; }
started=$SECONDS
phase() { echo "fresh root: $1 ($((SECONDS - started)) s)"; }

# --- the mirror ----------------------------------------------------------------------------
# The first source of the suite bookworm that apt of this machine takes packages from, as
# apt itself reads its sources (one-line lists and deb822 files alike).
mirror=$(apt-get indextargets --no-release-info --format '$(REPO_URI)' 'Release: bookworm' \
  'Identifier: Packages' | head -n 1)
[ -n "$mirror" ] || { echo "fresh root: no bookworm source in this machine's apt sources" >&2; exit 1; }

# --- the root, removed on every path ---------------------------------------------------------
root=$(mktemp -d "${TMPDIR:-/tmp}/orv-root.XXXXXX")
chmod 755 "$root" # the root directory of the new system
service_pid=
# Ends every process running inside the root (a program started there in the background
# runs under a subshell whose end does not end it).
stop_root_processes() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill "${p#/proc/}" 2>/dev/null
  done
  return 0
}
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  stop_root_processes
  for mounted in "$root/dev/pts" "$root/proc"; do
    mountpoint -q "$mounted" && { umount "$mounted" || umount -l "$mounted"; }
  done
  # Never remove a root that still has something mounted in it.
  if grep -qF " $root/" /proc/self/mounts; then
    echo "fresh root: $root still has mounts; left in place" >&2
  else
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

debootstrap --variant=minbase --cache-dir="$cache/debootstrap" bookworm "$root" "$mirror" \
  >"$root.log" 2>&1 || { tail -n 20 "$root.log" >&2; rm -f "$root.log"
                         echo "fresh root: debootstrap from $mirror failed" >&2; exit 1; }
rm -f "$root.log"
mount -t proc proc "$root/proc"
# Terminals of the root's own, for apt's log.
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
phase "minimal Debian 12 root made from $mirror"

# Runs a command in the root as root, in a clean environment.
in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
# Runs a command in the root as USER.
as_user() {
  local user=$1
  shift
  in_root runuser -u "$user" -- env HOME="/home/$user" "$@"
}

# --- installing ------------------------------------------------------------------------------
mkdir -p "$cache/apt"
cp "$cache"/apt/*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
cp "$deb" "$root/tmp/orv.deb"
in_root apt-get update -qq || { echo "fresh root: apt-get update from $mirror failed" >&2; exit 1; }
in_root apt-get install -y -qq /tmp/orv.deb >"$root/tmp/install.log" 2>&1 ||
  { tail -n 30 "$root/tmp/install.log" >&2; echo "fresh root: installing the package failed" >&2; exit 1; }
cp -n "$root"/var/cache/apt/archives/*.deb "$cache/apt/" 2>/dev/null || true
phase "package installed with $(in_root dpkg-query -W -f '${db:Status-Status}\n' | grep -cx installed) packages in the root"

# --- the programs ----------------------------------------------------------------------------
cp "$top/gainbook/formats/tests/data/obspy_SAC_PZs_KARC_BHZ" "$root/tmp/KARC.pz"
in_root gainbook-cli --help >/dev/null || fail "gainbook-cli --help failed"
rows=$(in_root gainbook-cli afr /tmp/KARC.pz | awk 'NF == 3 && $1 + 0 > 0' | wc -l) || true
[ "$rows" -gt 100 ] || fail "gainbook-cli afr printed $rows rows of frequency, amplitude, phase"
in_root stationws --help >/dev/null || fail "stationws --help failed"
# The windows have no --help: their start under the offscreen platform, ended after 5 s,
# shows that Qt, its platform plugin and the libraries load (a failure ends them at once).
for program in gainbook sitewright; do
  status=0
  in_root timeout 5 env QT_QPA_PLATFORM=offscreen "$program" >"$root/tmp/$program.log" 2>&1 || status=$?
  [ "$status" = 124 ] || { cat "$root/tmp/$program.log" >&2; fail "$program ended at once ($status)"; }
done

# --- the data source and a database colleagues write -----------------------------------------
in_root install -D -m 644 /usr/share/doc/orv/examples/ORV.ini /etc/orv/ORV.ini
in_root dsninstaller >"$root/tmp/dsninstaller.out" 2>&1 || fail "dsninstaller failed: $(cat "$root/tmp/dsninstaller.out")"
grep -qx "system data source ORV: driver ACCESS, database /var/lib/orv/ORV.db (in /etc/odbc.ini)" \
  "$root/tmp/dsninstaller.out" || fail "dsninstaller did not say what it registered: $(cat "$root/tmp/dsninstaller.out")"
for made in "/var/lib/orv 2775" "/var/lib/orv/ORV.db 664"; do
  access=$(in_root stat -c '%a %U %G' "${made% *}")
  [ "$access" = "${made#* } root orv" ] || fail "${made% *} is $access, not ${made#* } root orv"
done
write() { # write USER START: one response of KIV BHZ from START on, as USER
  if [ "$1" = root ]; then in_root gainbook-cli write /tmp/KARC.pz --yes --sta KIV --chan BHZ --start "$2"
  else as_user "$1" gainbook-cli write /tmp/KARC.pz --yes --sta KIV --chan BHZ --start "$2"; fi
}
write root "2003.01.01 00:00:00" >"$root/tmp/write.log" 2>&1 || fail "gainbook-cli write failed: $(cat "$root/tmp/write.log")"
in_root useradd --create-home --groups orv member || fail "no user could join the group orv"
in_root useradd --create-home outsider
write member "2005.01.01 00:00:00" >"$root/tmp/write.log" 2>&1 ||
  fail "a member of orv could not write: $(cat "$root/tmp/write.log")"
if write outsider "2007.01.01 00:00:00" >"$root/tmp/write.log" 2>&1; then
  fail "someone outside orv could write"
elif ! grep -q "attempt to write a readonly database" "$root/tmp/write.log"; then
  fail "the refusal lacks the driver's reason: $(cat "$root/tmp/write.log")"
fi
listing=$(as_user outsider gainbook-cli list 2>&1) || fail "gainbook-cli list failed: $listing"
[ "$listing" = $'XYN\tKIV\tBHZ\t??\t2005.01.01 00:00:00\nXYN\tKIV\tBHZ\t??\t2003.01.01 00:00:00 / 2005.01.01 00:00:00' ] ||
  fail "gainbook-cli list shows: $listing"
phase "programs, data source and group checked"

# --- the service with writable and executable memory refused ---------------------------------
# prctl(PR_SET_MDWE, PR_MDWE_REFUSE_EXEC_GAIN), the kernel's form of the unit's
# MemoryDenyWriteExecute=, kept across exec; system call 157 is prctl on x86-64.
mdwe='syscall(157, 65, 1, 0, 0, 0) == 0 or die "prctl: $!\n"; exec {$ARGV[0]} @ARGV or die "exec: $!\n"'
if [ "$(uname -m)" != x86_64 ]; then
  echo "fresh root: the service is not run with writable and executable memory refused on $(uname -m)"
elif in_root perl -e "${mdwe/exec*/}"'syscall(9, 0, 4096, 7, 0x22, -1, 0) == -1 or die "mapped\n"' 2>/dev/null; then
  cat >>"$root/etc/odbc.ini" <<'EOF'

[ORV_PG]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=1

[ORV_MARIADB]
Driver=MariaDB Unicode
Server=127.0.0.1
Port=1
EOF
  for dsn in ORV ORV_PG ORV_MARIADB; do
    log="$root/tmp/stationws-$dsn.log"
    in_root perl -e "$mdwe" stationws --listen 127.0.0.1:0 --dsn "$dsn" --user ORV \
      --password KTZ >"$log" 2>&1 &
    service_pid=$!
    port=
    for _ in $(seq 100); do
      port=$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$log")
      [ -n "$port" ] && break
      sleep 0.1
    done
    status=$(curl -s -o "$root/tmp/answer" -w '%{http_code}' --max-time 60 \
      "http://127.0.0.1:${port:-1}/fdsnws/station/1/query?level=response") || true
    kill "$service_pid" 2>/dev/null
    stop_root_processes
    wait "$service_pid" || true
    service_pid=
    if [ "$dsn" = ORV ]; then
      # The station table SITE is the station editor's, and missing here: the service
      # connected, read the catalog and found the response tables at its start, and answers
      # 500 naming the missing table (a driver that failed would have ended it at the start).
      [ "$status" = 500 ] && grep -q "no SITE table" "$log" ||
        { cat "$log" >&2; fail "stationws on SQLite answered $status with write-execute memory refused"; }
    else
      # No server listens there: the driver, loaded and refused a connection, says so.
      [ "$status" = 503 ] && grep -qiE "connect|refused" "$log" ||
        { cat "$log" >&2; fail "stationws through $dsn answered $status with write-execute memory refused"; }
    fi
  done
  phase "stationws served with writable and executable memory refused, on each driver"
else
  fail "the kernel does not refuse writable and executable memory (PR_SET_MDWE)"
fi

# --- enabling, upgrading, purging ------------------------------------------------------------
wants=/etc/systemd/system/multi-user.target.wants/stationws.service
systemctl --root="$root" enable stationws.service >/dev/null 2>&1 || fail "systemctl --root enable failed"
[ -L "$root$wants" ] || fail "enabling made no link $wants"
echo "STATIONWS_LISTEN=0.0.0.0:8080" >>"$root/etc/default/stationws"
rebuilt=$(mktemp -d)
dpkg-deb -R "$deb" "$rebuilt/orv"
sed -i 's/^Version: .*/&+rebuilt1/' "$rebuilt/orv/DEBIAN/control"
dpkg-deb -b "$rebuilt/orv" "$root/tmp/orv-rebuilt.deb" >/dev/null
rm -rf "$rebuilt"
in_root apt-get install -y -qq /tmp/orv-rebuilt.deb >"$root/tmp/upgrade.log" 2>&1 ||
  { cat "$root/tmp/upgrade.log" >&2; fail "the upgrade failed"; }
version=$(in_root dpkg-query -W -f '${Version}' orv)
[[ "$version" == *+rebuilt1 ]] || fail "the upgrade left version $version"
[ -L "$root$wants" ] || fail "the upgrade lost the enable link"
grep -qx "STATIONWS_LISTEN=0.0.0.0:8080" "$root/etc/default/stationws" ||
  fail "the upgrade replaced the changed /etc/default/stationws"
# The commands of the README's "Uninstalling" section, without their sudo: the first purges
# the package, the others remove what stays.
commands=$(awk '/^## /{ inside = ($0 == "## Uninstalling") } inside && /^    sudo /' "$top/README.md" |
  sed 's/^    sudo //')
purge=$(head -n 1 <<<"$commands")
[ "$purge" = "apt purge orv" ] || fail "the README's Uninstalling does not begin with apt purge orv"
in_root sh -c "$purge" >"$root/tmp/purge.log" 2>&1 < <(yes) || { cat "$root/tmp/purge.log" >&2; fail "the purge failed"; }
for gone in "$wants" /usr/bin/stationws /etc/default/stationws /usr/lib/systemd/system/stationws.service; do
  [ -e "$root$gone" ] || [ -L "$root$gone" ] && fail "the purge left $gone"
done
compgen -G "$root/var/lib/systemd/deb-systemd-helper-enabled/*stationws*" >/dev/null &&
  fail "the purge left deb-systemd-helper's record of the unit"
for kept in /var/lib/orv/ORV.db /etc/orv/ORV.ini; do
  [ -e "$root$kept" ] || fail "the purge removed $kept"
done
phase "enabled, upgraded to $version and purged"

# --- what stays, removed as the README says --------------------------------------------------
while read -r command; do
  in_root sh -c "$command" >/dev/null 2>&1 || fail "the README's '$command' failed"
done < <(tail -n +2 <<<"$commands")
[ -e "$root/var/lib/orv" ] && fail "the README's commands left /var/lib/orv"
[ -e "$root/etc/orv" ] && fail "the README's commands left /etc/orv"
in_root getent group orv >/dev/null && fail "the README's commands left the group orv"
grep -q '^\[ORV\]' "$root/etc/odbc.ini" && fail "the README's commands left the data source ORV"
grep -q '^\[ACCESS\]' "$root/etc/odbcinst.ini" && fail "the README's commands left the driver ACCESS"
phase "the rest removed with the README's commands"

[ "$failed" = 0 ] && echo "fresh root: passed in $((SECONDS - started)) s"
exit "$failed"
