#!/usr/bin/env bash
# The benchmarks (not tests): builds them and runs them under Wine on the
# architecture the tests use; each prints its measurements and ratios.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

arch=$("$top/scripts/test-arch.sh")
"$top/scripts/build.sh" "$arch"
build="$top/build/$arch"
source "$top/scripts/wine-env.sh" "$build"
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start
cmake --build "$build" --target bench
