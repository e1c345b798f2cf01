#!/usr/bin/env python3
"""Draws the dialog skin: backgrounds, progress bar track and piece, close and action buttons.

Writes 24-bit uncompressed BMP files named <id>.bmp into the output folder (default: the
resources/skin folder next to this script). Standard library only, and deterministic: running it
again produces the same bytes, which a test checks against the committed files.

Fixed by the dialogs that use them: every size below; the dark ground RGB(10, 19, 28) of both
backgrounds; the light grey RGB(235, 236, 236) field of 667 at x 6..493, y 168..225 where the
progress bar sits; the track 647 in that grey; the piece 646 (grey rows 0-3 and 55-57, red
RGB(229, 0, 64) rows 4-54); the action button fills: normal RGB(179, 0, 51), pressed
RGB(255, 0, 72), hover RGB(229, 0, 64). No picture may contain RGB(255, 0, 255), the colour the
windows treat as see-through.
"""

import argparse
import math
import os
import struct
import sys

GROUND = (10, 19, 28)
FIELD_GREY = (235, 236, 236)
ACCENT_RED = (229, 0, 64)
BUTTON_NORMAL = (179, 0, 51)
BUTTON_PRESSED = (255, 0, 72)
BUTTON_HOVER = (229, 0, 64)
FRAME = (30, 42, 54)
CLOSE_GLYPH = (150, 160, 170)
CLOSE_HOVER_PLATE = (36, 48, 60)
WHITE = (255, 255, 255)

TRANSPARENT = (255, 0, 255)
# Greys that a loader asked to map 3D colours would replace with system colours: kept out.
MAPPED_GREYS = {(128, 128, 128), (192, 192, 192), (223, 223, 223)}

BACKGROUND_SIZE = (500, 353)
GREY_FIELD = (6, 168, 493, 225)  # left, top, right, bottom, all inclusive
CLOSE_SIZE = 21
BUTTON_SIZE = (174, 45)


class Picture:
    def __init__(self, width, height, fill):
        self.width = width
        self.height = height
        self.rows = [[fill] * width for _ in range(height)]

    def get(self, x, y):
        return self.rows[y][x]

    def set(self, x, y, colour):
        self.rows[y][x] = colour

    def blend(self, x, y, colour, amount):
        """Mixes `colour` over the pixel by `amount` (0..1)."""
        if amount <= 0.0:
            return
        if amount >= 1.0:
            self.set(x, y, colour)
            return
        base = self.get(x, y)
        self.set(x, y, tuple(int(b + (c - b) * amount + 0.5) for b, c in zip(base, colour)))

    def fill_rect(self, left, top, right, bottom, colour):
        """Inclusive bounds."""
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                self.set(x, y, colour)

    def paint_shape(self, distance, colour):
        """Covers the pixels inside the shape given by a signed distance function (negative inside),
        with a one-pixel antialiased edge."""
        for y in range(self.height):
            for x in range(self.width):
                d = distance(x + 0.5, y + 0.5)
                self.blend(x, y, colour, min(1.0, max(0.0, 0.5 - d)))


def rounded_rect(left, top, right, bottom, radius):
    """Signed distance to a rounded rectangle (edges in continuous pixel coordinates)."""
    cx, cy = (left + right) / 2.0, (top + bottom) / 2.0
    hx, hy = (right - left) / 2.0 - radius, (bottom - top) / 2.0 - radius

    def distance(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return distance


def stroke(x0, y0, x1, y1, half_width):
    """Signed distance to a line segment drawn with round ends."""
    dx, dy = x1 - x0, y1 - y0
    length_sq = dx * dx + dy * dy

    def distance(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length_sq))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) - half_width

    return distance


def union(*shapes):
    return lambda x, y: min(shape(x, y) for shape in shapes)


def background(with_grey_field):
    width, height = BACKGROUND_SIZE
    picture = Picture(width, height, GROUND)
    # A faint glow behind the heading, fading out well before the buttons and the progress area.
    glow_x, glow_y, glow_radius = 150.0, 40.0, 160.0
    for y in range(height):
        for x in range(width):
            r = math.hypot((x - glow_x) / 1.5, y - glow_y) / glow_radius
            if r < 1.0:
                lift = (1.0 - r) ** 2
                picture.blend(x, y, (32, 46, 60), lift * 0.55)
    # A one-pixel frame so the borderless window has an edge on a dark desktop.
    for x in range(width):
        picture.set(x, 0, FRAME)
        picture.set(x, height - 1, FRAME)
    for y in range(height):
        picture.set(0, y, FRAME)
        picture.set(width - 1, y, FRAME)
    # The thin red accent line at the top, and its short echo under the heading.
    for x in range(1, width - 1):
        picture.set(x, 1, ACCENT_RED)
        picture.blend(x, 2, ACCENT_RED, 0.35)
    for x in range(25, 85):
        picture.set(x, 118, ACCENT_RED)
    if with_grey_field:
        left, top, right, bottom = GREY_FIELD
        # A soft dark halo around the field, then the field itself, exactly in place.
        for y in range(top - 3, bottom + 4):
            for x in range(left - 3, right + 4):
                ex = max(left - x, 0, x - right)
                ey = max(top - y, 0, y - bottom)
                edge = max(ex, ey)
                if 0 < edge <= 3:
                    picture.blend(x, y, (4, 9, 14), 0.5 / edge)
        picture.fill_rect(left, top, right, bottom, FIELD_GREY)
    return picture


def track():
    return Picture(488, 58, FIELD_GREY)


def piece():
    picture = Picture(32, 58, FIELD_GREY)
    picture.fill_rect(0, 4, 31, 54, ACCENT_RED)
    return picture


def close_button(state):
    picture = Picture(CLOSE_SIZE, CLOSE_SIZE, GROUND)
    glyph = CLOSE_GLYPH
    if state == "hover":
        picture.paint_shape(rounded_rect(0.5, 0.5, 20.5, 20.5, 4.0), CLOSE_HOVER_PLATE)
        glyph = WHITE
    elif state == "pressed":
        picture.paint_shape(rounded_rect(0.5, 0.5, 20.5, 20.5, 4.0), BUTTON_NORMAL)
        glyph = WHITE
    cross = union(stroke(6.5, 6.5, 14.5, 14.5, 0.9), stroke(14.5, 6.5, 6.5, 14.5, 0.9))
    picture.paint_shape(cross, glyph)
    return picture


def action_button(fill):
    width, height = BUTTON_SIZE
    picture = Picture(width, height, GROUND)
    body = rounded_rect(0.0, 0.0, width, height, 6.0)
    picture.paint_shape(body, fill)
    lighter = tuple(min(255, c + 28) for c in fill)
    darker = tuple(int(c * 0.72) for c in fill)
    # A one-pixel highlight along the top and a shade along the bottom, inside the rounded corners.
    for x in range(6, width - 6):
        picture.blend(x, 1, lighter, 0.8)
        picture.blend(x, height - 2, darker, 0.8)
    return picture


def skin():
    return {
        648: background(False),
        667: background(True),
        647: track(),
        646: piece(),
        209: close_button("normal"),
        121: close_button("pressed"),
        656: close_button("hover"),
        662: action_button(BUTTON_NORMAL),
        661: action_button(BUTTON_PRESSED),
        663: action_button(BUTTON_HOVER),
    }


def bmp_bytes(picture):
    stride = (picture.width * 3 + 3) & ~3
    padding = b"\0" * (stride - picture.width * 3)
    pixels = bytearray()
    for y in range(picture.height - 1, -1, -1):  # bottom-up rows
        for r, g, b in picture.rows[y]:
            pixels += bytes((b, g, r))
        pixels += padding
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, picture.width, picture.height, 1, 24, 0, len(pixels),
                              2835, 2835, 0, 0)
    return file_header + info_header + bytes(pixels)


def check(ident, picture):
    for row in picture.rows:
        for colour in row:
            if colour == TRANSPARENT or colour in MAPPED_GREYS:
                sys.exit(f"bitmap {ident} contains the reserved colour {colour}")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(here, "..", "skin"), help="output folder")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for ident, picture in skin().items():
        check(ident, picture)
        with open(os.path.join(args.out, f"{ident}.bmp"), "wb") as out:
            out.write(bmp_bytes(picture))


if __name__ == "__main__":
    main()
