#!/usr/bin/env python3
"""The portable zip, the same bytes from any checkout.

Usage: portable_zip.py OUT.zip EPOCH DIR NAME...
Packs DIR/NAME for each NAME, in the order given, under that name (forward slashes), each dated
EPOCH (seconds, UTC) with a fixed mode: no directory entries, no owner, no access or change
times. Non-ASCII names carry the zip's UTF-8 flag, so that Windows shows them.
"""
import pathlib
import sys
import time
import zipfile


def main():
    if len(sys.argv) < 5:
        sys.exit("usage: portable_zip.py OUT.zip EPOCH DIR NAME...")
    out, epoch, root, names = sys.argv[1], int(sys.argv[2]), pathlib.Path(sys.argv[3]), sys.argv[4:]
    # The zip's own dates cannot go before 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(out + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in names:
            info = zipfile.ZipInfo(name, stamp)
            # Unix-made with a fixed mode, as Info-ZIP's unzip reads non-ASCII names as UTF-8
            # only then (from MS-DOS it takes them for a code page); Windows ignores the mode.
            info.create_system = 3
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, (root / name).read_bytes(), compresslevel=9)
    pathlib.Path(out + ".part").replace(out)


if __name__ == "__main__":
    main()
