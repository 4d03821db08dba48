#!/usr/bin/env bash
# Every test: the native build, the sanitizer build, and the Windows build
# with its unit tests and end-to-end runs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
status=0
for preset in native native-asan mingw; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" || status=1
done
# Short fuzzing smoke run of every target under ASan and UBSan.
if [ -x scripts/fuzz.sh ]; then
  echo "=== fuzz (smoke) ==="
  scripts/fuzz.sh --smoke || status=1
fi
exit $status
