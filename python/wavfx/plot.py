"""Pictures of loudness and of what a chain does, drawn with matplotlib (an optional dependency,
imported only here). Each function takes a path or an array with its sample rate, and returns the
matplotlib Figure; save it with fig.savefig(...)."""
from __future__ import annotations

from typing import Any, Optional

import numpy as np

from . import Chain, _array, _rate, _text, measure, process, read

_BLOCK_SECONDS = 0.1  # the meter's hop


def _pyplot() -> Any:
    try:
        import matplotlib

        import matplotlib.pyplot as plt
    except ImportError as error:  # pragma: no cover - depends on the machine
        raise ImportError("wavfx.plot needs matplotlib (Debian: python3-matplotlib)") from error
    return plt


def _audio(audio: Any, sample_rate: Optional[int], channels_last: bool):
    if isinstance(audio, (str, bytes)) or hasattr(audio, "__fspath__"):
        samples, rate = read(audio)
        return samples, rate, False
    if sample_rate is None:
        raise TypeError("an array needs its sample rate")
    return _array(audio), _rate(sample_rate), channels_last


def loudness(
    audio: Any,
    sample_rate: Optional[int] = None,
    *,
    target: Optional[float] = -23.0,
    channels_last: bool = False,
    title: Optional[str] = None,
) -> Any:
    """Momentary (400 ms) and short-term (3 s) loudness over time, every 100 ms, with the
    integrated loudness, the target line (None: none) and the true peak marked."""
    plt = _pyplot()
    if isinstance(audio, (str, bytes)) or hasattr(audio, "__fspath__"):
        result = measure(audio)
    else:
        if sample_rate is None:
            raise TypeError("an array needs its sample rate")
        result = measure(audio, sample_rate, channels_last=channels_last)
    fig, ax = plt.subplots(figsize=(9, 4))
    series = (("momentary", 4, "momentary (400 ms)"), ("short_term", 30, "short-term (3 s)"))
    for key, window, label in series:
        values = np.asarray(result[key], dtype=float)
        times = (np.arange(values.size) + window) * _BLOCK_SECONDS
        ax.plot(times, np.where(np.isfinite(values), values, np.nan), label=label, linewidth=1)
    if result["integrated_lufs"] is not None:
        ax.axhline(result["integrated_lufs"], color="black", linestyle=":",
                   label=f"integrated {result['integrated_lufs']:.1f} LUFS")
    if target is not None:
        ax.axhline(target, color="tab:red", linestyle="--", label=f"target {target:g} LUFS")
    peak = result["true_peak_dbtp"]
    peak_text = "silent" if peak is None else f"{peak:+.2f} dBTP"
    ax.set_title(
        title or f"Loudness; true peak {peak_text}, range {result['loudness_range_lu']:.1f} LU"
    )
    ax.set_xlabel("seconds")
    ax.set_ylabel("LUFS")
    ax.set_ylim(bottom=max(-70.0, ax.get_ylim()[0]))
    ax.grid(True, alpha=0.3)
    ax.legend(loc="lower right", fontsize="small")
    fig.tight_layout()
    return fig


def spectrogram(
    audio: Any,
    chain: Any,
    sample_rate: Optional[int] = None,
    *,
    channels_last: bool = False,
) -> Any:
    """The spectrogram of the audio (its channels' mean) before and after the chain."""
    plt = _pyplot()
    samples, rate, last = _audio(audio, sample_rate, channels_last)
    after = process(samples, rate, chain, channels_last=last)
    text = _text(chain)
    channels = 1 if samples.ndim == 1 else samples.shape[1 if last else 0]
    out_rate = Chain(text).output_shape(channels, rate)[1]

    def mono(array: np.ndarray) -> np.ndarray:
        values = array.astype(np.float64)
        if np.issubdtype(array.dtype, np.integer):
            values /= float(np.iinfo(array.dtype).max) + 1.0
        if values.ndim == 1:
            return values
        return values.mean(axis=1 if last else 0)

    fig, axes = plt.subplots(2, 1, figsize=(9, 6), sharex=True)
    pairs = ((axes[0], samples, rate, "before"), (axes[1], after, out_rate, "after"))
    for ax, data, fs, name in pairs:
        nfft = 1 << max(6, int(round(np.log2(fs * 0.046))))  # about 46 ms at any rate
        ax.specgram(mono(data), NFFT=nfft, Fs=fs, noverlap=nfft * 3 // 4, cmap="magma", vmin=-140)
        ax.set_ylabel("Hz")
        ax.set_title(name if name == "before" else f"after {text}")
    axes[1].set_xlabel("seconds")
    fig.tight_layout()
    return fig
