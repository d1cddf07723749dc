#!/usr/bin/env python3
"""Draws kalvit's pictures and writes them as uncompressed Windows BMP, ICO and CUR files.

Resource art (icon, cursor, marker bitmap) goes to --art, the pictures that are delivered in the
installation directory's pdata folder go to --pdata. The output is the same on every run: shapes
are rasterised with a fixed supersampling grid and the only noise comes from a seeded generator.
"""

import argparse
import math
import os
import random
import struct

WHITE = (255, 255, 255)
NAVY = (22, 52, 120)
DEEP_BLUE = (28, 78, 170)
NEEDLE_RED = (205, 40, 32)


def lerp(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(round(p + (q - p) * t) for p, q in zip(a, b))


# Shapes are (bbox, contains) pairs in pixel coordinates; angles are in degrees clockwise from
# "up", which is how a dial reads.


def polar(cx, cy, radius, angle):
    a = math.radians(angle)
    return cx + radius * math.sin(a), cy - radius * math.cos(a)


def disc(cx, cy, r):
    return (cx - r, cy - r, cx + r, cy + r), lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1, a0=-180.0, a1=180.0):
    def contains(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not r0 * r0 <= d2 <= r1 * r1:
            return False
        return a0 <= math.degrees(math.atan2(x - cx, cy - y)) <= a1

    return (cx - r1, cy - r1, cx + r1, cy + r1), contains


def capsule(x0, y0, x1, y1, r):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9

    def contains(x, y):
        t = min(1.0, max(0.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        return (x - x0 - t * dx) ** 2 + (y - y0 - t * dy) ** 2 <= r * r

    return (min(x0, x1) - r, min(y0, y1) - r, max(x0, x1) + r, max(y0, y1) + r), contains


def rect(x0, y0, x1, y1):
    return (x0, y0, x1, y1), lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def polygon(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]

    def contains(x, y):
        inside = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                inside = not inside
            j = i
        return inside

    return (min(xs), min(ys), max(xs), max(ys)), contains


def sheared(shape, slant, base_y):
    """Leans a shape to the right by `slant` pixels per pixel of height above base_y."""
    (x0, y0, x1, y1), inner = shape
    lo, hi = slant * (base_y - y1), slant * (base_y - y0)
    bbox = (x0 + min(lo, hi), y0, x1 + max(lo, hi), y1)
    return bbox, lambda x, y: inner(x - slant * (base_y - y), y)


class Canvas:
    """A supersampled picture; every sample is an RGB tuple or None (transparent)."""

    def __init__(self, width, height, samples=4):
        self.width, self.height, self.ss = width, height, samples
        self.sw, self.sh = width * samples, height * samples
        self.samples = [None] * (self.sw * self.sh)

    def fill(self, shape, paint):
        (x0, y0, x1, y1), contains = shape
        ss = self.ss
        sx0, sy0 = max(0, math.floor(x0 * ss)), max(0, math.floor(y0 * ss))
        sx1, sy1 = min(self.sw, math.ceil(x1 * ss)), min(self.sh, math.ceil(y1 * ss))
        solid = not callable(paint)
        for sy in range(sy0, sy1):
            y = (sy + 0.5) / ss
            row = sy * self.sw
            for sx in range(sx0, sx1):
                x = (sx + 0.5) / ss
                if contains(x, y):
                    self.samples[row + sx] = paint if solid else paint(x, y)

    def pixels(self):
        """Rows top to bottom of (r, g, b, coverage), coverage 0..1."""
        out = []
        ss, n = self.ss, self.ss * self.ss
        for py in range(self.height):
            for px in range(self.width):
                r = g = b = count = 0
                for sy in range(py * ss, py * ss + ss):
                    base = sy * self.sw + px * ss
                    for c in self.samples[base : base + ss]:
                        if c is not None:
                            r, g, b, count = r + c[0], g + c[1], b + c[2], count + 1
                if count:
                    out.append((round(r / count), round(g / count), round(b / count), count / n))
                else:
                    out.append((0, 0, 0, 0.0))
        return out


def flatten(pixels, background):
    return [lerp(background, (r, g, b), a) for r, g, b, a in pixels]


# File writers. All DIBs are stored bottom-up with rows padded to four bytes.


def dib_rows_24(width, height, rgb):
    pad = b"\0" * ((4 - width * 3 % 4) % 4)
    out = bytearray()
    for y in range(height - 1, -1, -1):
        for r, g, b in rgb[y * width : (y + 1) * width]:
            out += bytes((b, g, r))
        out += pad
    return bytes(out)


def mask_rows(width, height, bits):
    """1-bit rows from a top-down list of 0/1 values."""
    stride = (width + 31) // 32 * 4
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            if bits[y * width + x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def info_header(width, height, bit_count, image_size, colours=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bit_count, 0, image_size, 2835,
                       2835, colours, 0)


def write_bmp(path, width, height, rgb):
    data = dib_rows_24(width, height, rgb)
    header = info_header(width, height, 24, len(data))
    offset = 14 + len(header)
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset))
        f.write(header + data)


def icon_image(size, pixels):
    """A 32-bit colour DIB with alpha plus the AND mask that older systems use."""
    colour = bytearray()
    for y in range(size - 1, -1, -1):
        for r, g, b, a in pixels[y * size : (y + 1) * size]:
            alpha = round(a * 255)
            colour += bytes((b, g, r, alpha)) if alpha else bytes(4)
    transparent = [1 if round(a * 255) == 0 else 0 for _, _, _, a in pixels]
    mask = mask_rows(size, size, transparent)
    return info_header(size, 2 * size, 32, len(colour) + len(mask)) + bytes(colour) + mask


def write_directory(path, kind, entries):
    """ICO (kind 1) or CUR (kind 2): entries are (size, colours, field1, field2, image)."""
    offset = 6 + 16 * len(entries)
    out = bytearray(struct.pack("<HHH", 0, kind, len(entries)))
    for size, colours, field1, field2, image in entries:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, field1, field2,
                           len(image), offset)
        offset += len(image)
    for entry in entries:
        out += entry[4]
    with open(path, "wb") as f:
        f.write(out)


# Dial parts shared by the icon, the logo and the sprite.


def draw_ticks(canvas, cx, cy, r0, r1, span, step, width, major=0):
    """Ticks from radius r0 to r1 every `step` degrees; every `major` degrees they reach in
    further."""
    for a in range(-span, span + 1, step):
        inner = r0 - (r1 - r0) * 0.6 if major and a % major == 0 else r0
        ax, ay = polar(cx, cy, inner, a)
        bx, by = polar(cx, cy, r1, a)
        canvas.fill(capsule(ax, ay, bx, by, width), NAVY)


def draw_needle(canvas, cx, cy, angle, length, half_width, hub):
    tip = polar(cx, cy, length, angle)
    left = polar(cx, cy, half_width, angle - 90)
    right = polar(cx, cy, half_width, angle + 90)
    tail = polar(cx, cy, 1.5 * half_width, angle + 180)
    canvas.fill(polygon([tip, left, tail, right]), NEEDLE_RED)
    canvas.fill(disc(cx, cy, hub), NAVY)
    canvas.fill(disc(cx - 0.25 * hub, cy - 0.25 * hub, 0.38 * hub), (150, 180, 225))


# The application icon: a blue dial with a red needle; the small size leaves out the ticks.


def draw_icon(size):
    u = size / 32.0
    canvas = Canvas(size, size, 8)
    cx = cy = 16 * u
    canvas.fill(disc(cx, cy, 15.6 * u), NAVY)
    face_top, face_bottom = (240, 246, 255), (150, 190, 242)
    canvas.fill(disc(cx, cy, 13.6 * u),
                lambda x, y: lerp(face_top, face_bottom, (y - 2.5 * u) / (27 * u)))
    band = ring(cx, cy, 9.4 * u, 12.4 * u, -125, 125)
    canvas.fill(band, lambda x, y: lerp((110, 170, 245), DEEP_BLUE, (x - 4 * u) / (24 * u)))
    if size >= 32:
        draw_ticks(canvas, cx, cy, 7.2, 12.4, 120, 40, 0.75)
        canvas.fill(capsule(12.5, 23.5, 19.5, 23.5, 1.6), NAVY)
    draw_needle(canvas, cx, cy, 50, 12.2 * u, 2.4 * u, 2.8 * u)
    return canvas.pixels()


def write_icon(path):
    entries = [(size, 0, 1, 32, icon_image(size, draw_icon(size))) for size in (32, 16)]
    write_directory(path, 1, entries)


# The link cursor: a pointing hand, monochrome, its hot spot on the tip of the index finger.
# '#' black, 'o' white, '.' transparent.
HAND = [
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "...........###..................",
    "..........#ooo#.................",
    "..........#ooo#.................",
    "..........#ooo#.................",
    "..........#ooo#.................",
    "..........#ooo#.................",
    "..........#ooo####..............",
    "..........#ooo#ooo####..........",
    "..........#ooo#ooo#ooo#.........",
    "..........#ooo#ooo#ooo###.......",
    "..........#ooo#ooo#ooo#oo#......",
    "....###...#ooo#ooo#ooo#oo#......",
    "...#ooo#..#ooooooooooooooo#.....",
    "...#oooo#.#ooooooooooooooo#.....",
    "....#oooo##ooooooooooooooo#.....",
    "....#ooooo#ooooooooooooooo#.....",
    ".....#oooooooooooooooooooo#.....",
    ".....#oooooooooooooooooooo#.....",
    "......#ooooooooooooooooooo#.....",
    "......#oooooooooooooooooo#......",
    ".......#ooooooooooooooooo#......",
    ".......#oooooooooooooooo#.......",
    "........#ooooooooooooooo#.......",
    "........#ooooooooooooooo#.......",
    "........#################.......",
    "................................",
    "................................",
]
HAND_HOT_SPOT = (12, 5)


def write_cursor(path):
    size = len(HAND)
    flat = "".join(HAND)
    # Screen = (screen AND and_mask) XOR xor_mask: white is xor 1, black 0, transparent and 1.
    xor_bits = [1 if c == "o" else 0 for c in flat]
    and_bits = [1 if c == "." else 0 for c in flat]
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    xor_mask, and_mask = mask_rows(size, size, xor_bits), mask_rows(size, size, and_bits)
    header = info_header(size, 2 * size, 1, len(xor_mask) + len(and_mask), 2)
    image = header + palette + xor_mask + and_mask
    write_directory(path, 2, [(size, 2, HAND_HOT_SPOT[0], HAND_HOT_SPOT[1], image)])


# The progress marker. It is drawn with "destination OR NOT source", so white leaves the page
# unchanged and the dark arrow lights up whatever lies below it.


def write_marker(path):
    canvas = Canvas(32, 32, 8)
    canvas.fill(rect(3, 13, 19, 20), (0, 0, 0))
    canvas.fill(polygon([(15, 6), (30.5, 16.5), (15, 27)]), (0, 0, 0))
    write_bmp(path, 32, 32, flatten(canvas.pixels(), WHITE))


# Data pictures of the pdata folder.


def write_background(path):
    """A light linen weave; rows and columns are independent, so the tile repeats seamlessly."""
    size = 64
    rng = random.Random(0x6B616C76)

    def threads():
        raw = [rng.uniform(-1, 1) for _ in range(size)]
        return [(raw[i - 1] + 2 * raw[i] + raw[(i + 1) % size]) / 4 for i in range(size)]

    rows, cols = threads(), threads()
    base = (236, 231, 219)
    rgb = []
    for y in range(size):
        for x in range(size):
            weave = 1.5 if (x + y) % 2 else -1.5
            v = 7 * rows[y] + 6 * cols[x] + weave + rng.uniform(-2, 2)
            rgb.append(tuple(max(0, min(255, round(c + v))) for c in base))
    write_bmp(path, size, size, rgb)


def letter_strokes(letter, x, base, xh, asc, sw):
    """Strokes of one lower-case letter at pen position x; returns (shapes, advance)."""
    r = sw / 2
    if letter == "k":
        w = 0.62 * xh
        return [capsule(x, base - asc, x, base, r),
                capsule(x + r, base - 0.38 * xh, x + w, base - xh, r),
                capsule(x + 0.32 * w, base - 0.6 * xh, x + w, base, r)], w
    if letter == "a":
        w = 0.86 * xh
        bowl = xh / 2
        return [ring(x + bowl, base - bowl, bowl - sw, bowl),
                capsule(x + w, base - xh + r, x + w, base, r)], w
    if letter == "l":
        return [capsule(x, base - asc, x, base, r)], 0
    if letter == "v":
        w = 0.8 * xh
        return [capsule(x, base - xh, x + w / 2, base, r),
                capsule(x + w / 2, base, x + w, base - xh, r)], w
    if letter == "i":
        return [capsule(x, base - xh, x, base, r), disc(x, base - xh - 1.7 * sw, 0.62 * sw)], 0
    if letter == "t":
        return [capsule(x, base - 0.82 * asc, x, base, r),
                capsule(x - 0.28 * xh, base - xh, x + 0.34 * xh, base - xh, r * 0.85)], 0.34 * xh
    raise ValueError(letter)


def draw_word(canvas, word, x, base, xh, asc, sw, gap, paint, slant):
    for letter in word:
        shapes, advance = letter_strokes(letter, x, base, xh, asc, sw)
        for shape in shapes:
            canvas.fill(sheared(shape, slant, base), paint)
        x += advance + gap + sw
    return x


def write_logo(path):
    """The page logo: a dial and the name, dark on white (lighter pixels become the face)."""
    width, height = 120, 60
    canvas = Canvas(width, height, 6)
    cx, cy, r = 22, 33, 19
    canvas.fill(ring(cx, cy, r - 3, r, -122, 122), NAVY)
    draw_ticks(canvas, cx, cy, 11, 15, 120, 40, 0.7)
    draw_needle(canvas, cx, cy, 45, 17, 1.9, 3)
    end = draw_word(canvas, "kalvit", 48, 41, 14, 22, 4.2, 1.6, NAVY, 0.18)
    canvas.fill(capsule(46, 48.5, end - 4, 48.5, 1.2), NEEDLE_RED)
    write_bmp(path, width, height, flatten(canvas.pixels(), WHITE))


# The information page's sprite: a dial whose needle swings across four frames. It is blitted
# with a colour key taken from pixel (0, 0); edges are blended towards the colour of the page's
# stripes so that no fringe of the key colour remains.
SPRITE_KEY = (255, 0, 255)
SPRITE_EDGE = (112, 96, 208)
SPRITE_ANGLES = (-66, -22, 22, 66)


def write_sprite_frame(path, angle):
    width, height = 96, 64
    canvas = Canvas(width, height, 4)
    cx, cy, r = 48, 50, 44
    canvas.fill(ring(cx, cy, 0, r, -90, 90), NAVY)
    canvas.fill(rect(cx - r, cy, cx + r, cy + 10), NAVY)
    face_r = r - 4
    face_top, face_bottom = (248, 250, 255), (196, 212, 240)
    canvas.fill(ring(cx, cy, 0, face_r, -90, 90),
                lambda x, y: lerp(face_top, face_bottom, (y - 10) / 40))
    canvas.fill(rect(cx - face_r, cy, cx + face_r, cy + 6), face_bottom)
    zones = [(-88, -30, (40, 160, 80)), (-30, 30, (240, 190, 30)), (30, 88, (220, 60, 40))]
    for a0, a1, colour in zones:
        canvas.fill(ring(cx, cy, 0.74 * face_r, 0.9 * face_r, a0, a1), colour)
    draw_ticks(canvas, cx, cy, 0.76 * face_r, 0.9 * face_r, 80, 10, 0.6, 40)
    draw_needle(canvas, cx, cy, angle, 0.86 * face_r, 2.6, 5)
    rgb = [SPRITE_KEY if a == 0 else lerp(SPRITE_EDGE, (red, green, blue), a)
           for red, green, blue, a in canvas.pixels()]
    write_bmp(path, width, height, rgb)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--art", required=True, help="directory for the resource pictures")
    parser.add_argument("--pdata", required=True, help="directory for the data pictures")
    args = parser.parse_args()
    os.makedirs(args.art, exist_ok=True)
    os.makedirs(args.pdata, exist_ok=True)
    write_icon(os.path.join(args.art, "kalvit.ico"))
    write_cursor(os.path.join(args.art, "hand.cur"))
    write_marker(os.path.join(args.art, "marker.bmp"))
    write_background(os.path.join(args.pdata, "dlgback.bmp"))
    write_logo(os.path.join(args.pdata, "pnlogog.bmp"))
    for frame, angle in enumerate(SPRITE_ANGLES):
        write_sprite_frame(os.path.join(args.pdata, "pnlogo%d.bmp" % frame), angle)


if __name__ == "__main__":
    main()
