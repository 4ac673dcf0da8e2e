#!/bin/sh
# The Debian package holds every file where the desktop looks for it, the
# loader module exports only gdk-pixbuf's two entry points, the thumbnailers
# name the installed korvo, and the maintainer scripts refresh the loader
# cache and the MIME database.
#   check_package.sh BUILD_DIR MODULE_DIR (gdk-pixbuf's, relative to /usr)
set -eu
build=$1 module_dir=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/korvo_*.deb)
status=0
fail() { echo "$deb: $*"; status=1; }
dpkg-deb -c "$deb" | awk '{print $6}' >"$out/files"
for path in ./usr/bin/korvo ./usr/lib/korvo/IFKORVO.so ./usr/lib/korvo/AXKORVO.so \
    "./usr/$module_dir/libpixbufloader-qkz.so" ./usr/share/mime/packages/korvo.xml \
    ./usr/share/thumbnailers/korvo-picture.thumbnailer ./usr/share/thumbnailers/korvo-archive.thumbnailer; do
  grep -qx "$path" "$out/files" || fail "no $path"
done
dpkg-deb -x "$deb" "$out/root"
exports=$(nm -D --defined-only "$out/root/usr/$module_dir/libpixbufloader-qkz.so" |
  awk '$2 ~ /^[TDBRVW]$/ {print $3}' | sort | tr '\n' ' ')
[ "$exports" = "fill_info fill_vtable " ] || fail "loader exports: $exports"
for kind in picture archive; do
  grep -qx 'Exec=/usr/bin/korvo thumbnail %i %o --size %s' "$out/root/usr/share/thumbnailers/korvo-$kind.thumbnailer" ||
    fail "korvo-$kind.thumbnailer does not run /usr/bin/korvo"
done
dpkg-deb -e "$deb" "$out/control"
for script in postinst postrm; do
  [ -x "$out/control/$script" ] || fail "no executable $script"
  grep -q "gdk-pixbuf-2.0/gdk-pixbuf-query-loaders --update-cache" "$out/control/$script" || fail "$script keeps the loader cache"
  grep -q "update-mime-database /usr/share/mime" "$out/control/$script" || fail "$script keeps the MIME database"
done
exit $status
