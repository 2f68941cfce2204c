#!/usr/bin/env bash
# The kit builder takes a cached tarball whose hash is the pinned one and refuses one that has
# changed by a single byte, without fetching anything.
set -euo pipefail
builder=$1 cache=$2 scratch=$3
name=cedarville-cursive
tarball=$(ls "$cache"/fontsource-$name-*.tgz)
copy="$scratch/$(basename "$tarball")"
rm -rf "$scratch"
mkdir -p "$scratch"
cp "$tarball" "$copy"
/usr/bin/python3 "$builder" --fetch "$scratch" "$name" >/dev/null
printf 'x' | dd of="$copy" bs=1 seek=1000 conv=notrunc status=none
if out=$(/usr/bin/python3 "$builder" --fetch "$scratch" "$name" 2>&1); then
  echo "a changed tarball was accepted"
  exit 1
fi
grep -q "does not match the pinned integrity hash" <<<"$out" || { echo "$out"; exit 1; }
rm -rf "$scratch"
echo "the changed tarball was refused"
