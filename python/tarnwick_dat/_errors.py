"""The exceptions the archive library's errors become. Defined in Python so that the missing-id
error can be both a DatError and a KeyError."""


class DatError(Exception):
    """An archive could not be opened or read.

    `kind` names the library's error kind ("Io", "BinRead", "NotFound", "Corruption", ...);
    `message` is one plain line, also what `str()` gives."""

    def __init__(self, kind: str, message: str) -> None:
        super().__init__(message)
        self.kind = kind
        self.message = message

    def __str__(self) -> str:
        return self.message


class NotFoundError(DatError, KeyError):
    """The archive holds no file of the id asked for."""
