#!/usr/bin/env bash
# Installs what is missing, builds the optimised and the sanitizer presets and
# runs the whole test suite under both. Exits non-zero on any failure.
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
exit $status
