#!/usr/bin/env bash
# Runs the launcher once under Wine with a sample protocol command line and
# prints what it wrote to the day's log.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
arch=${DEMO_ARCH:-win32}
exe=$top/build/$arch/bin/OrvinLauncher.exe
export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix-$arch}
"$top/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true   # make sure the prefix exists
log_dir=$WINEPREFIX/drive_c/users/$(id -un)/AppData/LocalLow/OrvinLauncher/log
log=$log_dir/$(date +%Y%m%d).log
before=0
[ -f "$log" ] && before=$(stat -c %s "$log")
line='orvin://key=demo&svr=http://127.0.0.1:9/startup'
echo "demo: $exe \"$line\""
"$top/scripts/wine-run.sh" "$exe" "$line" || true
echo "demo: the day's log ($log), this run:"
tail -c +$((before + 1)) "$log" | { [ "$before" = 0 ] && cat || { printf '\xff\xfe'; cat; }; } | iconv -f UTF-16 -t UTF-8
