#!/usr/bin/env bash
# from-help.sh PROGRAM OUT NAME LANGUAGE: writes the manual page OUT of the built PROGRAM from
# its --help (help2man), in LANGUAGE (en or ru: the language the program's help speaks).
# For gainbook-cli each command's own --help becomes a subsection of COMMANDS, so that the
# page shows every command and every option.
set -euo pipefail
program=$1 out=$2 name=$3 language=$4
base=$(basename "$program")
include=$(mktemp)
trap 'rm -f "$include"' EXIT
# The name line goes through the include file: help2man would re-encode it as an argument.
printf '[NAME]\n%s \\- %s\n' "$base" "$name" >"$include"
if [ "$base" = gainbook-cli ]; then
  [ "$language" = ru ] && echo '[КОМАНДЫ]' >>"$include" || echo '[COMMANDS]' >>"$include"
  # The command names are the indented first words of the overview's list.
  "$program" --help | sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p' | while read -r command; do
    printf '.SS %s\n.nf\n' "$command"
    "$program" "$command" --help | sed 's/\\/\\e/g; s/^\./\\\&./; s/^'"'"'/\\\&'"'"'/'
    printf '.fi\n'
  done >>"$include"
fi
# Help texts name the files of the account that runs them; the page names them generally.
HOME="~" XDG_CONFIG_HOME= ORV_SETTINGS_DIR= ORV_MACHINE_SETTINGS_DIR= help2man --locale=C.UTF-8 --no-info --no-discard-stderr \
  --version-string="${ORV_VERSION:-0.1}" --include="$include" \
  --section=1 --source="orv" --manual="ORV" "$program" >"$out.tmp"
if [ "$language" = ru ]; then
  sed -i -e 's/^\.SH NAME$/.SH ИМЯ/' -e 's/^\.SH SYNOPSIS$/.SH СИНТАКСИС/' \
    -e 's/^\.SH DESCRIPTION$/.SH ОПИСАНИЕ/' -e 's/^\.SH OPTIONS$/.SH ПАРАМЕТРЫ/' "$out.tmp"
fi
mv "$out.tmp" "$out"
