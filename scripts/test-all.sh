#!/usr/bin/env bash
# Every test: the native build, the sanitizer build, the Windows build with
# its unit tests and end-to-end runs under Wine, and a short fuzzing run.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
jobs=$(nproc 2>/dev/null || echo 2)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
passed=0
failed=0
for preset in native native-asan mingw; do
  echo "=== $preset ==="
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j"$jobs"; then
    echo "build of $preset failed"
    status=1
    failed=$((failed + 1))
    continue
  fi
  ctest --preset "$preset" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  # "NN% tests passed, F tests failed out of T"
  if line=$(grep -E 'tests failed out of [0-9]+' "$log" | tail -n 1); then
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f))
    failed=$((failed + f))
  fi
done
# Short fuzzing smoke run of every target under ASan and UBSan.
if [ -x scripts/fuzz.sh ]; then
  echo "=== fuzz (smoke) ==="
  if scripts/fuzz.sh --smoke; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    status=1
  fi
fi
echo
echo "summary: $passed passed, $failed failed"
exit $status
