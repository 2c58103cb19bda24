#!/usr/bin/env bash
# packaging/check-package.sh BUILD: makes the Debian package in BUILD and checks it as an
# administrator would meet it: what it holds, what lintian says, the desktop entries, and
# that the unpacked gainbook-cli runs and its manual page shows every command.
set -euo pipefail
build=$(cd "$1" && pwd)
cmake --build "$build" --target package -- --no-print-directory >/dev/null
deb=$(ls -t "$build"/orv_*.deb | head -n 1)
echo "Package: $deb ($(du -k "$deb" | cut -f1) KiB)"
failed=0
fail() { echo "package check: $*" >&2; failed=1; }

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
programs=(sitewright gainbook gainbook-cli dsninstaller compactor)
expected=(/usr/share/applications/orv-sitewright.desktop /usr/share/applications/orv-gainbook.desktop
  /usr/share/icons/hicolor/scalable/apps/orv-sitewright.svg
  /usr/share/icons/hicolor/scalable/apps/orv-gainbook.svg
  /usr/share/doc/orv/copyright /usr/share/doc/orv/changelog.gz /usr/share/doc/orv/examples/ORV.ini
  /usr/share/man/ru/man1/sitewright.1.gz /usr/share/man/ru/man1/gainbook.1.gz
  /usr/share/man/ru/man1/gainbook-cli.1.gz)
if [ -x "$build/bin/stationws" ]; then
  programs+=(stationws)
  expected+=(/usr/lib/systemd/system/stationws.service)
fi
for p in "${programs[@]}"; do
  # The web service is an administrator's command: its page is in section 8.
  section=1; [ "$p" = stationws ] && section=8
  expected+=("/usr/bin/$p" "/usr/share/man/man$section/$p.$section.gz")
done
for f in "${expected[@]}"; do
  grep -qxF "$f" <<<"$contents" || fail "$f is missing"
done
# Nothing behind the administrator's back: no maintainer scripts.
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
grep -qE '(pre|post)(inst|rm)$' <<<"$control" && fail "the package has maintainer scripts"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop entries invalid"
"$root/usr/bin/gainbook-cli" --help >"$root/help.txt" || fail "the unpacked gainbook-cli --help failed"
grep -q 'gainbook-cli' "$root/help.txt" || fail "the unpacked gainbook-cli printed no help"
# Both manual pages of gainbook-cli name every command its overview lists.
for page in "$root/usr/share/man/man1/gainbook-cli.1.gz" "$root/usr/share/man/ru/man1/gainbook-cli.1.gz"; do
  text=$(LC_ALL=C.UTF-8 MANWIDTH=100 man -l "$page" 2>/dev/null)
  for command in $(sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p' "$root/help.txt"); do
    grep -qE "^ +$command( |$)" <<<"$text" || fail "$(basename "$(dirname "$(dirname "$page")")")/gainbook-cli.1 lacks the command $command"
  done
done

if command -v lintian >/dev/null; then
  # Errors fail the check; warnings are shown.
  lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"
else
  fail "lintian is not installed"
fi
[ "$failed" = 0 ] && echo "package check: passed"
exit "$failed"
