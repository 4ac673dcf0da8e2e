#!/bin/sh
# The Debian package holds every file where the desktop looks for it and
# what Debian users expect beside (copyright, changelog, manual page), the
# loader module exports only gdk-pixbuf's two entry points, the thumbnailers
# and the desktop entry name the installed korvo, the maintainer scripts
# refresh the loader cache and the MIME database, lintian finds no error or
# warning, and korvo unpacked as Debian lays it out loads its own plug-ins
# and nothing else.
#   check_package.sh BUILD_DIR MODULE_DIR (gdk-pixbuf's, relative to /usr)
set -eu
build=$1 module_dir=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/korvo_*.deb)
status=0
fail() { echo "$deb: $*"; status=1; }
# korvo open, and so the desktop entry, exist where korvo can mount.
mounts=false
dpkg-deb -f "$deb" Depends | grep -q fuse3 && mounts=true
dpkg-deb -c "$deb" | awk '{print $6}' >"$out/files"
expected="./usr/bin/korvo ./usr/lib/korvo/IFKORVO.so ./usr/lib/korvo/AXKORVO.so
  ./usr/$module_dir/libpixbufloader-qkz.so ./usr/share/mime/packages/korvo.xml
  ./usr/share/thumbnailers/korvo-picture.thumbnailer ./usr/share/thumbnailers/korvo-archive.thumbnailer
  ./usr/share/doc/korvo/copyright ./usr/share/doc/korvo/changelog.gz ./usr/share/man/man1/korvo.1.gz"
$mounts && expected="$expected ./usr/share/applications/korvo-open-archive.desktop"
for path in $expected; do
  grep -qx "$path" "$out/files" || fail "no $path"
done
dpkg-deb -x "$deb" "$out/root"
root=$out/root
exports=$(nm -D --defined-only "$root/usr/$module_dir/libpixbufloader-qkz.so" |
  awk '$2 ~ /^[TDBRVW]$/ {print $3}' | sort | tr '\n' ' ')
[ "$exports" = "fill_info fill_vtable " ] || fail "loader exports: $exports"
for kind in picture archive; do
  grep -qx 'Exec=/usr/bin/korvo thumbnail %i %o --size %s' "$root/usr/share/thumbnailers/korvo-$kind.thumbnailer" ||
    fail "korvo-$kind.thumbnailer does not run /usr/bin/korvo"
done
dpkg-deb -e "$deb" "$out/control"
for script in postinst postrm; do
  [ -x "$out/control/$script" ] || fail "no executable $script"
  grep -q "gdk-pixbuf-2.0/gdk-pixbuf-query-loaders --update-cache" "$out/control/$script" || fail "$script keeps the loader cache"
  grep -q "update-mime-database /usr/share/mime" "$out/control/$script" || fail "$script keeps the MIME database"
done

# The changelog's newest entry is the package's version.
version=$(dpkg-deb -f "$deb" Version)
newest=$(gzip -dc "$root/usr/share/doc/korvo/changelog.gz" 2>/dev/null | head -n 1 || true)
case $newest in "korvo ($version) "*) ;; *) fail "changelog.gz does not start with version $version: $newest" ;; esac

# The manual page has an entry for every command korvo lists.
commands=$("$root/usr/bin/korvo" --help | sed -n 's/^  korvo \([a-z-]*\).*/\1/p')
[ -n "$commands" ] || fail "korvo --help lists no command"
gzip -dc "$root/usr/share/man/man1/korvo.1.gz" >"$out/korvo.1" 2>/dev/null || true
awk '/^\.SH / {section = $2}
     section == "COMMANDS" && previous == ".TP" {
       tag = $0; sub(/^\.BI? +"?/, "", tag); gsub(/\\-/, "-", tag); sub(/[ "\\].*/, "", tag); print tag }
     {previous = $1}' "$out/korvo.1" >"$out/documented"
for command in $commands; do
  grep -qx -- "$command" "$out/documented" || fail "korvo.1 has no entry for korvo $command"
done

# The desktop entry opens archives and nothing else, through the installed korvo.
entry=$root/usr/share/applications/korvo-open-archive.desktop
if $mounts && [ -f "$entry" ]; then
  mime=$(grep '^MimeType=' "$entry" || true)
  [ "$mime" = "MimeType=application/x-brimmel-archive;" ] || fail "desktop entry's MIME types: $mime"
  grep -qx 'Exec=/usr/bin/korvo open %f' "$entry" || fail "the desktop entry does not run /usr/bin/korvo open %f"
  if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$entry" >"$out/validate" 2>&1 || fail "desktop-file-validate: $(cat "$out/validate")"
  else
    echo "desktop-file-validate is not installed (package desktop-file-utils): the desktop entry is not validated"
  fi
fi

# lintian finds no error and no warning. Informational tags are allowed; the
# README says which remain and why.
if command -v lintian >/dev/null 2>&1; then
  lintian "$deb" >"$out/lintian" 2>/dev/null || true
  if grep -q '^[EW]: ' "$out/lintian"; then
    fail "lintian:"
    grep '^[EW]: ' "$out/lintian"
  fi
else
  echo "lintian is not installed: the package is not checked against Debian policy"
fi

# Debian 12 puts ld.so in /usr/bin. korvo unpacked beside such a stray
# library must still take its plug-ins from usr/lib/korvo, with no --plugins.
stray=""
for candidate in /lib64/ld-linux-x86-64.so.2 /usr/bin/ld.so; do
  [ -e "$candidate" ] && stray=$candidate && break
done
if [ -z "$stray" ]; then
  fail "no ld.so to put beside korvo"
else
  [ -e "$root/usr/bin/ld.so" ] || ln -s "$stray" "$root/usr/bin/ld.so"
  mkdir "$out/work"
  # Runs the unpacked korvo in $out/work; a failure names the command.
  run() {
    if ! (cd "$out/work" && "$root/usr/bin/korvo" "$@") \
        >"$out/stdout" 2>"$out/stderr"; then
      fail "korvo $* beside usr/bin/ld.so failed (it must find its plug-ins in usr/lib/korvo): $(cat "$out/stderr")"
      return 1
    fi
  }
  if run plugins; then
    # One line per plug-in, its path then its kind in parentheses.
    loaded=$(grep -v '^[[:space:]]' "$out/stdout" | sed 's/ (.*)$//' | while read -r path; do
      readlink -f "$path"; done | sort | tr '\n' ' ')
    own=$(for name in AXKORVO.so IFKORVO.so; do readlink -f "$root/usr/lib/korvo/$name"; done | sort | tr '\n' ' ')
    [ "$loaded" = "$own" ] || fail "korvo plugins loaded '$loaded', not its own '$own' alone"
  fi
  run sample-picture OUT.QKZ &&
    run pack --layout offset-table -o A.cg OUT.QKZ &&
    run list A.cg &&
    run thumbnail A.cg T.png --size 64 &&
    { [ -s "$out/work/T.png" ] || fail "korvo thumbnail wrote no T.png"; }
fi
exit $status
