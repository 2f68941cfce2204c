#!/usr/bin/env bash
# Sets everything up (packages, build, data kit) and runs the whole test suite: the tests, a
# short fuzz run of every fuzz target, and the tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer (LeakSanitizer included). `--quick` runs the tests alone.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SORVEX_BUILD_DIR:-$here/build}
quick=""
[ "${1:-}" = "--quick" ] && quick=yes

# Each phase says how long it took, so that set-up time is seen where it goes.
started=$SECONDS phase_start=$SECONDS
phase() {
  echo "== $1: $((SECONDS - phase_start)) s (in all $((SECONDS - started)) s)"
  phase_start=$SECONDS
}

bash "$here/scripts/setup.sh"
phase "packages, build and data kit"
# Tests labelled `system` install into this machine: run in CI (CI set), or when asked with
# SORVEX_SYSTEM_TESTS=1.
system=(-LE system)
[ -n "${CI:-}" ] || [ "${SORVEX_SYSTEM_TESTS:-}" = 1 ] && system=()
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)" "${system[@]}"
phase "tests"
[ -n "$quick" ] && exit 0

# One build for the sanitizers and the fuzz targets: clang, the sanitizers' own compiler, builds
# the tests' GoogleTest code in half the time g++ takes, and the core is compiled once for both.
# A folder that another compiler configured is made again.
echo "Building for the sanitizers and the fuzz targets..."
asan=$here/build-asan
grep -qs '^CMAKE_CXX_COMPILER:.*clang++' "$asan/CMakeCache.txt" || rm -rf "$asan"
SORVEX_BUILD_DIR="$asan" SORVEX_CMAKE_ARGS="-DCMAKE_CXX_COMPILER=clang++ -DSORVEX_SANITIZE=ON \
  -DSORVEX_FUZZ=ON -DSORVEX_BENCHMARKS=OFF -DSORVEX_PREBUILT_KIT=$build/bin" bash "$here/scripts/setup.sh"
phase "the sanitizer and fuzz build"

echo "Fuzzing (a short run with a fixed seed; see fuzz/CMakeLists.txt for long ones)..."
# Each target runs on one core: as many at a time as there are cores.
fuzz_one() {
  local target=$1 runs=20000 scratch
  [ "$target" = drawing ] && runs=1000 # each run draws with real fonts
  [ "$target" = stamp ] && runs=5000   # each run reads and writes a whole document
  scratch=$(mktemp -d)
  if ! LSAN_OPTIONS="suppressions=$here/fuzz/lsan.supp" "$asan/fuzz/fuzz_$target" -seed=1 -runs=$runs -max_len=4096 \
       -artifact_prefix="$scratch/" "$scratch" "$here/fuzz/corpus/$target" >"$scratch.log" 2>&1; then
    cat "$scratch.log"
    return 1
  fi
  echo "  fuzz_$target: $(grep -o 'Done [0-9]* runs' "$scratch.log"), no finding"
  rm -rf "$scratch" "$scratch.log"
}
export -f fuzz_one
export here asan
# Every target the build made, each with its corpus.
targets=$(find "$asan/fuzz" -maxdepth 1 -name 'fuzz_*' -type f -executable -printf '%f\n' | sed 's/^fuzz_//')
[ -n "$targets" ] || { echo "the sanitizer build made no fuzz targets"; exit 1; }
printf '%s\n' $targets | xargs -P "$(nproc)" -I{} bash -c 'fuzz_one {}'
phase "fuzz targets run"

echo "The tests again under the sanitizers..."
ctest --test-dir "$asan" --output-on-failure --no-tests=error -j"$(nproc)" -LE system
phase "the tests under the sanitizers"
