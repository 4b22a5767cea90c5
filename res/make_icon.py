#!/usr/bin/env python3
"""Writes the program's icon: one .ico with two 16-colour images, 32x32 and 16x16.

The picture is drawn here from rectangles (a floppy disk with a down arrow: files going
onto the machine), so the repository holds no binary. Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

# The standard 16-colour palette, as (blue, green, red, 0) quads.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]  # (r, g, b); index 4 is dark blue, 7 light grey, 8 grey, 10 green, 15 white
BLACK, NAVY, LIGHT_GREY, GREY, GREEN, WHITE = 0, 4, 7, 8, 10, 15


def draw(size):
    """Palette indices, top row first; None is transparent."""
    s = size / 32.0
    pixels = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(round(y0 * s)), int(round(y1 * s))):
            for x in range(int(round(x0 * s)), int(round(x1 * s))):
                pixels[y][x] = colour

    rect(2, 6, 28, 30, BLACK)          # disk outline
    rect(3, 7, 27, 29, NAVY)           # disk body
    rect(8, 7, 21, 14, LIGHT_GREY)     # shutter
    rect(16, 8, 19, 13, GREY)          # shutter window
    rect(6, 18, 24, 29, WHITE)         # label
    rect(7, 21, 23, 22, GREY)          # label lines
    rect(7, 25, 23, 26, GREY)
    rect(25, 0, 29, 7, GREEN)          # arrow shaft
    for i in range(5):                 # arrow head, pointing down onto the disk
        rect(22 + i, 7 + i, 32 - i, 8 + i, GREEN)
    return pixels


def dib(size):
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor_rows = []
    and_rows = []
    for row in reversed(pixels):       # bitmaps are stored bottom row first
        nibbles = [0 if p is None else p for p in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(data + b"\0" * (-len(data) % 4))
        bits = 0
        mask = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b"\0" * (-len(mask) % 4))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def ico(sizes):
    images = [dib(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    with open(sys.argv[1], "wb") as f:
        f.write(ico([32, 16]))


if __name__ == "__main__":
    main()
