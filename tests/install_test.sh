#!/usr/bin/env bash
# Installs into a temporary prefix and checks that both programs find the data kit there.
set -euo pipefail
build=$1 prefix=$2
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/sorvex-sign"
test -f "$prefix/share/applications/org.sorvex.SorvexSign.desktop"
test -f "$prefix/share/icons/hicolor/256x256/apps/org.sorvex.SorvexSign.png"
test -f "$prefix/share/sorvex-sign/data/fuxing.dat"
# Captured first: grep -q would stop reading early, and the renderer would die of SIGPIPE.
listing=$("$prefix/bin/sorvex-sign-render" --list)
grep -q "公文签" <<<"$listing"
"$prefix/bin/sorvex-sign-render" -o "$prefix/check.png"
# Both programs say their version, the window's with no display.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/sorvex-sign" --version)" = "sorvex-sign 1.0.0" ]
[ "$("$prefix/bin/sorvex-sign-render" --version)" = "sorvex-sign-render 1.0.0" ]
# The window starts, shows its first picture and quits; a missing list would show a warning
# box and never quit, hence the time limit.
SORVEX_QUIT_AFTER_FIRST_PICTURE=1 timeout 30 "$prefix/bin/sorvex-sign"
rm -rf "$prefix"
echo "installed copy finds its data"
