#!/usr/bin/env bash
# Builds Lumaform and starts it under Wine (on a virtual display when there is
# no DISPLAY): scripts/run.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
arch=$("$top/scripts/test-arch.sh")
"$top/scripts/build.sh" i686
[ "$arch" = i686 ] || "$top/scripts/build.sh" "$arch"

exe="$top/build/$arch/bin/Lumaform.exe"
if [ ! -f "$exe" ]; then
  echo "Lumaform.exe is not built yet: the main window is still to come." >&2
  exit 1
fi
[ "$arch" = i686 ] || echo "This kernel cannot run 32-bit code: starting the 64-bit build of Lumaform." >&2
source "$top/scripts/wine-env.sh" "$top/build/$arch"
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start
"$WINE_ENV_LOADER" "$exe"
