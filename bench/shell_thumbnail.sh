#!/usr/bin/env bash
# The shell extension's thumbnail time beside korvo thumbnail's, under Wine:
# a 4000x3000 picture and both layouts' archives of 1,000 640x480 pictures
# (300 MB, sparse), the inputs `korvo_bench --thumbnail-inputs` writes. Each
# is the best of 3 at 256 pixels: KorvoShell.dll in process, as Explorer's
# thumbnail host calls it, and korvo.exe thumbnail as a program, beside what
# starting korvo.exe costs (--help), which the extension never pays.
#
#   bench/shell_thumbnail.sh WINDOWS_BUILD_DIR KORVO_BENCH
set -euo pipefail
build=$(realpath "$1")
bench=$(realpath "$2")
checkout=$(cd "$(dirname "$0")/.." && pwd)
source "$checkout/scripts/wine-env"
scratch=$(mktemp -d /tmp/korvo-shell-thumbnail-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
"$bench" --thumbnail-inputs "$scratch" >/dev/null

printf '\n%-32s %12s %12s %12s\n' "thumbnail (256) of" "extension s" "korvo.exe s" "start-up s"
for input in 4000x3000.QKZ offset-table-640x480-1000.cg named-entry-640x480-1000.cg; do
  if times=$("$checkout/scripts/wine" "$build/bin/korvo-shell-thumbnail.exe" "$(winepath -w "$scratch/$input")" \
               --repeat 3 2>"$scratch/error"); then
    read -r extension program start <<<"$times"
    printf '%-32s %12s %12s %12s\n' "$input" "$extension" "$program" "$start"
  else
    printf '%-32s failed: %s\n' "$input" "$(head -n 1 "$scratch/error")"
  fi
done
