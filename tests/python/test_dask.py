import re

import numpy as np
import pytest
import wavfx
from conftest import RATE, as_dtype, run_cli, signal, write_wav16

distributed = pytest.importorskip("distributed")
import wavfx.dask  # noqa: E402


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  host="127.0.0.1", dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            yield client


@pytest.mark.parametrize("options", [{}, {"tail": 0.5, "format": "flac"}])
def test_files_on_a_cluster_match_the_cli_batch(client, cli, tmp_path, options):
    for directory in ("in", "twin", "py", "cli"):
        (tmp_path / directory).mkdir()
    write_wav16(tmp_path / "in" / "a.wav", as_dtype(signal(), np.int16))
    wavfx.write(tmp_path / "in" / "b.wav", signal(seed=2) * 2, RATE)
    wavfx.write(tmp_path / "in" / "c.flac", as_dtype(signal(seed=3), np.int32), RATE, bits=24)
    (tmp_path / "in" / "d.wav").write_text("not audio")
    write_wav16(tmp_path / "twin" / "a.wav", as_dtype(signal(seed=4), np.int16))
    inputs = [f"{tmp_path}/in/{name}" for name in ("a.wav", "b.wav", "c.flac", "d.wav", "e.wav")]
    inputs.append(f"{tmp_path}/twin/a.wav")
    chain = "echo=delay=120,reverb"
    results = wavfx.dask.process_files(inputs, tmp_path / "py", chain, client, **options)
    flags = [f"--{key}={value}" for key, value in options.items()]
    _, errors = run_cli(cli, "-e", chain, "-o", tmp_path / "cli", *flags, *inputs)
    lines = re.findall(r"^(done|incomplete|not started) +(\S+?)(?: -> \S+)?(?:: (.*))?$", errors,
                       re.M)
    ours = {r.input: (r.status, "" if r.status == "done" else r.reason) for r in results}
    theirs = {name: (status, reason.replace("/cli/", "/py/")) for status, name, reason in lines}
    assert ours == theirs
    written = sorted(path.name for path in (tmp_path / "cli").iterdir())
    assert written == sorted(path.name for path in (tmp_path / "py").iterdir())
    assert len(written) == 3
    for name in written:
        assert (tmp_path / "py" / name).read_bytes() == (tmp_path / "cli" / name).read_bytes()
