"""wavfx.sox against torchaudio 0.13.1's sox_effects: shapes, rates and samples per effect."""
import numpy as np
import pytest
import wavfx

torch = pytest.importorskip("torch")
sox_effects = pytest.importorskip("torchaudio.sox_effects")
from wavfx import sox  # noqa: E402


# Tolerances: "exact"; "float": SoX's float conversions (steps of 2^-24, 2^-23 relative); a number: the RMS of the difference in dB
# below the reference's; "length": shape and rate only (splices chosen differently).
CASES = [
    ("trim 0.1 0.5", "exact"), ("trim 100s =0.5", "exact"), ("trim -0.5", "exact"),
    ("trim 0.1 -0.2", "exact"), ("trim 0 0", "exact"), ("pad 0.1 0.2", "exact"),
    ("pad 1000s", "exact"),
    ("speed 0.9", "exact"), ("dither", "exact"), ("GAIN -3", "float"), ("Lowpass 1000", -90),
    ("gain -3", "float"), ("vol 0.5", "float"), ("vol -6dB", "float"), ("vol 2 power", "float"),
    ("channels 1", "float"), ("remix -", "float"), ("remix 2 1", "float"),
    ("remix 1,2v0.3 2", "float"), ("remix -m 1,2 2", "float"), ("remix -p 1,2 1", "float"),
    ("remix -a 1v0.5,2 1,2v-0.3", "float"),
    ("gain -n", "float"), ("gain -n -6", "float"), ("norm -3", "float"),
    ("lowpass 1000", -90), ("lowpass -1 300", -90), ("lowpass 2k 0.5q", -90),
    ("highpass 300", -90), ("bandpass 1000 2q", -90), ("bandpass -c 1k 1o", -90),
    ("bandreject 1000 200h", -90), ("allpass 1000 1q", -90), ("equalizer 1000 2q -6", -90),
    ("bass 6", -90), ("treble -3 4000 0.7s", -90), ("bass 3 200 1o", -90),
    ("bandpass 1000 200", -90), ("allpass 1000 150", -90), ("bass 6 200 0.7", -90),
    ("treble 3 3000 1.2q", -90),
    ("echo 0.8 0.9 100 0.3", -110), ("echo 0.8 0.88 60 0.4", -110), ("echo 0.8 0.9 5000 0.3", -110),
    ("fade 0.1", -110), ("fade q 0.1 0 0.2", -65), ("fade h 0.2 0.8 0.1", -65),
    ("fade t 0.3 -0.1", -65), ("fade p 0.1 0 0.1", -65), ("fade t 0.1 1.2 0.3", -65),
    ("rate 8000", -75), ("rate -v 22050", -60), ("rate -l 44100", -55), ("rate -m 8000", -60),
    ("speed 0.9;rate 16000", -65), ("speed 1.1;rate 8000", -65), ("speed 1.1;gain -1", "float"),
    # One conversion from the relabelled rate, as SoX's (two conversions: -54 and -49 dB); beyond
    # the converter's factor of 256 at once, two.
    ("speed 1.1;rate 22050", -65), ("speed 0.8;rate -l 11025", -55), ("speed 0.1;rate 500000", -60),
    ("speed 1.2;speed 0.8;rate 16000", -65), ("speed 0.96;gain -1;rate 8000", -65),
    ("speed 0.9;lowpass 3000;rate 16000", -65),
    ("tremolo 5", "float"), ("tremolo 12.5 80", "float"), ("tremolo 0.3 100", "float"),
    ("overdrive", "float"), ("overdrive 10 0", "float"), ("overdrive 35 70", "float"),
    ("chorus 0.7 0.9 55 0.4 0.25 2 -t", -120), ("chorus 0.7 0.9 55 0.4 0.25 2 -s", -120),
    ("chorus 0.5 0.9 50 0.4 0.25 2 -t 60 0.32 0.4 2.3 -t 40 0.3 0.3 1.3 -s", -120),
    ("flanger", "float"), ("flanger 5 3 50 60 2 triangle 50 quadratic", "float"),
    ("flanger 10 10 95 30 10 t 100 l", "float"),
    ("compand 0.3,1 6:-70,-60,-20 -5 -90 0.2", "float"),
    ("compand .1,.2 -inf,-50.1,-inf,-50,-50 0 -90 .1", "float"),
    ("compand 0.01,0.1 3:-60,-40,-30,-20,-20,-15,0,-12 -2", "float"),
    ("compand 0.02,0.2,0.05,0.5 -80,-80,-40,-20,-10,-10 -3 -20 0.01", "float"),
    ("tempo 1.1", "length"), ("tempo 0.9", "length"), ("tempo 1.2 82 14.68 12", "length"),
    ("pitch 100", "length"), ("pitch -200;rate 16000", "length"),
    # Augmentation lists: Lhotse's speed perturbation, WavAugment-like pitch, band-reject, reverb.
    ("speed 1.1;rate 16000", -65), ("pitch -150;rate 16000;bandreject 2000 300h", "length"),
    ("gain -n -10;remix -;speed 0.93;rate 16000;pad 0 1.5;trim 0 2", -65),
    ("gain -n -10;remix -;speed 1.1;rate 16000;pad 0 0.5;trim 0 0.4", -65),
    ("trim 0.1 0.3;speed 0.9;rate 8000", -50),
    ("reverb 50 50 100", -110), ("reverb -w 80 30 60 50 20 3", -110),
    ("remix -;reverb", -110), ("remix -;reverb 50 50 100 0", -110),
    ("pitch 50;rate 16000;reverb -w 40", "length"),
]


def clip(frames=16000, seed=1):
    """Two channels of sines below 2.5 kHz on the 16-bit grid, which SoX's float conversions
    (about 25 bits) keep exactly; every rate in the table passes them."""
    rng = np.random.default_rng(seed)
    t = np.arange(frames) / 16000
    f, phase = rng.uniform(50, 2500, (2, 24, 1)), rng.uniform(0, 6.3, (2, 24, 1))
    x = (0.04 * np.sin(2 * np.pi * f * t + phase)).sum(1)
    return torch.from_numpy((np.round(x * 32768) / 32768).astype(np.float32))


def effects(text):
    return [entry.split() for entry in text.split(";")]


@pytest.mark.parametrize("text,tolerance", CASES)
def test_as_torchaudio(text, tolerance):
    x = clip()
    want, want_rate = sox_effects.apply_effects_tensor(x, 16000, effects(text))
    got, rate = sox.apply_effects_tensor(x, 16000, effects(text))
    assert (got.shape, got.dtype, rate) == (want.shape, want.dtype, want_rate)
    if tolerance == "exact":
        assert torch.equal(got, want)
    elif tolerance == "float":
        assert np.allclose(got, want, rtol=2**-23, atol=2**-24)
    elif isinstance(tolerance, int):
        error = (got - want).double().pow(2).mean().sqrt() / want.double().pow(2).mean().sqrt()
        assert 20 * np.log10(max(float(error), 1e-30)) < tolerance


@pytest.mark.parametrize("text", ["speed 0.9", "gain 6", "gain -n;gain 9"])
def test_loud_input_clips_as_torchaudio_and_stays_untouched(text):
    x = clip() * 8
    kept = x.clone()
    want, _ = sox_effects.apply_effects_tensor(x, 16000, effects(text))
    got, _ = sox.apply_effects_tensor(x, 16000, effects(text))
    assert np.allclose(got, want, rtol=2**-23, atol=2**-24) and torch.equal(x, kept)


@pytest.mark.parametrize("dtype", [torch.int16, torch.int32, torch.uint8])
def test_integer_tensors_and_layout(dtype):
    x = clip()
    x = (x * 100 + 128).to(dtype) if dtype == torch.uint8 else (x * 2**14).to(dtype)
    want, _ = sox_effects.apply_effects_tensor(x.T, 16000, [["gain", "-1"]], channels_first=False)
    got, _ = sox.apply_effects_tensor(x.T, 16000, [["gain", "-1"]], channels_first=False)
    assert got.dtype == dtype and got.shape == want.shape
    assert (got.long() - want.long()).abs().max() <= 1


@pytest.mark.parametrize("name,bits", [("clip.wav", 16), ("clip.wav", 8), ("clip.flac", 16)])
def test_file(tmp_path, name, bits):
    path = str(tmp_path / name)
    wavfx.write(path, clip().numpy(), 16000, bits=bits)
    for normalize in (True, False):
        want, want_rate = sox_effects.apply_effects_file(path, [["gain", "-2"]], normalize)
        got, rate = sox.apply_effects_file(path, [["gain", "-2"]], normalize, format=name[5:])
        assert (got.dtype, got.shape, rate) == (want.dtype, want.shape, want_rate)
        assert np.allclose(got.double(), want.double(), rtol=2**-14, atol=1.5 / 32768 * normalize + 1)


REFUSED = [
    ([["flip"]], ValueError, "flip"), ([["lowpass"]], ValueError, "lowpass"),
    ([["lowpass", "1x"]], ValueError, "frequency"), ([["gain", "-e"]], ValueError, "-e"),
    ([["highpass", "-1", "300"]], ValueError, "-1"), ([["vol", "-1"]], ValueError, "vol"),
    ([["rate", "-q", "8000"]], ValueError, "-q"), ([["tempo", "-s", "1.1"]], ValueError, "-s"),
    ([["tempo", "1.1", "60"]], ValueError, "segment"), ([["trim", "1", "2", "3"]], ValueError, "trim"),
    ([["pitch", "5000"]], ValueError, "'5000'"),
    ([["vol", "10000"]], ValueError, "'10000' is 80.0 dB"),
    ([["pad", "1@0.5"]], ValueError, "1@0.5"), ([["fade", "1:x"]], ValueError, "1:x"),
    ([["trim", ""]], ValueError, "time ''"), ([["fade", "0.1", ""]], ValueError, "time ''"),
    ([["fade", "t", "0.1", "0.3", "0.3"]], ValueError, "fade-in"),
    ([["echo", "0.8", "0.9", "100", "0.3", "200", "0.2"]], ValueError, "echo"),
    ([["echo", "0.8", "0.9", "5001", "0.3"]], ValueError, "5000 ms"),
    ([["echo", "0.8", "0.9", "0.07", "0.3"]], ValueError, "delay '0.07'"),
    ([["chorus", "0.7", "0.9", "55", "0.4", "0.25", "2", "-x"]], ValueError, "-x"),
    ([["chorus", "0.7", "0.9", "10", "0.4", "0.25", "2", "-t"]], ValueError, "delay"),
    ([["flanger", "40"]], ValueError, "delay"), ([["flanger", "1", "x"]], ValueError, "'x'"),
    ([["compand", "0.3", "-70,-20"]], ValueError, "pairs"),
    ([["compand", "0.3,1", "-70,3"]], ValueError, "at most 0"),
    ([["compand", "0.3,1", "-70", "0", "0", "0.0301"]], ValueError, "whole frames"),
    ([["tremolo", "500"]], ValueError, "500"), ([["tremolo", "5", "0"]], ValueError, "depth"),
    ([["overdrive", "50"]], ValueError, "50"),
    ([["remix", "1x"]], ValueError, "1x"), ([["remix", "1-99999999"]], ValueError, "65535"),
    ([("gain", 3)], ValueError, "strings"),
]


@pytest.mark.parametrize("chain,error,named", REFUSED)
def test_refusals(chain, error, named):
    with pytest.raises(error, match=named):
        sox.apply_effects_tensor(clip(), 16000, chain)


def test_bad_tensors():
    x = clip()
    for bad, error in [(x.double(), TypeError), (x[0], ValueError), (x.numpy(), TypeError),
                       (x.to("meta"), ValueError)]:
        with pytest.raises(error):
            sox.apply_effects_tensor(bad, 16000, [["gain", "1"]])
    with pytest.raises(TypeError, match="integer"):
        sox.apply_effects_tensor(x, 16000.5, [["gain", "1"]])
