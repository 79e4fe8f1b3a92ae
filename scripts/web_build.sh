#!/usr/bin/env bash
# Builds the library to WebAssembly for the npm package in web/: the scalar build into
# web/dist/wavfx.js and, with WebAssembly SIMD, web/dist/wavfx-simd.js (ES modules with the wasm
# embedded). Installs Debian's emscripten when it is missing.
# Usage: scripts/web_build.sh [scalar|simd]...   (both by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
command -v emcc >/dev/null || scripts/setup.sh emscripten nodejs
# Emscripten's JavaScript optimiser needs Debian's acorn, which Node does not look for by itself.
export NODE_PATH=/usr/share/nodejs
exports=$(sed -n 's/^ *\(wavfx_[a-z0-9_]*\);$/_\1/p' src/entry/exports.map | paste -sd, -)
glue=$(sed -n 's/^WAVFX_API [^(]* \**\(wavfx_web_[a-z_]*\)(.*/_\1/p' web/wasm/web_glue.cpp | paste -sd, -)
mkdir -p web/dist
for variant in "${@:-scalar simd}"; do
  for kind in $variant; do
    # size_t is 32 bits in wasm32: the library's 64-bit frame counts narrow to it where they
    # index memory, which a 4 GB address space bounds anyway.
    flags="-O3 -include $root/web/wasm/compat.h -Wno-shorten-64-to-32"
    [ "$kind" = simd ] && flags="$flags -msimd128"
    dir=build-wasm-$kind
    emcmake cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWAVFX_SNDFILE=OFF \
      -DWAVFX_PLUGINS=OFF -DBUILD_TESTING=OFF -DCMAKE_CXX_FLAGS="$flags" >/dev/null
    cmake --build "$dir" -j2 --target wavfx_core -- -k 0
    name=wavfx$([ "$kind" = simd ] && echo -simd || true)
    # The same module twice: the wasm embedded (Node, pages), and beside its loader for an
    # AudioWorklet, which has no base64 decoder and takes the binary as wasmBinary.
    for single in 1 0; do
      out=web/dist/$name.js
      [ $single = 0 ] && out=$dir/$name.js
      em++ $flags -std=c++20 -ffp-contract=off -Wall -Wextra -Iinclude -Isrc \
        web/wasm/web_glue.cpp "$dir/libwavfx_core.a" -o "$out" -sSINGLE_FILE=$single \
        -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createWavfxModule -sALLOW_MEMORY_GROWTH=1 \
        -sFORCE_FILESYSTEM=1 -sENVIRONMENT=web,worker \
        -sEXPORTED_FUNCTIONS="_malloc,_free,_WAVEffect,$exports,$glue" \
        -sEXPORTED_RUNTIME_METHODS=FS,UTF8ToString,stringToUTF8,lengthBytesUTF8
    done
    cp "$dir/$name.wasm" "web/dist/$name.wasm"
    echo "web/dist/$name.js: $(stat -c %s "web/dist/$name.js") bytes"
  done
done
# The worklet declares its AudioParams before the module loads: the numeric parameter names.
node --input-type=module -e "
import { writeFileSync } from 'node:fs';
import { loadWavfx } from './web/src/wavfx.js';
const fx = await loadWavfx();
const names = new Set(fx.effects().flatMap((e) => e.parameters)
  .filter((p) => !p.choices && !p.text).map((p) => p.name));
writeFileSync('web/dist/parameters.js',
  'export const parameterNames = ' + JSON.stringify([...names].sort()) + ';\n');"
