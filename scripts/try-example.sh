#!/usr/bin/env bash
# Sets everything up, builds the native program and runs it on a copy of the
# bundled example host (examples/host), then shows what changed in the host
# catalogues (converted from code page 932 to UTF-8 for the terminal).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc 2>/dev/null || echo 2)" --target extmerge >/dev/null
run=build/example
rm -rf "$run"
mkdir -p "$run"
cp -r examples/host "$run/host"
cp -r examples/host "$run/before"
host=$(cd "$run/host" && pwd)
# The registry stand-in: HKEY_CLASSES_ROOT\ExampleHost\dstDir = the host directory.
printf 'REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\ExampleHost\\dstDir]\r\n@="%s/"\r\n' "$host" > "$run/registry.reg"
echo "$ EXTMERGE_REGISTRY=$run/registry.reg build/native/extmerge ExampleHost"
EXTMERGE_REGISTRY="$run/registry.reg" build/native/extmerge ExampleHost
for cat in Data/Template/Template.dat Data/Backgrnd/BackGrnd.dat; do
  echo
  echo "--- changes in $cat ---"
  diff -u --label "before/$cat" --label "after/$cat" \
    <(iconv -f CP932 -t UTF-8 "$run/before/$cat" | tr -d '\r') \
    <(iconv -f CP932 -t UTF-8 "$run/host/$cat" | tr -d '\r') || true
done
