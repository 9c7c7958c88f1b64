"""Archives written by the project's writer for the tests, and the tool beside them."""

import os
import random
from pathlib import Path

import pytest

import _tarnwick_dat_testing as testing

BIN_DIR = Path(os.environ.get("TARNWICK_BIN_DIR", Path(__file__).parents[2] / "build" / "bin"))


def _noise(seed: int, length: int) -> bytes:
    return random.Random(seed).randbytes(length)


def _repetitive(seed: int, length: int) -> bytes:
    words = [b"clothing ", b"palette ", b"texture ", bytes([seed])]
    rng = random.Random(seed)
    return b"".join(rng.choice(words) for _ in range(length // 8))[:length]


# Files of several types, block counts and layouts, stored plain and compressed. Block size 256,
# so that most files span many blocks.
FILES = [
    {"id": 0x01000001, "data": _noise(1, 100), "timestamp": 1_070_000_000, "version": 3},
    {"id": 0x01000002, "data": b"", "timestamp": 0},
    {"id": 0x03000010, "data": _noise(2, 5000), "scattered": True, "flags": 0x10000},
    {"id": 0x04000001, "data": _repetitive(3, 9000), "compressed": True, "version": 7},
    {"id": 0x06000005, "data": _repetitive(4, 20000), "compressed": True, "scattered": True},
    {"id": 0x0600000A, "data": _noise(5, 1021)},
]


@pytest.fixture(scope="session")
def written(tmp_path_factory):
    """(path, files as given, entries as the writer stored them), files in the order written."""
    path = tmp_path_factory.mktemp("written") / "written.dat"
    entries = testing.write_archive(str(path), FILES, block_size=256)
    return path, FILES, entries


@pytest.fixture(scope="session")
def sample(tmp_path_factory):
    """The sample generator's small archive: clothing tables, plain and compressed."""
    path = tmp_path_factory.mktemp("sample") / "small.dat"
    testing.write_small_sample(str(path))
    return path


@pytest.fixture
def archive_copy(written, tmp_path):
    """A copy of the written archive that a test may damage."""
    path = tmp_path / "copy.dat"
    path.write_bytes(written[0].read_bytes())
    return path
