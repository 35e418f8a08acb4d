#!/usr/bin/env bash
# Installs what is missing, checks the formatting and the include direction,
# builds the optimised and the sanitizer presets and runs the whole test
# suite under both, then the thread tests under ThreadSanitizer and a short
# run of every fuzzer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
status=0
echo "== format"
if ! bash scripts/check-format.sh; then
  echo "format: sources differ from .clang-format (run clang-format-14 -i on them)"
  status=1
fi
echo "== includes"
if ! bash scripts/check-includes.sh; then
  echo "includes: a file includes against the library map (README, Where things are)"
  status=1
fi
for preset in default asan; do
  echo "== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== ${preset}: tests"
  if ! ctest --preset "$preset" -j "$jobs"; then
    status=1
  fi
done
# ThreadSanitizer only over the programs whose tests let threads meet (label "threads").
echo "== tsan: configure and build"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target realtime_tests plugin_tests vst3_queue_tests
echo "== tsan: tests labelled threads"
if ! ctest --preset tsan -j "$jobs"; then
  status=1
fi
echo "== fuzz: a short run of each target"
if ! bash scripts/fuzz.sh 20000; then
  status=1
fi
bash scripts/line-ratio.sh
exit $status
