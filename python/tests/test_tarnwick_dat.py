import datetime
import json
import struct
import subprocess
import threading

import pytest

import tarnwick_dat
from conftest import BIN_DIR

TYPE_OF_PREFIX = {0x01: "Model", 0x03: "Animation", 0x04: "Palette", 0x06: "Texture"}


def tool(*arguments):
    return subprocess.run(
        [BIN_DIR / "tarnwick-dat", *map(str, arguments)], capture_output=True, check=False
    )


def assert_plain(error):
    text = str(error)
    assert text and text == error.message
    assert "\n" not in text and "\x1b" not in text


def test_entries_are_what_the_writer_wrote(written):
    path, files, stored = written
    with tarnwick_dat.open(path) as archive:
        entries = list(archive.entries())
        assert [entry.id for entry in entries] == sorted(file["id"] for file in files)
        assert [entry.id for entry in archive] == [entry.id for entry in entries]
        assert len(archive) == len(files)
        by_id = {entry.id: entry for entry in entries}
        for file, written_entry in zip(files, stored):
            entry = by_id[file["id"]]
            assert entry.type == TYPE_OF_PREFIX[file["id"] >> 24]
            assert entry.size == len(file["data"])
            assert entry.stored_size == written_entry["size"]
            assert entry.compressed == file.get("compressed", False)
            assert entry.bit_flags == written_entry["bit_flags"]
            assert entry.offset == written_entry["offset"]
            assert entry.version == file.get("version", 0)
            assert entry.timestamp == datetime.datetime.fromtimestamp(
                file.get("timestamp", 0), datetime.timezone.utc
            )
            assert f"0x{file['id']:08X}" in repr(entry)
            assert file["id"] in archive
        assert 0x7F000000 not in archive and -1 not in archive and "x" not in archive

        assert [entry.id for entry in archive.entries(type="texture")] == [0x06000005, 0x0600000A]
        assert [e.id for e in archive.entries(ids=[0x0600000A, 0x01000001, 0x99, 2**40])] == [
            0x01000001,
            0x0600000A,
        ]
        assert [e.id for e in archive.entries(type="Texture", ids=[0x01000001, 0x06000005])] == [
            0x06000005
        ]
        with pytest.raises(ValueError, match="Textures"):
            archive.entries(type="Textures")
        assert "Clothing" in tarnwick_dat.file_types()


def test_read_gives_the_written_bytes(written):
    path, files, _ = written
    with tarnwick_dat.open(path) as archive:
        for file in files:
            assert archive.read(file["id"]) == file["data"], hex(file["id"])
            assert archive.expanded_size(file["id"]) == len(file["data"])


HEADER_FIELDS = (
    "magic block_size file_size dataset subset free_head free_tail free_count root_offset new_lru"
    " old_lru use_lru master_map_id engine_version game_version version_string version_minor"
).split()


def test_header_is_the_stored_one(written):
    path = written[0]
    stored = path.read_bytes()[0x140 : 0x140 + 80]
    values = struct.unpack("<15I16sI", stored)
    with tarnwick_dat.open(path) as archive:
        assert archive.kind == "Local"  # a portal archive has 1024-byte blocks
        header = archive.header
        assert [getattr(header, name) for name in HEADER_FIELDS] == list(values)
        assert (header.magic, header.block_size, header.file_size) == (
            0x5442,
            256,
            path.stat().st_size,
        )
        assert "block_size=256" in repr(header)


def test_clothing_is_the_tools_json(sample):
    with tarnwick_dat.open(str(sample)) as archive:
        assert archive.kind == "Portal"
        tables = list(archive.entries(type="Clothing"))
        assert any(entry.compressed for entry in tables)
        for entry in tables:
            shown = tool("clothing", sample, f"0x{entry.id:08X}", "--format", "json")
            assert shown.returncode == 0, shown.stderr
            assert archive.clothing(entry.id) == json.loads(shown.stdout)


def test_errors_are_dat_errors_with_plain_messages(written, archive_copy, tmp_path):
    path, files, stored = written
    with tarnwick_dat.open(path) as archive:
        for call in (archive.read, archive.expanded_size, archive.clothing):
            with pytest.raises(tarnwick_dat.NotFoundError) as missing:
                call(0x0600BEEF)
            assert isinstance(missing.value, KeyError)
            assert isinstance(missing.value, tarnwick_dat.DatError)
            assert missing.value.kind == "NotFound"
            assert "0x0600BEEF" in str(missing.value)
            assert_plain(missing.value)
        with pytest.raises(tarnwick_dat.DatError, match="not a clothing table") as not_clothing:
            archive.clothing(0x01000001)
        assert_plain(not_clothing.value)

    # The scattered file's first link word sent past the end of the archive, and a compressed
    # file's stream declaring more bytes than it expands to.
    scattered, compressed = (
        next(entry for entry in stored if entry["id"] == id) for id in (0x03000010, 0x04000001)
    )
    with open(archive_copy, "r+b") as damaged:
        damaged.seek(scattered["offset"])
        damaged.write((0x7FFFFF00).to_bytes(4, "little"))
        damaged.seek(compressed["offset"] + 4)
        damaged.write((len(files[3]["data"]) + 100).to_bytes(4, "little"))
    with tarnwick_dat.open(archive_copy) as archive:
        for id, kinds in ((0x03000010, {"Io", "Corruption"}), (0x04000001, {"DecompressionFailed"})):
            with pytest.raises(tarnwick_dat.DatError) as broken:
                archive.read(id)
            assert not isinstance(broken.value, KeyError)
            assert broken.value.kind in kinds
            assert_plain(broken.value)
        assert archive.read(0x0600000A) == files[-1]["data"]

    with pytest.raises(tarnwick_dat.DatError) as unopened:
        tarnwick_dat.open(tmp_path / "absent.dat")
    assert_plain(unopened.value)


def test_verify_gives_the_tools_problems(written, archive_copy):
    with tarnwick_dat.open(written[0]) as archive:
        assert archive.verify() == []
    with open(archive_copy, "r+b") as damaged:
        damaged.seek(0x140)
        damaged.write(b"\0\0\0\0")  # the magic
        damaged.seek(written[2][2]["offset"])
        damaged.write((0x7FFFFF00).to_bytes(4, "little"))
    shown = tool("verify", archive_copy, "--format", "json")
    lines = [json.loads(line) for line in shown.stdout.splitlines()]
    with tarnwick_dat.open(archive_copy) as archive:
        problems = archive.verify()
    assert len(problems) >= 2
    assert problems == [line for line in lines if line["type"] == "problem"]


def test_a_closed_archive_raises(written):
    path, files, _ = written
    archive = tarnwick_dat.open(path)
    with archive:
        entry = next(entry for entry in archive if entry.compressed)
        assert not archive.closed
    assert archive.closed
    assert "closed" in repr(archive)
    for use in (
        lambda: archive.read(files[0]["id"]),
        lambda: len(archive),
        lambda: archive.entries(),
        lambda: archive.header,
        lambda: entry.size,
        archive.verify,
    ):
        with pytest.raises(ValueError, match="closed"):
            use()


def test_threads_reading_at_once_get_the_written_bytes(written):
    path, files, _ = written
    failures = []

    def read_all(archive, order, rounds):
        for _ in range(rounds):
            for file in order:
                if archive.read(file["id"]) != file["data"]:
                    failures.append(file["id"])

    # In opposite orders, so that the reads' windows are taken over from other positions.
    orders = [files, files[::-1]] * 2
    with tarnwick_dat.open(path) as archive:
        threads = [threading.Thread(target=read_all, args=(archive, o, 50)) for o in orders]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    assert failures == []


def test_the_stubs_name_what_the_module_has():
    import ast
    from pathlib import Path

    stubs = ast.parse((Path(tarnwick_dat.__file__).parent / "_tarnwick_dat.pyi").read_text())
    module = tarnwick_dat._tarnwick_dat
    for node in stubs.body:
        if isinstance(node, ast.FunctionDef):
            assert hasattr(module, node.name), node.name
        elif isinstance(node, ast.ClassDef):
            runtime = getattr(module, node.name)
            for member in node.body:
                if isinstance(member, ast.FunctionDef):
                    name = member.name
                elif isinstance(member, ast.AnnAssign):
                    name = member.target.id
                else:
                    continue  # the docstring
                assert hasattr(runtime, name), f"{node.name}.{name}"
