#!/usr/bin/env bash
# packaging/check-package.sh BUILD: makes the Debian package in BUILD and checks it as an
# administrator would meet it: what it holds, its maintainer scripts, what lintian says (no
# error and no hardening tag), the desktop entries, that every option each program's --help
# prints is in its manual pages, and then the whole road on a fresh Debian 12 root
# (packaging/check-fresh-root.sh; downloads kept in BUILD/fresh-root-cache). Needs root for
# that last part, through sudo where it is not run as root.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
cmake --build "$build" --target package -- --no-print-directory >/dev/null
deb=$(ls -t "$build"/orv_*.deb | head -n 1)
echo "Package: $deb ($(du -k "$deb" | cut -f1) KiB)"
failed=0
fail() { echo "package check: $*" >&2; failed=1; }

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
programs=(sitewright gainbook gainbook-cli dsninstaller compactor stationws)
expected=(/usr/share/applications/orv-sitewright.desktop /usr/share/applications/orv-gainbook.desktop
  /usr/share/icons/hicolor/scalable/apps/orv-sitewright.svg
  /usr/share/icons/hicolor/scalable/apps/orv-gainbook.svg
  /usr/share/doc/orv/copyright /usr/share/doc/orv/changelog.gz /usr/share/doc/orv/README.gz
  /usr/share/doc/orv/examples/ORV.ini
  /usr/share/man/ru/man1/sitewright.1.gz /usr/share/man/ru/man1/gainbook.1.gz
  /usr/share/man/ru/man1/gainbook-cli.1.gz
  /usr/lib/systemd/system/stationws.service /etc/default/stationws
  /usr/share/lintian/overrides/orv)
for p in "${programs[@]}"; do
  # The web service is an administrator's command: its page is in section 8.
  section=1; [ "$p" = stationws ] && section=8
  expected+=("/usr/bin/$p" "/usr/share/man/man$section/$p.$section.gz")
done
for f in "${expected[@]}"; do
  grep -qxF "$f" <<<"$contents" || fail "$f is missing"
done
# The maintainer scripts and the conffile list.
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||')
for f in preinst postinst prerm postrm conffiles; do
  grep -qx "$f" <<<"$control" || fail "the package has no $f"
done

if command -v lintian >/dev/null; then
  # Errors fail the check, and so does any hardening tag (shown at the info level).
  report=$(lintian --display-info --tag-display-limit 0 "$deb" 2>&1) || true
  [ -n "$report" ] && echo "$report"
  grep -q '^E: ' <<<"$report" && fail "lintian reports errors"
  grep -q ' hardening-' <<<"$report" && fail "lintian reports hardening tags"
else
  fail "lintian is not installed"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop entries invalid"

# The manual pages of each program that has --help name every option it prints (for
# gainbook-cli, those of each command too) and every command of gainbook-cli.
page_text() { LC_ALL=C.UTF-8 MANWIDTH=200 MANROFFOPT=-rHY=0 man -l "$1" 2>/dev/null | sed 's/‐/-/g; s/−/-/g'; }
for program in gainbook-cli dsninstaller compactor stationws; do
  help=$("$root/usr/bin/$program" --help) || fail "the unpacked $program --help failed"
  commands=
  if [ "$program" = gainbook-cli ]; then
    commands=$(sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p' <<<"$help")
    for command in $commands; do help+=$'\n'$("$root/usr/bin/$program" "$command" --help); done
  fi
  options=$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
  pages=$(find "$root/usr/share/man" -name "$program.[1-8].gz")
  [ -n "$pages" ] || fail "$program has no manual page"
  for page in $pages; do
    name=${page#"$root/usr/share/man/"}
    text=$(page_text "$page")
    for option in $options; do
      grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|$)" <<<"$text" || fail "$name lacks $option"
    done
    for command in $commands; do
      grep -qE "^ +$command( |$)" <<<"$text" || fail "$name lacks the command $command"
    done
  done
done

# The road on a fresh machine.
sudo=()
[ "$(id -u)" = 0 ] || sudo=(sudo)
"${sudo[@]}" "$top/packaging/check-fresh-root.sh" "$deb" "$build/fresh-root-cache" || fail "the fresh root check failed"
[ "$failed" = 0 ] && echo "package check: passed"
exit "$failed"
