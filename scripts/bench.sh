#!/usr/bin/env bash
# The benchmarks (not tests): builds them and runs them, each printing its
# measurements and its ratios to a floor measured in the same run on the same
# file. Natively (the resource writer's core, built without sanitizers): a
# 100 MB target against read/write + fsync, and a 4.5 GiB target round trip
# in bounded memory (too slow and too large for every test run). Under Wine
# on the architecture the tests use: the writer against copy + flush, the
# dialog's probe and commands, start-up.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

arch=$("$top/scripts/test-arch.sh")
"$top/scripts/build.sh" i686
[ "$arch" = i686 ] || "$top/scripts/build.sh" "$arch"

native="$top/build/native-bench"
cmake -S "$top/tests/native" -B "$native" -DSANITIZE=OFF -DFIXTURES="$top/build/i686/bin" >/dev/null
cmake --build "$native" -j"$(nproc)" --target pe_bench pe_large_file_tests >/dev/null
(cd "$native" && ./bin/pe_bench "$top/build/i686/bin" &&
  ./bin/pe_large_file_tests "$top/build/i686/bin" 4608)

build="$top/build/$arch"
source "$top/scripts/wine-env.sh" "$build"
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start
cmake --build "$build" --target bench
