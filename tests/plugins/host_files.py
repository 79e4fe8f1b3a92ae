"""Files and values for the plugin host checks (scripts/plugins_test.sh).

host_files.py make OUT CHANNELS RATE SECONDS
    writes a 32-bit float WAV file: noise under a swelling level plus a sine in each channel,
    every sample a multiple of 2^-23 (which hosts converting to 32-bit integers carry exactly)
    and none -0.
host_files.py compare LATENCY EXPECTED ACTUAL...
    compares the samples of float WAV files with those of EXPECTED bit for bit, the plugin's
    output lagging by LATENCY frames (silence first; EXPECTED's last frames are then cut off).
    Prints why each that does not agree differs; exits 1 when any does.
host_files.py within TOLERANCE LATENCY EXPECTED ACTUAL
    the same, within TOLERANCE once EXPECTED is clamped to full scale; prints the largest
    difference when within.
host_files.py latency LIBWAVFX CHAIN CHANNELS RATE
    prints the frames a fresh instance of CHAIN holds back (wavfx_effect_latency): the lag a
    plugin reports for it.
host_files.py values EFFECT defaults|shifted < LIST_JSON
    prints "name value" for each parameter of EFFECT from `wavfx --list --json`: its default,
    or a quarter of the way from it to the minimum (the maximum where the default is the
    minimum), whole where it must be (all the way when a quarter does not move it); each value
    rounded to single precision as a control port holds it, and written so that it reads back
    exactly; then a choice's name.
"""
import array
import ctypes
import json
import math
import struct
import sys

FLOAT = 3
EXTENSIBLE = 0xFFFE


def read(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"{path}: not a WAV file")
    offset, fmt, samples = 12, None, None
    while offset + 8 <= len(data):
        tag, size = data[offset:offset + 4], struct.unpack_from("<I", data, offset + 4)[0]
        body = data[offset + 8:offset + 8 + size]
        if tag == b"fmt ":
            kind, channels, rate = struct.unpack_from("<HHI", body)
            bits = struct.unpack_from("<H", body, 14)[0]
            if kind == EXTENSIBLE:
                kind = struct.unpack_from("<H", body, 24)[0]
            fmt = (kind, channels, rate, bits)
        elif tag == b"data":
            samples = array.array("f")
            samples.frombytes(body[:len(body) // 4 * 4])
        offset += 8 + size + (size & 1)
    if fmt is None or samples is None or fmt[0] != FLOAT or fmt[3] != 32:
        sys.exit(f"{path}: not a 32-bit float WAV file ({fmt})")
    if sys.byteorder != "little":
        samples.byteswap()
    return fmt[1], fmt[2], samples


def make(path, channels, rate, seconds):
    frames = int(rate * seconds)
    samples = array.array("f", bytes(4 * frames * channels))
    seed = 12345
    for i in range(frames * channels):
        seed = (seed * 1664525 + 1013904223) % 2**32
        frame, channel = divmod(i, channels)
        level = 0.05 + 0.6 * abs(math.sin(frame * 3.0 / rate))
        tone = math.sin(frame * 2 * math.pi * (220.0 + 110.0 * channel) / rate)
        value = ((seed >> 8) / 2**23 - 1.0) * level * 0.5 + tone * 0.3
        samples[i] = round(value * 2**23) / 2**23 + 0.0
    if sys.byteorder != "little":
        samples.byteswap()
    payload = samples.tobytes()
    fmt = struct.pack("<HHIIHHH", FLOAT, channels, rate, rate * channels * 4, channels * 4, 32, 0)
    fact = struct.pack("<I", frames)
    with open(path, "wb") as f:
        size = 4 + 8 + len(fmt) + 8 + len(fact) + 8 + len(payload)
        f.write(b"RIFF" + struct.pack("<I", size) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"fact" + struct.pack("<I", len(fact)) + fact)
        f.write(b"data" + struct.pack("<I", len(payload)) + payload)


def compare(expected_path, actual_path, tolerance, latency):
    channels, rate, expected = read(expected_path)
    actual_channels, actual_rate, actual = read(actual_path)
    lag = min(latency * channels, len(actual))
    if any(struct.pack("<f", a) != bytes(4) for a in actual[:lag]):
        print(f"{actual_path}: the first {latency} frames are not silence")
        return 1
    actual = actual[lag:]
    expected = expected[:len(expected) - lag]
    if (channels, rate, len(expected)) != (actual_channels, actual_rate, len(actual)):
        print(f"{actual_path}: {actual_channels} channels, {actual_rate} Hz, {len(actual)} "
              f"samples; expected {channels}, {rate}, {len(expected)}")
        return 1
    if tolerance is None:
        if expected.tobytes() == actual.tobytes():
            return 0
        first = next(i for i in range(len(expected))
                     if struct.pack("<f", expected[i]) != struct.pack("<f", actual[i]))
        print(f"{actual_path}: sample {first} is {actual[first]!r}, not {expected[first]!r}")
        return 1
    worst = max((abs(min(max(e, -1.0), 1.0) - a) for e, a in zip(expected, actual)), default=0.0)
    if not worst <= tolerance:
        print(f"{actual_path}: differs by up to {worst!r} (tolerance {tolerance!r})")
        return 1
    print(f"{worst:.3g}")
    return 0


def latency(library, chain, channels, rate):
    wavfx = ctypes.CDLL(library)
    wavfx.wavfx_chain_create.restype = ctypes.c_void_p
    wavfx.wavfx_chain_create.argtypes = [ctypes.c_char_p, ctypes.c_uint32, ctypes.c_uint32,
                                         ctypes.c_void_p]
    wavfx.wavfx_effect_latency.restype = ctypes.c_uint64
    wavfx.wavfx_effect_latency.argtypes = [ctypes.c_void_p]
    wavfx.wavfx_effect_destroy.argtypes = [ctypes.c_void_p]
    effect = wavfx.wavfx_chain_create(chain.encode(), int(channels), int(rate), None)
    if not effect:
        sys.exit(f"{chain}: refused")
    frames = wavfx.wavfx_effect_latency(effect)
    wavfx.wavfx_effect_destroy(effect)
    return frames


def single(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def values(effect, which):
    family = next(f for f in json.load(sys.stdin) if f["name"] == effect)
    for p in family["parameters"]:
        value = p["default"]
        if which == "shifted":
            end = p["min"] if p["default"] > p["min"] else p["max"]
            value += (end - value) * 0.25
            if p["integer"]:
                value = float(round(value))
                value = end if value == p["default"] else value
        # A choice is written by its name in a chain, by its index on a control port.
        choice = p["choices"][int(value)] if p.get("kind") == "choice" else ""
        print(p["name"], repr(single(value)), choice)


if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "make" and len(sys.argv) == 6:
        make(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5]))
    elif command == "compare" and len(sys.argv) >= 5:
        sys.exit(max(compare(sys.argv[3], actual, None, int(sys.argv[2]))
                     for actual in sys.argv[4:]))
    elif command == "within" and len(sys.argv) == 6:
        sys.exit(compare(sys.argv[4], sys.argv[5], float(sys.argv[2]), int(sys.argv[3])))
    elif command == "latency" and len(sys.argv) == 6:
        print(latency(*sys.argv[2:]))
    elif command == "values" and len(sys.argv) == 4:
        values(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
