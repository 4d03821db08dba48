#!/usr/bin/env bash
# Runs every libFuzzer target under AddressSanitizer and UBSan.
#
#   scripts/fuzz.sh            60 s per target
#   scripts/fuzz.sh 300        300 s per target
#   scripts/fuzz.sh --smoke    about 20 s per target (CI)
#
# Builds with clang into build/fuzz. Each target starts from its committed
# seeds in fuzz/corpus/<target>; what it finds goes to build/fuzz/corpus, so
# the committed seeds stay small. A crash, a sanitizer report or a violated
# property ends the target with a reproducer in build/fuzz/artifacts; rerun it
# with build/fuzz/fuzz/<target> <file>.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
case "${1:-}" in
  --smoke) seconds=20 ;;
  "") ;;
  *[!0-9]*) echo "usage: $0 [SECONDS | --smoke]" >&2; exit 2 ;;
  *) seconds=$1 ;;
esac

build=build/fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DEXTMERGE_FUZZ=ON -DEXTMERGE_TESTS=OFF \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for seeds in fuzz/corpus/*/; do
  name=$(basename "$seeds")
  exe="$build/fuzz/$name"
  [ -x "$exe" ] || { echo "no target for $seeds" >&2; status=1; continue; }
  mkdir -p "$build/corpus/$name" "$build/artifacts"
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  echo "--- $name: ${seconds}s"
  if ! "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$name-" "${dict[@]}" \
      "$build/corpus/$name" "$seeds" >"$build/$name.log" 2>&1; then
    echo "!!! $name failed; see $build/$name.log" >&2
    tail -n 40 "$build/$name.log" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/$name.log" | tr '\n' ' '
    echo
  fi
done
exit $status
