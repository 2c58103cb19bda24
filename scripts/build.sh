#!/usr/bin/env bash
# scripts/build.sh [KIND]: configures and builds the project, warnings as errors.
#   (none)    ./build, RelWithDebInfo: what ./run starts and ./test tests first
#   release   ./build-release, Release: what packagers and most users build
#   debug     ./build-debug, Debug
#   sanitize  ./build-sanitize, Debug with AddressSanitizer and UndefinedBehaviorSanitizer:
#             a memory fault or undefined behaviour stops the program that has it
# ORV_BUILD_DIR names another folder for ./build; the others are named after it
# ($ORV_BUILD_DIR-release, ...). scripts/fuzz.sh builds the fuzz targets.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-}
options=()
case "$kind" in
  "") type=RelWithDebInfo ;;
  release) type=Release ;;
  debug) type=Debug ;;
  sanitize) type=Debug; options=(-DORV_SANITIZE=address,undefined) ;;
  *) echo "usage: scripts/build.sh [release|debug|sanitize]" >&2; exit 2 ;;
esac
build=${ORV_BUILD_DIR:-$top/build}${kind:+-$kind}
# The compiler cache, with paths taken relative to the project, so that another clone of the
# project (CI's, a second work tree) finds what this one compiled.
if command -v ccache >/dev/null; then
  options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$top}
fi
# Configured every time: a source file added to a module is taken in.
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=$type -DORV_WERROR=ON "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" -- --no-print-directory
