#!/usr/bin/env bash
# Builds the WebAssembly package (and the native command line the tests compare with) and runs its
# Node tests: the golden tables, the error lines, file bytes, streaming, the worklet.
# Usage: scripts/web_test.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh emscripten nodejs
scripts/build.sh build >/dev/null
scripts/web_build.sh >/dev/null
WAVFX_WEB_TMP=/dev/shm node --test web/test/
