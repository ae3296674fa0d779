#!/usr/bin/env bash
# Runs a Windows program under Wine, quietly, with a prefix of the project's
# own per architecture (so both suites can run side by side), and on a private
# X server when no display is set. Used as the test emulator.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export HOME=${HOME:-/root}

# "--init ARCH" only makes sure the prefix of that architecture exists, so
# that its creation (minutes where 32-bit Wine is emulated) never counts
# against a test's time limit.
init_only=
if [ "${1:-}" = --init ]; then init_only=${2:?--init takes win32 or win64}; set -- "$init_only.exe"; fi

prog=$1; shift
case $prog in
  *.exe|*.EXE) ;;
  *) [ -f "$prog.exe" ] && prog=$prog.exe ;;
esac

# 32-bit programs need the 32-bit loader; 64-bit ones go straight to wine64.
loader=/usr/lib/wine/wine64
arch=win64
if [ -f "$prog" ]; then
  pe=$(od -An -tu4 -j 60 -N4 "$prog" | tr -d ' ')
  machine=$(od -An -tx2 -j $((pe + 4)) -N2 "$prog" | tr -d ' ')
  if [ "$machine" = 014c ]; then loader=/usr/lib/wine/wine; arch=win32; fi
fi
# Where 32-bit Linux programs run under qemu's user-mode emulation (see
# scripts/setup.sh):
# - qemu-i386 lets a 32-bit guest map up to 4 GB and searches its page table
#   page by page for every mapping it cannot place at the address asked for.
#   32-bit Wine starts by reserving everything above 0x7ffe0000 in ever smaller
#   pieces, which costs qemu close to a minute per process. Capping the guest's
#   address space where a 32-bit Windows process's ends anyway (0x7fff0000)
#   makes those attempts fail at once: a process starts in about a second.
#   Wine hands the variable on to the processes a program starts, so it is set
#   for 64-bit programs too.
# - Wine's threads are not reliable there: the tests are told, and the few
#   tests of the launcher's own threads skip themselves.
if grep -qs 'qemu-i386' /proc/sys/fs/binfmt_misc/*i386* 2>/dev/null; then
  export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x7fff0000}
  if [ "$arch" = win32 ]; then export ORVIN_I386_EMULATED=1; fi
fi
[ -n "$init_only" ] && arch=$init_only
export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix-$arch}

# An X server counts as running only when the process named in its lock file
# is an Xvfb that is still alive: a machine that was stopped leaves the lock
# file and the socket behind, and a window test against them fails at once.
xvfb_alive() {
  local pid
  pid=$(tr -d ' \n' 2>/dev/null < "/tmp/.X$1-lock") || return 1
  [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ] && [ -S "/tmp/.X11-unix/X$1" ]
}

if [ -z "${DISPLAY:-}" ]; then
  # One Xvfb per display number, started once and left running; each
  # architecture has its own so that window tests running side by side never
  # overlap on one screen.
  if [ "$arch" = win32 ]; then num=${ORVIN_XVFB_DISPLAY:-88}; else num=${ORVIN_XVFB_DISPLAY:-87}; fi
  if ! xvfb_alive "$num"; then
    (flock 9
     if ! xvfb_alive "$num"; then
       rm -f "/tmp/.X$num-lock" "/tmp/.X11-unix/X$num"
       nohup Xvfb ":$num" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 9>&- &
       for _ in $(seq 300); do xvfb_alive "$num" && break; sleep 0.1; done
       xvfb_alive "$num" || echo "wine-run: Xvfb :$num did not start" >&2
     fi) 9>"/tmp/.orvin-xvfb-$num.lock"
  fi
  export DISPLAY=":$num"
fi

# A prefix counts as ready only when it was checked after it was made (a
# program of its architecture ran in it) and its Windows folder is still
# there: on a fresh machine a wineboot once left system.reg and an empty
# system32, and every program then failed with "could not load kernel32.dll".
check_loader=/usr/lib/wine/wine64 system_dirs=system32
if [ "$arch" = win32 ]; then check_loader=/usr/lib/wine/wine system_dirs="system32 syswow64"; fi
prefix_ready() {
  [ -f "$WINEPREFIX/.orvin-ready" ] || return 1
  local d
  for d in $system_dirs; do [ -f "$WINEPREFIX/drive_c/windows/$d/kernel32.dll" ] || return 1; done
}
problem=
make_prefix() {
  WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # Ours from here on, so a later run may remove it again if it is broken.
  touch "$WINEPREFIX/.orvin-made"
  /usr/lib/wine/wine64 wineboot -i >"$WINEPREFIX.boot.log" 2>&1 || true
  # No crash dialog: a crashing test must end, not wait for a click.
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1 || true
  # ...nor a debugger started for it (under emulation that alone takes a minute).
  /usr/lib/wine/wine64 reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    >/dev/null 2>&1 || true
  /usr/lib/wine/wine64 reg delete 'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    >/dev/null 2>&1 || true
  wineserver -w || true
  local d
  for d in $system_dirs; do
    [ -f "$WINEPREFIX/drive_c/windows/$d/kernel32.dll" ] || { problem="wineboot left no $d\\kernel32.dll"; return 1; }
  done
  if ! "$check_loader" cmd.exe /c exit </dev/null >>"$WINEPREFIX.boot.log" 2>&1; then
    problem="a $arch program (cmd.exe) does not run in it"; return 1
  fi
  wineserver -w || true
  touch "$WINEPREFIX/.orvin-ready"
}

if ! prefix_ready; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (flock 9
   if ! prefix_ready; then
     if [ -d "$WINEPREFIX" ] && [ -n "$(ls -A "$WINEPREFIX")" ] && [ ! -f "$WINEPREFIX/.orvin-made" ] \
        && [ ! -f "$WINEPREFIX/.orvin-ready" ]; then
       echo "wine-run: $WINEPREFIX is a Wine prefix of someone else's that is not ready for $arch programs;" \
            "remove it or point WINEPREFIX elsewhere" >&2
       exit 1
     fi
     [ -d "$WINEPREFIX" ] && echo "wine-run: the Wine prefix $WINEPREFIX is incomplete (an earlier set-up failed); making it again" >&2
     if ! make_prefix; then
       echo "wine-run: the new Wine prefix did not work ($problem); making it once more" >&2
       if ! make_prefix; then
         echo "wine-run: could not make a working Wine prefix in $WINEPREFIX: $problem." \
              "wineboot's output is in $WINEPREFIX.boot.log. Check that wine, wine64 and wine32:i386 are" \
              "installed (bash scripts/setup.sh), then run again; the broken prefix is remade then." >&2
         exit 1
       fi
     fi
   fi) 9>"$WINEPREFIX.lock" || exit 1
fi

[ -n "$init_only" ] && exit 0

# The prefix's server and Wine's own services (services.exe and the like)
# outlive the program that started them and keep its standard error open:
# ctest, or whoever reads that pipe, then waits for them, three seconds after
# the last program ends or, with tests side by side, until the last test of
# the suite ends. So they are started here, from a program that ends at once,
# with nothing of ours to inherit, and the server lingers a few seconds for
# the next program. "wineserver" answers 2 when one runs already.
if wineserver -p5 </dev/null >/dev/null 2>&1; then
  /usr/lib/wine/wine64 cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
fi
exec "$loader" "$prog" "$@"
