#!/usr/bin/env bash
# Copy-out through korvo mount: the time `cp -r` takes to copy every entry of
# a mounted 1,000-entry archive (sample pictures of 20 to 42 KB), beside cp -r
# of the same files from an ordinary folder (the floor) and out of
# archivemount mounting a tar of them (the peer); also `korvo extract` of
# the archive, the same GetFile per entry without FUSE. Each copy starts from a
# fresh mount, so every entry is extracted once; mounting is not timed. The
# sources are read once first, so every copy finds them in the page cache.
# Medians of REPETITIONS (default 7) copies of each, taken in turn.
#
#   bench/copy_out.sh KORVO [REPETITIONS]
set -euo pipefail
korvo=$(realpath "$1")
repetitions=${2:-7}
scratch=$(mktemp -d /tmp/korvo-copy-out-XXXXXX)
cleanup() {
  for point in "$scratch"/mnt-*; do
    mountpoint -q "$point" 2>/dev/null && fusermount3 -u "$point"
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
cd "$scratch"

# 1,000 entries: the four sample pictures in turn, under names of their own.
mkdir pictures
for pattern in bars arrow rings checker; do
  "$korvo" sample-picture --pattern "$pattern" "$pattern.QKZ" >/dev/null
done
patterns=(bars arrow rings checker)
for i in $(seq 1000); do
  ln "${patterns[i % 4]}.QKZ" "pictures/picture$i.QKZ"
done
"$korvo" pack --layout named-entry -o archive.cg pictures/*.QKZ >/dev/null
"$korvo" extract archive.cg -o files --format qkz >/dev/null
tar -cf files.tar -C files .
[ "$(ls files | wc -l)" -eq 1001 ] || { echo "copy-out: expected 1,001 files" >&2; exit 1; }

now() { date +%s.%N; }
run=0
# One copy of SOURCE's entries; mounts with the command given, unmounts after.
copy() {
  local kind=$1 source=$2
  shift 2
  run=$((run + 1))
  if [ $# -gt 0 ]; then
    mkdir "mnt-$run"
    "$@" "mnt-$run" >/dev/null
    source="mnt-$run"
  fi
  local start end
  start=$(now)
  if [ "$kind" = extract ]; then
    "$korvo" extract archive.cg -o "copy-$run" --format qkz >/dev/null
  else
    cp -r "$source" "copy-$run"
  fi
  end=$(now)
  cmp -s "copy-$run/picture1.QKZ" files/picture1.QKZ || { echo "copy-out: $kind copied wrong bytes" >&2; exit 1; }
  [ $# -gt 0 ] && fusermount3 -u "mnt-$run"
  rm -rf "copy-$run"
  echo "$kind $start $end" | awk '{ printf "%s %.6f\n", $1, $3 - $2 }' >>times
}

cat files/* >/dev/null
cat archive.cg files.tar >/dev/null
for _ in $(seq "$repetitions"); do
  copy floor files
  copy korvo "" "$korvo" mount "$scratch/archive.cg"
  copy peer "" archivemount -o readonly "$scratch/files.tar"
  copy extract ""
done

median() { awk -v kind="$1" '$1 == kind { print $2 }' times | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
floor=$(median floor)
korvo_time=$(median korvo)
peer=$(median peer)
extract=$(median extract)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '\n%-44s %10s %9s\n' "cp -r of 1,000 entries (median of $repetitions)" "seconds" "vs floor"
printf '%-44s %10.4f %9.2f\n' "ordinary folder (floor)" "$floor" 1
printf '%-44s %10.4f %9s\n' "korvo mount" "$korvo_time" "$(ratio "$korvo_time" "$floor")"
printf '%-44s %10.4f %9s\n' "archivemount of a tar (peer)" "$peer" "$(ratio "$peer" "$floor")"
printf '%-44s %10.4f %9s\n' "korvo extract --format qkz (no FUSE)" "$extract" "$(ratio "$extract" "$floor")"
printf 'korvo mount copy-out: %s x the floor (goal at most 2), %s x archivemount (goal at most 1)\n' \
  "$(ratio "$korvo_time" "$floor")" "$(ratio "$korvo_time" "$peer")"
