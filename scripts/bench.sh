#!/usr/bin/env bash
# Builds and runs the benchmarks (the module update, and the real launcher
# watched from outside) under Wine (x86-64: figures from an emulated 32-bit
# process would say nothing about the code).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
arch=${BENCH_ARCH:-win64}
cmake --build "$top/build/$arch" --target launcher_bench -j2 >/dev/null
echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB, $(uname -sr); $(date -u +%Y-%m-%d)"
# BENCH_ARGS passes options, e.g. BENCH_ARGS="--mb 500" for a module five times larger.
"$top/scripts/wine-run.sh" "$top/build/$arch/bin/launcher_bench.exe" ${BENCH_ARGS:-}
