#!/usr/bin/env python3
"""Draws the installer's main icon: 32 x 32 pixels, 16 colours (4 bits per
pixel, the standard VGA palette), a blue tile with a sticking plaster across
it. Writes briskopatch.ico beside this script; the build uses the committed
file, so run this only to change the picture."""
import os
import struct

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
NAVY, GREY, SILVER, BLUE, YELLOW, OLIVE, WHITE, BLACK = 4, 8, 7, 12, 11, 3, 15, 0
SIZE = 32


def draw():
    pixels = [[None] * SIZE for _ in range(SIZE)]  # None: transparent
    # Rounded tile with a dark rim and a lighter face.
    for y in range(1, 31):
        for x in range(1, 31):
            corner = min(x - 1, 30 - x) + min(y - 1, 30 - y)
            if corner < 3:
                continue
            rim = x in (1, 30) or y in (1, 30) or corner < 5
            pixels[y][x] = NAVY if rim else BLUE
    # Highlight along the top-left edge.
    for i in range(5, 27):
        pixels[3][i] = pixels[i][3] = WHITE if i < 16 else SILVER
    # The plaster: a band from bottom-left to top-right, 7 pixels wide.
    for y in range(SIZE):
        for x in range(SIZE):
            d = (x + y) - 31  # distance across the band
            along = x - y
            if abs(d) <= 3 and -24 <= along <= 24:
                edge = abs(d) == 3 or abs(along) >= 23
                pad = abs(along) <= 5 and abs(d) <= 2
                pixels[y][x] = OLIVE if edge else (WHITE if pad else YELLOW)
    # Holes in the plaster's ends.
    for along in (-16, -11, 11, 16):
        for d in (-1, 1):
            x = (along + 31 + d) // 2
            y = x - along
            if 0 <= x < SIZE and 0 <= y < SIZE and (x + y - 31) == d:
                pixels[y][x] = OLIVE
    return pixels


def encode(pixels):
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = pixels[y]
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else BLACK
            lo = row[x + 1] if row[x + 1] is not None else BLACK
            xor.append(hi << 4 | lo)
        bits = 0
        for x in range(SIZE):
            bits = bits << 1 | (1 if row[x] is None else 0)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "briskopatch.ico")
    with open(out, "wb") as f:
        f.write(encode(draw()))
    print(out)
