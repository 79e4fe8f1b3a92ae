#!/usr/bin/env bash
# freeverb against SoX's reverb, opt-in (not in CI): a 10-minute 44100 Hz stereo 16-bit file in
# tmpfs (wavfx_make_bench_wav), file to file, `wavfx ... freeverb=...` against `sox -D ... reverb
# ...` with the same settings. Medians of processor time (user + system) over ROUNDS rounds in one
# run, every command in turn; prints the section of docs/benchmarks.md, or with --write replaces
# it there. Usage: scripts/bench_freeverb.sh [ROUNDS] [--write] [BUILD_DIR]
#   (default 5 rounds, build-release: configured and built when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
write=${2:-}
build=${3:-build-release}
scripts/setup.sh sox
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j 2 --target wavfx_cli wavfx_make_bench_wav >/dev/null
work=$(mktemp -d /dev/shm/wavfx-bench-freeverb.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench/wavfx_make_bench_wav" "$work/in.wav" 10

/usr/bin/python3 - "$rounds" "$work" "$build" "$write" <<'PY'
import re, resource, statistics, subprocess, sys, time
rounds, work, build, write = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4] == "--write"
src, out = f"{work}/in.wav", f"{work}/out.wav"
config = next(l.split("=", 1)[1].strip() for l in open(f"{build}/CMakeCache.txt")
              if l.startswith("CMAKE_BUILD_TYPE:"))
# wavfx chain | SoX effect
cases = [
    ("freeverb", "reverb"),
    ("freeverb=reverberance=80:damping=30:room=60:depth=50:predelay=20:wet=3",
     "reverb 80 30 60 50 20 3"),
    ("freeverb=depth=0", "reverb 50 50 100 0"),
]

def cpu_of(argv):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime), wall

commands = {}
for chain, sox in cases:
    commands[(chain, "wavfx")] = [f"{build}/wavfx", "-q", src, out, chain]
    commands[(chain, "sox")] = ["sox", "-D", src, out] + sox.split()
times = {key: [] for key in commands}
for _ in range(rounds):
    for key, argv in commands.items():
        times[key].append(cpu_of(argv))
cpu = next(l.split(":", 1)[1].strip() for l in subprocess.run(
    ["lscpu"], capture_output=True, text=True).stdout.splitlines() if l.startswith("Model name"))

def med(key, i=0):
    return statistics.median(t[i] for t in times[key])

lines = ["## Freeverb", "",
         f"Written by `scripts/bench_freeverb.sh {rounds}` on {time.strftime('%Y-%m-%d')} "
         f"({config} build). Machine: {cpu}, 2 cores shared with other work; SoX v14.4.2 with -D.",
         "", "A 10-minute 44100 Hz stereo 16-bit file (`wavfx_make_bench_wav`) in tmpfs, file to "
         f"file (16-bit WAV out), medians of processor time (user + system) over {rounds} rounds "
         "in one run, every command in turn, wall-clock in parentheses. Both run the same "
         "network in single precision, one sample at a time through each line (a comb's damping "
         "memory is a recurrence); a stereo depth doubles the networks.", "",
         "| wavfx | file s (wall) | sox -D s (wall) | sox / wavfx |", "|---|---:|---:|---:|"]
for chain, sox in cases:
    ours, peer = med((chain, "wavfx")), med((chain, "sox"))
    lines.append(f"| `{chain}` | {ours:.3f} ({med((chain, 'wavfx'), 1):.3f}) | {peer:.3f} "
                 f"({med((chain, 'sox'), 1):.3f}) `{sox}` | {peer / ours:.2f} x |")
text = "\n".join(lines) + "\n"
if not write:
    print(text)
    sys.exit(0)
path = "docs/benchmarks.md"
doc = open(path).read()
match = re.search(r"^## Freeverb\n.*?(?=^## |\Z)", doc, flags=re.S | re.M)
doc = doc[:match.start()] + text + "\n" + doc[match.end():] if match else doc.rstrip("\n") + "\n\n" + text
open(path, "w").write(doc)
print(text)
PY
