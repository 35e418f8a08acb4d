#!/usr/bin/env bash
# Installs what is missing, builds the optimised and the sanitizer presets and
# runs the whole test suite under both, then the thread tests under
# ThreadSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
status=0
for preset in default asan; do
  echo "== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== ${preset}: tests"
  if ! ctest --preset "$preset" -j "$jobs"; then
    status=1
  fi
done
# ThreadSanitizer only over the tests whose threads meet (label "threads").
echo "== tsan: configure and build"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
echo "== tsan: tests labelled threads"
if ! ctest --preset tsan -j "$jobs"; then
  status=1
fi
exit $status
