import json
import subprocess

import numpy as np
import pytest
import wavfx
from conftest import CHAINS, RATE, as_dtype, run_cli, signal, tensor_forms, write_wav16


@pytest.mark.parametrize("chain", CHAINS)
def test_arrays_give_the_samples_of_the_cli(chain, cli, tmp_path):
    arrays = {np.dtype(t).name + ".wav": as_dtype(signal(), t) for t in ("i2", "i4", "f4")}
    for name, audio in arrays.items():
        if audio.dtype == np.int16:
            write_wav16(tmp_path / name, audio)
        else:
            wavfx.write(tmp_path / name, audio, RATE)
    (tmp_path / "out").mkdir()
    status, errors = run_cli(cli, "-q", "--tail", "0.5", "-e", chain, "-o", tmp_path / "out",
                             *(tmp_path / name for name in arrays))
    assert status == 0, errors
    for name, audio in arrays.items():
        expected, rate = wavfx.read(tmp_path / "out" / name)
        assert rate == RATE and expected.dtype == audio.dtype
        for given in tensor_forms(audio):
            stream = wavfx.Chain(chain)
            parts = [stream.process(given, RATE), stream.tail(0.5), stream.flush()]
            assert all(type(part) is type(given) for part in parts)
            got = np.concatenate([np.asarray(part) for part in parts], axis=1)
            np.testing.assert_array_equal(got, expected, err_msg=f"{name} {type(given)}")


RESHAPING = [
    "resample=rate=16000",
    "lowpass,speed=factor=1.1,resample=rate=22050:quality=low",
    "gain=db=-10,norm=level=-1:truepeak=1",
    "trim=start=0.05,norm=level=-3",  # the sample peak alone, measured without the meter
    "loudnorm=target=-10:ceiling=-2",
]


def _tensor(audio, chain):
    torch = pytest.importorskip("torch")
    got = wavfx.process(torch.from_numpy(audio), RATE, chain)
    assert isinstance(got, torch.Tensor)
    return got.numpy()


def _batch(audio, chain):  # the item between two others, as a tensor over two threads
    torch = pytest.importorskip("torch")
    items = np.stack([audio[:, ::-1], audio, audio[::-1]])
    got = wavfx.process_batch(torch.from_numpy(items), RATE, chain, threads=2)
    assert isinstance(got, torch.Tensor)
    return got[1].numpy()


FORMS = {"array": lambda audio, chain: wavfx.process(audio, RATE, chain), "tensor": _tensor,
         "batch": _batch}


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("chain", RESHAPING)
def test_reshaping_chains_give_the_samples_of_the_cli(chain, form, cli, tmp_path):
    for dtype in ("i2", "f4"):
        audio, name = as_dtype(signal(), dtype), f"{dtype}.wav"
        if audio.dtype == np.int16:
            write_wav16(tmp_path / name, audio)
        else:
            wavfx.write(tmp_path / name, audio, RATE)
        status, errors = run_cli(cli, "-q", tmp_path / name, tmp_path / ("out-" + name), chain)
        assert status == 0, errors
        expected, rate = wavfx.read(tmp_path / ("out-" + name))
        assert (expected.shape[0], rate) == wavfx.Chain(chain).output_shape(2, RATE)
        np.testing.assert_array_equal(FORMS[form](audio, chain), expected, err_msg=name)


def test_registry_is_the_cli_listing(cli):
    listing = subprocess.run([cli, "--list", "--json"], capture_output=True, check=True).stdout
    assert wavfx.effects() == json.loads(listing)


def test_process_file_matches_cli(cli, tmp_path):
    source, audio, chain = tmp_path / "in.wav", signal(), "lowpass=cutoff=8000"
    audio[:, 100:110] = np.nan
    wavfx.write(source, audio, RATE)
    result = wavfx.process_file(source, tmp_path / "py.flac", chain, tail=0.5, bits=16)
    flags = ["-q", "--tail", "0.5", "--bits", "16"]
    assert run_cli(cli, *flags, source, tmp_path / "cli.flac", chain)[0] == 0
    assert (tmp_path / "py.flac").read_bytes() == (tmp_path / "cli.flac").read_bytes()
    assert (result.outcome, result.frames, result.non_finite) == ("complete", RATE * 3 // 2, 20)
    assert result.clipped > 0


@pytest.mark.parametrize("name", ["empty.flac", "empty.wav", "empty.aiff"])
def test_an_empty_array_round_trips(tmp_path, name):
    wavfx.write(tmp_path / name, np.zeros((2, 0), np.int16), RATE)
    audio, rate = wavfx.read(tmp_path / name)
    assert (audio.shape, audio.dtype, rate) == ((2, 0), np.int16, RATE)
    assert wavfx.measure(tmp_path / name)["overall"]["bit_depth"] == 0  # not a float's None


def test_measure_gives_the_numbers_of_the_cli(cli, tmp_path):
    audio = as_dtype(signal(), "i2")
    write_wav16(tmp_path / "in.wav", audio)
    printed = subprocess.run([cli, "--stats", "--json", tmp_path / "in.wav"], capture_output=True,
                             text=True, check=True).stdout
    expected = json.loads(printed)
    got = wavfx.measure(tmp_path / "in.wav")
    meter = wavfx.Meter(audio.shape[0], RATE)
    for start in range(0, audio.shape[1], 777):  # pieces of any size: the same numbers
        meter.add(audio[:, start:start + 777])
    for result in (got, wavfx.measure(audio, RATE), meter.results()):
        for key in ("integrated_lufs", "short_term_max_lufs", "loudness_range_lu", "overall"):
            assert result[key] == expected[key], key
    silent = wavfx.measure(np.zeros((2, RATE), np.float32), RATE)
    assert silent["integrated_lufs"] is None and silent["overall"]["bit_depth"] is None
    with pytest.raises(ValueError):
        wavfx.measure(tmp_path / "missing.wav")
