#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix; CTest uses
# it as the cross-compiling emulator. scripts/test.sh creates the prefix and
# provides the display and a persistent wineserver around the whole run.
# The 64-bit loader is called directly: Debian's `wine` script prefers the
# 32-bit one when it is installed, which 64-bit programs do not need.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set (run the tests through scripts/test.sh)" >&2
  exit 1
fi
case "${LUMAFORM_ARCH:-x86_64}" in
  x86_64) loader=/usr/lib/wine/wine64 ;;
  *) loader=/usr/lib/wine/wine ;;
esac
[ -x "$loader" ] || loader=wine
exec "$loader" "$@"
