import math
import pickle
import subprocess
import sys

import numpy as np
import pytest
import wavfx
from conftest import RATE, as_dtype, signal
from wavfx import augment
from wavfx.augment import Choice, LogUniform, Uniform

torch = pytest.importorskip("torch")


def test_import_wavfx_leaves_torch_alone():
    code = "import sys, wavfx, wavfx.augment; print('torch' in sys.modules)"
    assert subprocess.check_output([sys.executable, "-c", code], text=True).strip() == "False"


@pytest.mark.parametrize("chain", [
    "echo=delay=30,chorus", "speed=factor=0.9,resample=rate=16000", "trim=start=0.1:duration=0.2",
    "speed=factor=0.9513,resample=rate=22050:quality=low,gain=db=-2",
    "channels=count=1,gain=db=3", "gain=db=-10,norm=level=-1",
])
def test_a_batch_is_its_items_one_by_one(chain):
    items = np.stack([signal(RATE // 2, seed=k) for k in range(5)])
    for dtype, channels_last in (("i2", False), ("f4", True), ("f4", False), ("f8", False)):
        batch = as_dtype(items, dtype)
        if channels_last:
            batch = batch.transpose(0, 2, 1)
        each = [wavfx.process(item, RATE, chain, channels_last=channels_last) for item in batch]
        for threads in (1, 3, 2**70):
            got = wavfx.process_batch(batch, RATE, chain, threads=threads,
                                      channels_last=channels_last)
            assert got.dtype == batch.dtype
            np.testing.assert_array_equal(got, np.stack(each), err_msg=f"{dtype} {threads}")


def test_tensors_keep_dtype_and_layout_and_the_input():
    audio = torch.from_numpy(signal())
    before = audio.clone()
    expected = wavfx.process(audio.numpy(), RATE, "chorus")
    got = wavfx.process(audio.T, RATE, "chorus", channels_last=True)  # a strided view
    assert got.dtype == torch.float32 and got.shape == audio.T.shape
    np.testing.assert_array_equal(got.T.numpy(), expected)
    assert torch.equal(audio, before)
    assert wavfx.measure(audio, RATE)["overall"] == wavfx.measure(audio.numpy(), RATE)["overall"]


@pytest.mark.parametrize("make, error", [
    (lambda: torch.zeros(2, 100, device="meta"), ValueError),
    (lambda: torch.zeros(2, 100, dtype=torch.float16), TypeError),
    (lambda: torch.zeros(2, 100, dtype=torch.uint8), TypeError),
    (lambda: torch.zeros(2, 100, requires_grad=True), ValueError),
    (lambda: torch.zeros(2, 100).to_sparse(), TypeError),
])
def test_tensors_that_cannot_be_read_are_refused(make, error):
    with pytest.raises(error):
        wavfx.process(make(), RATE, "echo")
    with pytest.raises(error):
        wavfx.process_batch(make()[None], RATE, "echo")


def test_bad_batches_are_refused():
    with pytest.raises(ValueError, match="batch"):
        wavfx.process_batch(np.zeros((2, 100), np.float32), RATE, "echo")
    with pytest.raises(ValueError, match="threads"):
        wavfx.process_batch(np.zeros((1, 2, 100), np.float32), RATE, "echo", threads=0)


@pytest.mark.parametrize("make", [
    lambda: augment.Effect("speed", factor=Uniform(0.01, 1)),  # below the registry's range
    lambda: augment.Effect("resample", rate=Uniform(8000.5, 9000)),  # a whole-number parameter
    lambda: augment.Effect("resample", quality=Choice(["best"])),
    lambda: augment.Effect("echo", delay=LogUniform(0, 10)),
    lambda: augment.Effect("echo", bogus=1),
    lambda: augment.Effect("nosuch"),
    lambda: augment.SomeOf([augment.Effect("echo")], 2),
    lambda: augment.SomeOf([augment.Effect("echo")], (0.5, 1)),
    lambda: augment.OneOf([augment.Effect("echo"), augment.Effect("gain")], weights=[math.nan, 1]),
    lambda: augment.OneOf([augment.Effect("echo"), augment.Effect("gain")], weights=[math.inf, 1]),
])
def test_augmentations_are_checked_when_made(make):
    with pytest.raises(ValueError):
        make()


AUG = augment.Compose([
    augment.Effect("speed", factor=Uniform(0.9, 1.1)),
    augment.Effect("resample", rate=16000),
    augment.Effect("equalizer", frequency=LogUniform(100, 4000), gain=Uniform(-6, 6), p=0.5),
    augment.OneOf([augment.Effect("reverb", size=Uniform(0.5, 2)),
                   augment.Effect("echo", delay=Choice([40, 80]))], p=0.7),
    augment.SomeOf([augment.Effect("gain", db=Uniform(-6, 0)), augment.Effect("tremolo"),
                    augment.Effect("lowpass")], (0, 2)),
], seed=11)


class Clips(torch.utils.data.Dataset):
    def __len__(self):
        return 12

    def __getitem__(self, index):
        audio = torch.from_numpy(signal(RATE // 4, seed=index))
        return AUG(audio, RATE, index=index)


def test_augmented_data_are_the_same_with_any_workers_and_order():
    def load(workers, order):
        loader = torch.utils.data.DataLoader(Clips(), batch_size=None, num_workers=workers,
                                             sampler=order)
        return {i: item.numpy().tobytes() for i, item in zip(order, loader)}

    forward, backward = list(range(12)), list(range(11, -1, -1))
    assert load(0, forward) == load(2, backward) == load(2, forward)
    texts = {AUG.chain_text(index=i) for i in range(12)}
    assert len(texts) == 12 and pickle.loads(pickle.dumps(AUG)).chain_text(index=3) in texts
