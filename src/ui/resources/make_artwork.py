#!/usr/bin/env python3
"""Draws the program's icon, its picture and its database-wait cursor as XPM
files (plain text, so they are reviewable and need no image tools).

Run from the repository root: python3 src/ui/resources/make_artwork.py
"""
import math

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


if __name__ == '__main__':
    base = 'src/ui/resources/'
    write_xpm(base + 'fretfile.xpm', 'fretfile_icon', icon())
    write_xpm(base + 'image1.xpm', 'fretfile_picture', picture())
    write_xpm(base + 'dbwait.xpm', 'fretfile_dbwait', wait_cursor())
