#!/usr/bin/env bash
# Installs what is missing, builds the optimised preset, installs the plug-in
# bundles for the current user and renders a demo loop through a built-in preset.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

build=build/default
install -d "$HOME/.clap"
install -m 644 "$build/bundles/Norvale.clap" "$HOME/.clap/Norvale.clap"
echo "Installed $HOME/.clap/Norvale.clap"
install -d "$HOME/.vst3"
rm -rf "$HOME/.vst3/Norvale.vst3"
cp -r "$build/bundles/Norvale.vst3" "$HOME/.vst3/"
echo "Installed $HOME/.vst3/Norvale.vst3"

out=$PWD/out
mkdir -p "$out"
render=("$build/bin/norvale-render" --plugin "$HOME/.clap/Norvale.clap")
"${render[@]}" --demo "$out/demo-dry.wav"
"${render[@]}" --demo --preset "Bended Duck" --plot "$out/demo-bended-duck.png" \
  "$out/demo-bended-duck.wav"
echo
echo "The demo loop, dry:                 $out/demo-dry.wav"
echo "Through the preset 'Bended Duck':   $out/demo-bended-duck.wav"
echo "Its level over time, in and out:    $out/demo-bended-duck.png"
