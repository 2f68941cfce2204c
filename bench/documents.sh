#!/usr/bin/env bash
# Documents signed per second in a batch (--stamp FOLDER) with a PKCS#12 key and no time stamp:
# 1,000 one-page documents and 100 of 50 pages, each batch run with every worker, and with one
# worker held to one core (taskset); and the cost of one document alone with the key already
# open: a batch of one less a batch of none (the program's start and the key's opening). The
# largest memory a process held, for 100 and for 1,000 rows. Folders are made under PARENT and
# removed afterwards.
#   bench/documents.sh build/bin/sorvex-sign-render PARENT [ROUNDS]
set -euo pipefail
renderer=$1 parent=$2 rounds=${3:-3}
work=$(mktemp -d "$parent/sorvex-documents-XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

# A one-page contract, and one of fifty pages made of it.
python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
def pdf(pages):
    objs = ["<< /Type /Catalog /Pages 2 0 R >>", None]
    kids = []
    for p in range(pages):
        text = f"BT /F1 18 Tf 72 700 Td (Invoice page {p + 1}) Tj ET"
        objs.append(f"<< /Length {len(text)} >>\nstream\n{text}\nendstream")
        objs.append(f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents {len(objs)} 0 R "
                    f"/Resources << /Font << /F1 {2 * pages + 3} 0 R >> >> >>")
        kids.append(f"{len(objs)} 0 R")
    objs[1] = f"<< /Type /Pages /Kids [{' '.join(kids)}] /Count {pages} >>"
    objs.append("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    out, offsets = b"%PDF-1.7\n", []
    for i, o in enumerate(objs):
        offsets.append(len(out))
        out += f"{i + 1} 0 obj\n{o}\nendobj\n".encode()
    x = len(out)
    out += f"xref\n0 {len(objs) + 1}\n0000000000 65535 f \n".encode()
    out += b"".join(f"{o:010d} 00000 n \n".encode() for o in offsets)
    out += f"trailer\n<< /Size {len(objs) + 1} /Root 1 0 R >>\nstartxref\n{x}\n%%EOF\n".encode()
    return out
open(f"{work}/one.pdf", "wb").write(pdf(1))
open(f"{work}/fifty.pdf", "wb").write(pdf(50))
PY
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 30 \
  -subj "/CN=Bench Signer" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/me.p12" -passout pass:pw
echo pw >"$work/password"
folder() { # folder NAME COUNT SOURCE
  mkdir -p "$work/$1"
  for ((i = 0; i < $2; ++i)); do cp "$work/$3" "$work/$1/doc$i.pdf"; done
}
folder small 1000 one.pdf
folder large 100 fifty.pdf
folder hundred 100 one.pdf
folder single 1 one.pdf
mkdir -p "$work/none"

# Milliseconds and the largest resident kilobytes of one batch: folder $1, its --jobs ($2, may be
# empty), then what the program runs under.
runs=0
batch() {
  local in=$1 jobs=$2 out=$work/out$((++runs)) start end
  shift 2
  start=$(date +%s%N)
  # shellcheck disable=SC2086 # jobs: none, or the option and its number
  /usr/bin/time -o "$work/memory" -f %M "$@" "$renderer" --stamp "$work/$in" -o "$out" --at 20,30 \
    --sign-with "$work/me.p12" --password-file "$work/password" $jobs >/dev/null 2>&1 || true
  end=$(date +%s%N)
  rm -rf "$out"
  echo "$(((end - start) / 1000000)) $(cat "$work/memory")"
}
median() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

for set in small large; do
  all="" one="" memory=0
  for ((r = 0; r < rounds; ++r)); do
    read -r ms kb < <(batch "$set" "")
    all+="$ms "
    memory=$((kb > memory ? kb : memory))
    one+="$(batch "$set" "--jobs 1" taskset -c 0 | cut -d' ' -f1) "
  done
  a=$(echo "$all" | median) o=$(echo "$one" | median)
  count=$(ls "$work/$set" | wc -l)
  echo "$set ($count documents): every worker ${a} ms ($(awk "BEGIN {printf \"%.1f\", $count * 1000 / $a}")/s), one worker on one core ${o} ms: $(awk "BEGIN {printf \"%.2f\", $o / $a}")x; largest process ${memory} KB"
done
alone="" none=""
for ((r = 0; r < rounds * 3; ++r)); do
  alone+="$(batch single "" | cut -d' ' -f1) "
  none+="$(batch none "" | cut -d' ' -f1) "
done
a=$(echo "$alone" | median) n=$(echo "$none" | median)
echo "one document alone, the key open: $((a - n)) ms (a batch of one ${a} ms, of none ${n} ms)"
read -r _ hundred < <(batch hundred "")
read -r _ thousand < <(batch small "")
echo "largest process: ${hundred} KB for 100 rows, ${thousand} KB for 1,000"
