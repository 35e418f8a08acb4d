#!/usr/bin/env bash
# Installs what is missing and builds the optimised preset; later steps install
# the plug-in bundles and render a demo through it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
