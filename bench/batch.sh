#!/usr/bin/env bash
# Pictures per second of a batch of mixed styles written into a fresh folder under PARENT, on
# whatever file system PARENT is (compare ext4 with tmpfs, e.g. /dev/shm), in three settings:
# one core (the program held to it with taskset: one picture after another), one worker process
# on every core (drawing on one thread, encoding and writing on the others), and the default.
# Each round runs the three, the order turning; the medians, each setting against the one-core
# run of the same round (a shared machine's speed drifts from round to round more than within
# one), and the largest memory a process held. The folders are removed afterwards.
#   bench/batch.sh build/bin/sorvex-sign-render PARENT [ROWS] [ROUNDS]
set -euo pipefail
renderer=$1 parent=$2 rows=${3:-3000} rounds=${4:-3}
work=$(mktemp -d "$parent/sorvex-batch-XXXXXX")
trap 'rm -rf "$work"' EXIT
names=(王晓明 欧阳娜娜 李白 杜甫 张三 司马光)
styles=(公文签 楷书签 行书签 篆印体 艺术签 英文签-流畅 英文签-商务)
for ((i = 0; i < rows; ++i)); do
  echo "${names[i % ${#names[@]}]},Name$i,${styles[i % ${#styles[@]}]}"
done >"$work/rows.csv"
settings=(one-core one-worker default)
declare -A times ratios last # last: each setting's time in this round
# Milliseconds of one batch in setting $1, its pictures checked against the first run's. Each
# run writes a folder of its own, removed only at the end: ext4 makes new files slowly right
# after thousands were deleted (it looks through the recently deleted ones).
runs=0
run() {
  local prefix=() jobs=() start end out=$work/out$((++runs))
  case $1 in
    one-core) prefix=(taskset -c 0) jobs=(--jobs 1) ;;
    one-worker) jobs=(--jobs 1) ;;
  esac
  start=$(date +%s%N)
  QT_QPA_PLATFORM=offscreen /usr/bin/time -o "$work/memory-$1" -f %M "${prefix[@]}" "$renderer" \
    --batch "$work/rows.csv" -o "$out" "${jobs[@]}" 2>/dev/null || true
  end=$(date +%s%N)
  written=$(find "$out" -type f | wc -l)
  [ "$written" -eq "$rows" ] || { echo "only $written of $rows pictures" >&2; exit 1; }
  diff -r -q "$work/out1" "$out" >/dev/null || { echo "the pictures differ" >&2; exit 1; }
  last[$1]=$(((end - start) / 1000000))
  times[$1]+="${last[$1]} "
}
for ((i = 0; i < rounds; ++i)); do
  for ((k = 0; k < 3; ++k)); do
    run "${settings[(i + k) % 3]}"
  done
  for s in "${settings[@]}"; do
    ratios[$s]+="$(awk -v b="${last[one-core]}" -v t="${last[$s]}" 'BEGIN { printf "%.3f", b / t }') "
  done
done
. "$(dirname "$0")/median.sh"
for s in "${settings[@]}"; do
  m=$(median ${times[$s]})
  awk -v s="$s" -v t="${times[$s]% }" -v m="$m" -v r="$(median ${ratios[$s]})" -v n="$rows" \
    -v rs="${ratios[$s]% }" -v mb="$(($(cat "$work/memory-$s") / 1024))" \
    'BEGIN { printf "%-10s %s ms, median %d ms, %d pictures/s, %.2fx one core (rounds: %s), " \
                    "largest process %d MB\n", s, t, m, n * 1000 / m, r, rs, mb }'
done
