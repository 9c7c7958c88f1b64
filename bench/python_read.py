"""Reads every file of an archive through the Python module, as a user's loop would:
    python_read.py ARCHIVE
Prints the files and bytes read."""

import sys

import tarnwick_dat

files = 0
total = 0
with tarnwick_dat.open(sys.argv[1]) as archive:
    for entry in archive:
        total += len(archive.read(entry.id))
        files += 1
print(f"{files} files, {total} bytes")
