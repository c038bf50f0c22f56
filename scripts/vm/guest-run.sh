#!/bin/bash
# Runs inside the emulated machine as its first process (the root image is a
# snapshot: nothing written here is kept). The job archive put the i686 build
# and the project's files at the same paths as on the host, and beside this
# script a list of tests (tests.sh: one run_test line each). Starts a virtual
# display whose frame buffer is a file, one wineserver with Wine's background
# processes, runs each test under its own deadline, and writes the results
# (summary, each test's output, pictures, files tests leave for the host's
# checks) to the third disk as a tar archive. Then powers the machine off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root USER=root LANG=C.UTF-8
job=/lumaform-job
results=/results
say() { echo "@@ $*"; }
finish() {
  tar -cf /dev/vdc -C "$results" . 2>/dev/null || say "cannot write the results disk"
  sync
  echo o >/proc/sysrq-trigger
  sleep 20
  echo b >/proc/sysrq-trigger
  sleep 20
  exit 1
}
mkdir -p /dev/pts /dev/shm /run /tmp "$results/logs"
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
# A checkout under /tmp or /run was unpacked there at its own path: keep
# it visible.
for scratch in /run /tmp; do
  [ -z "$(ls -A "$scratch" 2>/dev/null)" ] && mount -t tmpfs tmpfs "$scratch"
done
: >"$results/summary"
booted=$(cut -d' ' -f1 /proc/uptime)
say "guest up after ${booted%.*} s: $(uname -r), $(grep -c ^processor /proc/cpuinfo) processors, $(($(sed -n 's/^MemTotal: *\([0-9]*\).*/\1/p' /proc/meminfo) / 1024)) MiB"

mkdir -p /tmp/fb
Xvfb :0 -screen 0 1280x1024x24 -nolisten tcp -fbdir /tmp/fb >/tmp/xvfb.log 2>&1 &
for _ in $(seq 300); do [ -e /tmp/.X11-unix/X0 ] && break; sleep 0.2; done
if [ ! -e /tmp/.X11-unix/X0 ]; then
  say "the virtual display did not start"
  cp /tmp/xvfb.log "$results/logs/xvfb.txt"
  finish
fi
export DISPLAY=:0 WINEPREFIX=/root/.wine-lumaform WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_start() {
  wineserver -p
  # Wine's background processes, started apart from any test's output.
  timeout 300 wine wineboot </dev/null >/dev/null 2>&1
}
# Wine's own fonts into the prefix's Fonts folder, where Wine reads them
# (as scripts/wine-env.sh does on the host): Debian's Wine does not find
# them by itself, and the dialogs' "MS Sans Serif" would fall back to a wider
# font that clips their labels.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
started=$(date +%s)
wine_start
say "$(wine --version) ready in $(($(date +%s) - started)) s"

# run_test NAME TIMEOUT WORKING_DIRECTORY [NAME=VALUE...] -- COMMAND...
run_test() {
  local name=$1 timeout=$2 dir=$3
  shift 3
  local environment=()
  while [ "$1" != -- ]; do
    environment+=("$1")
    shift
  done
  shift
  local log="$results/logs/$name.txt" rc=0 began
  began=$(date +%s)
  mkdir -p "$dir"
  (cd "$dir" && env "${environment[@]}" WINEPREFIX="$WINEPREFIX" \
    timeout --kill-after=10 "$timeout" "$@") </dev/null >"$log" 2>&1 || rc=$?
  local took=$(($(date +%s) - began))
  echo "$name $rc $took" >>"$results/summary"
  if [ "$rc" -eq 0 ]; then
    say "$name passed ($took s)"
  elif [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    say "$name FAILED: no end within $timeout s ($took s)"
    echo "(stopped after $timeout s)" >>"$log"
    # Whatever the test left running goes with it.
    wineserver -k 2>/dev/null
    sleep 2
    wine_start
  else
    say "$name FAILED (exit code $rc, $took s)"
  fi
}
mkdir -p "$results/pictures"
# shellcheck source=/dev/null
source "$job/tests.sh"
for keep in $(cat "$job/keep" 2>/dev/null); do
  [ -e "$keep" ] && mkdir -p "$results/keep$(dirname "$keep")" && cp -a "$keep" "$results/keep$keep"
done
wineserver -k 2>/dev/null
say "tests done after $(($(cut -d. -f1 /proc/uptime))) s"
finish
