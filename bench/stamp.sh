#!/usr/bin/env bash
# Whole-process time of putting a signature on a large document, appended as an update against
# written anew (--flatten), in pairs, the order alternating; prints the medians and their ratio.
#   bench/stamp.sh build/bin/sorvex-sign-render [PAGES] [KB_PER_PAGE] [PAIRS]
set -euo pipefail
renderer=$1 pages=${2:-500} kb=${3:-200} pairs=${4:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A document of PAGES pages, each showing a grey picture of KB_PER_PAGE kilobytes.
python3 "$(dirname "$0")/../tests/x11/pdf_tool.py" document "$work/big.pdf" "$pages" "$kb"
echo "document: $pages pages, $(($(stat -c %s "$work/big.pdf") / 1024 / 1024)) MB"
stamp() {
  local start end
  rm -f "$work/out.pdf" # replacing a large file would time its removal too
  sync
  start=$(date +%s%N)
  QT_QPA_PLATFORM=offscreen "$renderer" --stamp "$work/big.pdf" --page "$pages" --at 20,30 \
    -o "$work/out.pdf" "$@" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
appended=() flattened=()
for ((i = 0; i < pairs; ++i)); do
  if ((i % 2)); then
    flattened+=("$(stamp --flatten)") appended+=("$(stamp)")
  else
    appended+=("$(stamp)") flattened+=("$(stamp --flatten)")
  fi
done
. "$(dirname "$0")/median.sh"
a=$(median "${appended[@]}") f=$(median "${flattened[@]}")
echo "appended: ${appended[*]} ms (median $a)"
echo "flattened: ${flattened[*]} ms (median $f)"
awk -v a="$a" -v f="$f" 'BEGIN { printf "appended is %.1fx faster\n", f / a }'
