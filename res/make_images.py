#!/usr/bin/env python3
"""Draws the updater's icon (32x32, 256 colours) and cursor (32x32, two colours).

Run from this folder; it rewrites ulvupdate.ico and ulvupdate.cur.
The icon is a blue disc with a white arrow pointing down into a tray; the
cursor is a plain arrow.
"""
import struct

SIZE = 32


def bitmap_header(bits_per_pixel, image_bytes, colours):
    # Height counts the colour image and the transparency mask together.
    return struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, bits_per_pixel, 0,
                       image_bytes, 0, 0, colours, 0)


def mask_rows(opaque):
    """AND mask, bottom row first: a bit set where the pixel is transparent."""
    rows = b''
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            if not opaque(x, y):
                bits |= 1 << (31 - x)
        rows += struct.pack('>I', bits)
    return rows


def icon_pixel(x, y):
    """Palette index of a pixel: 0 outside, 1..3 blues, 4 white."""
    cx, cy = x - 15.5, y - 15.5
    distance = (cx * cx + cy * cy) ** 0.5
    if distance > 15.5:
        return 0
    shaft = 13 <= x <= 18 and 6 <= y <= 16
    head = 17 <= y <= 23 and abs(cx) <= 23 - y
    tray = (y == 25 or y == 26) and 8 <= x <= 23
    if shaft or head or tray:
        return 4
    return 1 if distance > 14 else (2 if cy < 0 else 3)


def make_icon():
    palette = [(0, 0, 0), (90, 40, 20), (200, 120, 40), (170, 90, 20), (255, 255, 255)]
    palette += [(0, 0, 0)] * (256 - len(palette))
    palette_bytes = b''.join(struct.pack('BBBB', b, g, r, 0) for (b, g, r) in palette)
    pixels = b''.join(bytes(icon_pixel(x, y) for x in range(SIZE)) for y in reversed(range(SIZE)))
    mask = mask_rows(lambda x, y: icon_pixel(x, y) != 0)
    image = bitmap_header(8, len(pixels), 256) + palette_bytes + pixels + mask
    header = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return header + entry + image


ARROW = [
    "X",
    "XX",
    "X.X",
    "X..X",
    "X...X",
    "X....X",
    "X.....X",
    "X......X",
    "X.......X",
    "X........X",
    "X.....XXXXX",
    "X..X..X",
    "X.X X..X",
    "XX  X..X",
    "X    X..X",
    "     X..X",
    "      XX",
]


def arrow_at(x, y):
    row = ARROW[y] if y < len(ARROW) else ''
    return row[x] if x < len(row) else ' '


def make_cursor():
    palette = struct.pack('BBBB', 0, 0, 0, 0) + struct.pack('BBBB', 255, 255, 255, 0)
    rows = b''
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            if arrow_at(x, y) == '.':
                bits |= 1 << (31 - x)  # white inside, black outline
        rows += struct.pack('>I', bits)
    mask = mask_rows(lambda x, y: arrow_at(x, y) != ' ')
    image = bitmap_header(1, len(rows), 2) + palette + rows + mask
    header = struct.pack('<HHH', 0, 2, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 2, 0, 0, 0, len(image), 6 + 16)  # hot spot at the tip
    return header + entry + image


if __name__ == '__main__':
    with open('ulvupdate.ico', 'wb') as f:
        f.write(make_icon())
    with open('ulvupdate.cur', 'wb') as f:
        f.write(make_cursor())
