import os
import struct
import subprocess

import numpy as np
import pytest
import wavfx

RATE = 44100
# Every family, but those that measure the whole stream first (norm, loudnorm): a stream in
# blocks cannot run them. The dither follows the depth a file is written at and dithers for 16
# bits in memory: the comparison names its depth.
CHAINS = [
    family["name"] + ("=bits=16" if family["name"] == "dither" else "")
    for family in wavfx.effects()
    if wavfx._core.measure_chain(family["name"], np.zeros(8, np.float32), 8000, False)
    == family["name"]
] + [
    "lowpass=cutoff=2000,echo=delay=250:feedback=0.3",
    "highpass=cutoff=120,compress=threshold=-18:ratio=3,reverb=size=1.5",
    "antique=bits=4,widen=width=2,chorus,distort=drive=8",
]


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("WAVFX_CLI", "build/wavfx")
    assert os.access(path, os.X_OK), f"no command-line tool at {path} (set WAVFX_CLI)"
    return path


def run_cli(cli, *arguments):
    """The tool's exit status and standard error."""
    done = subprocess.run([cli, *map(str, arguments)], capture_output=True, text=True)
    return done.returncode, done.stderr


def signal(frames=RATE, channels=2, seed=7):
    """float32 noise and a sine sweep, with a burst beyond full scale."""
    rng = np.random.default_rng(seed)
    t = np.arange(frames) / RATE
    audio = 0.3 * rng.standard_normal((channels, frames)) + 0.5 * np.sin(400 * np.pi * t * (1 + t))
    audio[:, frames // 3 : frames // 3 + 500] *= 4
    return audio.astype(np.float32)


def as_dtype(audio, dtype):
    if np.dtype(dtype).kind == "f":
        return audio.astype(dtype)
    top = np.iinfo(dtype).max
    return np.clip(np.round(audio * top), -top - 1, top).astype(dtype)


def tensor_forms(audio):
    """The array, and a tensor sharing its samples when torch is installed."""
    try:
        import torch
    except ImportError:
        return [audio]
    return [audio, torch.from_numpy(audio)]


def write_wav16(path, audio):
    """A plain 16-bit PCM WAV file, which takes the command line's strict path."""
    data = np.ascontiguousarray(audio.T).astype("<i2").tobytes()
    channels = audio.shape[0]
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data), b"WAVE", b"fmt ", 16, 1,
                         channels, RATE, RATE * 2 * channels, 2 * channels, 16, b"data", len(data))
    path.write_bytes(header + data)
