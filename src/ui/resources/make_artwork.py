#!/usr/bin/env python3
"""Draws the program's icon, its picture and its database-wait cursor as XPM
files (plain text, so they are reviewable and need no image tools).

Run from the repository root: python3 src/ui/resources/make_artwork.py

With --icons DIR it writes the icon instead as the PNG files a desktop's
icon theme asks for, DIR/<N>x<N>.png for each size in ICON_SIZES (the build
does this for the install); the XPMs are left alone.
"""
import math
import os
import struct
import sys
import zlib

PALETTE = {
    ' ': 'None', '.': '#000000', 'w': '#FFFFFF', 'b': '#8B4513', 'B': '#5C2E0B',
    'y': '#F0C040', 'g': '#808080', 'G': '#C0C0C0', 'r': '#C02020', 'u': '#2040C0',
    'k': '#404040', 'c': '#40A0C0', 'o': '#E08020',
}


def canvas(w, h, fill=' '):
    return [[fill] * w for _ in range(h)]


def ellipse(img, cx, cy, rx, ry, ch):
    for y in range(len(img)):
        for x in range(len(img[0])):
            if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0:
                img[y][x] = ch


def rect(img, x0, y0, x1, y1, ch):
    for y in range(max(0, y0), min(len(img), y1 + 1)):
        for x in range(max(0, x0), min(len(img[0]), x1 + 1)):
            img[y][x] = ch


def line(img, x0, y0, x1, y1, ch):
    steps = max(abs(x1 - x0), abs(y1 - y0), 1)
    for i in range(steps + 1):
        x = round(x0 + (x1 - x0) * i / steps)
        y = round(y0 + (y1 - y0) * i / steps)
        if 0 <= y < len(img) and 0 <= x < len(img[0]):
            img[y][x] = ch


def guitar(img, ox, oy, scale):
    """An acoustic guitar, body bottom-left, neck towards the top right."""
    s = scale
    ellipse(img, ox + 9 * s, oy + 22 * s, 7 * s, 7 * s, 'b')
    ellipse(img, ox + 14 * s, oy + 15 * s, 5 * s, 5 * s, 'b')
    ellipse(img, ox + 11 * s, oy + 19 * s, 2.2 * s, 2.2 * s, '.')
    for i in range(int(14 * s)):
        x = ox + 16 * s + i
        y = oy + 13 * s - i
        rect(img, int(x), int(y - s), int(x + s), int(y + s * 0.5), 'B')
    rect(img, int(ox + 29 * s), int(oy + 0 * s), int(ox + 31 * s), int(oy + 3 * s), 'k')
    line(img, int(ox + 6 * s), int(oy + 25 * s), int(ox + 30 * s), int(oy + 1 * s), 'y')


def zipper_box(img, x0, y0, x1, y1):
    """A closed archive: a grey box with a zipper down its middle."""
    rect(img, x0, y0, x1, y1, 'G')
    rect(img, x0, y0, x1, y0, '.')
    rect(img, x0, y1, x1, y1, '.')
    rect(img, x0, y0, x0, y1, '.')
    rect(img, x1, y0, x1, y1, '.')
    mid = (x0 + x1) // 2
    for y in range(y0 + 1, y1):
        img[y][mid] = 'k' if y % 2 else 'y'
        img[y][mid + 1] = 'y' if y % 2 else 'k'
    rect(img, mid - 1, y0 + 2, mid + 2, y0 + 4, 'o')


def write_xpm(path, name, img, hotspot=None):
    used = sorted({c for row in img for c in row})
    header = f'{len(img[0])} {len(img)} {len(used)} 1'
    if hotspot:
        header += f' {hotspot[0]} {hotspot[1]}'
    with open(path, 'w') as out:
        out.write(f'/* XPM */\nstatic const char *{name}[] = {{\n"{header}",\n')
        for c in used:
            out.write(f'"{c} c {PALETTE[c]}",\n')
        out.write(',\n'.join(f'"{"".join(row)}"' for row in img))
        out.write('\n};\n')


def icon():
    img = canvas(32, 32)
    zipper_box(img, 17, 16, 30, 30)
    guitar(img, 0, 0, 1)
    return img


def picture():
    img = canvas(69, 50, 'G')
    rect(img, 0, 0, 68, 49, 'G')
    zipper_box(img, 40, 18, 64, 45)
    guitar(img, 2, -4, 1.6)
    line(img, 44, 8, 52, 4, 'u')
    line(img, 52, 4, 52, 12, 'u')
    ellipse(img, 50, 12, 2, 1.5, 'u')
    return img


def wait_cursor():
    img = canvas(32, 32)
    # Hourglass frame and sand.
    rect(img, 6, 2, 21, 3, '.')
    rect(img, 6, 26, 21, 27, '.')
    for y in range(4, 26):
        half = abs(y - 15) * 7 // 11 + 1
        x0, x1 = 13 - half, 14 + half
        img[y][x0] = '.'
        img[y][x1] = '.'
        for x in range(x0 + 1, x1):
            img[y][x] = 'y' if (y > 18 or (5 < y < 10)) else 'w'
    # The database mark: a small cylinder at the bottom right.
    ellipse(img, 25, 21, 5, 2, 'c')
    rect(img, 20, 21, 30, 28, 'c')
    ellipse(img, 25, 28, 5, 2, 'c')
    line(img, 20, 21, 20, 28, '.')
    line(img, 30, 21, 30, 28, '.')
    for x in range(20, 31):
        img[21][x] = '.' if x in (20, 30) else img[21][x]
    ellipse(img, 25, 19, 5, 1.6, 'w')
    return img


# The sizes of the hicolor theme's application icons that desktops look up.
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def rgba(ch):
    """The colour of a palette character as (r, g, b, a)."""
    value = PALETTE[ch]
    if value == 'None':
        return (0, 0, 0, 0)
    return (int(value[1:3], 16), int(value[3:5], 16), int(value[5:7], 16), 255)


def resized(img, size):
    """The picture at size x size pixels: each pixel blown up to an integer
    block, then blocks averaged down, so the 32-pixel drawing keeps its
    crisp pixels at 64, 128 and 256 and is evenly smoothed at 16, 24 and 48.
    Colours are averaged weighted by their opacity, so transparent pixels
    leave no dark fringe."""
    source = len(img)
    common = math.gcd(size, source)
    up, down = size // common, source // common
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            total = [0, 0, 0, 0]
            for sy in range(y * down, (y + 1) * down):
                for sx in range(x * down, (x + 1) * down):
                    r, g, b, a = rgba(img[sy // up][sx // up])
                    total = [total[0] + r * a, total[1] + g * a, total[2] + b * a, total[3] + a]
            alpha = total[3]
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / alpha) for c in total[:3]) + (round(alpha / down ** 2),))
        out.append(row)
    return out


def write_png(path, pixels):
    """An 8-bit RGBA PNG, every row unfiltered."""
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    height, width = len(pixels), len(pixels[0])
    raw = b''.join(b'\0' + bytes(v for pixel in row for v in pixel) for row in pixels)
    with open(path, 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n')
        out.write(chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b'IDAT', zlib.compress(raw, 9)))
        out.write(chunk(b'IEND', b''))


def write_icons(folder):
    os.makedirs(folder, exist_ok=True)
    img = icon()
    for size in ICON_SIZES:
        write_png(os.path.join(folder, f'{size}x{size}.png'), resized(img, size))


if __name__ == '__main__':
    if len(sys.argv) == 3 and sys.argv[1] == '--icons':
        write_icons(sys.argv[2])
        sys.exit(0)
    base = 'src/ui/resources/'
    write_xpm(base + 'fretfile.xpm', 'fretfile_icon', icon())
    write_xpm(base + 'image1.xpm', 'fretfile_picture', picture())
    write_xpm(base + 'dbwait.xpm', 'fretfile_dbwait', wait_cursor())
