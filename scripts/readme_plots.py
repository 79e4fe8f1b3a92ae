"""Draws the README's pictures with wavfx.plot: the loudness of a piece of asc-music (or the
demo, without it) normalised to -16 LUFS, and the demo before and after a chain.
Usage (after scripts/python_build.sh): build-python/venv/bin/python scripts/readme_plots.py"""
import os

import matplotlib

matplotlib.use("Agg")
import wavfx  # noqa: E402

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
music = "/usr/share/games/asc/music/frontiers.mp3"
source = music if os.path.exists(music) else os.path.join(root, "demo", "demo.wav")
audio, rate = wavfx.read(source)
audio = audio[:, : rate * 60]
louder = wavfx.process(audio, rate, "loudnorm=target=-16")
wavfx.plot.loudness(louder, rate, target=-16).savefig(
    os.path.join(root, "docs", "images", "loudness.png"), dpi=72)
wavfx.plot.spectrogram(os.path.join(root, "demo", "demo.wav"),
                       "lowpass=poles=2:cutoff=1500,resample=rate=16000").savefig(
    os.path.join(root, "docs", "images", "spectrogram.png"), dpi=72)
