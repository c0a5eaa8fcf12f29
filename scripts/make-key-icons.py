#!/usr/bin/python3
"""Draws resources/share/dictalo-keys.png: the small icons of the shortcut keys
offered on a fresh system, 16x16 each, side by side in the order of their
index in the "Icon" values (<Super>r, <Control><Alt>r, F9, Pause, record key).

usage: make-key-icons.py OUTPUT.png
"""
import struct
import sys
import zlib

SIZE = 16
# 3x5 glyphs, rows top to bottom.
GLYPHS = {
    "R": ["110", "101", "110", "101", "101"],
    "F": ["111", "100", "110", "100", "100"],
    "9": ["111", "101", "111", "001", "111"],
    "^": ["010", "101", "000", "000", "000"],
    "*": ["000", "101", "010", "101", "000"],
    "|": ["101", "101", "101", "101", "101"],
}
ICONS = ["*R", "^R", "F9", "|", None]  # None: the red record dot

KEY = (236, 236, 240, 255)
EDGE = (90, 90, 100, 255)
INK = (30, 30, 40, 255)
RED = (210, 30, 30, 255)
CLEAR = (0, 0, 0, 0)


def icon(label):
    pixels = [[CLEAR] * SIZE for _ in range(SIZE)]
    for y in range(1, 15):
        for x in range(1, 15):
            corner = (x in (1, 14)) and (y in (1, 14))
            if corner:
                continue
            edge = x in (1, 14) or y in (1, 14) or y == 13
            pixels[y][x] = EDGE if edge else KEY
    if label is None:
        for y in range(4, 12):
            for x in range(4, 12):
                if (x - 7.5) ** 2 + (y - 7.5) ** 2 <= 12.5:
                    pixels[y][x] = RED
        return pixels
    width = 4 * len(label) - 1
    left = (SIZE - width) // 2
    for n, ch in enumerate(label):
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    pixels[4 + row][left + 4 * n + col] = INK
    return pixels


def png(rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    icons = [icon(label) for label in ICONS]
    strip = [sum((i[y] for i in icons), []) for y in range(SIZE)]
    with open(sys.argv[1], "wb") as out:
        out.write(png(strip))


if __name__ == "__main__":
    main()
