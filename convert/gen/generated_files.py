"""Writes a generator's files, or with check=True compares them with what is
there and fails on the first that differs: the build runs each generator so
as a test."""
import os
import sys


def write_or_check(files, out_dir, source, check):
    """`files` maps a file name in `out_dir` to its text, made from `source`."""
    for name, text in files.items():
        path = os.path.join(out_dir, name)
        if not check:
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(text)
            continue
        with open(path, encoding="utf-8", newline="") as f:
            if f.read() != text:
                sys.exit(f"{path} is not what {source} gives: regenerate it with {' '.join(sys.argv[:-1])}")
    print(f"{', '.join(files)} {'match' if check else 'written from'} {source}")
