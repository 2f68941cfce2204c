#!/usr/bin/env bash
# Installs the Debian packages the project needs, builds it and assembles the data kit.
# Idempotent: packages already present are skipped, the build is incremental, the kit is
# rebuilt only when it is missing. `--run`: only what building and running the programs needs;
# the tests, benchmarks and their packages are left out.
set -euo pipefail
for_run=""
[ "${1:-}" = "--run" ] && for_run=yes

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SORVEX_BUILD_DIR:-$here/build}

packages=(
  # build
  cmake g++ make pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-svg-dev qt6-pdf-dev qt6-translations-l10n libgl-dev
  zlib1g-dev libdeflate-dev libwoff-dev libqpdf-dev libcups2-dev libssl-dev
  # keys in PKCS#11 tokens and the NSS database: libp11, p11-kit's proxy, NSS's own token
  libp11-dev libp11-kit-dev p11-kit-modules libnss3
  # fonts: the data kit is made from LXGW WenKai, Noto Sans CJK (the seals) and the npm
  # registry's font packages; Liberation and UMing stand in for the faces the window's controls
  # ask for
  fontconfig python3 python3-fonttools unicode-data
  fonts-lxgw-wenkai fonts-noto-cjk fonts-arphic-uming fonts-liberation2
)
[ -n "$for_run" ] || packages+=(
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  # WOFF2 faces, which the kit has none of, made for the tests that read them
  woff2
  # printing tests: a private CUPS daemon with a printer that files PDFs
  cups-daemon cups-client cups-filters ghostscript poppler-utils
  # signed documents checked by other readers: qpdf, and poppler's pdfsig with an NSS store
  qpdf libnss3-tools
  # a software token holding a key, and the tool that writes a certificate into it
  softhsm2 opensc
  # the sanitizer build and its fuzz targets are built with clang and its libFuzzer
  clang libclang-rt-14-dev
  # a real X server and window manager, driven with real input, for the window's tests
  xvfb xauth x11-utils xdotool openbox
  # the Debian package: manual pages, and the checks its test makes
  help2man lintian appstream desktop-file-utils man-db bash-completion
)

# The kit's npm font packages are fetched with the machine's own npm, else Debian's.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" = "install ok installed" ] || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Another package manager at work (an update at boot) holds the lock: wait for it.
  wait_lock=(-o DPkg::Lock::Timeout=900)
  $sudo apt-get "${wait_lock[@]}" update -qq
  # cups-daemon would start the machine's own scheduler; the tests run a private one
  $sudo apt-get "${wait_lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

[ -f "$build/CMakeCache.txt" ] || echo "Building sorvex-sign in $build (the first build takes a few minutes)..."
mkdir -p "$build"
# Running alone builds no tests; a build folder made for running gains them when tests are asked.
testing=(-DBUILD_TESTING=ON)
if [ -n "$for_run" ]; then
  testing=()
  [ -f "$build/CMakeCache.txt" ] || testing=(-DBUILD_TESTING=OFF)
fi
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE="${SORVEX_BUILD_TYPE:-RelWithDebInfo}" \
  "${testing[@]}" ${SORVEX_CMAKE_ARGS:-} >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
