#!/usr/bin/env bash
# Installs the Debian packages wavfx builds and tests with, when they are missing.
# Usage: scripts/setup.sh [extra-package...]
set -euo pipefail

# lv2-dev and ladspa-sdk bring the plugin headers; scripts/plugins_test.sh adds the hosts.
# The WebAssembly scripts (web_build.sh, web_test.sh, bench_web.sh) add emscripten and nodejs.
packages=(cmake ninja-build g++ pkg-config python3 libgtest-dev libbenchmark-dev libsndfile1-dev sox
  pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-venv python3-pip
  python3-setuptools python3-wheel python3-dev python3-distributed python3-matplotlib
  python3-torch python3-torchaudio
  lv2-dev ladspa-sdk "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run as root, or install them with apt-get)" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
