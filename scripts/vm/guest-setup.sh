#!/bin/bash
# Runs once inside the emulated machine as its first process, with the root
# image writable: debootstrap's second stage, the locales the tests use, and a
# Wine prefix kept in the image (/root/.wine-lumaform). Writes "ready" to the
# results disk when all went well, then powers the machine off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root USER=root LANG=C.UTF-8
say() { echo "@@ $*"; }
# Powers off; never returns.
finish() {
  sync
  mount -o remount,ro / 2>/dev/null
  echo o >/proc/sysrq-trigger
  sleep 20
  echo b >/proc/sysrq-trigger
  sleep 20
  exit 1
}
failed() {
  say "failed: $1; the last lines of $2:"
  tail -n 30 "$2" | sed 's/^/@@     /'
  finish
}
mkdir -p /dev/pts /dev/shm /run /tmp
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp

say "debootstrap's second stage"
started=$(date +%s)
timeout 2400 /debootstrap/debootstrap --second-stage >/var/log/second-stage.log 2>&1 ||
  failed "second stage" /var/log/second-stage.log
say "second stage done in $(($(date +%s) - started)) s"
# It unmounts what it mounted, /proc among it.
[ -e /proc/self/exe ] || mount -t proc proc /proc
[ -d /sys/kernel ] || mount -t sysfs sysfs /sys
# The guest needs no network and no package source.
rm -f /etc/apt/sources.list /var/log/bootstrap.log /var/log/second-stage.log
apt-get clean
echo lumaform-i686 >/etc/hostname

printf '%s\n' 'en_US.UTF-8 UTF-8' 'fr_FR.UTF-8 UTF-8' 'de_DE.UTF-8 UTF-8' >/etc/locale.gen
locale-gen >/var/log/locale-gen.log 2>&1 || failed "locale-gen" /var/log/locale-gen.log

say "Wine prefix"
started=$(date +%s)
Xvfb :0 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 300); do [ -e /tmp/.X11-unix/X0 ] && break; sleep 0.2; done
export DISPLAY=:0 WINEPREFIX=/root/.wine-lumaform WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
{
  timeout 1800 wine wineboot -i &&
    # Without a window manager, closing a managed window stalls; a crash ends
    # the program at once instead of waiting in Wine's crash dialog.
    timeout 600 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f &&
    timeout 600 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
    timeout 600 wineserver -w
} >/var/log/wine-prefix.log 2>&1 || failed "Wine prefix" /var/log/wine-prefix.log
say "Wine prefix done in $(($(date +%s) - started)) s ($(wine --version 2>/dev/null))"

mkdir -p /results
echo ok >/results/ready
tar -cf /dev/vdc -C /results . || say "cannot write the results disk"
finish
