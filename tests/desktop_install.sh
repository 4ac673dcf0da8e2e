#!/bin/sh
# Installs the build into a fresh prefix and makes it a desktop of its own,
# as the package's scripts do for the system: a loader cache naming the QKZ
# loader module and a MIME database of the prefix's types. The desktop tests
# point GDK_PIXBUF_MODULE_FILE and XDG_DATA_DIRS at them.
#   desktop_install.sh BUILD_DIR PREFIX QUERY_LOADERS
set -eu
build=$1 prefix=$2 query=$3
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
module=$(find "$prefix" -name libpixbufloader-qkz.so)
[ -n "$module" ] || { echo "no loader module installed under $prefix"; exit 1; }
"$query" "$module" >"$prefix/loaders.cache"
grep -q '"image/x-brimmel-qkz"' "$prefix/loaders.cache" || { cat "$prefix/loaders.cache"; exit 1; }
XDG_DATA_DIRS="$prefix/share" update-mime-database "$prefix/share/mime"
