"""Bit-exact audio effects for NumPy arrays and sound files.

    import wavfx
    wet = wavfx.Effect("echo", delay=250, feedback=0.3).process(audio, 44100)
    wavfx.process_file("in.flac", "out.flac", "lowpass=cutoff=2000,reverb")

Arrays are int16, int32, float32 or float64, shaped (frames,) for mono, (channels, frames), or
(frames, channels) with channels_last=True. Results are new arrays of the input's dtype and
shape, with the samples the command line writes for the same audio: int16 and int32 arrays are
converted as 16-bit and 32-bit files are, float32 arrays enter the effects as they are, float64
arrays are rounded to float32 and widened back. NaN and infinite samples are read as 0.

PyTorch CPU tensors of those dtypes are taken wherever arrays are, without a copy, and give
tensors back (torch is imported only by whoever made the tensor). process_batch runs a batch
(batch, channels, frames) over threads; wavfx.augment draws reproducible random chains.
"""

from __future__ import annotations

import inspect
import numbers
import os
from dataclasses import dataclass
from typing import Any, Dict, Iterable, List, Optional, Tuple, Union

import numpy as np

from . import _core

__version__: str = _core.version
__all__ = [
    "Chain",
    "Effect",
    "FileResult",
    "Meter",
    "effects",
    "info",
    "measure",
    "process",
    "process_batch",
    "process_file",
    "read",
    "write",
]

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def effects() -> List[Dict[str, Any]]:
    """The effects and their parameters, as `wavfx --list --json` prints them."""
    return _core.effects()


_FAMILIES = {family["name"]: family for family in effects()}


class _Processor:
    """A chain's stream: its state runs on from one process() call to the next."""

    def __init__(self, text: str) -> None:
        self._stream = _core.Stream(text)
        self._tensors = False

    @property
    def text(self) -> str:
        """The chain's text, as the command line takes it."""
        return self._stream.text

    def process(self, audio: Any, sample_rate: int, *, channels_last: bool = False) -> np.ndarray:
        """Runs the next block of the stream; returns a new array of the input's dtype and shape.

        The stream starts on the first block, for its channels and sample rate; a block of
        another channel count or rate raises ValueError until reset().
        """
        result = self._stream.process(_array(audio), _rate(sample_rate), bool(channels_last))
        self._tensors = _is_tensor(audio)
        return _like(audio, result)

    def tail(self, seconds: float) -> np.ndarray:
        """The ring-out after the last block: `seconds` of silence through the stream."""
        return self._last_kind(self._stream.tail(float(seconds)))

    def flush(self) -> np.ndarray:
        """The end of the stream: what a stage that reshapes it still holds (a resampler's last
        frames, a fade-out, trailing padding), in the last block's layout; empty for a chain
        that works in place. process() the next block only after reset() (a reshaping chain
        raises ValueError until then)."""
        return self._last_kind(self._stream.flush())

    def output_shape(self, channels: int, sample_rate: int) -> Tuple[int, int]:
        """(channels, sample_rate) of what the chain makes of a stream of these."""
        return _core.output_shape(self.text, _channels(channels), _rate(sample_rate))

    def reset(self) -> None:
        """Starts the stream over, for any channel count and sample rate."""
        self._stream.reset()
        self._tensors = False

    def _last_kind(self, result: np.ndarray) -> Any:
        # A tensor when the last block was one.
        return _tensor_module().from_numpy(result) if self._tensors else result

    def __repr__(self) -> str:
        return f"{type(self).__name__}({self.text!r})"


class Effect(_Processor):
    """Effect(name, **parameters): one effect, e.g. Effect("echo", delay=250, feedback=0.3).

    Names and parameter keys ignore the case of A-Z; a parameter left out takes its default.
    Text parameters, sample counts and choices may be given as the chain's text writes them
    (Effect("remix", map="2|1"), Effect("trim", start="4410s"), Effect("dither", type="shaped")).
    The parameters are readable as attributes (effect.delay) and as the dict effect.parameters.
    A copy made by pickle starts a fresh stream.
    """

    def __init__(self, name: str, /, **parameters: Union[float, str]) -> None:
        if not isinstance(name, str):
            raise TypeError(f"the effect name must be a string, not {type(name).__name__}")
        if "=" in name or "," in name:
            raise ValueError(f"'{name}' is not an effect name; Chain takes a chain's text")
        ((self.name, _),) = _core.parse_chain(name)
        kinds = {p["name"]: p["kind"] for p in _FAMILIES[self.name]["parameters"]}
        given = ":".join(
            f"{key.lower()}={_number(key, v, kinds.get(key.lower()))}"
            for key, v in parameters.items()
        )
        super().__init__(self.name + ("=" + given if given else ""))
        ((_, values),) = _core.parse_chain(self.text)
        integer = {p["name"] for p in _FAMILIES[self.name]["parameters"] if p["integer"]}
        self._given = dict(parameters)
        self._values = {
            k: int(v) if k in integer and not isinstance(v, str) else v for k, v in values.items()
        }

    @property
    def parameters(self) -> Dict[str, Union[float, str]]:
        """Every parameter's value, defaults included, in the registry's order."""
        return dict(self._values)

    def __getattr__(self, key: str) -> Union[float, str]:
        values = self.__dict__.get("_values", {})
        if key in values:
            return values[key]
        raise AttributeError(f"'{type(self).__name__}' object has no attribute '{key}'")

    def __dir__(self) -> List[str]:
        return sorted(set(super().__dir__()) | set(self._values))

    def __reduce__(self) -> Tuple[Any, ...]:
        return _effect, (self.name, self._given)

    def __repr__(self) -> str:
        given = "".join(f", {key}={value!r}" for key, value in self._given.items())
        return f"Effect({self.name!r}{given})"


def _effect(name: str, parameters: Dict[str, Union[float, str]]) -> Effect:
    return Effect(name, **parameters)


class Chain(_Processor):
    """Chain(chain): effects in series, from a chain's text as the command line takes it
    ("lowpass=cutoff=2000,echo=delay=250") or from a list of Effects (and Chains)."""

    def __init__(self, chain: Union[str, Iterable[_Processor]]) -> None:
        if not isinstance(chain, str):
            stages = list(chain)
            for stage in stages:
                if not isinstance(stage, _Processor):
                    raise TypeError(f"a chain holds Effects, not {type(stage).__name__}")
            chain = ",".join(stage.text for stage in stages)
        super().__init__(chain)

    @property
    def effects(self) -> List[Effect]:
        """The stages as Effects, every parameter given."""
        return [Effect(name, **values) for name, values in _core.parse_chain(self.text)]

    def __reduce__(self) -> Tuple[Any, ...]:
        return Chain, (self.text,)


def process(
    audio: Any, sample_rate: int, effect: Union[str, Effect, Chain], *, channels_last: bool = False
) -> np.ndarray:
    """Runs `audio` through the effect (a chain's text, an Effect or a Chain) from a fresh state
    to the end of the stream. A chain that changes the rate, the channel count or the length
    returns the reshaped audio (see output_shape for its rate). Stages that act on the whole
    stream (norm, loudnorm) measure their input over the array first. A tensor gives a tensor."""
    array, rate = _array(audio), _rate(sample_rate)
    # Stages that act on the whole stream (norm, loudnorm) measure their input first.
    text = _core.measure_chain(_text(effect), array, rate, bool(channels_last))
    stream = _core.Stream(text)
    result = stream.process(array, rate, bool(channels_last))
    rest = stream.flush()
    if rest.size != 0:
        result = np.concatenate([result, rest], axis=0 if result.ndim == 1 or channels_last else 1)
    return _like(audio, result)


def process_batch(
    audio: Any,
    sample_rate: int,
    effect: Union[str, Effect, Chain],
    *,
    channels_last: bool = False,
    threads: Optional[int] = None,
) -> np.ndarray:
    """Runs every item of a batch shaped (batch, channels, frames) (with channels_last: (batch,
    frames, channels)) through its own fresh instance of the effect, as process() runs one item,
    to exactly the same samples. Items are spread over `threads` threads (default: one per core)
    without the GIL. Returns one array (a tensor for a tensor) of the batch's dtype and layout;
    a chain that reshapes the stream must give every item the same length, as it does for items
    of one length (speed, resample, trim), else ValueError."""
    if threads is None:
        threads = os.cpu_count() or 1
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral) or threads < 1:
        raise ValueError(f"threads must be a whole number from 1, not {threads!r}")
    result = _core.process_batch(
        _text(effect), _array(audio), _rate(sample_rate), bool(channels_last),
        min(int(threads), 2**32),  # more than there are items is as many as there are
    )
    return _like(audio, result)


@dataclass(frozen=True)
class FileResult:
    """What process_file did. outcome: "complete", "read failed", "write failed" or "frames too
    wide"; frames written, tail included; samples clipped on the way to an integer output; NaN and
    infinite input samples, read as 0; why the job did not complete."""

    outcome: str
    frames: int
    clipped: int
    non_finite: int
    message: str


_OUTCOMES = {0: "complete", 2: "read failed", 3: "write failed", 4: "frames too wide"}


def process_file(
    input: PathLike,
    output: PathLike,
    effect: Union[str, Effect, Chain],
    *,
    tail: float = 0.0,
    format: Optional[str] = None,
    bits: Union[int, str, None] = None,
) -> FileResult:
    """Runs one file through the effect as `wavfx -e EFFECT -o DIR FILE` does, to the same bytes.

    Any format the library reads; `format` names the output's container (default: from its
    extension), `bits` its samples ("8", "16", "24", "32", "float", "double"; default: the
    input's); `tail` seconds of silence follow the input. A plain unknown name copies, as on the
    command line. A job that cannot start raises ValueError for the chain or the output's format,
    OSError otherwise, with the library's message.
    """
    code, frames, clipped, non_finite, message = _core.process_file(
        _path(input), _path(output), _file_chain(effect), _tail(tail), format, _bits(bits)
    )
    if code == 1:
        refused = (
            message.startswith("unknown --") or " cannot hold " in message
            or " does not apply" in message
        )
        raise (ValueError if refused else OSError)(message)
    return FileResult(_OUTCOMES[code], frames, clipped, non_finite, message)


def read(path: PathLike, *, channels_last: bool = False) -> Tuple[np.ndarray, int]:
    """(audio, sample_rate) of a sound file, shaped (channels, frames) or, with channels_last,
    (frames, channels), at the file's precision: int16 for 8 and 16-bit samples and what decodes
    to 16 bits (A-law, ADPCM, ...), int32 for 24 and 32-bit samples, float32 or float64 for float
    files, float32 for Vorbis, Opus and MP3. 8 and 24-bit samples are scaled up to the full range
    of their dtype (shifted left by 8 bits)."""
    return _core.read(_path(path), bool(channels_last))


def info(path: PathLike) -> Dict[str, Any]:
    """What a sound file holds, without decoding it: sample_rate, channels, frames (None when the
    container does not say; lossy decoders estimate it), container and encoding as libsndfile
    names them ("WAV (Microsoft)", "24-bit PCM"), lossy, and the dtype read() returns."""
    return _core.info(_path(path))


def write(
    path: PathLike,
    audio: Any,
    sample_rate: int,
    *,
    bits: Union[int, str, None] = None,
    format: Optional[str] = None,
    channels_last: bool = False,
) -> None:
    """Writes a sound file: the container from `format` or the path's extension, samples of
    `bits` or else the array's dtype, converted as the command line converts them."""
    _core.write(
        _path(path), _array(audio), _rate(sample_rate), format or "", _bits(bits) or "",
        bool(channels_last),
    )


class Meter:
    """Loudness (ITU-R BS.1770, EBU R128) and SoX-style statistics of a stream fed in pieces:
    add() arrays shaped as process() takes them, results() at any time. The numbers do not depend
    on how the stream is cut."""

    def __init__(self, channels: int, sample_rate: int) -> None:
        self._meter = _core.Meter(_channels(channels), _rate(sample_rate))

    def add(self, audio: Any, *, channels_last: bool = False) -> None:
        self._meter.add(_array(audio), bool(channels_last))

    def results(self) -> Dict[str, Any]:
        """integrated_lufs, momentary_max_lufs, short_term_max_lufs (None before there is
        anything to gate), loudness_range_lu, sample_peak_dbfs, frames, non_finite, the statistics
        "overall" and "per_channel" (dc_offset, min, max, peak_dbfs, rms_dbfs, crest_factor,
        full_scale, bit_depth), and the momentary and short-term loudness every 100 ms as arrays."""
        return self._meter.results()


def measure(
    audio: Any, sample_rate: Optional[int] = None, *, channels_last: bool = False
) -> Dict[str, Any]:
    """Measures an array (with its sample rate) or a sound file (a path): the dict of
    Meter.results(), and for a file its channels, sample_rate, container and encoding."""
    if isinstance(audio, (str, bytes, os.PathLike)):
        if sample_rate is not None:
            raise TypeError("a file has its own sample rate")
        return _core.measure_file(os.fsdecode(_path(audio)))
    if sample_rate is None:
        raise TypeError("measuring an array needs its sample rate")
    array = _array(audio)
    channels = 1 if array.ndim == 1 else array.shape[1 if channels_last else 0]
    meter = Meter(channels, sample_rate)
    meter.add(array, channels_last=channels_last)
    return meter.results()


def __getattr__(name: str) -> Any:
    # wavfx.plot needs matplotlib and wavfx.sox torch: imported only when asked for.
    if name in ("plot", "sox"):
        import importlib

        return importlib.import_module("." + name, __name__)
    raise AttributeError(f"module 'wavfx' has no attribute '{name}'")


def _text(effect: Union[str, _Processor]) -> str:
    if isinstance(effect, _Processor):
        return effect.text
    if isinstance(effect, str):
        return effect
    kind = type(effect).__name__
    raise TypeError(f"effect must be a chain's text, an Effect or a Chain, not {kind}")


def _file_chain(effect: Union[str, _Processor]) -> str:
    """The chain's text, refused (ValueError) as the command line refuses it."""
    text = _text(effect)
    if "=" in text or "," in text:
        _core.parse_chain(text)
    return text


def _number(key: str, value: Any, kind: Optional[str]) -> str:
    if isinstance(value, str) and kind in ("text", "choice", "time"):
        # A text parameter (remix's map), a choice's name or a sample count ("4410s").
        if any(c in value for c in ",:="):
            raise ValueError(f"parameter {key}: '{value}' holds one of , : =")
        return value
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError(f"parameter {key} must be a number, not {type(value).__name__}")
    return str(int(value)) if isinstance(value, numbers.Integral) else repr(float(value))


def _is_tensor(audio: Any) -> bool:
    # By the type's module, so that wavfx never imports torch itself.
    return type(audio).__module__.partition(".")[0] == "torch" and hasattr(audio, "device")


def _tensor_module() -> Any:
    import torch

    return torch


def _like(audio: Any, result: np.ndarray) -> Any:
    """`result` as a tensor sharing its memory when `audio` is a tensor."""
    return _tensor_module().from_numpy(result) if _is_tensor(audio) else result


_TENSOR_DTYPES = ("torch.int16", "torch.int32", "torch.float32", "torch.float64")


def _tensor_array(tensor: Any) -> np.ndarray:
    """The tensor's samples as an array sharing its memory."""
    if tensor.device.type != "cpu":
        raise ValueError(f"audio is a tensor on the {tensor.device} device; pass tensor.cpu()")
    if str(tensor.dtype) not in _TENSOR_DTYPES:
        raise TypeError(f"audio must be int16, int32, float32 or float64, not {tensor.dtype}")
    if str(tensor.layout) != "torch.strided":
        raise TypeError(f"audio must be a dense tensor, not {tensor.layout}")
    if tensor.requires_grad:
        raise ValueError("audio is a tensor that requires grad; the effects have no gradient: "
                         "pass tensor.detach()")
    return tensor.numpy()


def _array(audio: Any) -> np.ndarray:
    array = np.asarray(_tensor_array(audio) if _is_tensor(audio) else audio)
    if array.dtype.byteorder not in "=|" or not array.flags.aligned:
        array = np.require(array, array.dtype.newbyteorder("="), "A")
    return array


def _rate(sample_rate: Any) -> int:
    if isinstance(sample_rate, (bool, np.bool_)) or not isinstance(sample_rate, numbers.Integral):
        raise TypeError(f"the sample rate must be an integer, not {type(sample_rate).__name__}")
    rate = int(sample_rate)
    if not 0 < rate < 2**32:
        raise ValueError(f"the sample rate must be 1 to {2**32 - 1} Hz, not {rate}")
    return rate


def _channels(channels: Any) -> int:
    if isinstance(channels, (bool, np.bool_)) or not isinstance(channels, numbers.Integral):
        raise TypeError(f"the channel count must be an integer, not {type(channels).__name__}")
    count = int(channels)
    if not 0 < count <= 65535:
        raise ValueError(f"the channel count must be 1 to 65535, not {count}")
    return count


def _tail(seconds: Any) -> float:
    seconds = float(seconds)
    if not 0 <= seconds <= 3600:
        raise ValueError("the tail must be 0 to 3600 seconds")
    return seconds


def _bits(bits: Union[int, str, None]) -> Optional[str]:
    return None if bits is None else str(bits)


def _path(path: PathLike) -> bytes:
    name = os.fsencode(path)
    if b"\0" in name:
        raise ValueError("embedded null byte")
    return name


def _help() -> str:
    def number(value: float) -> str:
        return str(int(value)) if value.is_integer() else repr(value)

    lines = []
    for family in _FAMILIES.values():
        lines.append(", ".join([family["name"], *family["aliases"]]) + ": " + family["description"])
        for p in family["parameters"]:
            unit = " " + p["unit"] if p["unit"] else ""
            lines.append(
                f"    {p['name']}: {p['description']} (default {number(p['default'])}{unit}; "
                f"{number(p['min'])} to {number(p['max'])}{', whole' if p['integer'] else ''})"
            )
    return "\n".join(lines)


Effect.__doc__ = f"{inspect.cleandoc(Effect.__doc__ or '')}\n\nEffects:\n\n{_help()}\n"
