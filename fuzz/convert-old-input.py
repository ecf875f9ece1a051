#!/usr/bin/env python3
"""Converts fuzz inputs of the old numbering to inputs that name their setup.

An input once picked its setup by its first byte, modulo the number of
setups; adding setups changed what stored inputs meant. An input now names
its setup on its first line ("pilo/160x120\\n") and the bytes after it are
the decisions that followed the old first byte. The old numbering had 86
setups, listed below in their old order (fuzz/fuzz_common.h before the
driver tables held them); a setup's old index is its place here.

    python3 fuzz/convert-old-input.py OLD [NEW]

writes the converted input to NEW (or over OLD) and prints the setup it
names. An input that already names a setup is left as it is.
"""
import sys

OLD_SETUPS = """
brisko8/640x480
brisko15/640x480
brisko16/640x480
brisko24/640x480
lomvi8/640x480
lomvi16/640x480
hadra24/640x480
brisko8/example
hadra24/example
fuska/example
tolva16/example
tolva8/example
lomvi8/640x480-pitch1024
hadra24/640x480-pitch2048
lomvi8/800x600
brisko24/800x600
tolva16/large
brisko8/160x120
brisko15/100x75
brisko16/64x48
brisko24/120x90
lomvi8/96x64
lomvi8/100x60
lomvi16/80x60
hadra24/160x120
hadra24/72x40
fuska/160x120
fuska/96x72-d8
fuska/64x48-d15
fuska/120x90-d24
tolva16/160x120
tolva16/100x75
tolva8/128x96
tolva8/72x40
tolva16/96x64-gd5434
tolva16/large-160x120
fuska/100x75-d8
nelto/160x120-d8
nelto/100x75-d15
nelto/64x48-d16
nelto/120x90-d24
nelto/72x40-d32
nelto/96x64-d16-noaccel
nelto/example
savage/160x120-d8
savage/100x75-d15
savage/64x48-d16-nofill
savage/120x90-d24
savage/72x40-d32
savage/example
pravo8/160x120
pravo16/100x75
pravo24/96x64
skerl8/120x90
skerl16/64x48
skerl24/80x60
tunga8/700x40
tunga16/128x96
tunga24/72x40
rasmo/128x96
rasmo/2m-96x72
rasmo/128x1340
pilo/160x120
pilo/100x75-d4
pilo/96x64-d16
pilo/512k-72x40
pilo/2m-120x90
hobra/128x64
hobra/4planes-96x64
hobra/ati-120x90
tesk/640x32
vandu/640x32-d16
merro/640x32-d32
pilo/96x1023-d4-sprite
pilo/2m-64x48-d16
pilo/2m-1100x40
tesk/640x48-d32
vandu/800x40-d8
merro/640x40-d16-512k
merro/640x16-d8
hobra/128x64-fullcache
hobra/4planes-96x64-oneslot
hobra/96x40-bands
rasmo/1280x16
rasmo/128x96-swcursor
rasmo/128x96-d16
""".split()


def names_a_setup(data):
    line = data.split(b"\n", 1)[0]
    return b"\n" in data[:65] and b"/" in line and all(
        c in b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./" for c in line)


def convert(data):
    if names_a_setup(data):
        return data, data.split(b"\n", 1)[0].decode()
    # An empty input read its first byte as 0.
    setup = OLD_SETUPS[(data[0] if data else 0) % len(OLD_SETUPS)]
    return setup.encode() + b"\n" + data[1:], setup


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], "rb") as f:
        data = f.read()
    out, setup = convert(data)
    with open(argv[-1], "wb") as f:
        f.write(out)
    print(f"{argv[-1]}: {setup}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
