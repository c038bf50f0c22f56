#!/usr/bin/env bash
# The demo: builds Lumaform and a sample program with standard controls,
# pictures the sample, enables the themed look with Lumaform driven through
# its own dialog, pictures it again, disables it, pictures it a third time,
# and pictures Lumaform's dialog in English and in French. Writes the
# labelled pictures into docs/demo.png (or the file given as argument): the
# three pictures of the sample side by side, the two dialogs below them.
# Fails unless Enable changed the picture and Disable brought back the first
# one pixel for pixel.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/docs/demo.png}
"$top/scripts/setup.sh"

arch=$("$top/scripts/test-arch.sh")
# The demo program, Lumaform and the sample only, not the tests.
(cd "$top" && cmake --preset "$arch" >/dev/null && cmake --build --preset "$arch-program" --target demo -j"$(nproc)" >/dev/null)
build="$top/build/$arch"
source "$top/scripts/wine-env.sh" "$build"
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start

pictures="$build/demo"
rm -rf "$pictures"
mkdir -p "$pictures"
folder=$(winepath -w "$pictures" 2>/dev/null || echo "Z:${pictures//\//\\}")
# The sample's three pictures and the dialog in English, then the dialog in
# French: Wine takes a program's user-interface language from LC_ALL.
LC_ALL=en_US.UTF-8 "$top/cmake/wine-run.sh" "$build/bin/demo.exe" "$folder"
LC_ALL=fr_FR.UTF-8 "$top/cmake/wine-run.sh" "$build/bin/demo.exe" "$folder" dialog
if cmp -s "$pictures/lumaform_en.bmp" "$pictures/lumaform_fr.bmp"; then
  echo "The French dialog looks like the English one." >&2
  exit 1
fi

# Each picture with its label above it, on white.
font=/usr/share/wine/fonts/tahoma.ttf
label() {
  convert "$pictures/$1.bmp" -bordercolor white -border 14 -background white -gravity North \
    -splice 0x24 -font "$font" -pointsize 15 -fill black -annotate +0+8 "$2" "$pictures/$1.png"
}
label before "Before"
label enabled "After Enable"
label disabled "After Disable"
label lumaform_en "Lumaform in English"
label lumaform_fr "Lumaform in French"
mkdir -p "$(dirname "$out")"
cd "$pictures"
convert -background white \( before.png enabled.png disabled.png +append \) \
  \( lumaform_en.png lumaform_fr.png +append \) -gravity Center -append "$out"
echo "Pictures (before, after Enable, after Disable; the dialog in English and French): $out"
