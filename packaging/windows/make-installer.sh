#!/bin/sh
# Builds the Windows installer with Debian's makensis from the Windows builds
# there are (build/win32, build/win64, build/arm64; at least one):
#   make-installer.sh OUTPUT.exe [CHECKOUT]
set -eu
out=$1
checkout=$(cd "${2:-$(dirname "$0")/../..}" && pwd)
command -v makensis >/dev/null || { echo "makensis is missing: install nsis (scripts/setup)" >&2; exit 1; }
version=$(sed -n 's/^project(KORVO VERSION \([0-9.]*\).*/\1/p' "$checkout/CMakeLists.txt")
set -- -V2 -DVERSION="$version" -DOUTFILE="$(realpath -m "$out")"
found=0
for preset in win32 win64 arm64; do
  if [ -f "$checkout/build/$preset/bin/KorvoShell.dll" ]; then
    name=$(echo "$preset" | tr a-z A-Z)
    set -- "$@" -D"${name}_DIR=$checkout/build/$preset"
    found=1
  fi
done
[ $found -eq 1 ] || { echo "no Windows build with KorvoShell.dll under $checkout/build" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
exec makensis "$@" "$checkout/packaging/windows/korvo-setup.nsi"
