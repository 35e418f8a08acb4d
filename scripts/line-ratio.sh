#!/usr/bin/env bash
# Non-blank lines of tests against non-blank lines of code (abi/ and tests/ apart);
# the project keeps the suite between a quarter and a third of the code.
cd "$(dirname "$0")/.."
count() { tr '\n' '\0' | xargs -0 -r cat | grep -c -v -E '^\s*$'; }
code=$(git ls-files -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | grep -v -E '^(tests|abi)/' | count)
tests=$(git ls-files -- 'tests/*' | grep -E '\.(c|cc|cpp|h|hpp)$' | count)
echo "non-blank lines: ${code} of code, ${tests} of tests ($((100 * tests / code)) %; the rule is 25-33 %)"
