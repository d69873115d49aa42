#!/usr/bin/env python3
"""Draws the program icon (kestrune.ico: 16, 32 and 48 pixels) and the browse button's
open-folder glyph (folder.bmp: 16 x 14, 16 colours, on light grey) into src/win32/res.
The pictures are committed; run this again only to change them."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "src", "win32", "res")


def icon_pixels(n):
    """A blue tile with a white chip and a green arrow pointing into it (RGBA rows, top first)."""
    s = n / 48.0
    px = [[(0, 0, 0, 0)] * n for _ in range(n)]

    def fill(x0, y0, x1, y1, c):
        for y in range(max(0, int(y0 * s)), min(n, int(round(y1 * s)))):
            for x in range(max(0, int(x0 * s)), min(n, int(round(x1 * s)))):
                px[y][x] = c

    navy, white, grey, green = (24, 52, 110, 255), (245, 245, 245, 255), (150, 160, 175, 255), (40, 190, 70, 255)
    fill(2, 2, 46, 46, navy)
    # Rounded corners of the tile.
    for (cx, cy) in ((2, 2), (45, 2), (2, 45), (45, 45)):
        fill(cx, cy, cx + 1, cy + 1, (0, 0, 0, 0))
    # The chip with its pins.
    fill(12, 20, 36, 40, white)
    for x in range(14, 36, 6):
        fill(x, 17, x + 3, 20, grey)
        fill(x, 40, x + 3, 43, grey)
    fill(16, 24, 32, 36, grey)
    # The arrow: shaft and head, pointing down onto the chip.
    fill(21, 5, 27, 14, green)
    for i in range(6):
        fill(15 + i, 12 + i, 33 - i, 13 + i, green)
    return px


def icon_entry(n):
    rows = icon_pixels(n)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((n + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    return header + xor + mask


def write_icon(path, sizes):
    entries = [icon_entry(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, entries):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(entries))


# The 16 colours of the classic palette; index 7 is light grey 192,192,192, the transparent colour.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

# An open folder: '.' background, 'k' black outline, 'y' yellow, 'o' olive shade, 'w' white sheet.
FOLDER = [
    "................",
    "..........kkk...",
    ".........k...k.k",
    "..............kk",
    ".kkk.........kkk",
    "kwywk...........",
    "kywyykkkkkkk....",
    "kwywywywywyk....",
    "kywykkkkkkkkkk..",
    "kwykooooooooook.",
    "kykooooooooook..",
    "kkooooooooook...",
    "kkkkkkkkkkkk....",
    "................",
]
GLYPH = {".": 7, "k": 0, "y": 11, "o": 3, "w": 15}


def write_bitmap(path):
    w, h = 16, 14
    stride = ((w * 4 + 31) // 32) * 4
    pixels = b""
    for row in reversed(FOLDER):
        line = bytearray(stride)
        for x, ch in enumerate(row):
            line[x // 2] |= GLYPH[ch] << (4 if x % 2 == 0 else 0)
        pixels += bytes(line)
    palette = b"".join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(pixels), 0, 0, 16, 16)
    offset = 14 + len(info) + len(palette)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + palette + pixels)


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    write_icon(os.path.join(OUT, "kestrune.ico"), (16, 32, 48))
    write_bitmap(os.path.join(OUT, "folder.bmp"))
