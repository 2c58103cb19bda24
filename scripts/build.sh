#!/usr/bin/env bash
# Configures and builds the project into ./build (Release with debug info).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ORV_BUILD_DIR:-$top/build}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Configured every time: modules are added to the build when their directories appear.
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" -- --no-print-directory
