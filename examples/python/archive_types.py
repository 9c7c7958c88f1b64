"""Prints how many files of each type an archive holds and their bytes once expanded, largest
first:

    build/venv/bin/python examples/python/archive_types.py dats/portal.dat
"""

import sys
from collections import Counter

import tarnwick_dat


def main(arguments: list[str]) -> int:
    if len(arguments) != 2:
        print("usage: archive_types.py ARCHIVE", file=sys.stderr)
        return 2
    files: Counter[str] = Counter()
    sizes: Counter[str] = Counter()
    try:
        with tarnwick_dat.open(arguments[1]) as archive:
            for entry in archive:
                files[entry.type] += 1
                sizes[entry.type] += entry.size
    except tarnwick_dat.DatError as error:
        print(f"archive_types.py: {error}", file=sys.stderr)
        return 1
    for type_name, size in sizes.most_common():
        print(f"{type_name:<20} {files[type_name]:>7} files {size:>12} bytes")
    print(f"{'total':<20} {files.total():>7} files {sizes.total():>12} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
