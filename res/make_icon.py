#!/usr/bin/env python3
"""Draws the application icon and writes it as an .ico file with two
uncompressed 8-bit palette images, 32x32 and 16x16.

The picture: a rounded tile split along its diagonal, the upper left in the
classic grey with a raised bevel, the lower right in the themed blue, with a
round switch knob on the split.

usage: make_icon.py OUT.ico
"""
import struct
import sys

GREY = (192, 192, 192)
LIGHT = (255, 255, 255)
SHADOW = (128, 128, 128)
DARK = (64, 64, 64)
BLUE_TOP = (90, 150, 235)
BLUE_BOTTOM = (20, 70, 170)
KNOB = (250, 250, 250)
KNOB_EDGE = (30, 50, 90)


def draw(size):
    """Rows of (r, g, b) or None for transparent, top row first."""
    s = size / 32.0
    radius = 5 * s
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            cx, cy = x + 0.5, y + 0.5
            # Rounded tile.
            dx = max(radius - cx, 0, cx - (size - radius))
            dy = max(radius - cy, 0, cy - (size - radius))
            if dx * dx + dy * dy > radius * radius:
                row.append(None)
                continue
            edge = min(x, y, size - 1 - x, size - 1 - y)
            themed = x + y > size - 1
            if themed:
                t = y / (size - 1)
                colour = tuple(round(a + (b - a) * t) for a, b in zip(BLUE_TOP, BLUE_BOTTOM))
            else:
                colour = GREY
                if edge == 0:
                    colour = LIGHT if (x == 0 or y == 0) else DARK
                elif edge == 1 and size >= 32:
                    colour = LIGHT if (x == 1 or y == 1) else SHADOW
            if abs((x + y) - (size - 1)) < 1:
                colour = LIGHT  # the split
            # The knob in the middle.
            kx, ky, kr = size / 2, size / 2, 6 * s
            d2 = (cx - kx) ** 2 + (cy - ky) ** 2
            if d2 <= kr * kr:
                colour = KNOB if d2 <= (kr - max(1, s)) ** 2 else KNOB_EDGE
            row.append(colour)
        pixels.append(row)
    return pixels


def image(size, palette):
    pixels = draw(size)
    for row in pixels:
        for p in row:
            if p is not None and p not in palette:
                palette.append(p)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) + b"\0" * 4 * (256 - len(palette))
    xor = b""
    mask = b""
    for row in reversed(pixels):  # bottom-up
        xor += bytes(palette.index(p) if p is not None else 0 for p in row)
        bits = 0
        line = b""
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                line += bytes((bits,))
                bits = 0
        line += b"\0" * (-len(line) % 4)
        mask += line
    return header + pal + xor + mask


def main():
    palette = []
    images = [(32, image(32, palette)), (16, image(16, palette))]
    assert len(palette) <= 256
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
