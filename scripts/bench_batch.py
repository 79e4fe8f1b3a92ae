"""Batches of 64 one-second 16 kHz clips through a typical augmentation chain: wavfx.process_batch
(1 thread to all) against torchaudio's sox_effects.apply_effects_tensor on the equivalent SoX
list, item by item. Rounds in shuffled order after a warm-up, all in one run; medians of wall
and processor time, ratios as medians of the rounds' ratios. Writes the "Batches for training"
section of docs/benchmarks.md.

Run by scripts/bench_batch.sh [ROUNDS], in /dev/shm with the venv of scripts/python_build.sh.
"""
import os
import random
import statistics
import subprocess
import sys
import time

import numpy as np
import torch
import torchaudio
import wavfx

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RATE, ITEMS = 16000, 64
# (name, wavfx chain, SoX list) with the speed factor left to each round: one draw per batch.
EFFECTS = [
    ("reverb", "speed=factor={f},resample=rate=16000,equalizer=frequency=1000:q=1:gain=3,"
     "reverb,gain=db=-3", [["speed", "{f}"], ["rate", "16000"], ["equalizer", "1000", "1q", "3"],
                           ["reverb", "50"], ["gain", "-3"]]),
    ("echo", "speed=factor={f},resample=rate=16000,equalizer=frequency=1000:q=1:gain=3,"
     "echo=delay=60:feedback=0.4:wet=0.4:dry=0.8,gain=db=-3",
     [["speed", "{f}"], ["rate", "16000"], ["equalizer", "1000", "1q", "3"],
      ["echo", "0.8", "0.9", "60", "0.4"], ["gain", "-3"]]),
]
# How a round draws its speed factor: from Kaldi's and Lhotse's three, or from a range (a ratio
# of large coprime rates, where the resamplers interpolate between their filter's phases).
SPEEDS = [
    ("speed 0.9, 1 or 1.1", lambda rng: rng.choice(["0.9", "1", "1.1"])),
    ("speed 0.9..1.1", lambda rng: f"{rng.uniform(0.9, 1.1):.4f}"),
]
CHAINS = [(f"{effect}, {speed}", chain, sox, speed)
          for speed, _ in SPEEDS for effect, chain, sox in EFFECTS]


def clips():
    """Noise shaped like speech: bursts of filtered noise at syllable rate."""
    rng = np.random.default_rng(1)
    t = np.arange(RATE) / RATE
    envelope = 0.5 + 0.5 * np.sin(2 * np.pi * 4 * t + rng.uniform(0, 6, (ITEMS, 1, 1)))
    noise = np.cumsum(rng.standard_normal((ITEMS, 1, RATE)), axis=2)
    noise -= noise.mean(axis=2, keepdims=True)
    return torch.from_numpy((0.3 * envelope * noise / np.abs(noise).max()).astype(np.float32))


def timed(call):
    wall, cpu = time.perf_counter(), time.process_time()
    call()
    return time.perf_counter() - wall, time.process_time() - cpu


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    threads = os.cpu_count() or 1
    audio = clips()
    cases = []
    for name, chain, sox, _ in CHAINS:
        for n in sorted({1, threads}):
            cases.append((f"{name}: wavfx, {n} thread{'s' if n > 1 else ''}",
                          lambda f, c=chain, n=n: wavfx.process_batch(audio, RATE, c.format(f=f),
                                                                      threads=n)))
        cases.append((f"{name}: torchaudio, item by item", lambda f, s=sox: [
            torchaudio.sox_effects.apply_effects_tensor(
                item, RATE, [[a.format(f=f) for a in effect] for effect in s])
            for item in audio]))
    times = {name: [] for name, _ in cases}
    rng = random.Random(2)
    speeds = {name: speed for name, _, _, speed in CHAINS}
    for r in range(rounds + 1):
        factors = {speed: draw(rng) for speed, draw in SPEEDS}
        order = list(cases)
        rng.shuffle(order)
        for name, call in order:
            factor = factors[speeds[name.split(":")[0]]]
            spent = timed(lambda: call(factor))
            if r > 0:  # the first round warms up
                times[name].append(spent)
    rows = []
    for name, _ in cases:
        wall = statistics.median(t for t, _ in times[name])
        cpu = statistics.median(c for _, c in times[name])
        rows.append(f"| {name} | {wall:.4f} | {cpu:.4f} | {ITEMS / wall:.0f} |")
    goals = []
    for name, _, _, _ in CHAINS:
        peer = times[f"{name}: torchaudio, item by item"]
        for n in sorted({1, threads}):
            mine = times[f"{name}: wavfx, {n} thread{'s' if n > 1 else ''}"]
            wall = statistics.median(p[0] / m[0] for p, m in zip(peer, mine))
            cpu = statistics.median(p[1] / m[1] for p, m in zip(peer, mine))
            goals.append(f"| {name}: torchaudio / wavfx, {n} thread{'s' if n > 1 else ''} >= 5 "
                         f"| {wall:.1f} | {cpu:.1f} | {'yes' if wall >= 5 else '**no**'} |")
        if threads > 1:
            one, all_ = (times[f"{name}: wavfx, {n} thread{'s' if n > 1 else ''}"]
                         for n in (1, threads))
            scaling = statistics.median(a[0] / b[0] for a, b in zip(one, all_))
            goals.append(f"| {name}: wavfx 1 thread / {threads} threads (wall) | {scaling:.2f} "
                         f"| | |")
    cpu_name = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
    cpu_name = next((line.split(":", 1)[1].strip() for line in cpu_name.splitlines()
                     if line.startswith("Model name")), "unknown")
    load = os.getloadavg()[0]
    section = f"""## Batches for training

Written by `scripts/bench_batch.sh {rounds}` on {time.strftime('%F')}. Machine: {cpu_name}, {threads} cores (load average {load:.1f} when it ended: the cores are shared); Python {sys.version.split()[0]}, torch {torch.__version__}, torchaudio {torchaudio.__version__} (Debian).

A batch of {ITEMS} one-second 16 kHz mono float32 clips (a tensor) through speed (one factor drawn per round: from 0.9, 1 and 1.1 as Kaldi and Lhotse perturb, or from 0.9 to 1.1 to four decimals), resampling to 16 kHz, a peaking equaliser, reverb or echo, and gain: `wavfx.process_batch` on the wavfx chain, and torchaudio's `sox_effects.apply_effects_tensor` item by item on the SoX list (`speed F`, `rate 16000`, `equalizer 1000 1q 3`, `reverb 50` or `echo 0.8 0.9 60 0.4`, `gain -3`). wavfx's `reverb` is its own four-comb design, lighter than SoX's Freeverb-style one; the echo rows compare like with like. {rounds} rounds after a warm-up, in shuffled order, in memory; wall and processor time (all threads) per batch, medians; ratios are medians of the rounds' ratios.

| case | wall s | processor s | items/s |
|---|---:|---:|---:|
{chr(10).join(rows)}

| goal | wall ratio | processor ratio | met |
|---|---:|---:|---|
{chr(10).join(goals)}
"""
    os.chdir(ROOT)
    subprocess.run(["/usr/bin/python3", "scripts/bench_section.py", section], check=True)
    print(section)


if __name__ == "__main__":
    main()
