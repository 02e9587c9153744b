#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz (libFuzzer with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60),
# starting from its seed corpus in tests/fuzz/corpus/<name>/. New inputs go to a
# scratch folder, never into the repository; a crash stops the script with the
# crashing input saved in build-fuzz/crashes/.
#
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
EACH=${1:-60}
[[ "$EACH" =~ ^[0-9]+$ ]] && ((EACH > 0)) || { echo "fuzz.sh: SECONDS must be a positive whole number" >&2; exit 64; }
bash scripts/deps.sh clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQM_FUZZ=ON -DQM_TESTS=OFF -DQM_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-fuzz --target qm_fuzzers
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p build-fuzz/crashes
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
for fuzzer in build-fuzz/fuzz/fuzz_*; do
  name=$(basename "$fuzzer")
  seeds=tests/fuzz/corpus/${name#fuzz_}
  mkdir -p "$scratch/$name"
  echo "== $name for ${EACH} s"
  args=("$scratch/$name")
  [ -d "$seeds" ] && args+=("$seeds")
  if ! "$fuzzer" -max_total_time="$EACH" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix=build-fuzz/crashes/"$name"- "${args[@]}" >"$scratch/$name.log" 2>&1; then
    tail -60 "$scratch/$name.log" >&2
    echo "fuzz.sh: $name failed; the input is in build-fuzz/crashes/" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$scratch/$name.log" | tr '\n' ' '; echo
done
