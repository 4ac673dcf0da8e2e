#!/usr/bin/env bash
# The cost of korvo thumbnail (default size, 256): peak resident memory and
# time for each input `korvo_bench --thumbnail-inputs` writes: a 4000x3000
# picture, sparse pictures of gigabytes (an offset-table archive's one
# 65535x65519 entry, 1x100000000, 2 GiB named .qkz) and both layouts'
# archives of 1,000 640x480 pictures (300 MB). A thumbnail's cost should
# follow the thumbnail: at most 64 MiB, and time following the bytes read.
#
#   bench/thumbnail.sh KORVO KORVO_BENCH
set -euo pipefail
korvo=$(realpath "$1")
bench=$(realpath "$2")
scratch=$(mktemp -d /tmp/korvo-thumbnail-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
"$bench" --thumbnail-inputs "$scratch"

printf '\n%-32s %10s %9s  %s\n' "korvo thumbnail of" "peak KiB" "seconds" "result"
for input in 4000x3000.QKZ entry-65535x65519.cg 1x100000000.QKZ 2gib-40000x53688.qkz \
             offset-table-640x480-1000.cg named-entry-640x480-1000.cg; do
  if /usr/bin/time -f '%M %e' -o "$scratch/time" "$korvo" thumbnail "$scratch/$input" \
       "$scratch/out.png" >/dev/null 2>"$scratch/error"; then
    result=done
  else
    result="failed: $(head -n 1 "$scratch/error")"
  fi
  # time puts a line on an exit status or a signal before its figures.
  read -r peak seconds < <(tail -n 1 "$scratch/time")
  printf '%-32s %10s %9s  %s\n' "$input" "$peak" "$seconds" "$result"
  rm -f "$scratch/out.png"
done
