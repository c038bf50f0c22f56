#!/usr/bin/env bash
# Configures and builds one architecture: scripts/build.sh [i686|x86_64].
# The build goes to build/<arch>.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
cmake -S "$top" -B "$top/build/$arch" \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$arch-mingw.cmake" >/dev/null
cmake --build "$top/build/$arch" -j"$(nproc)"
