#!/usr/bin/env bash
# Copy-out through korvo mount: the time `cp -r` takes to copy every entry of
# a mounted archive of 1,000 640x480 pictures (300 MB, each layout), and of
# an offset-table archive of 1,000 tiny pictures (where a per-entry cost of
# the whole archive shows most), beside
# cp -r of the same files from an ordinary folder (the floor) and out of
# archivemount mounting a tar of them (the peer). Each copy starts from a
# fresh mount; mounting is not timed. The sources are read once first, so
# every copy finds them in the page cache. Then the first read of one entry
# (head -c 1 of the last) of a mounted archive of 100,000 tiny pictures
# beside one of 1,000: it should not follow the entry count. Medians of
# REPETITIONS (default 5) runs of each, taken in turn. Copies go to memory
# (/dev/shm) where it is a tmpfs: written to a disk, the floor itself varied
# threefold from run to run with the writeback of earlier copies.
#
#   bench/copy_out.sh KORVO KORVO_BENCH [REPETITIONS]
set -euo pipefail
korvo=$(realpath "$1")
bench=$(realpath "$2")
repetitions=${3:-5}
scratch=$(mktemp -d /tmp/korvo-copy-out-XXXXXX)
copies=$scratch
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ -w /dev/shm ]; then
  copies=$(mktemp -d /dev/shm/korvo-copies-XXXXXX)
fi
cleanup() {
  rm -rf "$copies"
  for point in "$scratch"/mnt-*; do
    mountpoint -q "$point" 2>/dev/null && fusermount3 -u "$point"
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
cd "$scratch"
"$bench" --copy-out-inputs "$scratch"
# Each archive's name without .cg.
layouts=(offset-table-640x480-1000 named-entry-640x480-1000 offset-table-1000)
for layout in "${layouts[@]}"; do
  "$korvo" extract "$layout.cg" -o "files-$layout" --format qkz >/dev/null
  [ "$(ls "files-$layout" | wc -l)" -eq 1000 ] || { echo "copy-out: expected 1,000 files" >&2; exit 1; }
  tar -cf "files-$layout.tar" -C "files-$layout" .
  cat "files-$layout"/* "$layout.cg" "files-$layout.tar" >/dev/null
done
have_peer=$(command -v archivemount >/dev/null && echo 1 || echo 0)

now() { date +%s.%N; }
run=0
# One timed command KIND; mounts SOURCE with the command given first, and
# unmounts after.
timed() {
  local kind=$1 check=$2 source=$3
  shift 3
  run=$((run + 1))
  local point=""
  if [ "$source" != - ]; then
    point="mnt-$run"
    mkdir "$point"
    "$@" "$scratch/$source" "$point" >/dev/null
  fi
  # @LAST@: the last entry's path, looked up before the clock starts.
  local last="" start end
  [[ "${timed_command[*]}" != *@LAST@* ]] || last="$point/$(ls "$point" | tail -n 1)"
  local command=("${timed_command[@]/@POINT@/$point}")
  start=$(now)
  "${command[@]/@LAST@/$last}" >/dev/null
  end=$(now)
  [ -z "$check" ] || cmp -s "$copies/copy-$run/$check" "${check_against}" ||
    { echo "copy-out: $kind copied wrong bytes" >&2; exit 1; }
  [ -z "$point" ] || fusermount3 -u "$point"
  rm -rf "$copies/copy-$run"
  echo "$kind $start $end" | awk '{ printf "%s %.6f\n", $1, $3 - $2 }' >>times
}

for layout in "${layouts[@]}"; do
  check=$(ls "files-$layout" | awk "NR == 1")
  check_against="files-$layout/$check"
  for _ in $(seq "$repetitions"); do
    timed_command=(cp -r "files-$layout" "$copies/copy-$((run + 1))")
    timed "$layout-floor" "$check" -
    timed_command=(cp -r @POINT@ "$copies/copy-$((run + 1))")
    timed "$layout-korvo" "$check" "$layout.cg" "$korvo" mount
    if [ "$have_peer" = 1 ]; then
      timed_command=(cp -r @POINT@ "$copies/copy-$((run + 1))")
      timed "$layout-peer" "$check" "files-$layout.tar" archivemount -o readonly
    fi
  done
done
for entries in 1000 100000; do
  for _ in $(seq "$repetitions"); do
    timed_command=(head -c 1 @LAST@)
    timed "first-read-$entries" "" "offset-table-$entries.cg" "$korvo" mount
  done
done
# ls -l of the mounted 100,000-entry archive, fresh from mounting, beside
# ls -l of an ordinary folder of the same files.
# (The folder is copied out of a mount: extract would flush each of the
# 100,000 files to the disk.)
mkdir mnt-files-100000
"$korvo" mount offset-table-100000.cg mnt-files-100000 >/dev/null
cp -r mnt-files-100000 files-100000
fusermount3 -u mnt-files-100000
ls -l files-100000 >/dev/null
for _ in $(seq "$repetitions"); do
  timed_command=(ls -l files-100000)
  timed list-floor "" -
  timed_command=(ls -l @POINT@)
  timed list-korvo "" offset-table-100000.cg "$korvo" mount
done

# The mount process's resident memory (KiB) once ls -l has gone through
# every entry of ARCHIVE: mounted in the foreground, so that its own
# status can be read.
resident_kib() {
  local point="mnt-resident-$1"
  mkdir "$point"
  "$korvo" mount "$scratch/$1" "$point" --foreground >/dev/null &
  local pid=$!
  for _ in $(seq 100); do
    mountpoint -q "$point" && break
    sleep 0.1
  done
  ls -l "$point" >/dev/null
  awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"
  fusermount3 -u "$point"
  wait "$pid" || true
}
resident_small=$(resident_kib offset-table-1000.cg)
resident_large=$(resident_kib offset-table-100000.cg)

median() { awk -v kind="$1" '$1 == kind { print $2 }' times | sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print 0; else print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "-"; else printf "%.2f", a / b }'; }
where="the scratch folder on disk"
[ "$copies" = "$scratch" ] || where="memory (/dev/shm)"
printf '\ncopies are written into %s\n' "$where"
for layout in "${layouts[@]}"; do
  floor=$(median "$layout-floor")
  korvo_time=$(median "$layout-korvo")
  peer=$(median "$layout-peer")
  printf '\n%-52s %10s %9s\n' "cp -r of the 1,000 entries of $layout.cg (median of $repetitions)" "seconds" "vs floor"
  printf '%-52s %10.4f %9.2f\n' "ordinary folder (floor)" "$floor" 1
  printf '%-52s %10.4f %9s\n' "korvo mount" "$korvo_time" "$(ratio "$korvo_time" "$floor")"
  if [ "$have_peer" = 1 ]; then
    printf '%-52s %10.4f %9s\n' "archivemount of a tar (peer)" "$peer" "$(ratio "$peer" "$floor")"
  else
    printf '%-52s %10s\n' "archivemount of a tar (peer)" "not installed"
  fi
  printf 'korvo mount copy-out, %s: %s x the floor (goal at most 1.5)\n' "$layout" "$(ratio "$korvo_time" "$floor")"
done
small=$(median first-read-1000)
large=$(median first-read-100000)
printf '\n%-52s %10s\n' "first read of one entry (head -c 1, median of $repetitions)" "seconds"
printf '%-52s %10.4f\n' "1,000-entry archive" "$small"
printf '%-52s %10.4f\n' "100,000-entry archive" "$large"
printf 'first read: %s x as long with 100 times the entries\n' "$(ratio "$large" "$small")"
list_floor=$(median list-floor)
list_korvo=$(median list-korvo)
printf '\n%-52s %10s %9s\n' "ls -l of 100,000 entries (median of $repetitions)" "seconds" "vs floor"
printf '%-52s %10.4f %9.2f\n' "ordinary folder (floor)" "$list_floor" 1
printf '%-52s %10.4f %9s\n' "korvo mount, fresh" "$list_korvo" "$(ratio "$list_korvo" "$list_floor")"
printf 'ls -l of the mount: %s x the folder (goal at most 2)\n' "$(ratio "$list_korvo" "$list_floor")"
# What the aim allows per entry: the extractor's directory entry (16 bytes
# for this layout) and the entry's name with its NUL.
names=$(ls files-100000 | awk '{ bytes += length($0) + 1 } END { printf "%.1f", bytes / NR }')
printf '\n%-52s %10s\n' "korvo mount resident memory, after ls -l" "KiB"
printf '%-52s %10d\n' "1,000 entries" "$resident_small"
printf '%-52s %10d\n' "100,000 entries" "$resident_large"
awk -v small="$resident_small" -v large="$resident_large" -v names="$names" 'BEGIN {
  printf "mount memory: %.1f bytes per entry (aim: the directory cache, 16, plus the name, %.1f)\n",
         (large - small) * 1024 / 99000, names }'
