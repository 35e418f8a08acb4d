#!/usr/bin/env bash
# Fails when a C or C++ source differs from what the repository's .clang-format makes of it.
cd "$(dirname "$0")/.."
git ls-files -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | grep -v '^abi/' |
    xargs -r clang-format-14 --dry-run --Werror
