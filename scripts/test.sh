#!/usr/bin/env bash
# Sets everything up (packages, build, data kit) and runs the whole test suite.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$here/scripts/setup.sh"
build=${SORVEX_BUILD_DIR:-$here/build}
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)" "$@"
