"""Files through an effect on a dask.distributed cluster, as `wavfx -e EFFECT -o DIR FILES` does.

    from distributed import Client
    import wavfx.dask
    results = wavfx.dask.process_files(paths, "out/", "reverb", Client("tcp://host:8786"))

Every worker needs wavfx installed, and the inputs and the output directory at the same paths.
"""

from __future__ import annotations

import os
import stat
from dataclasses import dataclass
from typing import Any, Dict, Iterable, List, Optional, Tuple, Union

from distributed import Client, LocalCluster

from . import Chain, Effect, PathLike, _bits, _core, _file_chain, _path, _tail


@dataclass(frozen=True)
class BatchResult:
    """One file of a batch: status "done", "incomplete" or "not started", and the reason the
    command line gives (also the notes on non-finite and clipped samples of a done file)."""

    input: str
    output: str
    status: str
    reason: str


def process_files(
    paths: Iterable[PathLike],
    output_dir: PathLike,
    effect: Union[str, Effect, Chain],
    client: Optional[Client] = None,
    *,
    tail: float = 0.0,
    format: Optional[str] = None,
    bits: Union[int, str, None] = None,
) -> List[BatchResult]:
    """Writes each file to `output_dir` under its own name (with the extension of `format`, when
    given) and returns one result per file, in order. Without a client, a LocalCluster of one
    single-threaded worker process per core runs the files. A chain with a mistake, a bad tail
    or a missing output directory raise before any file runs."""
    if isinstance(paths, (str, bytes, os.PathLike)):  # else each character would be a file
        raise TypeError("paths is a list of paths; for one file give [path]")
    chain = _file_chain(effect)
    seconds = _tail(tail)
    directory = os.fsdecode(output_dir)
    if not os.path.isdir(directory):
        raise NotADirectoryError(f"output directory '{directory}' is not a directory")
    inputs = [os.fsdecode(path) for path in paths]
    jobs = _plan(inputs, directory, format)
    identities: Dict[Tuple[int, int], str] = {}
    for name in inputs:
        try:
            info = os.stat(name)
        except OSError:
            continue
        identities.setdefault((info.st_dev, info.st_ino), name)
    options = dict(chain=chain, tail=seconds, format=format, bits=_bits(bits), inputs=identities)
    if client is None:
        with LocalCluster(
            n_workers=os.cpu_count() or 1, threads_per_worker=1, processes=True,
            host="127.0.0.1", dashboard_address=None,
        ) as cluster, Client(cluster) as local:
            return _run(local, inputs, jobs, options)
    return _run(client, inputs, jobs, options)


def _plan(inputs: List[str], directory: str, format: Optional[str]) -> List[Tuple[str, str]]:
    """(output, refusal) for each input, refusing what the command line refuses before it runs."""
    jobs: List[Tuple[str, str]] = []
    taken: Dict[str, str] = {}
    for name in inputs:
        base = name[name.rfind("/") + 1:]
        if base in ("", ".", ".."):
            jobs.append(("", "no file name to write under the output directory"))
            continue
        if format is not None:
            base = (base[: base.rfind(".")] if "." in base else base) + "." + format
        output = directory + ("" if directory.endswith("/") else "/") + base
        if output in taken:
            jobs.append((output, f"its output {output} is already written from {taken[output]}"))
        else:
            taken[output] = name
            jobs.append((output, ""))
    return jobs


def _run(client: Client, inputs: List[str], jobs: List[Tuple[str, str]], options: Dict[str, Any]):
    outputs = [output for output, _ in jobs]
    refusals = [refusal for _, refusal in jobs]
    futures = client.map(_process_one, inputs, outputs, refusals, pure=False, **options)
    return [
        BatchResult(name, output, status, reason)
        for name, output, (status, reason) in zip(inputs, outputs, client.gather(futures))
    ]


def _process_one(
    name: str, output: str, refusal: str, *, chain: str, tail: float, format: Optional[str],
    bits: Optional[str], inputs: Dict[Tuple[int, int], str],
) -> Tuple[str, str]:
    if refusal:
        return "not started", refusal
    try:
        with open(name, "rb") as file:
            regular = stat.S_ISREG(os.fstat(file.fileno()).st_mode)
    except OSError as error:
        return "not started", f"cannot open input: {error.strerror}"
    if not regular:
        return "not started", "cannot open input: not a regular file"
    try:
        info = os.stat(output)
    except OSError:
        pass
    else:
        if (info.st_dev, info.st_ino) in inputs:
            source = inputs[info.st_dev, info.st_ino]
            return "not started", f"its output {output} is the input {source}"
    code, _, clipped, non_finite, message = _core.process_file(
        _path(name), _path(output), chain, tail, format, bits
    )
    if code == 4:
        message = "frames wider than a block (over 1024 channels), nothing streamed"
    notes = [message] if message else []
    if non_finite:
        notes.append(f"{non_finite} non-finite samples read as 0")
    if clipped:
        notes.append(f"{clipped} samples clipped")
    status = "done" if code == 0 else "not started" if code == 1 else "incomplete"
    return status, "; ".join(notes)
