import importlib
import os
import pickle
import subprocess
import sys
import tempfile

import numpy as np
import pytest
import wavfx
from conftest import CHAINS, RATE, as_dtype, signal


@pytest.mark.parametrize("chain", CHAINS)
def test_blocks_of_any_size_give_the_whole_stream(chain):
    rng = np.random.default_rng(len(chain))
    for audio, tail in ((as_dtype(signal(), np.int16), 0.25), (signal(), 0.25)):
        stream = wavfx.Chain(chain)
        cuts = np.sort(rng.integers(0, audio.shape[1], 6))
        blocks = [stream.process(block, RATE) for block in np.split(audio, cuts, axis=1)]
        silence = np.zeros((2, round(tail * RATE)), audio.dtype)
        whole = wavfx.process(np.concatenate([audio, silence], axis=1), RATE, chain)
        # A delayed stage (the limiter's look-ahead) still holds frames after the tail.
        ending = [stream.tail(tail), stream.flush()]
        np.testing.assert_array_equal(np.concatenate(blocks + ending, axis=1), whole)


@pytest.mark.parametrize("chain", ["norm", "loudnorm", "norm=truepeak=1"])
def test_inaudible_input_is_measured_as_silence(chain):
    audio = np.full((2, 100), 1e-20, np.float32)  # -400 dB: below the value that asks to measure
    np.testing.assert_array_equal(wavfx.process(audio, RATE, chain), audio)


def test_layouts_and_dtypes():
    audio, three = signal(), signal(channels=3)
    before = audio.copy()
    strided = np.zeros((4, 2 * RATE), np.float32)
    strided[::2, ::2] = audio
    nan = np.where(audio > 0.9, np.float32(np.nan), audio)

    def run(array, channels_last=False):
        return wavfx.process(array, RATE, "chorus", channels_last=channels_last)

    expected = run(audio)
    cases = {  # name: (got, expected)
        "channels last": (run(audio.T, True).T, expected),
        "contiguous channels last": (run(np.ascontiguousarray(audio.T), True).T, expected),
        "strided": (run(strided[::2, ::2]), expected),
        "reversed": (run(audio[:, ::-1]), run(audio[:, ::-1].copy())),
        "mono": (run(audio[0]), run(audio[:1])[0]),
        "3 channels": (run(three), run(np.ascontiguousarray(three.T), True).T),
        "float64": (run(audio.astype(np.float64)), expected.astype(np.float64)),
        "non-finite read as 0": (run(nan), run(np.nan_to_num(nan, nan=0))),
        "big-endian": (run(audio.astype(">f4")), expected),
    }
    for name, (got, want) in cases.items():
        assert got.dtype == want.dtype and got.shape == want.shape, name
        np.testing.assert_array_equal(got, want, err_msg=name)
    np.testing.assert_array_equal(audio, before)
    assert run(audio.T, True).flags.c_contiguous


def test_effect_parameters_and_text():
    echo = wavfx.Effect("ECHO", Delay=250, feedback=0.3)
    assert (echo.name, echo.text, echo.delay) == ("echo", "echo=delay=250:feedback=0.3", 250)
    assert echo.parameters == {"delay": 250, "feedback": 0.3, "wet": 0.5, "dry": 0.7}
    assert wavfx.Effect("bitcrush", bits=6.0).bits == 6 and wavfx.Effect("concert").name == "reverb"
    audio = signal()
    default = wavfx.process(audio, RATE, "echo")
    np.testing.assert_array_equal(wavfx.Effect("echo", delay=350).process(audio, RATE), default)
    copy = pickle.loads(pickle.dumps(echo))
    chain = wavfx.Chain([wavfx.Effect("lowpass", cutoff=0.1 + 2000), copy])
    assert chain.text == "lowpass=cutoff=2000.1,echo=delay=250:feedback=0.3"
    lowpass = {"cutoff": 2000.1, "poles": 1, "q": 0.7071067690849304}
    assert [e.parameters for e in chain.effects] == [lowpass, echo.parameters]
    # Text parameters and sample counts come back as the chain's text gives them.
    texts = "remix=map=2|0.5*1+0.5*2,trim=start=4410s:end=2,compand=points=-70/-20"
    stages = wavfx.Chain(texts).effects
    assert [e.parameters for e in wavfx.Chain(stages).effects] == [e.parameters for e in stages]
    assert (stages[0].map, stages[1].start) == ("2|0.5*1+0.5*2", "4410s")
    assert wavfx.Effect("remix", map="2|1").map == "2|1"
    assert "delay: time between repeats" in wavfx.Effect.__doc__
    code = "import sys, wavfx; print('dask' in sys.modules)"
    imported = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert imported.stdout == "False\n"


def _changes_stream():
    stream = wavfx.Effect("echo")
    stream.process(np.zeros((2, 10), np.float32), RATE)
    stream.process(np.zeros((1, 10), np.float32), RATE)


def _runs_on_after_flush():
    stream = wavfx.Chain("resample=rate=8000")
    stream.process(np.zeros((2, 10), np.float32), RATE)
    stream.flush()
    stream.process(np.zeros((2, 10), np.float32), RATE)


def _read_cut_short():
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "cut.flac")
        wavfx.write(path, signal(), RATE, bits=16)
        os.truncate(path, os.path.getsize(path) // 2)
        wavfx.read(path)


def _process(audio, rate=RATE):
    return wavfx.process(audio, rate, "echo")


@pytest.mark.parametrize("error, match, call", [
    (TypeError, "complex64", lambda: _process(np.zeros(8, np.complex64))),
    (TypeError, "bool", lambda: _process(np.zeros(8, bool))),
    (TypeError, "object", lambda: _process(np.array([0.5, None]))),
    (ValueError, "0 dimensions", lambda: _process(np.float32(0))),
    (ValueError, "3 dimensions", lambda: _process(np.zeros((1, 2, 8), np.float32))),
    (ValueError, "65536 channels", lambda: _process(np.zeros((65536, 1), np.int16))),
    (ValueError, "no channels", lambda: _process(np.zeros((0, 8), np.int16))),
    (ValueError, "sample rate", lambda: _process(np.zeros(8, np.int16), 0)),
    (ValueError, "sample rate", lambda: _process(np.zeros(8, np.int16), -44100)),
    (TypeError, "sample rate", lambda: _process(np.zeros(8, np.int16), 44100.5)),
    (ValueError, "channel count", lambda: wavfx.Meter(-1, RATE)),
    (TypeError, "channel count", lambda: wavfx.Chain("echo").output_shape(1.5, RATE)),
    (ValueError, "channel count", lambda: wavfx.sox.translate([["remix", "1-"]], channels=-1)),
    (TypeError, "format", lambda: wavfx.sox.apply_effects_file("x.wav", [], format=5)),
    (TypeError, "list of paths",
     lambda: importlib.import_module("wavfx.dask").process_files("a.wav", "/tmp", "echo")),
    (ValueError, "unknown effect", lambda: wavfx.Effect("ecoh")),
    (ValueError, "unknown parameter 'speed'", lambda: wavfx.Effect("echo", speed=2)),
    (ValueError, r"feedback '2' is out of range \(-0.95 to 0.95\)",
     lambda: wavfx.Effect("echo", feedback=2)),
    (ValueError, "stage 2", lambda: wavfx.Chain("lowpass,echo=delay=nan")),
    (TypeError, "must be a number", lambda: wavfx.Effect("echo", delay="250")),
    (ValueError, "reset", _changes_stream),
    (ValueError, "flushed", _runs_on_after_flush),
    (ValueError, "processed", lambda: wavfx.Effect("echo").tail(1)),
    (ValueError, "tail", lambda: wavfx.process_file("a.wav", "b.wav", "echo", tail=-1)),
    (ValueError, "unknown --bits", lambda: wavfx.write("x.wav", np.zeros(8), RATE, bits=7)),
    (OSError, "cannot read", lambda: wavfx.read("/nonexistent.wav")),
    (OSError, "cannot read", lambda: wavfx.info("/nonexistent.wav")),
    (OSError, "frames the file declares", _read_cut_short),
    (ValueError, "lossy", lambda: wavfx.write("x.ogg", np.zeros(8), RATE, bits=16)),
    (OSError, "cannot", lambda: wavfx.process_file("/nonexistent.wav", "/tmp/x.wav", "echo")),
])
def test_bad_input_raises(error, match, call):
    with pytest.raises(error, match=match):
        call()


def test_read_write_keep_samples(tmp_path):
    for dtype in (np.int16, np.int32, np.float32, np.float64):
        audio = as_dtype(signal(1000), dtype)
        wavfx.write(tmp_path / "a.wav", audio.T, RATE, channels_last=True)
        back, rate = wavfx.read(tmp_path / "a.wav")
        assert rate == RATE and back.dtype == audio.dtype
        np.testing.assert_array_equal(back, audio)
        meta = wavfx.info(tmp_path / "a.wav")
        assert (meta["sample_rate"], meta["channels"], meta["frames"]) == (RATE, 2, 1000)
        assert meta["dtype"] == audio.dtype and not meta["lossy"]
    wavfx.write(tmp_path / "b.flac", as_dtype(signal(1000), np.int32), RATE)
    np.testing.assert_array_equal(wavfx.read(tmp_path / "b.flac")[0] & 0xFF, 0)  # 24 bits held


def test_plots_draw_loudness_and_a_chain(tmp_path):
    pytest.importorskip("matplotlib")
    audio = (np.sin(np.arange(44100 * 4) * 0.05) * 0.3).astype(np.float32)
    figures = [wavfx.plot.loudness(audio, 44100, target=-16),
               wavfx.plot.spectrogram(audio, "lowpass=poles=2,resample=rate=16000", 44100),
               wavfx.plot.spectrogram(audio, "resample", 16000)]  # to its default 44.1 kHz
    for i, figure in enumerate(figures):
        figure.savefig(tmp_path / f"{i}.png")
        assert (tmp_path / f"{i}.png").stat().st_size > 1000
    assert [figure.axes[1].get_ylim()[1] for figure in figures[1:]] == [8000, 22050]
