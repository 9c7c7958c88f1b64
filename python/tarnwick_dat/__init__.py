"""Reads portal.dat archives.

    import tarnwick_dat

    with tarnwick_dat.open("portal.dat") as archive:
        for entry in archive.entries(type="Clothing"):
            table = archive.clothing(entry.id)
        data = archive.read(0x10000001)

Errors of the archive raise `DatError`; an id the archive does not hold raises `NotFoundError`,
which is also a `KeyError`. A closed archive raises `ValueError` on use.
"""

from ._errors import DatError, NotFoundError
from ._tarnwick_dat import Archive, Entry, Header, file_types, open

__all__ = ["Archive", "DatError", "Entry", "Header", "NotFoundError", "file_types", "open"]
