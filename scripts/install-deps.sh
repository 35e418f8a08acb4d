#!/usr/bin/env bash
# Installs the Debian 12 packages the build and tests need; does nothing for
# packages already present, so it is cheap to run before every build.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcairo2-dev libx11-dev libxkbcommon-dev libxrandr-dev libxtst-dev libxdamage-dev libfmt-dev
  libsndfile1-dev
  xvfb xauth fonts-dejavu-core dwarves python3
  clang-14 libclang-rt-14-dev clang-format-14
  juce-modules-source-data nettle-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root or install them" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
