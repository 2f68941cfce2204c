#!/usr/bin/env bash
# Sets everything up (packages, build, data kit) and starts the program.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$here/scripts/setup.sh" --run
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
There is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run it under a virtual X server instead:
  xvfb-run -a -s "-screen 0 1280x800x24" bash scripts/run.sh
MSG
  exit 1
fi
exec "${SORVEX_BUILD_DIR:-$here/build}/bin/sorvex-sign" "$@"
