#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine: the mingw-w64
# cross compilers, Wine, Xvfb and the independent PE readers the tests compare
# against. Idempotent: when everything is present it only checks and returns.
#
# 32-bit Wine (wine32:i386) is installed only where the kernel can execute
# 32-bit code; some kernels are built without IA-32 emulation, and there the
# tests run the 64-bit build under 64-bit Wine instead.
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64
          fonts-wine xvfb x11-utils imagemagick python3 python3-pefile llvm clang lld osslsigncode
          openssl mono-mcs)

# A 93-byte i386 Linux program that only exits: it runs when the kernel can
# execute 32-bit code. Where it cannot, the program dies of a signal, and the
# shell that waits for it reports the crash on its own standard error: the
# probe runs inside a group whose output goes nowhere, so nothing is printed.
kernel_runs_32bit() {
  local probe
  probe=$(mktemp)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  local ok=1
  { "$probe"; } >/dev/null 2>&1 && ok=0
  rm -f "$probe"
  return $ok
}
if kernel_runs_32bit; then
  packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The tests run the program under English and French user-interface locales;
# without them Wine falls back to ASCII for file names.
locales_missing() {
  for l in en_US fr_FR de_DE; do
    locale -a 2>/dev/null | grep -qi "^$l\.utf-\?8$" || return 0
  done
  return 1
}
if locales_missing; then
  dpkg-query -W -f='${Status}' locales 2>/dev/null | grep -q 'install ok installed' || missing+=(locales)
fi
if [ ${#missing[@]} -eq 0 ] && ! locales_missing; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if locales_missing; then
  for l in en_US fr_FR de_DE; do
    grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
      echo "$l.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  done
  $SUDO locale-gen >/dev/null
fi
