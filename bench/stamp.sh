#!/usr/bin/env bash
# Whole-process time of putting a signature on a large document, appended as an update against
# written anew (--flatten), in pairs, the order alternating; prints the medians and their ratio.
#   bench/stamp.sh build/bin/sorvex-sign-render [PAGES] [KB_PER_PAGE] [PAIRS]
set -euo pipefail
renderer=$1 pages=${2:-500} kb=${3:-200} pairs=${4:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A document of PAGES pages, each showing a grey picture of KB_PER_PAGE kilobytes.
python3 - "$work/big.pdf" "$pages" "$kb" <<'PY'
import os, sys
path, pages, kb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
side = int((kb * 1024) ** 0.5)
objects = {1: b"<< /Type /Catalog /Pages 2 0 R >>"}
kids = []
for i in range(pages):
    page, image, content = 3 + 3 * i, 4 + 3 * i, 5 + 3 * i
    kids.append(f"{page} 0 R")
    draw = f"q 500 0 0 700 50 70 cm /Im Do Q BT /F1 12 Tf 50 40 Td (page {i + 1}) Tj ET".encode()
    objects[page] = (f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents {content} 0 R "
                     f"/Resources << /XObject << /Im {image} 0 R >> >> >>").encode()
    pixels = os.urandom(side * side)
    objects[image] = (f"<< /Type /XObject /Subtype /Image /Width {side} /Height {side} "
                      f"/ColorSpace /DeviceGray /BitsPerComponent 8 /Length {len(pixels)} >>\nstream\n"
                      ).encode() + pixels + b"\nendstream"
    objects[content] = f"<< /Length {len(draw)} >>\nstream\n".encode() + draw + b"\nendstream"
objects[2] = f"<< /Type /Pages /Kids [{' '.join(kids)}] /Count {pages} >>".encode()
out, offsets = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n"), {}
for n in sorted(objects):
    offsets[n] = len(out)
    out += f"{n} 0 obj\n".encode() + objects[n] + b"\nendobj\n"
xref = len(out)
size = max(objects) + 1
out += f"xref\n0 {size}\n0000000000 65535 f\r\n".encode()
out += b"".join(f"{offsets[n]:010d} 00000 n\r\n".encode() for n in range(1, size))
out += f"trailer\n<< /Size {size} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()
open(path, "wb").write(out)
PY
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
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
a=$(median "${appended[@]}") f=$(median "${flattened[@]}")
echo "appended: ${appended[*]} ms (median $a)"
echo "flattened: ${flattened[*]} ms (median $f)"
awk -v a="$a" -v f="$f" 'BEGIN { printf "appended is %.1fx faster\n", f / a }'
