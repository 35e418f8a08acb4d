#!/bin/sh
# Builds the libFuzzer targets under fuzz/ with clang++-14 and runs each for
# the given number of runs (default 20000) on its seed corpus.
#   scripts/fuzz.sh [runs]
set -eu
runs=${1:-20000}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j2
# The targets are the fuzz/fuzz_<name>.cpp files, as fuzz/CMakeLists.txt builds them.
for source in "$root"/fuzz/fuzz_*.cpp; do
  target=$(basename "$source" .cpp)
  target=${target#fuzz_}
  corpus="$root/fuzz/corpus/$target"
  dict="$root/fuzz/$target.dict"
  # New finds go to a scratch folder; the corpus in the repository stays as it is.
  scratch=$(mktemp -d)
  set -- -runs="$runs" -print_final_stats=1 -artifact_prefix="$build/$target-"
  [ -f "$dict" ] && set -- "$@" -dict="$dict"
  echo "== fuzz_$target: $runs runs"
  "$build/fuzz_$target" "$@" "$scratch" "$corpus"
  rm -rf "$scratch"
done
