#!/usr/bin/python3
"""Exits 0 when two PNG files hold the same pixels, whatever their encoding: 8-bit RGB or RGBA,
not interlaced, as the program writes them. Standard library only."""
import struct
import sys
import zlib


def pixels(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path} is not a PNG")
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(f"{path}: not 8-bit RGB or RGBA")
    step = 3 if colour == 2 else 4
    raw, stride, rows, prior = zlib.decompress(idat), width * step, [], bytearray(width * step)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - step] if x >= step else 0
            b = prior[x]
            c = prior[x - step] if x >= step else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line[i:i + 3]) for i in range(0, stride, step))
        rows[-1] = b"".join(rows[-1])
        prior = line
    return width, height, rows


if __name__ == "__main__":
    sys.exit(0 if pixels(sys.argv[1]) == pixels(sys.argv[2]) else 1)
