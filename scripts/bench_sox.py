"""wavfx.sox against torchaudio 0.13.1's sox_effects on typical augmentation lists: processor
time per call, medians in one run, for 1-second 16 kHz and 10-second 44.1 kHz stereo clips; the
section goes into docs/benchmarks.md. Usage (after scripts/python_build.sh):
build-python/venv/bin/python scripts/bench_sox.py [ROUNDS [TEXT]]
With TEXT only the lists that contain it run, and the rows are printed, not written."""
import datetime
import os
import subprocess
import sys
import time

import numpy as np
import torch
from torchaudio import sox_effects

from wavfx import sox

LISTS = [
    "speed 0.9;rate 16000",
    "pitch -150;rate 16000",
    "bandreject 2000 300h;lowpass 3000",
    "gain -n -10;remix -;speed 1.1;rate 16000;pad 0 0.5;trim 0 1",
    "tempo 1.2",
    "equalizer 1000 2q -6;bass 3;treble -2;fade q 0.1 0 0.1",
    "compand 0.3,1 6:-70,-60,-20 -5 -90 0.2",
    "compand 0.02,0.2,0.05,0.5 -80,-80,-40,-20,-10,-10 -3",
]
CLIPS = [(16000, 1.0), (44100, 10.0)]
WARM_UP = 20


def seconds(run, rounds):
    # A training loop calls these thousands of times: the first calls also pay for the pages
    # that the allocator maps for their arrays (on this kind of virtual machine, more than the
    # effects of a 1-second clip), so both sides are timed after WARM_UP calls.
    for _ in range(WARM_UP):
        run()
    times = []
    for _ in range(rounds):
        start = time.process_time()
        run()
        times.append(time.process_time() - start)
    return float(np.median(times))


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 9
    only = sys.argv[2] if len(sys.argv) > 2 else None
    torch.set_num_threads(1)
    rng = np.random.default_rng(3)
    rows = []
    for rate, length in CLIPS:
        x = torch.from_numpy((rng.uniform(-0.3, 0.3, (2, int(rate * length)))).astype(np.float32))
        for text in (entry for entry in LISTS if only is None or only in entry):
            effects = [entry.split() for entry in text.split(";")]
            ours = seconds(lambda: sox.apply_effects_tensor(x, rate, effects), rounds)
            peer = seconds(lambda: sox_effects.apply_effects_tensor(x, rate, effects), rounds)
            ratio = peer / ours
            rows.append(f"| {rate / 1000:g} kHz, {length:g} s | `{text.replace(';', ' ; ')}` | "
                        f"{ours * 1000:.2f} | {peer * 1000:.2f} | {ratio:.1f} | "
                        f"{'yes' if ratio >= 5 else '**no**'} |")
    cpu = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
    cpu = next(line.split(":", 1)[1].strip() for line in cpu.splitlines() if line.startswith("Model name"))
    section = f"""## SoX effect lists (wavfx.sox)

Written by `build-python/venv/bin/python scripts/bench_sox.py {rounds}` on {datetime.date.today()}. Machine: {cpu}, {os.cpu_count()} cores; torchaudio 0.13.1 (SoX 14.4.2), one thread.

Stereo float32 tensors of noise in memory, `wavfx.sox.apply_effects_tensor` against `torchaudio.sox_effects.apply_effects_tensor` on the same list, processor time per call in ms, medians of {rounds} calls in one run after {WARM_UP} calls of warm-up. The goal: wavfx at least 5 times faster.

| clip | effects | wavfx ms | torchaudio ms | torchaudio / wavfx | goal: >= 5 |
|---|---|---:|---:|---:|---|
""" + "\n".join(rows)
    if only is not None:
        print("\n".join(rows))
        return
    subprocess.run([sys.executable, "scripts/bench_section.py", section], check=True)
    print(section)


main()
