#!/bin/sh
# The Windows installer end to end under Wine, in a Wine prefix of the
# build's own (never the shared one): it is built from the Windows builds
# there are, installs silently (/S) into a folder given with /D, and must
# leave the files and registry keys below; its uninstaller, silent too, must
# take every one of them away again.
#   installer_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
checkout=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="$build/wine-installer"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine="$checkout/scripts/wine"
setup="$build/korvo-setup-test.exe"
folder="$WINEPREFIX/drive_c/KorvoTest"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$checkout/packaging/windows/make-installer.sh" "$setup" "$checkout" >/dev/null || { echo "FAIL: makensis"; exit 1; }
"$wine" wineboot -i >/dev/null 2>&1
wineserver -w

# A key's default value, or a named one, as reg.exe prints it (lines end in \r).
value() {
  if [ -n "$2" ]; then set -- "$1" /v "$2" ${3:+/reg:$3}; else set -- "$1" /ve ${3:+/reg:$3}; fi
  "$wine" reg query "$@" 2>/dev/null | tr -d '\r' | sed -n 's/^ *[^ ].* REG_[A-Z_]* *//p' | grep -vx '(value not set)'
}
thumbnail='{e357fccd-a995-4576-b01f-234630154e96}'
preview='{8895b1c6-b41f-4c1c-a562-0d564250836f}'
picture='{da2faf21-b4c3-410e-9bfd-cd55ff0c73f4}'
archive='{92fc1f7a-bdbf-4bde-adfe-4561a4a72f7d}'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KORVO'

"$wine" "$setup" /S '/D=C:\KorvoTest' || fail "silent install exited $?"
wineserver -w
for file in KorvoShell.dll korvo.exe IFKORVO.SPH AXKORVO.SPH uninstall.exe; do
  [ -f "$folder/$file" ] || fail "installed no $file"
done
if [ -f "$build/../win32/bin/KorvoShell.dll" ]; then
  for file in x86/KorvoShell.dll IFKORVO.SPI AXKORVO.SPI; do
    [ -f "$folder/$file" ] || fail "installed no $file"
  done
  [ "$(value "HKLM\\Software\\Classes\\CLSID\\$picture\\InprocServer32" "" 32)" = 'C:\KorvoTest\x86\KorvoShell.dll' ] ||
    fail "the 32-bit class is not registered"
fi
[ "$(value "HKLM\\Software\\Classes\\.qkz\\ShellEx\\$thumbnail" "")" = "$picture" ] || fail ".qkz has no thumbnail handler"
[ "$(value "HKLM\\Software\\Classes\\.cg\\ShellEx\\$thumbnail" "")" = "$archive" ] || fail ".cg has no thumbnail handler"
[ -n "$(value "HKLM\\Software\\Classes\\.qkz\\ShellEx\\$preview" "")" ] || fail ".qkz has no preview handler"
[ "$(value "HKLM\\Software\\Classes\\CLSID\\$picture\\InprocServer32" "" 64)" = 'C:\KorvoTest\KorvoShell.dll' ] ||
  fail "the class does not name the installed DLL"
[ "$(value "HKLM\\Software\\Classes\\CLSID\\$picture\\InprocServer32" ThreadingModel 64)" = Apartment ] ||
  fail "the class is not apartment-threaded"
[ -z "$(value "HKLM\\Software\\Classes\\.qkz" "")" ] || fail "the installer took over .qkz's file type"
[ "$(value "$uninstall" DisplayName 64)" = "KORVO $(sed -n 's/^project(KORVO VERSION \([0-9.]*\).*/\1/p' "$checkout/CMakeLists.txt")" ] ||
  fail "no uninstaller in Apps"

"$wine" "$folder/uninstall.exe" /S || fail "silent uninstall exited $?"
wineserver -w  # the uninstaller runs on from a copy of itself
[ ! -e "$folder" ] || fail "the uninstaller left $(find "$folder" | tr '\n' ' ')"
for key in "HKLM\\Software\\Classes\\.qkz" "HKLM\\Software\\Classes\\.cg" "HKLM\\Software\\Classes\\CLSID\\$picture" "$uninstall"; do
  "$wine" reg query "$key" /reg:64 >/dev/null 2>&1 && fail "the uninstaller left $key"
done
"$wine" reg query "HKLM\\Software\\Classes\\CLSID\\$picture" /reg:32 >/dev/null 2>&1 && fail "the uninstaller left the 32-bit class"
wineserver -k 2>/dev/null
rm -f "$setup"
[ $failures -eq 0 ] && echo "installer: silent install and uninstall as expected"
exit $((failures != 0))
