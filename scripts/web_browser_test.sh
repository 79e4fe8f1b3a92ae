#!/usr/bin/env bash
# Drives the playground (web/playground/) in headless Chromium through puppeteer-core with the
# system's browser (no browser download): its results must be the native command line's bytes.
# Writes docs/images/playground.png, the README's screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh chromium nodejs
command -v npm >/dev/null || scripts/setup.sh npm

[ -x build/wavfx ] || { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
  cmake --build build --target wavfx; }
[ -f web/dist/wavfx.js ] || bash scripts/web_build.sh
(cd web/test-browser && PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund --loglevel=error)
node --test web/test-browser/
