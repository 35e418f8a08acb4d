#!/usr/bin/env bash
# The editor's interaction benchmark: builds of the plug-in driven through a
# virtual X server of their own with XTest (knob drag, curve point drag,
# hover sweep, idle with a moving scope; scale 1 and 2). Each round runs
# every build once, in turn, so that builds compared share the same moments
# of a busy machine; the figures are CPU times, wall time only for rates.
#
#   scripts/editor-interaction-bench.sh [-d DISPLAY] [-r ROUNDS] [LABEL=PLUGIN.clap ...]
#
# Without builds it measures build/default (cmake --build --preset default
# --target editor_interaction_bench norvale_module first).
set -euo pipefail
cd "$(dirname "$0")/.."

display=:120
rounds=1
while getopts "d:r:" option; do
  case $option in
    d) display=$OPTARG ;;
    r) rounds=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=("this=build/default/bundles/Norvale.clap")
bench=build/default/bench/editor_interaction_bench
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }

Xvfb "$display" -screen 0 2900x1800x24 -nolisten tcp -noreset 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -S "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done

for round in $(seq "$rounds"); do
  echo "# round $round of $rounds, load average $(cut -d' ' -f1-3 /proc/loadavg)"
  for build in "${builds[@]}"; do
    DISPLAY=$display "$bench" "${build#*=}" "$server" "${build%%=*}" | { [ "$build" = "${builds[0]}" ] && [ "$round" = 1 ] && cat || tail -n +2; }
  done
done
