#!/usr/bin/env bash
# Builds fixture.dll, a resource-only module, from fixture.rc. Needs python3 and the MinGW
# binutils (Debian package binutils-mingw-w64-x86-64) and a C preprocessor; the tests use the
# committed result, so neither is needed to build or test.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 - "$tmp" <<'PY'
import struct, sys
out = sys.argv[1]
# 4 x 2 pixels, 4 bits per pixel, 16-colour palette, rows padded to 4 bytes.
palette = b"".join(struct.pack("<BBBB", i * 16, 255 - i * 16, i, 0) for i in range(16))
pixels = bytes([0x01, 0x23, 0, 0, 0x45, 0x67, 0, 0])
info = struct.pack("<IiiHHIIiiII", 40, 4, 2, 1, 4, 0, len(pixels), 0, 0, 0, 0)
body = info + palette + pixels
with open(f"{out}/small.bmp", "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 14 + len(body), 0, 0, 14 + 40 + 64) + body)
# One 8 x 8 image, 1 bit per pixel: XOR and AND masks, rows padded to 4 bytes.
info = struct.pack("<IiiHHIIiiII", 40, 8, 16, 1, 1, 0, 64, 0, 0, 0, 0)
image = info + struct.pack("<II", 0, 0xFFFFFF) + bytes([0xAA, 0, 0, 0] * 8) + bytes(32)
with open(f"{out}/small.ico", "wb") as f:
    f.write(struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 8, 8, 2, 0, 1, 1, len(image), 22) + image)
PY
cp fixture.rc "$tmp/"
(cd "$tmp" && x86_64-w64-mingw32-windres --preprocessor=cpp fixture.rc -O coff -o fixture.res)
x86_64-w64-mingw32-ld --dll -e 0 -s --no-insert-timestamp -o fixture.dll "$tmp/fixture.res"
