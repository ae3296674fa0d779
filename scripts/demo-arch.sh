#!/usr/bin/env bash
# Prints the architecture the demo runs: DEMO_ARCH when set, otherwise the one
# this machine runs natively. Where the kernel has no 32-bit support, 32-bit
# Wine runs under qemu's emulator (see setup.sh), several times slower than
# native code, so the demo takes the 64-bit build there. The reason goes to
# standard error.
set -euo pipefail
if [ -n "${DEMO_ARCH:-}" ]; then
  echo "demo: $DEMO_ARCH (chosen by DEMO_ARCH)" >&2
  echo "$DEMO_ARCH"
elif grep -qs qemu-i386 /proc/sys/fs/binfmt_misc/*i386* 2>/dev/null; then
  echo "demo: win64 (32-bit programs are emulated on this machine; DEMO_ARCH=win32 runs the 32-bit build)" >&2
  echo win64
else
  echo "demo: win32 (the build the README installs; this machine runs it natively)" >&2
  echo win32
fi
