#!/usr/bin/env bash
# Pictures per second of a batch written into a fresh folder under PARENT, on whatever file
# system PARENT is (compare ext4 with tmpfs, e.g. /dev/shm). The folder is removed afterwards.
#   bench/batch.sh build/bin/sorvex-sign-render PARENT [ROWS]
set -euo pipefail
renderer=$1 parent=$2 rows=${3:-3000}
work=$(mktemp -d "$parent/sorvex-batch-XXXXXX")
trap 'rm -rf "$work"' EXIT
names=(王晓明 欧阳娜娜 李白 杜甫 张三 司马光)
for ((i = 0; i < rows; ++i)); do
  echo "${names[i % ${#names[@]}]},Name$i"
done >"$work/rows.csv"
start=$(date +%s.%N)
QT_QPA_PLATFORM=offscreen "$renderer" --batch "$work/rows.csv" -o "$work/out"
end=$(date +%s.%N)
written=$(find "$work/out" -name '*.png' | wc -l)
awk -v n="$written" -v s="$start" -v e="$end" \
  'BEGIN { printf "%d pictures in %.2f s: %.0f pictures/s\n", n, e - s, n / (e - s) }'
