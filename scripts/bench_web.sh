#!/usr/bin/env bash
# The npm package in Node against the native library: every family at its defaults over a
# 10-minute stereo 44100 Hz file in tmpfs, in memory, processor seconds (medians of ROUNDS, the
# builds side by side in each round). The same job three times: the native build on its scalar
# path (WAVFX_VECTOR_PATH=scalar) running the package's glue natively (bench/package_job.cpp),
# the scalar WebAssembly build and the SIMD one (web/bench/speed.js): planar floats in and out.
# For reference, the first round also times the native in-memory job of bench/in_memory.cpp
# (floats in place, or 16-bit samples for the families that reshape the stream). Then the
# AudioWorklet processor's time per 128-frame quantum for the README's chains. Writes the section
# into docs/benchmarks.md and prints it. The resampler's families (resample, speed, pitch) run in
# the first RESAMPLER_ROUNDS rounds only.
# Usage: scripts/bench_web.sh [ROUNDS [RESAMPLER_ROUNDS]]   (default 3, and ROUNDS)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-3}
resampler_rounds=${2:-$rounds}
scripts/setup.sh emscripten nodejs
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target wavfx_bench_memory wavfx_bench_package wavfx_make_bench_wav >/dev/null
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
WAVFX_VECTOR_PATH=scalar build/bench/wavfx_bench_memory "$work/in.wav" 1 "${families[@]}" \
  | sed 's/^float://' >"$work/memory.tsv"
for round in $(seq "$rounds"); do
  chains=()
  for family in "${families[@]#float:}"; do
    [[ $round -gt $resampler_rounds && $family =~ ^(resample|speed|pitch) ]] || chains+=("$family")
  done
  WAVFX_VECTOR_PATH=scalar build/bench/wavfx_bench_package "$work/in.wav" 1 "${chains[@]}" \
    >>"$work/native.tsv"
  node web/bench/speed.js "$work/in.wav" 1 "${chains[@]}" >>"$work/wasm.tsv"
  node web/bench/speed.js --simd "$work/in.wav" 1 "${chains[@]}" >>"$work/simd.tsv"
done
heavy=("highpass=cutoff=120,compress=threshold=-18:ratio=3,reverb"
  "lowpass,highpass,compress,distort,tremolo,echo,chorus,flanger,reverb")
node web/bench/speed.js --worklet "$work/in.wav" "$rounds" "${heavy[@]}" >"$work/worklet.tsv"
node web/bench/speed.js --simd --worklet "$work/in.wav" "$rounds" "${heavy[@]}" >"$work/worklet-simd.tsv"

section=$(/usr/bin/python3 - "$work" "$rounds" "$resampler_rounds" "$(lscpu | sed -n 's/^Model name: *//p')" <<'PY'
import statistics, sys, textwrap
work, rounds, slow, cpu = sys.argv[1:5]
def medians(name):
    runs = {}
    for line in open(f"{work}/{name}.tsv"):
        chain, seconds = line.rstrip("\n").split("\t")
        runs.setdefault(chain, []).append(float(seconds))
    return {chain: statistics.median(values) for chain, values in runs.items()}
native, wasm, simd, memory = (medians(n) for n in ("native", "wasm", "simd", "memory"))
print("## WebAssembly (npm package in Node) against the native scalar build\n")
command = f"scripts/bench_web.sh {rounds}" + ("" if slow == rounds else f" {slow}")
fewer = "" if slow == rounds else f" ({slow} for `resample`, `speed` and `pitch`, 10 to 50 s a build)"
print(textwrap.fill(
    f"`{command}` on {cpu}: processor seconds for a 10-minute stereo 44100 Hz buffer in memory, "
    f"median of {rounds} rounds{fewer}. Every column but the last times the same job, the "
    "package's: planar Float32 channels through `Chain.process` then `Chain.flush` "
    "(web/src/wavfx.js), that is per 16384-frame block a copy of each channel into a planar "
    "scratch, `wavfx_web_interleave`, `wavfx_effect_process_float` in place (or "
    "`wavfx_effect_flow_float` call after call into a 16384-frame output), "
    "`wavfx_web_deinterleave` and a copy of each channel out: into arrays made beforehand when "
    "the chain keeps the stream's shape, else into new arrays per call, concatenated at the end. "
    "*native scalar* is bench/package_job.cpp, which links web/wasm/web_glue.cpp and makes those "
    "calls natively (RelWithDebInfo, GCC -O2, WAVFX_VECTOR_PATH=scalar, thread processor time); "
    "*wasm* and *wasm SIMD* are the package's two builds (emscripten -O3) under "
    "web/bench/speed.js in Node 20 (process time, collector included). *native in place* is for "
    "reference only, one round of bench/in_memory.cpp: floats in place for the families that "
    "keep the shape, 16-bit samples through `FlowChainSamples` for the rest, no planar copies.",
    100, break_long_words=False, break_on_hyphens=False) + "\n")
print("| family | native scalar s | wasm s | wasm SIMD s | wasm / native | SIMD / native | native in place s |")
print("|---|---:|---:|---:|---:|---:|---:|")
worst = {}
for chain in native:
    n, w, s = native[chain], wasm[chain], simd[chain]
    worst[chain] = min(w, s) / n
    print(f"| `{chain}` | {n:.3f} | {w:.3f} | {s:.3f} | {w / n:.2f} | {s / n:.2f} | {memory[chain]:.3f} |")
slowest = max(worst, key=worst.get)
over = sorted(c for c, r in worst.items() if r > 2)
print(f"\nThe package's better build is at most {worst[slowest]:.2f}x native scalar (`{slowest}`);")
print("over 2x:", ", ".join(f"`{c}`" for c in over) if over else "none", end=".\n\n")
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
