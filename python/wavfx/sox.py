"""SoX effect lists, as torchaudio's sox_effects took them, run through wavfx.

    from wavfx import sox
    audio, rate = sox.apply_effects_tensor(waveform, 16000, [["speed", "0.9"], ["rate", "16000"]])
    sox.translate([["lowpass", "-1", "300"], ["rate", "8000"]])  # the chain text that runs

SoX's argument syntax is read as SoX 14.4.2 reads it (frequencies with k, widths with q, o, h, k
or s, times as [[hh:]mm:]ss[.frac] or Ns sample counts, `=` and `-` positions, percentages). An
effect or argument that wavfx cannot honour raises ValueError naming it; nothing else runs in
its place. torchaudio's conventions hold: `speed` (and `pitch`) alone keep the samples and
multiply the rate; `speed` directly followed by `rate` converts once, from the relabelled rate,
as SoX does (`speed=factor=F:rate=R`), and so does a `speed` with other effects before a later
`rate` where the relabelled rate is a whole number (they run at it); else it resamples. Float input
and results are clipped to [-1, 1], as SoX's 32-bit integer samples are; unlike SoX, stages in
between do not clip.
"""

from __future__ import annotations

import math
import os
import re
from dataclasses import dataclass, field
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple

import numpy as np

from . import _core, info, process, read
from . import _channels as _channel_count
from . import _rate as _sample_rate

__all__ = ["apply_effects_file", "apply_effects_tensor", "effect_names", "translate"]


class _NeedsLength(Exception):
    """A stage whose text depends on the length of the stream it meets."""


@dataclass
class _Stream:
    rate: float  # SoX's rate of the stream, as speed and pitch relabel it
    run_rate: int  # the rate the chain runs at
    channels: Optional[int]
    frames: Optional[int]  # known only where a run has just ended
    bits: Optional[int]  # integer precision of the samples (dither), None for floats
    later_rate: bool = False  # a `rate` effect follows the current one
    next_rate: Optional[List[str]] = None  # the arguments of a `rate` directly after it
    took_next: bool = False  # the current one did that `rate`'s conversion too
    relabelled: bool = False  # the current one multiplied the rate: later stages run apart
    stages: List[str] = field(default_factory=list)


def _fail(effect: str, problem: str) -> ValueError:
    return ValueError(f"sox effect '{effect}': {problem}")


def _number(effect: str, text: str, what: str) -> float:
    try:
        value = float(text)
    except (TypeError, ValueError):
        raise _fail(effect, f"{what} '{text}' is not a number") from None
    if not math.isfinite(value):
        raise _fail(effect, f"{what} '{text}' is not a finite number")
    return value


def _frequency(effect: str, text: str) -> float:
    scale = 1000.0 if text.endswith("k") else 1.0
    return _number(effect, text[:-1] if scale > 1 else text, "frequency") * scale


def _width(effect: str, text: str, units: str) -> Tuple[float, str]:
    """A width and its unit letter (q, o, h, k or s); none written is the first of `units`."""
    unit = text[-1] if text and text[-1] in "qohks" else units[0]
    value = _number(effect, text[:-1] if text and text[-1] in "qohks" else text, "width")
    if unit not in units:
        raise _fail(effect, f"width '{text}': wavfx takes {', '.join(units)} widths here")
    if value <= 0:
        raise _fail(effect, f"width '{text}' must be above 0")
    return value, unit


_TIME = re.compile(r"^(?:(\d+):)??(?:(\d+):)?(\d*\.?\d*)$")


def _frames(effect: str, text: str, rate: float) -> int:
    """Frames of a SoX time: Ns samples or [[hh:]mm:]ss[.frac] seconds, to the nearest frame."""
    if text.endswith("s"):
        count = text[:-1]
        if not count.isdigit():
            raise _fail(effect, f"time '{text}' is not a sample count")
        return int(count)
    match = _TIME.match(text)
    if not match or match.group(3) in ("", "."):
        raise _fail(effect, f"time '{text}' is not [[hh:]mm:]ss[.frac] or Ns")
    hours, minutes, seconds = match.groups()
    total = int(hours or 0) * 3600 + int(minutes or 0) * 60 + float(seconds)
    return int(math.floor(total * rate + 0.5))


def _position(effect: str, text: str, stream: _Stream, before: int) -> int:
    """A SoX position: `=T` from the start, `-T` from the end, `+T` or `T` after `before`."""
    sign, body = (text[0], text[1:]) if text and text[0] in "=-+" else ("+", text)
    frames = _frames(effect, body, stream.rate)
    if sign == "=":
        return frames
    if sign == "+":
        return before + frames
    if stream.frames is None:
        raise _NeedsLength
    return max(stream.frames - frames, 0)


def _flags(effect: str, args: Sequence[str], allowed: str) -> Tuple[str, List[str]]:
    """Leading single-letter options (`-x`), refused when not in `allowed`."""
    given, rest = "", list(args)
    while rest and re.fullmatch(r"-[A-Za-z]" if allowed != "1 2" else "-[12]", rest[0]):
        letter = rest.pop(0)[1]
        if letter not in allowed:
            raise _fail(effect, f"option '-{letter}' is not supported")
        given += letter
    return given, rest


def _count(effect: str, args: Sequence[str], low: int, high: int) -> None:
    if not low <= len(args) <= high:
        wanted = f"{low}" if low == high else f"{low} to {high}"
        raise _fail(effect, f"takes {wanted} arguments, not {len(args)} ({' '.join(args)})")


def _f(value: float) -> str:
    return repr(float(value)) if not float(value).is_integer() else str(int(value))


def _db(effect: str, text: str) -> float:
    return _number(effect, text[:-2] if text.lower().endswith("db") else text, "gain")


# Each translator appends wavfx stages for one SoX effect and updates the stream it leaves.


def _pass_filter(effect: str, args: List[str], s: _Stream) -> None:
    flags, rest = _flags(effect, args, "1 2")
    _count(effect, rest, 1, 2)
    cutoff = _frequency(effect, rest[0])
    if flags.endswith("1"):
        if effect == "highpass":
            raise _fail(effect, "option '-1': SoX's one-pole highpass is not wavfx's")
        if len(rest) > 1:
            raise _fail(effect, "a width does not apply to the one-pole filter (-1)")
        if s.channels is not None and s.channels > 2:
            raise _fail(effect, "option '-1': wavfx's one-pole filter takes at most 2 channels")
        s.stages.append(f"{effect}=cutoff={_f(cutoff)}")
        return
    q = _width(effect, rest[1], "q")[0] if len(rest) > 1 else 1 / math.sqrt(2)
    s.stages.append(f"{effect}=poles=2:cutoff={_f(cutoff)}:q={_f(q)}")


def _width_text(effect: str, text: str, units: str) -> str:
    value, unit = _width(effect, text, units)
    if unit == "q":
        return f"width={_f(value)}:unit=q" if "s" in units else f"q={_f(value)}"
    if unit == "s":
        return f"slope={_f(value)}"
    if unit == "k":
        return f"width={_f(value * 1000)}:unit=hz"
    return f"width={_f(value)}:unit={'octaves' if unit == 'o' else 'hz'}"


def _band(effect: str, args: List[str], s: _Stream) -> None:
    flags, rest = _flags(effect, args, "c" if effect == "bandpass" else "")
    _count(effect, rest, 3 if effect == "equalizer" else 2, 3 if effect == "equalizer" else 2)
    units = "qohk" if effect == "equalizer" else "hkoq"  # as SoX: a bare width is Q or Hz
    text = f"{effect}=frequency={_f(_frequency(effect, rest[0]))}:{_width_text(effect, rest[1], units)}"
    if effect == "equalizer":
        text += f":gain={_f(_db(effect, rest[2]))}"
    s.stages.append(text + (":peak=skirt" if flags else ""))


def _shelf(effect: str, args: List[str], s: _Stream) -> None:
    _count(effect, args, 1, 3)
    text = f"{effect}=gain={_f(_db(effect, args[0]))}"
    if len(args) > 1:
        text += f":frequency={_f(_frequency(effect, args[1]))}"
    s.stages.append(text + (":" + _width_text(effect, args[2], "sqohk") if len(args) > 2 else ""))


def _gain(effect: str, args: List[str], s: _Stream) -> None:
    flags, rest = _flags(effect, args, "n")
    _count(effect, rest, 0, 1)
    db = _db(effect, rest[0]) if rest else 0.0
    s.stages.append(f"norm=level={_f(db)}" if flags else f"gain=db={_f(db)}")


def _norm(effect: str, args: List[str], s: _Stream) -> None:
    _, rest = _flags(effect, args, "")
    _count(effect, rest, 0, 1)
    s.stages.append(f"norm=level={_f(_db(effect, rest[0]) if rest else 0.0)}")


def _vol(effect: str, args: List[str], s: _Stream) -> None:
    _count(effect, args, 1, 3)
    if len(args) > 2:
        raise _fail(effect, "limitergain is not supported")
    kind = args[1].lower() if len(args) > 1 else ("db" if args[0].lower().endswith("db") else "a")
    if kind.startswith("d"):
        db = _db(effect, args[0])
    elif kind[:1] in ("a", "p"):
        value = _number(effect, args[0], "gain")
        if value <= 0:
            raise _fail(effect, f"gain '{args[0]}': inverting or silencing has no wavfx gain")
        db = (20.0 if kind[0] == "a" else 10.0) * math.log10(value)
    else:
        raise _fail(effect, f"type '{args[1]}' is not amplitude, power or dB")
    if not -120 <= db <= 60:
        raise _fail(effect, f"gain '{args[0]}' is {db:.1f} dB; wavfx's gain takes -120 to 60 dB")
    s.stages.append(f"gain=db={_f(db)}")


def _channels(effect: str, args: List[str], s: _Stream) -> None:
    _count(effect, args, 1, 1)
    count = _number(effect, args[0], "channel count")
    if not count.is_integer() or count < 1:
        raise _fail(effect, f"channel count '{args[0]}' is not a whole number above 0")
    s.stages.append(f"channels=count={int(count)}")
    s.channels = int(count)


_INPUT_TERM = re.compile(r"^(\d*)(-(\d*))?(?:([pvi])(-?[\d.]*(?:e-?\d+)?))?$")


def _remix(effect: str, args: List[str], s: _Stream) -> None:
    flags, rest = _flags(effect, args, "amp")
    if not rest or len(flags) > 1:
        raise _fail(effect, "takes one of -a, -m, -p and one list of input channels per output channel")
    outputs = []
    for output in rest:
        if output == "0":
            outputs.append("0*1")
            continue
        terms: List[Tuple[int, Optional[float]]] = []
        for part in output.split(","):
            match = _INPUT_TERM.match(part)
            if not match or (not match.group(1) and not match.group(2)):
                raise _fail(effect, f"input term '{part}' is not [in-chan][-[in-chan2]][p|i|v[volume]]")
            first, dash, last, letter, volume = match.groups()
            if dash and not last and s.channels is None:
                raise _fail(effect, f"input term '{part}' needs the input's channel count")
            low = int(first or 1)
            high = int(last) if last else (s.channels if dash else low)
            if max(low, high or 0) > 65535:
                raise _fail(effect, f"input term '{part}' names a channel beyond 65535")
            weight = None
            if letter:
                number = _number(effect, volume or ("1" if letter == "v" else "0"), "volume")
                weight = number if letter == "v" else 10 ** (number / 20)
                weight = -weight if letter == "i" else weight
            terms += [(c, weight) for c in range(low, (high or 0) + 1)]
        if not terms or any(c < 1 for c, _ in terms):
            raise _fail(effect, f"output '{output}' names no input channel")
        shared = 1 / len(terms) if flags != "p" else 1 / math.sqrt(len(terms))
        manual = flags == "m" or (flags != "a" and any(w is not None for _, w in terms))
        parts = []
        for channel, weight in terms:
            w = weight if weight is not None else (1.0 if manual else shared)
            parts.append(str(channel) if w == 1 else f"{_f(w)}*{channel}")
        outputs.append("+".join(parts))
    s.stages.append("remix=map=" + "|".join(outputs))
    s.channels = len(outputs)


_QUALITY = {"l": "low", "m": "medium", "h": "high", "v": "veryhigh"}


def _rate_settings(args: List[str]) -> Tuple[int, str]:
    """rate's output rate and quality."""
    flags, rest = _flags("rate", args, "lmhv")
    if len(flags) > 1:
        raise _fail("rate", f"options '-{flags}': give one quality")
    _count("rate", rest, 1, 1)
    rate = _frequency("rate", rest[0])
    if not rate.is_integer() or rate < 1:
        raise _fail("rate", f"rate '{rest[0]}' is not a whole number of Hz")
    return int(rate), _QUALITY[flags or "h"]


def _rate(effect: str, args: List[str], s: _Stream) -> None:
    rate, quality = _rate_settings(args)
    s.stages.append(f"resample=rate={rate}:quality={quality}")
    s.rate, s.run_rate = float(rate), rate


def _whole(rate: float) -> bool:
    return abs(rate - round(rate)) <= 1e-9 * rate


def _relabel(s: _Stream, factor: float) -> None:
    """speed and pitch without a later rate: the samples stay, the rate is multiplied."""
    s.rate *= factor
    s.run_rate = round(s.rate) if _whole(s.rate) else int(s.rate)
    s.relabelled = True


def _speed_factor(effect: str, args: List[str]) -> float:
    _count(effect, args, 1, 1)
    text = args[0]
    if text.endswith("c"):
        factor = 2 ** (_number(effect, text[:-1], "cents") / 1200)
    else:
        factor = _number(effect, text, "factor")
    if factor <= 0:
        raise _fail(effect, f"factor '{text}' must be above 0")
    return factor


def _speed(effect: str, args: List[str], s: _Stream) -> None:
    factor = _speed_factor(effect, args)
    if s.next_rate is not None:
        rate, quality = _rate_settings(s.next_rate)
        stage = f"speed=factor={_f(factor)}:rate={rate}:quality={quality}"
        try:  # one conversion, unless the converter cannot take its two rates at once
            _core.output_shape(stage, s.channels or 1, s.run_rate)
        except ValueError:
            stage = f"speed=factor={_f(factor)},resample=rate={rate}:quality={quality}"
        s.stages.append(stage)
        s.rate, s.run_rate, s.took_next = float(rate), rate, True
    elif s.later_rate and not _whole(s.rate * factor):
        s.stages.append(f"speed=factor={_f(factor)}")
    else:
        # The stages up to the rate run at the multiplied rate, which converts once, as SoX's.
        _relabel(s, factor)


def _stretch_times(effect: str, rest: List[str]) -> str:
    if len(rest) not in (1, 4):
        raise _fail(effect, "give segment, search and overlap together (SoX derives the missing ones)")
    if len(rest) == 1:
        return ""
    names = ("segment", "search", "overlap")
    return "".join(f":{n}={_f(_number(effect, t, n))}" for n, t in zip(names, rest[1:]))


def _tempo(effect: str, args: List[str], s: _Stream) -> None:
    _, rest = _flags(effect, args, "")
    if not rest:
        raise _fail(effect, "needs a factor")
    factor = _number(effect, rest[0], "factor")
    s.stages.append(f"tempo=factor={_f(factor)}" + _stretch_times(effect, rest))


def _pitch(effect: str, args: List[str], s: _Stream) -> None:
    _, rest = _flags(effect, args, "")
    if not rest:
        raise _fail(effect, "needs a shift in cents")
    cents = _number(effect, rest[0], "shift")
    if not -7972 <= cents <= 3986:  # a tempo change by 0.1 to 100 either way
        raise _fail(effect, f"shift '{rest[0]}': wavfx's pitch takes -7972 to 3986 cents")
    times = _stretch_times(effect, rest)
    if s.later_rate:
        s.stages.append(f"pitch=cents={_f(cents)}{times}")
        return
    # SoX's pitch is a tempo change by 1 / r at a rate r times higher.
    ratio = 2 ** (cents / 1200)
    s.stages.append(f"tempo=factor={format(1 / ratio, '.12g')}{times}")
    _relabel(s, ratio)


def _trim(effect: str, args: List[str], s: _Stream) -> None:
    _count(effect, args, 1, 2)
    start = _position(effect, args[0], s, 0)
    if len(args) < 2:
        s.stages.append(f"trim=start={start}s")
        return
    end = max(_position(effect, args[1], s, start), start)
    if not end:  # end=0s would keep everything; from frame 1 to 1 keeps nothing of any stream
        start = end = 1
    s.stages.append(f"trim=start={start}s:end={end}s")


def _pad(effect: str, args: List[str], s: _Stream) -> None:
    _count(effect, args, 1, 2)
    lengths = []
    for i, arg in enumerate(args):
        length, at, where = arg.partition("@")
        if at and not (i == 0 and where in ("0", "=0", "0s", "=0s")):
            raise _fail(effect, f"'{arg}': silence inside the audio has no wavfx stage")
        lengths.append(_frames(effect, length, s.rate))
    s.stages.append(f"pad=start={lengths[0]}s" + (f":end={lengths[1]}s" if len(lengths) > 1 else ""))


_FADES = {"q": "qsin", "h": "hsin", "t": "linear", "l": "log", "p": "para"}


def _fade(effect: str, args: List[str], s: _Stream) -> None:
    shape = _FADES[args.pop(0)] if args and args[0] in _FADES else "log"
    _count(effect, args, 1, 3)
    fade_in = _frames(effect, args[0], s.rate)
    text = f"fade=in={fade_in}s:shape={shape}"
    if len(args) > 1:
        fade_out = _frames(effect, args[2], s.rate) if len(args) > 2 else fade_in
        stop = 0 if args[1] in ("0", "-0") else _position(
            effect, "=" + args[1] if args[1][:1].isdigit() else args[1], s, 0)
        if stop:  # else the fade-out ends with the audio
            if s.frames is None or stop > s.frames:  # SoX fades silence out up to the stop
                s.stages.append(f"pad=end={stop}s")
            s.stages.append(f"trim=end={stop}s")
        end = stop or s.frames
        if end is not None and fade_in and end - fade_out < fade_in:
            raise _fail(effect, f"the fade-out of {fade_out}s ending at {end}s starts before "
                                f"the fade-in of {fade_in}s ends")
        text += f":out={fade_out}s"
    s.stages.append(text)


def _dither(effect: str, args: List[str], s: _Stream) -> None:
    _, rest = _flags(effect, args, "")
    _count(effect, rest, 0, 0)
    # As in torchaudio, SoX dithers 8 and 16-bit samples; float and 32-bit ones stay as they are.
    if s.bits is not None and s.bits <= 16:
        s.stages.append(f"dither=bits={s.bits}")


def _echo(effect: str, args: List[str], s: _Stream) -> None:
    if len(args) > 4:
        raise _fail(effect, "wavfx's echo has one delay and decay pair")
    _count(effect, args, 4, 4)
    gain_in, gain_out, delay, decay = (_number(effect, a, n) for a, n in zip(
        args, ("gain-in", "gain-out", "delay", "decay")))
    frames = int(delay * s.rate / 1000)
    if frames < 1:
        raise _fail(effect, f"delay '{args[2]}' is shorter than a frame")
    # Half a frame over SoX's count, so that wavfx's truncation lands on it (5000 ms lands exactly).
    ms = min((frames + 0.5) / s.run_rate * 1000, 5000.0)
    if frames > s.run_rate * 5 or ms < 1:
        raise _fail(effect, f"delay '{args[2]}': wavfx's echo takes 1 to 5000 ms")
    s.stages.append(f"pad=end={frames}s")
    s.stages.append(f"echo=delay={ms!r}:feedback=0:wet={_f(gain_out * decay)}:dry={_f(gain_out * gain_in)}")


def _reverb(effect: str, args: List[str], s: _Stream) -> None:
    flags, rest = _flags(effect, args, "w")
    _count(effect, rest, 0, 6)
    names = ("reverberance", "damping", "room", "depth", "predelay", "wet")
    values = [_number(effect, t, n) for n, t in zip(names, rest)]
    given = [f"{n}={_f(v)}" for n, v in zip(names, values)] + (["wetonly=1"] if flags else [])
    # SoX's reverb gives mono with a stereo depth two sides; freeverb keeps the channel count.
    if s.channels == 1 and (values[3] if len(values) > 3 else 100.0) > 0:
        s.stages.append("channels=count=2")
        s.channels = 2
    s.stages.append("freeverb" + ("=" + ":".join(given) if given else ""))


def _tremolo(effect: str, args: List[str], s: _Stream) -> None:
    _count(effect, args, 1, 2)
    speed = _number(effect, args[0], "speed")
    depth = _number(effect, args[1], "depth") if len(args) > 1 else 40.0
    if not 0 < depth <= 100:
        raise _fail(effect, f"depth '{args[1]}' must be above 0 and at most 100 (%)")
    if speed == 0:  # SoX's gain stays at its top, 1
        return
    if not 0.01 <= speed <= 100:
        raise _fail(effect, f"speed '{args[0]}': wavfx's tremolo takes 0.01 to 100 Hz")
    s.stages.append(f"tremolo=rate={_f(speed)}:depth={_f(depth / 100)}:swing=down")


def _overdrive(effect: str, args: List[str], s: _Stream) -> None:
    _count(effect, args, 0, 2)
    gain = _number(effect, args[0], "gain") if args else 20.0
    colour = _number(effect, args[1], "colour") if len(args) > 1 else 20.0
    if not 0 <= gain <= 40:
        raise _fail(effect, f"gain '{args[0]}': wavfx's overdrive takes 0 to 40 dB")
    if not 0 <= colour <= 100:
        raise _fail(effect, f"colour '{args[1]}' must be 0 to 100")
    if gain == 0:  # SoX leaves the audio as it is
        return
    drive = min(math.exp(gain * math.log(10) * 0.05), 100.0)
    s.stages.append(f"overdrive=drive={drive!r}:level=1:model=sox:colour={_f(colour / 200)}")


def _chorus(effect: str, args: List[str], s: _Stream) -> None:
    if len(args) < 7 or (len(args) - 2) % 5:
        raise _fail(effect, "takes gain-in gain-out, then delay decay speed depth -s|-t per voice")
    if len(args) > 37:
        raise _fail(effect, "takes at most 7 voices")
    gain_in, gain_out = (_number(effect, a, n) for a, n in zip(args, ("gain-in", "gain-out")))
    if not 0 <= gain_in <= 1 or not 0 <= gain_out <= 100:
        raise _fail(effect, f"gain-in '{args[0]}' must be 0 to 1, gain-out '{args[1]}' 0 to 100")
    if s.rate != s.run_rate:
        raise _fail(effect, f"at SoX's rate {s.rate!r} Hz, which the chain does not run at")
    voices, span = [], 0
    for i in range(2, len(args), 5):
        values = [_number(effect, a, n) for a, n in zip(args[i:], ("delay", "decay", "speed", "depth"))]
        for value, text, name, low, high in zip(values, args[i:], ("delay", "decay", "speed", "depth"),
                                                (20, 0, 0.1, 0), (100, 1, 5, 10)):
            if not low <= np.float32(value) <= high:
                raise _fail(effect, f"{name} '{text}' must be {low} to {high}")
        if args[i + 4] not in ("-s", "-t"):
            raise _fail(effect, f"'{args[i + 4]}' is not -s or -t")
        voices.append("/".join([_f(v) for v in values] + [args[i + 4][1]]))
        # SoX adds delay and depth in single precision; its output runs on by the longest.
        span = max(span, int(float(np.float32(values[0]) + np.float32(values[3])) * s.rate / 1000))
    s.stages.append(f"pad=end={span}s")
    s.stages.append(f"multichorus=gainin={_f(gain_in)}:gainout={_f(gain_out)}:voices={'|'.join(voices)}")


_FLANGER = [("delay", 0, 30), ("depth", 0, 10), ("regen", -95, 95), ("width", 0, 100),
            ("speed", 0.1, 10), ("shape", "sine", "triangle"), ("phase", 0, 100),
            ("interp", "linear", "quadratic")]


def _flanger(effect: str, args: List[str], s: _Stream) -> None:
    # As SoX reads them: each parameter in turn takes the next argument if it fits its kind
    # (a number, or a prefix of one of its names), else keeps its default.
    given, rest = [], list(args)
    for name, low, high in _FLANGER:
        if not rest:
            break
        word = rest[0]
        if isinstance(low, str):
            names = [n for n in (low, high) if word and n.startswith(word.lower())]
            if len(names) == 1:
                given.append(f"{name}={names[0]}")
                rest.pop(0)
            continue
        try:
            value = float(word)
        except ValueError:
            continue
        if not low <= value <= high:
            raise _fail(effect, f"{name} '{word}' must be {low} to {high}")
        given.append(f"{name}={_f(value)}")
        rest.pop(0)
    if rest:
        raise _fail(effect, f"'{rest[0]}' is not a flanger parameter")
    if s.channels is not None and s.channels > 4:
        raise _fail(effect, "SoX's flanger takes at most 4 channels")
    if s.rate != s.run_rate:
        raise _fail(effect, f"at SoX's rate {s.rate!r} Hz, which the chain does not run at")
    s.stages.append("soxflanger" + ("=" + ":".join(given) if given else ""))


def _compand(effect: str, args: List[str], s: _Stream) -> None:
    _count(effect, args, 2, 5)
    times = [_number(effect, t, "attack/decay time") for t in args[0].split(",")]
    if len(times) % 2 or min(times) < 0:
        raise _fail(effect, f"'{args[0]}' is not attack,decay pairs of at least 0 s")
    # SoX's soft knee is a number before a ':', at least 0.01 dB; -inf is its 32-bit floor.
    knee, points = (args[1].split(":", 1) if ":" in args[1] else ("0.01", args[1]))
    knee = max(_number(effect, knee, "soft-knee"), 0.01)
    levels = [p if p == "-inf" else _f(_number(effect, p, "level")) for p in points.split(",")]
    if any(p != "-inf" and float(p) > 0 for p in levels) or knee > 100:
        raise _fail(effect, f"'{args[1]}': levels must be at most 0 dB, the knee at most 100")
    volume = args[3] if len(args) > 3 else "0"
    volume = -1000.0 if volume == "-inf" else max(_number(effect, volume, "initial volume"), -1000)
    gain = _number(effect, args[2], "gain") if len(args) > 2 else 0.0
    delay = _number(effect, args[4], "delay") if len(args) > 4 else 0.0
    if not -200 <= gain <= 200 or not -1000 <= volume <= 0 or not 0 <= delay <= 100:
        raise _fail(effect, "gain must be -200 to 200 dB, initial volume -inf to 0 dB, delay 0 to 100 s")
    if s.rate != s.run_rate:
        raise _fail(effect, f"at SoX's rate {s.rate!r} Hz, which the chain does not run at")
    if s.channels is not None and int(delay * s.rate * s.channels) % s.channels:
        raise _fail(effect, f"delay '{args[4]}' is not whole frames at {s.rate!r} Hz (SoX's output "
                            "then stops short)")
    s.stages.append(f"compand=times={'/'.join(_f(t) for t in times)}:points={'/'.join(levels)}"
                    f":knee={_f(knee)}:gain={_f(gain)}:volume={_f(volume)}:delay={_f(delay)}")


_TRANSLATORS: Dict[str, Callable[[str, List[str], _Stream], None]] = {
    "lowpass": _pass_filter,
    "highpass": _pass_filter,
    "bandpass": _band,
    "bandreject": _band,
    "allpass": _band,
    "equalizer": _band,
    "bass": _shelf,
    "treble": _shelf,
    "gain": _gain,
    "vol": _vol,
    "norm": _norm,
    "channels": _channels,
    "remix": _remix,
    "rate": _rate,
    "speed": _speed,
    "tempo": _tempo,
    "pitch": _pitch,
    "trim": _trim,
    "pad": _pad,
    "fade": _fade,
    "dither": _dither,
    "echo": _echo,
    "tremolo": _tremolo,
    "reverb": _reverb,
    "chorus": _chorus,
    "flanger": _flanger,
    "overdrive": _overdrive,
    "compand": _compand,
}


def effect_names() -> List[str]:
    """The SoX effects the translation knows (translate says which arguments it refuses)."""
    return sorted(_TRANSLATORS)


def _effect(entry: Any) -> Tuple[str, List[str]]:
    if isinstance(entry, (str, bytes)) or not isinstance(entry, Sequence) or not entry:
        raise ValueError(f"an effect is a list [name, arguments...], not {entry!r}")
    if not all(isinstance(part, str) for part in entry):
        raise ValueError(f"effect {list(entry)!r}: the name and arguments must be strings")
    name = entry[0].lower()  # as SoX, in any case
    if name not in _TRANSLATORS:
        raise ValueError(f"sox effect '{entry[0]}' is not supported")
    return name, list(entry[1:])


def _joined_speeds(parsed: List[Tuple[str, List[str]]]) -> List[Tuple[str, List[str]]]:
    """Speeds in a row before a later rate as one: SoX multiplies the rate at each and converts
    once, where one conversion for each would round the length once for each."""
    joined: List[Tuple[str, List[str]]] = []
    for i, (name, args) in enumerate(parsed):
        if (name == "speed" and joined and joined[-1][0] == "speed"
                and any(n == "rate" for n, _ in parsed[i + 1:])):
            joined[-1] = (name, [repr(_speed_factor(*joined[-1]) * _speed_factor(name, args))])
        else:
            joined.append((name, args))
    return joined


def _runs(effects: Any, stream: _Stream) -> Any:
    """Yields (chain text, rate it starts at) for each run; takes back the frames a run left."""
    parsed = _joined_speeds([_effect(entry) for entry in effects])
    start = stream.run_rate
    for i, (name, args) in enumerate(parsed):
        if stream.took_next:
            stream.took_next = False
            continue
        stream.later_rate = any(n == "rate" for n, _ in parsed[i + 1:])
        following = parsed[i + 1] if i + 1 < len(parsed) else ("", [])
        stream.next_rate = following[1] if following[0] == "rate" else None
        stream.relabelled = False
        try:
            _TRANSLATORS[name](name, list(args), stream)
        except _NeedsLength:
            stream.frames = yield ",".join(stream.stages), start
            stream.stages, start = [], stream.run_rate
            if stream.frames is None:
                raise _fail(name, "a position from the end needs the input's length") from None
            _TRANSLATORS[name](name, list(args), stream)
        if stream.relabelled:
            stream.frames = yield ",".join(stream.stages), start
            stream.stages, start = [], stream.run_rate
        elif stream.stages:
            stream.frames = None
    yield ",".join(stream.stages), start


def translate(
    effects: Sequence[Sequence[str]], *, sample_rate: int = 16000, channels: Optional[int] = None
) -> str:
    """The wavfx chain text that runs a SoX effect list (for float samples). A list that runs in
    pieces (a trim from the end, stages after a bare speed) shows its pieces joined by ' ; '.
    ValueError names an effect or argument that cannot be honoured."""
    rate = _sample_rate(sample_rate)
    channels = None if channels is None else _channel_count(channels)
    stream = _Stream(float(rate), rate, channels, None, None)
    runs = _runs(effects, stream)
    texts = []
    try:
        text, _ = next(runs)
        while True:
            texts.append(text)
            text, _ = runs.send(None)
    except StopIteration:
        pass
    return " ; ".join(t for t in texts if t) or ""


_DTYPES = {"float32": None, "int32": 32, "int16": 16, "uint8": 8}


def _apply(array: np.ndarray, sample_rate: int, effects: Any, channels_last: bool,
           bits: Optional[int]) -> Tuple[np.ndarray, int]:
    uint8 = array.dtype == np.uint8
    if uint8:
        array = (array.astype(np.float32) - 128.0) / 128.0
    work = np.ascontiguousarray(array.T if channels_last else array)
    if work.dtype == np.float32:
        # SoX takes float samples as 32-bit integers: what lies beyond full scale is clipped.
        work = _core.clip_to_unit(work, False)
    stream = _Stream(float(sample_rate), int(sample_rate), work.shape[0], work.shape[1], bits)
    runs = _runs(effects, stream)
    text, rate = next(runs)
    fresh = False  # work is ours, not the caller's
    while True:
        if text:
            work, fresh = process(work, rate, text), True
        try:
            text, rate = runs.send(work.shape[1])
        except StopIteration:
            break
    if work.dtype == np.float32:
        if fresh and work.flags.c_contiguous:
            _core.clip_to_unit(work, True)
        else:
            work = np.array(work, dtype=np.float32, order="C")
    if uint8:
        work = np.clip(np.floor(work * 128.0 + 128.5), 0, 255).astype(np.uint8)
    return (work.T if channels_last else work), int(stream.rate)


def apply_effects_tensor(
    tensor: Any, sample_rate: int, effects: Sequence[Sequence[str]], channels_first: bool = True
) -> Tuple[Any, int]:
    """Runs a 2D CPU tensor (float32, int32, int16 or uint8; [channels, time], or [time, channels]
    with channels_first=False) through a SoX effect list: (tensor of the same dtype and layout,
    sample rate). TypeError for what is not such a tensor or a sample rate that is not an integer,
    ValueError for a device other than the CPU, another shape, or an effect or argument wavfx
    cannot honour."""
    import torch

    if not isinstance(tensor, torch.Tensor):
        raise TypeError(f"apply_effects_tensor takes a torch.Tensor, not {type(tensor).__name__}")
    if tensor.device.type != "cpu":
        raise ValueError(f"the tensor is on {tensor.device}; sox effects run on CPU tensors")
    dtype = str(tensor.dtype).replace("torch.", "")
    if dtype not in _DTYPES:
        raise TypeError(f"the tensor's dtype is {dtype}, not float32, int32, int16 or uint8")
    if tensor.dim() != 2:
        raise ValueError(f"the tensor must be 2D, not {tensor.dim()}D")
    result, rate = _apply(tensor.detach().numpy(), _sample_rate(sample_rate), effects,
                          not channels_first, _DTYPES[dtype])
    return torch.from_numpy(np.ascontiguousarray(result)), rate


_SCALE = {np.dtype(np.int16): 32768.0, np.dtype(np.int32): 2147483648.0}


def _integer_kind(path: Any) -> str:
    """How SoX gives a file's integer samples without normalizing: "pcm" as integers, "u8" (8-bit
    WAV) as uint8, "" (FLAC; A-law, u-law and ADPCM WAV) as floats."""
    meta = info(path)
    container = str(meta["container"]).split()[0]
    if container == "FLAC":
        return ""
    if container not in ("WAV", "WAVEX", "RF64"):
        return "pcm"
    encoding = meta["encoding"]
    if encoding == "8-bit unsigned PCM":
        return "u8"
    return "pcm" if encoding in ("16-bit PCM", "24-bit PCM", "32-bit PCM") else ""


def apply_effects_file(
    path: Any,
    effects: Sequence[Sequence[str]],
    normalize: bool = True,
    channels_first: bool = True,
    format: Optional[str] = None,
) -> Tuple[Any, int]:
    """Reads a sound file with wavfx's readers and runs it through a SoX effect list: (tensor,
    sample rate). float32 with normalize (the default); otherwise, as in torchaudio, integer PCM
    files give int16 or int32 (8-bit WAV files uint8, 24-bit ones int32), and float, FLAC and
    companded or ADPCM files float32. `format`, when given,
    must name the container the file holds (wavfx reads it from the contents): ValueError
    otherwise. A file-like object is refused (TypeError): give a path."""
    import torch

    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError(f"apply_effects_file takes a path, not {type(path).__name__}")
    if format is not None:
        if not isinstance(format, str):
            raise TypeError(f"format must be a container's name, not {type(format).__name__}")
        container = str(info(path)["container"])
        if format.lower() not in container.lower():
            raise ValueError(f"format '{format}': the file holds {container}")
    audio, rate = read(path)
    bits: Optional[int] = None
    kind = "pcm" if normalize or audio.dtype.kind != "i" else _integer_kind(path)
    if kind == "u8":
        audio, bits = ((audio >> 8) + 128).astype(np.uint8), 8
    elif audio.dtype.kind == "i" and (normalize or not kind):
        audio = (audio.astype(np.float64) / _SCALE[audio.dtype]).astype(np.float32)
    elif audio.dtype.kind == "i":
        bits = 16 if audio.dtype == np.int16 else 32
    else:
        audio = audio.astype(np.float32)
    result, rate = _apply(audio, rate, effects, False, bits)
    result = result if channels_first else result.T
    return torch.from_numpy(np.ascontiguousarray(result)), rate
