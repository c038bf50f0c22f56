#!/usr/bin/env bash
# Prints the architecture the tests run on: i686 when this machine can run
# 32-bit Wine, x86_64 otherwise.
if [ -n "${LUMAFORM_TEST_ARCH:-}" ]; then
  echo "$LUMAFORM_TEST_ARCH"
elif [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
