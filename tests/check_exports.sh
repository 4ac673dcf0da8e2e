#!/bin/sh
# The shipped Linux plug-ins export their plug-in functions and nothing else,
# and carry no test machinery: no lookup of the test hooks (dlsym, the hooks'
# name) and no files served from memory.
set -eu
dir=$1
status=0
check() {
  actual=$(nm -D --defined-only "$dir/$1" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | sort | tr '\n' ' ')
  if [ "$actual" != "$2" ]; then
    echo "$1 exports: $actual"
    echo "expected:     $2"
    status=1
  fi
  if nm -D --undefined-only "$dir/$1" | grep -qw dlsym; then
    echo "$1 imports dlsym"
    status=1
  fi
  if strings "$dir/$1" | grep -q KorvoPlatformHooks; then
    echo "$1 names the test hooks"
    status=1
  fi
}
check IFKORVO.so "GetPicture GetPictureInfo GetPictureInfoW GetPictureW GetPluginInfo GetPluginInfoW GetPreview GetPreviewW IsSupported IsSupportedW "
check AXKORVO.so "GetArchiveInfo GetArchiveInfoW GetFile GetFileInfo GetFileInfoW GetFileW GetPluginInfo GetPluginInfoW IsSupported IsSupportedW "
exit $status
