#!/usr/bin/env bash
# Builds Lumaform (the program only, not the tests) and starts it under Wine:
# scripts/run.sh
#
# With a display, the window opens there and the script ends when the program
# ends. Without one (DISPLAY unset), the program runs on a virtual display
# (Xvfb) that nobody sees: the script says so, writes a screenshot of the
# window to build/run.png once it is up, prints where, and ends when the
# program ends or on Ctrl-C (or a TERM signal), which closes the program and
# the virtual display.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
arch=$("$top/scripts/test-arch.sh")
# The configure and build presets of CMakePresets.json: the same build
# folder and toolchain as scripts/build.sh.
(cd "$top" && cmake --preset "$arch" >/dev/null && cmake --build --preset "$arch-program" -j"$(nproc)")

exe="$top/build/$arch/bin/Lumaform.exe"
if [ ! -f "$exe" ]; then
  echo "Lumaform.exe was not built." >&2
  exit 1
fi
[ "$arch" = i686 ] || echo "This kernel cannot run 32-bit code: starting the 64-bit build of Lumaform." >&2

virtual=""
[ -n "${DISPLAY:-}" ] || virtual=yes
source "$top/scripts/wine-env.sh" "$top/build/$arch"
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start

"$WINE_ENV_LOADER" "$exe" &
program=$!
if [ -z "$virtual" ]; then
  wait "$program"
  exit
fi

echo "No display: Lumaform runs on a virtual display ($DISPLAY) that nobody sees."
# The dialog's X window, found by its caption once it is mapped.
window=""
for _ in $(seq 600); do
  kill -0 "$program" 2>/dev/null || break
  window=$(xwininfo -root -children 2>/dev/null |
    awk '/"Lumaform - Orvanel Software / { print $1; exit }')
  if [ -n "$window" ] && xwininfo -id "$window" 2>/dev/null | grep -q 'IsViewable'; then
    break
  fi
  window=""
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "Lumaform's window did not appear." >&2
  wait "$program" || true
  exit 1
fi
sleep 0.5 # the first paint
shot="$top/build/run.png"
import -window "$window" "$shot"
echo "Ctrl-C ends it (the script also ends when the program does)."
echo "Screenshot of Lumaform's window: $shot"
wait "$program"
