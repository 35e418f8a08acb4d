#!/usr/bin/env bash
# Fails when a source file includes against the library map (README,
# "Where things are"): each library may include itself and the libraries
# listed before it, the VST 3 adapter only itself. Also fails on a loop of
# includes between files of the libraries. tests/, bench/ and fuzz/ may
# include anything.
set -euo pipefail
cd "$(dirname "$0")/.."

# The library a file belongs to, as its rank in the one-way order.
rank() {
  case "$1" in
    dsp/*) echo 0 ;;
    plugin/params.* | plugin/param_desc.h | plugin/product.h) echo 1 ;;
    presets/*) echo 2 ;;
    plugin/gui_delegate.h | plugin/curve_access.h) echo 3 ;;
    gui/*) echo 4 ;;
    plugin/*) echo 5 ;;
    tools/*) echo 6 ;;
    wrapper/*) echo wrapper ;;
    *) echo any ;;
  esac
}
names=(dsp "parameter table" presets "editor interfaces" gui plug-in tools)

status=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
while IFS= read -r file; do
  from=$(rank "$file")
  [ "$from" = any ] && continue
  while IFS= read -r included; do
    # Quoted includes resolve beside the file, then from the top, then from tools/.
    target=""
    for candidate in "$(dirname "$file")/$included" "$included" "tools/$included"; do
      if [ -f "$candidate" ]; then
        target=$(realpath --relative-to=. "$candidate")
        break
      fi
    done
    [ -n "$target" ] || continue # generated or outside the tree
    echo "$file $target" >>"$edges"
    to=$(rank "$target")
    if [ "$from" = wrapper ] || [ "$to" = wrapper ]; then
      [ "$from" = "$to" ] && continue
      echo "$file includes $target: the VST 3 adapter and the rest meet only at clap_entry"
      status=1
    elif [ "$to" = any ] || [ "$to" -gt "$from" ]; then
      echo "$file (${names[$from]}) includes $target: against the library map"
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files -- '*.h' '*.cpp' '*.c' | grep -v -E '^(abi|tests|bench|fuzz)/')

# Within the libraries a header and its source count as one unit, so a.cpp
# -> b.h and b.cpp -> a.h is a loop too.
if ! grep -v '^tools/' "$edges" | sed -E 's/\.(h|cpp|c)( |$)/\2/g' | awk '$1 != $2' | tsort >/dev/null 2>"$edges.loop"; then
  echo "include loop between files:"
  grep -v 'input contains a loop' "$edges.loop" | sed 's/^tsort: /  /'
  status=1
fi
rm -f "$edges.loop"
exit $status
