#!/usr/bin/env bash
# Pictures per second of a batch of mixed styles written into a fresh folder under PARENT, on
# whatever file system PARENT is (compare ext4 with tmpfs, e.g. /dev/shm): one worker against
# one for each core, in pairs, the order alternating; the medians, their ratio,
# and the largest memory a worker process held. The folders are removed afterwards.
#   bench/batch.sh build/bin/sorvex-sign-render PARENT [ROWS] [PAIRS]
set -euo pipefail
renderer=$1 parent=$2 rows=${3:-3000} pairs=${4:-3}
work=$(mktemp -d "$parent/sorvex-batch-XXXXXX")
trap 'rm -rf "$work"' EXIT
names=(王晓明 欧阳娜娜 李白 杜甫 张三 司马光)
styles=(公文签 楷书签 行书签 篆印体 艺术签 英文签-流畅 英文签-商务)
for ((i = 0; i < rows; ++i)); do
  echo "${names[i % ${#names[@]}]},Name$i,${styles[i % ${#styles[@]}]}"
done >"$work/rows.csv"
# Milliseconds of one batch, and its pictures checked against the first run's.
run() {
  rm -rf "$work/out"
  local start end
  start=$(date +%s%N)
  QT_QPA_PLATFORM=offscreen /usr/bin/time -o "$work/time" -f %M "$renderer" --batch "$work/rows.csv" \
    -o "$work/out" "$@" 2>/dev/null || true
  end=$(date +%s%N)
  written=$(find "$work/out" -type f | wc -l)
  [ "$written" -eq "$rows" ] || { echo "only $written of $rows pictures" >&2; exit 1; }
  if [ -d "$work/first" ]; then
    diff -r -q "$work/first" "$work/out" >/dev/null || { echo "the pictures differ" >&2; exit 1; }
  else
    cp -r "$work/out" "$work/first"
  fi
  cp "$work/time" "$work/memory$*"
  echo $(((end - start) / 1000000))
}
one=() all=()
for ((i = 0; i < pairs; ++i)); do
  if ((i % 2)); then
    all+=("$(run --jobs "$(nproc)")") one+=("$(run --jobs 1)")
  else
    one+=("$(run --jobs 1)") all+=("$(run --jobs "$(nproc)")")
  fi
done
. "$(dirname "$0")/median.sh"
m1=$(median "${one[@]}") ma=$(median "${all[@]}")
echo "one worker: ${one[*]} ms, median $m1 ms, $((rows * 1000 / m1)) pictures/s"
echo "$(nproc) workers: ${all[*]} ms, median $ma ms, $((rows * 1000 / ma)) pictures/s"
awk -v a="$m1" -v b="$ma" 'BEGIN { printf "%.2fx the pictures per second\n", a / b }'
echo "largest process: $(($(cat "$work/memory--jobs 1") / 1024)) MB with one worker," \
  "$(($(cat "$work/memory--jobs $(nproc)") / 1024)) MB with $(nproc)"
