#!/usr/bin/env bash
# Limiter and gate against FFmpeg's alimiter and agate (one thread), opt-in: a 10-minute 44100 Hz
# stereo 16-bit file of music in tmpfs (the asc-music MP3s, decoded) and the same 6 dB louder
# (so that the limiter works on most of it), every command once per round, rounds interleaved;
# prints the median processor time (user + system; the machine is shared) with the wall-clock
# median, and the peer's processor time over wavfx's. SoX has no limiter or
# gate of its own (only compand), so FFmpeg is the peer.
# Usage: scripts/bench_dynamics.sh [ROUNDS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
scripts/setup.sh ffmpeg asc-music
build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target wavfx_cli >/dev/null
work=$(mktemp -d /dev/shm/wavfx-dynamics.XXXXXX)
trap 'rm -rf "$work"' EXIT
music=/usr/share/games/asc/music
ffmpeg -nostdin -v error -y -i "$music/frontiers.mp3" -i "$music/machine_wars.mp3" \
  -i "$music/time_to_strike.mp3" \
  -filter_complex "[0:a][1:a][2:a]concat=n=3:v=0:a=1,aresample=44100" -t 600 -ac 2 \
  -c:a pcm_s16le -map_metadata -1 -fflags +bitexact -flags:a +bitexact "$work/music.wav"
ffmpeg -nostdin -v error -y -i "$work/music.wav" -af volume=6dB -c:a pcm_s16le "$work/loud.wav"
ff="ffmpeg -nostdin -v error -y -threads 1 -filter_threads 1"
/usr/bin/python3 - "$rounds" "$work" "$build/wavfx" "$ff" <<'PY'
import os, statistics, subprocess, sys, time
rounds, work, wavfx, ff = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
jobs = []
for name in ("music", "loud"):
    i, o = f"{work}/{name}.wav", f"{work}/out.wav"
    jobs += [
        (name, "limiter", f"{wavfx} --quiet {i} {o} limiter", "wavfx"),
        (name, "limiter", f"{wavfx} --quiet {i} {o} limiter=truepeak=0", "wavfx truepeak=0"),
        (name, "limiter", f"{ff} -i {i} -af alimiter=limit=0.891:attack=5:release=50 {o}",
         "ffmpeg alimiter"),
        (name, "gate", f"{wavfx} --quiet {i} {o} gate", "wavfx"),
        (name, "gate", f"{ff} -i {i} -af agate {o}", "ffmpeg agate"),
    ]
times = {j: [] for j in range(len(jobs))}
walls = {j: [] for j in range(len(jobs))}
for _ in range(rounds):
    for j, (_, _, command, _) in enumerate(jobs):
        start = time.perf_counter()
        child = subprocess.Popen(command.split())
        _, status, usage = os.wait4(child.pid, 0)
        walls[j].append(time.perf_counter() - start)
        if status != 0:
            sys.exit(f"failed: {command}")
        times[j].append(usage.ru_utime + usage.ru_stime)
print("| input | effect | command | processor s (wall) | FFmpeg / wavfx |")
print("|---|---|---|---:|---:|")
for j, (name, effect, command, label) in enumerate(jobs):
    peer = min(statistics.median(times[k]) for k, job in enumerate(jobs)
               if job[0] == name and job[1] == effect and job[3].startswith("ffmpeg"))
    median = statistics.median(times[j])
    print(f"| {name} | {effect} | {label} | {median:.3f} ({statistics.median(walls[j]):.3f}) "
          f"| {peer / median:.2f} |")
PY
