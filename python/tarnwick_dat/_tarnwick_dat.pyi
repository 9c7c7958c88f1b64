import datetime
import os
from collections.abc import Iterable, Iterator
from types import TracebackType
from typing import Any

class Header:
    """The archive's 80-byte header, every field by its name."""

    magic: int
    block_size: int
    file_size: int
    dataset: int
    subset: int
    free_head: int
    free_tail: int
    free_count: int
    root_offset: int
    new_lru: int
    old_lru: int
    use_lru: int
    master_map_id: int
    engine_version: int
    game_version: int
    version_string: bytes
    version_minor: int

class Entry:
    """One file of the archive, as its directory entry describes it."""

    id: int
    type: str
    stored_size: int
    compressed: bool
    bit_flags: int
    version: int
    offset: int
    @property
    def size(self) -> int:
        """The expanded size: the stored size, or for a compressed file the size its stream
        declares (one small read of the archive, which must still be open)."""
    @property
    def timestamp(self) -> datetime.datetime:
        """The entry's timestamp, an aware datetime in UTC."""

class EntryIterator(Iterator[Entry]):
    def __iter__(self) -> EntryIterator: ...
    def __next__(self) -> Entry: ...

class Archive:
    """An open archive. Use it as a context manager, or call close()."""

    @property
    def header(self) -> Header: ...
    @property
    def kind(self) -> str:
        """"Portal", "Cell", "Local" or "Unknown"."""
    @property
    def path(self) -> str: ...
    @property
    def closed(self) -> bool: ...
    def close(self) -> None: ...
    def __enter__(self) -> Archive: ...
    def __exit__(
        self,
        exc_type: type[BaseException] | None,
        exc: BaseException | None,
        traceback: TracebackType | None,
    ) -> None: ...
    def __len__(self) -> int: ...
    def __contains__(self, id: object) -> bool: ...
    def __iter__(self) -> EntryIterator: ...
    def entries(
        self, type: str | None = None, ids: Iterable[int] | None = None
    ) -> EntryIterator:
        """The entries in ascending id order: only those of `type` (a name from file_types(),
        any case; another name raises ValueError) and of `ids`, when given. Ids the archive does
        not hold are left out."""
    def entry(self, id: int) -> Entry:
        """The entry of `id`; NotFoundError when the archive holds none."""
    def read(self, id: int) -> bytes:
        """The file's bytes, expanded when stored compressed."""
    def expanded_size(self, id: int) -> int:
        """The size read() gives, without expanding."""
    def clothing(self, id: int) -> dict[str, Any]:
        """The clothing table, shaped as `tarnwick-dat clothing --format json` writes it."""
    def verify(self) -> list[dict[str, Any]]:
        """Checks the archive's file as `tarnwick-dat verify` does (opening it again by its
        path): the problems found, each shaped as a problem line of `verify --format json`
        ("type", "id", "step", "error"). An empty list for a sound archive."""

def open(path: str | bytes | os.PathLike[str] | os.PathLike[bytes]) -> Archive:
    """Opens an archive read-only and reads its directory."""

def file_types() -> list[str]:
    """The names of every file type, as Entry.type and entries(type=...) use them."""
