#!/usr/bin/env bash
# Builds the Debian package, installs it as a person would, uses both programs from /usr/bin,
# and removes it again, checking that nothing is left behind.
set -euo pipefail
build=$1

if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
  echo "installing a package needs root and apt-get; skipped"
  exit 77
fi
if [[ "$(dpkg-query -W -f='${Status}' sorvex-sign 2>/dev/null || true)" == *"ok installed" ]]; then
  echo "sorvex-sign is already installed on this machine; not touching it"
  exit 77
fi

cd "$build"
rm -f sorvex-sign_*.deb
cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; exit 1; }
debs=(sorvex-sign_*_*.deb)
deb=${debs[0]}
echo "built $deb"
lintian --fail-on error "$deb"

home=$(mktemp -d)
# Another package manager at work is waited for, not taken for a failure.
apt=(apt-get -o DPkg::Lock::Timeout=300 -y -qq)
trap 'rm -rf "$home"; "${apt[@]}" purge sorvex-sign >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install --no-install-recommends "./$deb" >/dev/null
mapfile -t files < <(dpkg-query -L sorvex-sign)

export HOME=$home
unset QT_QPA_PLATFORM
listing=$(/usr/bin/sorvex-sign-render --list)
grep -q "公文签" <<<"$listing"
/usr/bin/sorvex-sign-render --style 篆印体 -o "$home/seal.pdf"
[[ "$(pdfinfo "$home/seal.pdf")" == *"291 x 196 pts"* ]]
SORVEX_QUIT_AFTER_FIRST_PICTURE=1 QT_QPA_PLATFORM=offscreen timeout 30 /usr/bin/sorvex-sign
# The programs leave nothing in HOME but what was asked for.
leftover=$(find "$home" -mindepth 1 ! -name seal.pdf)
[ -z "$leftover" ] || { echo "left in HOME: $leftover"; exit 1; }

desktop-file-validate /usr/share/applications/org.sorvex.SorvexSign.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.sorvex.SorvexSign.metainfo.xml >/dev/null
test -f /usr/share/icons/hicolor/scalable/apps/org.sorvex.SorvexSign.svg
test -f /usr/share/icons/hicolor/48x48/apps/org.sorvex.SorvexSign.png
[[ "$(MANWIDTH=80 man sorvex-sign-render 2>/dev/null)" == *"--stamp"* ]]
man -w sorvex-sign >/dev/null
# Completion offers the installed kit's styles.
styles=$(bash -c 'source /usr/share/bash-completion/bash_completion
  source /usr/share/bash-completion/completions/sorvex-sign-render
  COMP_WORDS=(sorvex-sign-render --style ""); COMP_CWORD=2; COMP_LINE="sorvex-sign-render --style "
  COMP_POINT=${#COMP_LINE}; _sorvex_sign_render; printf "%s\n" "${COMPREPLY[@]}"')
grep -qx "篆印体" <<<"$styles"

"${apt[@]}" purge sorvex-sign >/dev/null
for f in "${files[@]}"; do
  if [ -f "$f" ] || [ -L "$f" ]; then
    echo "left after removal: $f"
    exit 1
  fi
done
test ! -e /usr/share/sorvex-sign
echo "the package installs, works from /usr/bin and removes cleanly"
