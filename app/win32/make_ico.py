#!/usr/bin/env python3
"""Packs the program's PNG icons into one Windows icon file:
make_ico.py OUT.ico IN.png... Sizes up to 64 pixels go in as 32-bit
bitmaps, which every version of Windows draws; larger ones stay PNG, as
Windows takes them since Vista. Only the standard library is needed."""

import struct
import sys
import zlib


def read_png(path):
    """Width, height and rows of RGBA bytes of an 8-bit RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("%s: not a PNG file" % path)
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        sys.exit("%s: only 8-bit RGBA PNG files without interlace" % path)
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, prior = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, row = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = row[i - 4] if i >= 4 else 0
            up = prior[i]
            corner = prior[i - 4] if i >= 4 else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                near = left if pa <= pb and pa <= pc else (
                    up if pb <= pc else corner)
                row[i] = (row[i] + near) & 255
        rows.append(bytes(row))
        prior = row
    return width, height, rows, data


def bitmap(width, height, rows):
    """The icon image as a bitmap: its header, the pixels bottom up in BGRA
    and an empty mask, since the alpha channel says what is transparent."""
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0,
                         0, 0, 0, 0, 0)
    pixels = b"".join(
        bytes(b for i in range(0, len(row), 4)
              for b in (row[i + 2], row[i + 1], row[i], row[i + 3]))
        for row in reversed(rows))
    mask = bytes(((width + 31) // 32) * 4 * height)
    return header + pixels + mask


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: make_ico.py OUT.ico IN.png...")
    images = []
    for path in sys.argv[2:]:
        width, height, rows, png = read_png(path)
        body = bitmap(width, height, rows) if width <= 64 else png
        images.append((width, height, body))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, height, body in images:
        # 256 is written as 0 in the one byte there is for it.
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1,
                           32, len(body), offset)
        offset += len(body)
    out += b"".join(body for _, _, body in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
