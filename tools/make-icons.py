#!/usr/bin/env python3
"""Draws vellamy's two icon groups and writes them as .ico files into resources/.

Each group holds eight images: 16x16 and 32x32 at 4, 8 and 32 bits per pixel, 48x48 at 8
and 32. The picture: a grey backdrop with a blue title bar holding two small windows. The
small icon leaves out the second window, which would be a smudge at 16 pixels.
Run it again after changing the drawing; the .ico files are committed.
"""
import os
import struct

# The 16 colours of the classic Windows palette; the drawing uses only these, so the 4-bit
# and 8-bit images show it exactly.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREY, SILVER, WHITE, NAVY, BLUE, YELLOW, TEAL = 0, 8, 7, 15, 4, 12, 11, 6


def draw(size, simple):
    """Rows of palette indexes, or None for a transparent pixel; top row first."""
    s = size / 32.0
    px = [[None] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    def window(x0, y0, x1, y1, bar):
        box(x0, y0, x1, y1, BLACK)
        box(x0 + 1, y0 + 1, x1 - 1, y1 - 1, WHITE)
        box(x0 + 1, y0 + 1, x1 - 1, y0 + 4, bar)

    box(1, 3, 31, 30, BLACK)          # the backdrop's frame
    box(2, 4, 30, 8, NAVY)            # its title bar
    box(2, 8, 30, 29, GREY)           # its background
    window(4, 10, 20, 26, TEAL)
    if not simple:
        window(14, 14, 28, 27, YELLOW)
    return px


def bmp_image(size, bpp, simple):
    px = draw(size, simple)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0,
                         16 if bpp == 4 else (256 if bpp == 8 else 0), 0)
    palette = b""
    if bpp in (4, 8):
        colours = PALETTE + [(0, 0, 0)] * ((1 << bpp) - len(PALETTE))
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    rows = []
    for row in reversed(px):  # bottom-up
        if bpp == 32:
            data = b"".join(struct.pack("<BBBB", *(PALETTE[c][::-1] + (255,))) if c is not None
                            else b"\0\0\0\0" for c in row)
        elif bpp == 8:
            data = bytes(c if c is not None else 0 for c in row)
        else:
            idx = [c if c is not None else 0 for c in row]
            data = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, size, 2))
        rows.append(data + b"\0" * (-len(data) % 4))
    mask_rows = []
    for row in reversed(px):
        data = bytearray((size + 7) // 8)
        for x, c in enumerate(row):
            if c is None:
                data[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(data) + b"\0" * (-len(data) % 4))
    return header + palette + b"".join(rows) + b"".join(mask_rows)


def write_icon(path, simple):
    formats = [(16, 4), (16, 8), (16, 32), (32, 4), (32, 8), (32, 32), (48, 8), (48, 32)]
    images = [(size, bpp, bmp_image(size, bpp, simple)) for size, bpp in formats]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    write_icon(os.path.join(here, "vellamy.ico"), simple=False)
    write_icon(os.path.join(here, "vellamy-small.ico"), simple=True)
