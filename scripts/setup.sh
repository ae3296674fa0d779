#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (as root).
# Idempotent: quick when everything is already present.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

PKGS=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix
      gcc-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      cmake make wine wine64 xvfb xauth x11-apps x11-utils imagemagick libz-mingw-w64-dev googletest
      dpkg-dev fonts-nanum python3 nginx openssl osslsigncode wixl)
for p in "${PKGS[@]}"; do have_pkg "$p" || need+=("$p"); done
have_pkg wine32:i386 || need+=(wine32:i386)

# Source lists let the dependency build fetch Debian's jsoncpp and zlib sources.
src_list=/etc/apt/sources.list.d/debian-src.sources
added_src=0
if [ ! -f "$src_list" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src_list"
  added_src=1
fi

if [ ${#need[@]} -gt 0 ] || [ $added_src = 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    # nginx is only a test server, started by the tests on loopback: its
    # package must not start the system service on port 80 (nor at boot).
    saved_policy=
    if [ -e /usr/sbin/policy-rc.d ]; then saved_policy=$(mktemp); cp -p /usr/sbin/policy-rc.d "$saved_policy"; fi
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod 755 /usr/sbin/policy-rc.d
    rc=0
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null || rc=$?
    if [ -n "$saved_policy" ]; then mv "$saved_policy" /usr/sbin/policy-rc.d; else rm -f /usr/sbin/policy-rc.d; fi
    if [ -d /run/systemd/system ]; then systemctl disable nginx >/dev/null 2>&1 || true; fi
    [ $rc = 0 ] || exit $rc
  fi
fi

# Some kernels run without 32-bit emulation ("ia32_emulation=off"): the 32-bit
# Wine loader then fails with "Exec format error". Run 32-bit Linux programs
# through qemu's user-mode emulator instead (slow, but the real Wine).
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  have_pkg qemu-user || { export DEBIAN_FRONTEND=noninteractive; apt-get install -y -qq qemu-user >/dev/null; }
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/orvin-i386 ]; then
    printf '%s' ':orvin-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:' \
      > /proc/sys/fs/binfmt_misc/register
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || { echo "setup: 32-bit Wine cannot run here" >&2; exit 1; }
  echo "setup: 32-bit programs run through qemu-i386 (no 32-bit emulation in this kernel)"
fi
echo "setup: toolchain present"
