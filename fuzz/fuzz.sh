#!/usr/bin/env bash
# Builds the fuzz targets natively (clang, libFuzzer, ASan, UBSan) into
# build/fuzz/ and runs each for a fixed number of executions.
#
#   fuzz/fuzz.sh            FUZZ_RUNS executions per target (default 1000000),
#                           growing the corpora under build/fuzz/corpus/
#   fuzz/fuzz.sh --short    FUZZ_SHORT_RUNS per target (default 5000) from the
#                           committed seeds only, with a fixed seed: the same
#                           executions on every machine (the step of `make test`)
#   fuzz/fuzz.sh --seeds    rewrites the encrypted manifest seeds in fuzz/corpus/
#
# FUZZ_TARGETS picks targets (default: all), FUZZ_SEED the random seed
# (default 1), FUZZ_JOBS the build's parallel jobs (default 1). Crashing inputs
# are kept under build/fuzz/crashes/<target>/. Exit status 1 when any target
# found something. Run as root on a fresh machine, it installs what is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$top/build/fuzz
mode=full
case "${1:-}" in
  --short) mode=short ;;
  --seeds) mode=seeds ;;
  "") ;;
  *) echo "usage: fuzz/fuzz.sh [--short|--seeds]" >&2; exit 2 ;;
esac
ALL_TARGETS="xml_model startup_file update_file manifest_decrypt base64 seed_block edit_result url_decode archive_names signed_file_list"
targets=${FUZZ_TARGETS:-$ALL_TARGETS}
runs=${FUZZ_RUNS:-1000000}
[ $mode = short ] && runs=${FUZZ_SHORT_RUNS:-5000}
seed=${FUZZ_SEED:-1}
jobs=${FUZZ_JOBS:-1}
quiet() { nice -n 15 "$@"; }

# --- what the build needs, from Debian's packages
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
need=()
for p in clang libclang-rt-14-dev cmake make dpkg-dev; do have_pkg "$p" || need+=("$p"); done
updated=0
apt_update() { [ $updated = 1 ] || { DEBIAN_FRONTEND=noninteractive apt-get update -qq; updated=1; }; }
if [ ${#need[@]} -gt 0 ]; then
  echo "fuzz: installing ${need[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# jsoncpp: Debian's sources, compiled with the targets' instrumentation (the
# Windows dependency build's copy when there is one); Debian's
# libjsoncpp-dev, uninstrumented, when the sources cannot be had.
jsoncpp_src=""
for d in "$top/build/deps/src/jsoncpp" "$out/src/jsoncpp"; do
  [ -f "$d/src/lib_json/json_reader.cpp" ] && { jsoncpp_src=$d; break; }
done
if [ -z "$jsoncpp_src" ]; then
  src_list=/etc/apt/sources.list.d/debian-src.sources
  if [ ! -f "$src_list" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src_list"
    updated=0
  fi
  apt_update
  rm -rf "$out/src/js" && mkdir -p "$out/src/js"
  if (cd "$out/src/js" && apt-get source -qq libjsoncpp >/dev/null 2>&1); then
    mv "$(find "$out/src/js" -maxdepth 1 -mindepth 1 -type d | head -1)" "$out/src/jsoncpp"
    jsoncpp_src=$out/src/jsoncpp
  else
    have_pkg libjsoncpp-dev || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libjsoncpp-dev >/dev/null
  fi
fi

# --- build
quiet cmake -S "$top/fuzz" -B "$out/cmake" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE= \
  -DJSONCPP_SOURCE_DIR="$jsoncpp_src" >/dev/null
if ! quiet cmake --build "$out/cmake" -j"$jobs" >"$out/build.log" 2>&1; then
  cat "$out/build.log"; echo "fuzz: build failed"; exit 1
fi

if [ $mode = seeds ]; then
  "$out/cmake/fuzz_corpus_gen" "$top/fuzz/corpus"
  echo "fuzz: manifest seeds written to fuzz/corpus/"; exit 0
fi

dict_of() {
  case $1 in
    xml_model|startup_file|update_file) echo xml ;;
    seed_block) echo "" ;;
    *) echo "$1" ;;
  esac
}

# --- run
# Without address-space randomisation the comparisons libFuzzer learns from
# (pointers among them) are the same in every process, so a fixed seed gives
# the same executions every time.
norandom=()
setarch "$(uname -m)" -R true 2>/dev/null && norandom=(setarch "$(uname -m)" -R)
mkdir -p "$out/logs" "$out/crashes"
rc=0
summary=()
failed=()
for t in $targets; do
  bin=$out/cmake/fuzz_$t
  [ -x "$bin" ] || { echo "fuzz: no target $t" >&2; exit 2; }
  mkdir -p "$out/crashes/$t"
  if [ $mode = short ]; then
    work=$out/short/$t; rm -rf "$work"
  else
    work=$out/corpus/$t
  fi
  mkdir -p "$work"
  args=(-runs="$runs" -seed="$seed" -max_len=8192 -timeout=60 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$out/crashes/$t/")
  d=$(dict_of "$t")
  [ -n "$d" ] && args+=(-dict="$top/fuzz/dict/$d.dict")
  log=$out/logs/$t.log
  start=$(date +%s%N)
  status=0
  [ $mode = short ] && args+=(-reload=0)
  quiet "${norandom[@]}" "$bin" "${args[@]}" "$work" "$top/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  secs=$(printf '%d.%d' $((ms / 1000)) $((ms % 1000 / 100)))
  execs=$(awk '/stat::number_of_executed_units:/{print $2}' "$log" | tail -1)
  line=$(grep -E '^#[0-9]+[[:space:]]+(DONE|NEW|REDUCE|pulse|INITED)' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$line")
  corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9a-zA-Z]*\).*/\1/p' <<<"$line")
  finding="none"
  if [ $status -ne 0 ]; then
    rc=1
    failed+=("$t")
    what=$(grep -m1 -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error|property violated|shim:' "$log" || echo "exit status $status")
    saved=$(grep -m1 -o "Test unit written to .*" "$log" | sed 's/Test unit written to //' || true)
    finding="$what${saved:+ -> $saved}"
  fi
  summary+=("$(printf '%-17s execs %-8s cov %-5s ft %-6s corp %-12s %6ss  findings: %s' \
    "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "${secs}" "$finding")")
  echo "${summary[-1]}"
done
echo "== fuzz ($mode, $runs runs per target, seed $seed; logs in build/fuzz/logs/)"
printf '%s\n' "${summary[@]}"
for t in "${failed[@]}"; do
  echo "-- $t: build/fuzz/logs/$t.log"
  grep -m1 -A30 -E '^==[0-9]+==ERROR|runtime error|property violated|shim:' "$out/logs/$t.log" || tail -30 "$out/logs/$t.log"
done
[ $rc = 0 ] && echo "fuzz: no findings" || echo "fuzz: FINDINGS (inputs under build/fuzz/crashes/)"
exit $rc
