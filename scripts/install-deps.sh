#!/usr/bin/env bash
# Installs the Debian packages this project needs, and only those that are missing.
# Safe to run again: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  g++ cmake make pkg-config ccache
  clang libclang-rt-14-dev
  libgtest-dev
  qt6-base-dev qt6-svg-dev qt6-translations-l10n fonts-dejavu-core
  poppler-utils
  unixodbc unixodbc-dev odbcinst
  libsqliteodbc sqlite3 libsqlite3-dev
  odbc-postgresql postgresql
  odbc-mariadb mariadb-server
  libsimpleini-dev
  libssl-dev time
  libxml2-dev libxml2-utils
  libmicrohttpd-dev zlib1g-dev wrk curl haproxy valgrind
  patroni etcd-server etcd-client
  locales
  dpkg-dev help2man lintian desktop-file-utils man-db debootstrap systemd
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
else
  command -v sudo >/dev/null || { echo "sudo is needed to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# The packages' own services (etcd, PostgreSQL, MariaDB, HAProxy) stay stopped: the tests
# start throwaway servers of their own. policy-rc.d refuses every start during the install;
# where systemd runs, etcd's unit is masked as well (Patroni's is not enabled by Debian).
policy=/usr/sbin/policy-rc.d
made_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
  "${sudo[@]}" chmod 755 "$policy"
  made_policy=1
fi
status=0
"${sudo[@]}" apt-get update -qq &&
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
[ "$made_policy" = 1 ] && "${sudo[@]}" rm -f "$policy"
if [ -d /run/systemd/system ]; then
  "${sudo[@]}" systemctl disable --now etcd.service >/dev/null 2>&1 || true
  "${sudo[@]}" systemctl mask etcd.service >/dev/null 2>&1 || true
fi
exit "$status"
