# Sourced by the scripts that run Windows programs: source wine-env.sh BUILD_DIR
# Sets WINEPREFIX to BUILD_DIR/wineprefix (created on first use, with Wine's
# own fonts in its Fonts folder), picks a virtual display when DISPLAY is
# unset, and keeps one wineserver running between wine_env_start and
# wine_env_stop.

WINE_ENV_BUILD=$(cd "$1" && pwd)
export WINEPREFIX="$WINE_ENV_BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$(basename "$WINE_ENV_BUILD")" in
  x86_64) export LUMAFORM_ARCH=x86_64; WINE_ENV_LOADER=/usr/lib/wine/wine64 ;;
  *) export LUMAFORM_ARCH=i686; WINE_ENV_LOADER=/usr/lib/wine/wine ;;
esac
WINE_ENV_XVFB_PID=""

wine_env_start() {
  if [ -z "${DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_ENV_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      if [ -e "/tmp/.X11-unix/X$n" ]; then break; fi
      sleep 0.1
    done
    if ! kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null; then
      echo "wine-env: Xvfb could not start on :$n" >&2
      return 1
    fi
  fi
  wine_env_fonts
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (once; about 20 s)"
    "$WINE_ENV_LOADER" wineboot -i >/dev/null 2>&1 || true
    # Without a window manager, closing a managed window stalls; the tests'
    # windows need no decoration from the X side.
    "$WINE_ENV_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # A crashing test ends at once rather than waiting in Wine's crash dialog.
    "$WINE_ENV_LOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p
  # Start Wine's background processes (services, explorer) now, detached from
  # any output pipe: started by the first test they would inherit CTest's
  # pipe and keep it open, and CTest would wait for them until its timeout.
  "$WINE_ENV_LOADER" wineboot </dev/null >/dev/null 2>&1 || true
}

# Wine's own fonts (Debian's fonts-wine: "MS Sans Serif", Tahoma, Marlett and
# the others Windows has) go into the prefix's Fonts folder, the one Windows
# and Wine read. Debian's Wine 8 looks for them in "<data dir>\../fonts", a
# path its file layer refuses ("..") and that would not name
# /usr/share/wine/fonts anyway, so it never loads them by itself: the dialogs'
# "MS Sans Serif" then falls back to a wider font of the system (DejaVu Sans),
# which clips the labels, and the caption buttons, drawn with Marlett's
# glyphs, show plain letters. Files already there are kept; a prefix made
# before this step gets the missing ones on its next start.
wine_env_fonts() {
  local from=/usr/share/wine/fonts to="$WINEPREFIX/drive_c/windows/Fonts" font
  if [ ! -f "$from/marlett.ttf" ]; then
    echo "wine-env: Wine's fonts are missing ($from; Debian package fonts-wine):" \
      "labels will be clipped and the caption buttons show letters" >&2
    return 0
  fi
  mkdir -p "$to"
  for font in "$from"/*; do
    [ -e "$to/${font##*/}" ] || cp "$font" "$to/"
  done
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$WINE_ENV_XVFB_PID" ]; then
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
  fi
}
