#!/usr/bin/env bash
# Builds everything and runs every test: scripts/test.sh [ctest arguments]
#
# The shipping program is the 32-bit build (build/i686). The tests run under
# Wine in a prefix of their own (build/<arch>/wineprefix), on a virtual display
# when none is set, with one persistent wineserver for the whole run. They run
# on the 32-bit build when this machine's kernel can execute 32-bit code, and
# on the 64-bit build of the same sources otherwise (kernels built without
# IA-32 emulation cannot start 32-bit Wine at all). There the shipping 32-bit
# build's Wine tests then run in an emulated 32-bit x86 machine
# (scripts/vm-i686.sh; LUMAFORM_VM=0 leaves that stage out).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

arch=$("$top/scripts/test-arch.sh")
"$top/scripts/build.sh" i686
[ "$arch" = i686 ] || "$top/scripts/build.sh" "$arch"

# The resource writer's portable core, built for this machine: unit tests on
# the fixtures, Wine's own PE files as a corpus, the independent readers and
# the fuzz target.
cmake -S "$top/tests/native" -B "$top/build/native" -DFIXTURES="$top/build/i686/bin" >/dev/null
cmake --build "$top/build/native" -j"$(nproc)"
(cd "$top/build/native" && ctest --output-on-failure)

build="$top/build/$arch"
source "$top/scripts/wine-env.sh" "$build"
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start

# The checks of the built files that need no Wine also run on the shipping
# 32-bit build when the Wine tests use the 64-bit one.
if [ "$arch" != i686 ]; then
  (cd "$top/build/i686" && ctest --output-on-failure -L host)
fi
(cd "$build" && ctest --output-on-failure "$@")
wine_env_stop
trap - EXIT

if [ "$arch" != i686 ] && [ "${LUMAFORM_VM:-1}" != 0 ]; then
  "$top/scripts/vm-i686.sh"
fi
