#!/usr/bin/env bash
# The demo: builds Lumaform and a sample program with standard controls,
# pictures the sample, enables the themed look with Lumaform driven through
# its own dialog, pictures it again, disables it, pictures it a third time,
# and writes the three pictures side by side into docs/demo.png (or the file
# given as argument). Fails unless Enable changed the picture and Disable
# brought back the first one pixel for pixel.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/docs/demo.png}
"$top/scripts/setup.sh"

arch=$("$top/scripts/test-arch.sh")
"$top/scripts/build.sh" "$arch"
build="$top/build/$arch"
cmake --build "$build" --target demo >/dev/null
source "$top/scripts/wine-env.sh" "$build"
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start

pictures="$build/demo"
rm -rf "$pictures"
mkdir -p "$pictures"
"$top/cmake/wine-run.sh" "$build/bin/demo.exe" "$(winepath -w "$pictures" 2>/dev/null || echo "Z:${pictures//\//\\}")"
mkdir -p "$(dirname "$out")"
convert \( "$pictures/before.bmp" -bordercolor white -border 12 \) \
        \( "$pictures/enabled.bmp" -bordercolor white -border 12 \) \
        \( "$pictures/disabled.bmp" -bordercolor white -border 12 \) +append "$out"
echo "Pictures (before, after Enable, after Disable): $out"
