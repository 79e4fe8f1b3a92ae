#!/usr/bin/env bash
# The npm package in Node against the native library: every family at its defaults over a
# 10-minute stereo 44100 Hz file in tmpfs, in memory, processor seconds (medians of ROUNDS, the
# three builds side by side in each round): the native build on its scalar path
# (WAVFX_VECTOR_PATH=scalar; floats, or 16-bit samples for the families that reshape the stream,
# which it runs on those only), the scalar WebAssembly build and the SIMD one (floats, planar in
# and out). Then the AudioWorklet processor's time per 128-frame quantum for the README's
# chains. Writes the section into docs/benchmarks.md and prints it.
# Usage: scripts/bench_web.sh [ROUNDS]   (default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-3}
scripts/setup.sh emscripten nodejs
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target wavfx_bench_memory wavfx_make_bench_wav >/dev/null
scripts/web_build.sh >/dev/null
work=$(mktemp -d /dev/shm/wavfx-web-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
build/bench/wavfx_make_bench_wav "$work/in.wav" 10 >/dev/null

# Each family once at its defaults; norm and loudnorm with their measurement given, and families
# whose defaults copy the samples (which the native build skips) at a setting that does work.
mapfile -t families < <(node --input-type=module -e "
import { loadWavfx } from './web/src/wavfx.js';
const fx = await loadWavfx();
const given = { norm: 'norm=peak=-3', loudnorm: 'loudnorm=measured=-20:peak=-3',
  gain: 'gain=db=-3', equalizer: 'equalizer=gain=-6', bass: 'bass=gain=6', treble: 'treble=gain=-6',
  resample: 'resample=rate=48000', speed: 'speed=factor=1.1', remix: 'remix=map=0.5*1+0.5*2|2',
  trim: 'trim=start=1', pad: 'pad=end=1', fade: 'fade=in=1:out=1', tempo: 'tempo=factor=1.25',
  pitch: 'pitch=cents=-300' };
for (const { name } of fx.effects()) {
  const text = given[name] ?? name;
  const chain = fx.chain(text, { channels: 2, sampleRate: 44100 });
  console.log((chain.reshapes ? '' : 'float:') + text);
  chain.dispose();
}")
for round in $(seq "$rounds"); do
  WAVFX_VECTOR_PATH=scalar build/bench/wavfx_bench_memory "$work/in.wav" 1 "${families[@]}" \
    | sed 's/^float://' >>"$work/native.tsv"
  node web/bench/speed.js "$work/in.wav" 1 "${families[@]#float:}" >>"$work/wasm.tsv"
  node web/bench/speed.js --simd "$work/in.wav" 1 "${families[@]#float:}" >>"$work/simd.tsv"
done
heavy=("highpass=cutoff=120,compress=threshold=-18:ratio=3,reverb"
  "lowpass,highpass,compress,distort,tremolo,echo,chorus,flanger,reverb")
node web/bench/speed.js --worklet "$work/in.wav" "$rounds" "${heavy[@]}" >"$work/worklet.tsv"
node web/bench/speed.js --simd --worklet "$work/in.wav" "$rounds" "${heavy[@]}" >"$work/worklet-simd.tsv"

section=$(/usr/bin/python3 - "$work" "$rounds" "$(lscpu | sed -n 's/^Model name: *//p')" <<'PY'
import statistics, sys
work, rounds, cpu = sys.argv[1], sys.argv[2], sys.argv[3]
def medians(name):
    runs = {}
    for line in open(f"{work}/{name}.tsv"):
        chain, seconds = line.rstrip("\n").split("\t")
        runs.setdefault(chain, []).append(float(seconds))
    return {chain: statistics.median(values) for chain, values in runs.items()}
native, wasm, simd = medians("native"), medians("wasm"), medians("simd")
print("## WebAssembly (npm package in Node) against the native scalar build\n")
print(f"`scripts/bench_web.sh {rounds}` on {cpu}: processor seconds for a 10-minute stereo 44100 Hz")
print("buffer in memory, median of", rounds, "rounds; the native build (RelWithDebInfo, GCC -O2)")
print("on its scalar path, the package's scalar and SIMD builds (emscripten -O3) in Node 20.\n")
print("| family | native scalar s | wasm s | wasm SIMD s | wasm / native | SIMD / native |")
print("|---|---:|---:|---:|---:|---:|")
worst = {}
for chain in native:
    n, w, s = native[chain], wasm[chain], simd[chain]
    if chain != "none":
        worst[chain] = min(w, s) / n
    print(f"| `{chain}` | {n:.3f} | {w:.3f} | {s:.3f} | {w / n:.2f} | {s / n:.2f} |")
slowest = max(worst, key=worst.get)
over = sorted(c for c, r in worst.items() if r > 2)
print(f"\nThe package's better build is at most {worst[slowest]:.2f}x native scalar (`{slowest}`);")
print("over 2x:", ", ".join(f"`{c}`" for c in over) if over else "none", end=". ")
print("`none` copies in and out of the heap where the native build does nothing; the package")
print("always pays two block copies and an interleave each way. The native build runs the families")
print("that reshape the stream on 16-bit samples (bench/in_memory.cpp), the package on floats.\n")
quantum = 128 / 44100 * 1e6
print("AudioWorklet processor (`web/src/worklet.js`, called quantum by quantum in Node), microseconds")
print(f"per 128-frame stereo quantum ({quantum:.0f} us of audio at 44100 Hz):\n")
print("| chain | wasm us | wasm SIMD us | real-time share |")
print("|---|---:|---:|---:|")
scalar_q, simd_q = medians("worklet"), medians("worklet-simd")
for chain in scalar_q:
    a, b = scalar_q[chain] * 1e6, simd_q[chain] * 1e6
    print(f"| `{chain}` | {a:.1f} | {b:.1f} | {min(a, b) / quantum:.1%} |")
PY
)
/usr/bin/python3 scripts/bench_section.py "$section"
echo "$section"
