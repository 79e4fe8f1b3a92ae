import re

import numpy as np
import pytest
import wavfx
from conftest import RATE, as_dtype, run_cli, signal, write_wav16

distributed = pytest.importorskip("distributed")
import wavfx.dask  # noqa: E402


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as c:
        yield c


def _cli_statuses(errors):
    """{input: (status, reason)} from the batch's lines."""
    lines = re.findall(r"^(done|incomplete|not started) +(\S+?)(?: -> \S+?)?(?:: (.*))?$", errors, re.M)
    return {name: (status, reason) for status, name, reason in lines}


@pytest.mark.parametrize("options, flags", [({}, []), ({"tail": 0.5, "format": "flac"}, ["--tail", "0.5", "--format", "flac"])])
def test_files_on_a_cluster_match_the_cli_batch(client, cli, tmp_path, options, flags):
    (tmp_path / "in").mkdir()
    (tmp_path / "twin").mkdir()
    write_wav16(tmp_path / "in" / "a.wav", as_dtype(signal(), np.int16))
    wavfx.write(tmp_path / "in" / "b.wav", signal(seed=2) * 2, RATE)
    wavfx.write(tmp_path / "in" / "c.flac", as_dtype(signal(seed=3), np.int32), RATE, bits=24)
    (tmp_path / "in" / "d.wav").write_text("not audio")
    write_wav16(tmp_path / "twin" / "a.wav", as_dtype(signal(seed=4), np.int16))
    names = ["a.wav", "b.wav", "c.flac", "d.wav", "missing.wav"]
    inputs = [str(tmp_path / "in" / n) for n in names] + [str(tmp_path / "twin" / "a.wav")]
    chain = "echo=delay=120,reverb"
    for out in ("py", "cli"):
        (tmp_path / out).mkdir()
    results = wavfx.dask.process_files(inputs, tmp_path / "py", chain, client, **options)
    _, errors = run_cli(cli, "-e", chain, "-o", tmp_path / "cli", *flags, *inputs)
    ours, theirs = f"{tmp_path}/py/", f"{tmp_path}/cli/"
    reported = {r.input: (r.status, "" if r.status == "done" else r.reason.replace(ours, theirs)) for r in results}
    assert reported == _cli_statuses(errors)
    written = sorted(p.name for p in (tmp_path / "cli").iterdir())
    assert written == sorted(p.name for p in (tmp_path / "py").iterdir()) and len(written) == 3
    for name in written:
        assert (tmp_path / "py" / name).read_bytes() == (tmp_path / "cli" / name).read_bytes(), name
