"""Times the Python module on a 10-minute stereo float32 array at 44.1 kHz against SciPy and NumPy
doing the same arithmetic, and against the C API driven through ctypes on the same buffer.

Usage: bench_python.py LIBWAVFX_SO [--rounds N] [--write docs/benchmarks.md]
"""

import argparse
import ctypes
import datetime
import os
import platform
import random
import re
import statistics
import subprocess
import time

import numpy as np
import scipy
import scipy.signal
import wavfx

RATE = 44100
FRAMES = 10 * 60 * RATE


def c_api(path):
    """Runs a chain through wavfx_effect_process_float in one call, on a new interleaved buffer
    that `interleave` makes from the input; returns `deinterleave` of it."""
    lib = ctypes.CDLL(path)
    lib.wavfx_chain_create.restype = ctypes.c_void_p
    lib.wavfx_chain_create.argtypes = [ctypes.c_char_p, ctypes.c_uint32, ctypes.c_uint32,
                                       ctypes.c_void_p]
    lib.wavfx_effect_process_float.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int32]
    lib.wavfx_effect_destroy.argtypes = [ctypes.c_void_p]
    error = ctypes.create_string_buffer(260)

    def run(audio, chain, interleave=np.copy, deinterleave=lambda out: out):
        out = interleave(audio)
        effect = lib.wavfx_chain_create(chain.encode(), out.shape[1], RATE, error)
        lib.wavfx_effect_process_float(effect, out.ctypes.data, out.shape[0])
        lib.wavfx_effect_destroy(effect)
        return deinterleave(out)

    return run


def tremolo_numpy(x, rate=5.0, depth=0.7):
    phase = 2 * np.pi * rate * np.arange(x.shape[-1]) / RATE
    gain = (1 - depth / 2 + (np.sin(phase) + 1) * depth / 2).astype(x.dtype)
    return x * gain


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("library")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--write")
    options = parser.parse_args()

    rng = np.random.default_rng(1)
    x32 = (0.25 * rng.standard_normal((2, FRAMES))).astype(np.float32)
    x64 = x32.astype(np.float64)
    interleaved = np.ascontiguousarray(x32.T)
    a = np.exp(-2 * np.pi * 3000 / RATE)
    b, den = [1 - a], [1, -a]
    run_c = c_api(options.library)

    def transposed(array):
        return np.ascontiguousarray(array.T)

    cases = {}
    for e in ("lowpass", "tremolo"):
        cases[f"{e}: wavfx, (frames, channels)"] = (
            lambda e=e: wavfx.process(interleaved, RATE, e, channels_last=True))
        cases[f"{e}: C API, (frames, channels)"] = lambda e=e: run_c(interleaved, e)
        cases[f"{e}: wavfx, (channels, frames)"] = lambda e=e: wavfx.process(x32, RATE, e)
        cases[f"{e}: C API, (channels, frames) interleaved by NumPy"] = (
            lambda e=e: run_c(x32, e, transposed, transposed))
    cases["lowpass: SciPy lfilter, float32"] = lambda: scipy.signal.lfilter(b, den, x32, axis=-1)
    cases["lowpass: SciPy lfilter, float64"] = lambda: scipy.signal.lfilter(b, den, x64, axis=-1)
    cases["tremolo: NumPy, float32"] = lambda: tremolo_numpy(x32)
    times = {name: [] for name in cases}
    order = random.Random(1)
    for index in range(options.rounds + 1):  # round-robin, in shuffled orders, after a warm-up
        names = list(cases)
        order.shuffle(names)
        for name in names:
            start = time.perf_counter()
            cases[name]()
            if index > 0:
                times[name].append(time.perf_counter() - start)
    lines = report(times, options.rounds)
    print("\n".join(lines))
    if options.write:
        with open(options.write, encoding="utf-8") as doc:
            text = re.sub(r"\n## Python module\n.*", "", doc.read(), flags=re.S).rstrip("\n")
        with open(options.write, "w", encoding="utf-8") as doc:
            doc.write(text + "\n\n" + "\n".join(lines) + "\n")


def report(times, rounds):
    median = {name: statistics.median(t) for name, t in times.items()}

    def ratio_of(first, second):  # the median of the rounds' ratios
        return statistics.median(a / b for a, b in zip(times[first], times[second]))

    lscpu = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
    cpu = re.search(r"Model name:\s*(.*)", lscpu)
    lines = [
        "## Python module",
        "",
        f"Written by `bash scripts/python_bench.sh` on {datetime.date.today()}: "
        f"`bench/python/bench_python.py`: a warm-up round, then {rounds} rounds in shuffled orders, "
        "all in one run; median times, and ratios as the median of the rounds' ratios.",
        "",
        f"Machine: {cpu.group(1) if cpu else platform.processor()}, {os.cpu_count()} cores; Python "
        f"{platform.python_version()}, NumPy {np.__version__}, SciPy {scipy.__version__} (Debian). "
        "A 10-minute 44100 Hz stereo float32 array in memory. SciPy runs the same one-pole "
        "(b = [1 - a], a = [1, -a], a = exp(-2π·3000/44100)), NumPy the same tremolo gain per "
        "frame. The C API (libwavfx.so through ctypes) runs in one call on an interleaved copy of "
        "the array; for a (channels, frames) array NumPy interleaves it and de-interleaves the "
        "result.",
        "",
        "| case | median s | M samples/s |",
        "|---|---:|---:|",
    ]
    for name, seconds in median.items():
        lines.append(f"| {name} | {seconds:.3f} | {2 * FRAMES / seconds / 1e6:.0f} |")
    lines += ["", "| goal | ratio | met |", "|---|---:|---|"]
    for effect, peer in (("lowpass", "SciPy lfilter, float32"),
                         ("lowpass", "SciPy lfilter, float64"), ("tremolo", "NumPy, float32")):
        ratio = ratio_of(f"{effect}: {peer}", f"{effect}: wavfx, (channels, frames)")
        met = "yes" if ratio >= 10 else "no"
        lines.append(f"| {effect}: {peer} / wavfx (channels, frames) >= 10 | {ratio:.1f} | {met} |")
        ratio = ratio_of(f"{effect}: {peer}", f"{effect}: C API, (frames, channels)")
        lines.append(f"| {effect}: {peer} / C API (frames, channels) | {ratio:.1f} | |")
    for effect in ("lowpass", "tremolo"):
        for layout, driver in (("(frames, channels)", "(frames, channels)"),
                               ("(channels, frames)", "(channels, frames) interleaved by NumPy"),
                               ("(channels, frames)", "(frames, channels)")):
            ratio = ratio_of(f"{effect}: wavfx, {layout}", f"{effect}: C API, {driver}")
            goal, met = "", ""
            if layout in driver:  # the same layout in
                goal, met = " <= 1.10", "yes" if ratio <= 1.1 else "no"
            name = f"{effect}: wavfx {layout} / C API {driver}{goal}"
            lines.append(f"| {name} | {ratio:.2f} | {met} |")
    return lines


if __name__ == "__main__":
    main()
