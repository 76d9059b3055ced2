#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the banner movie: a compressed Flash file (CWS, version 7), 257 x 65 px at 12 fps.

The product name is drawn with stroked vector letters (no embedded font needed), slides in from
the left, pulses, and fades out; the movie loops. An invisible button over the whole stage opens
the home page in a new window when clicked.

Usage: make_banner_movie.py OUTPUT.swf HOME_PAGE_URL
"""

import struct
import sys
import zlib

TWIPS = 20  # twips per pixel
STAGE_W, STAGE_H = 257, 65
FPS = 12
VERSION = 7

# Tag codes
END, SHOW_FRAME, DEFINE_SHAPE, SET_BACKGROUND_COLOR = 0, 1, 2, 9
PLACE_OBJECT2, DEFINE_BUTTON2 = 26, 34
# Action codes
ACTION_GET_URL = 0x83

# Stroke letters on a grid: baseline y = 0, x-height 4, cap height 6. Each glyph is a list of
# polylines; "advance" is the glyph's width before the letter gap.
GLYPHS = {
    "Q": (4, [[(0, 1), (0, 5), (1, 6), (3, 6), (4, 5), (4, 1), (3, 0), (1, 0), (0, 1)],
              [(2.5, 1.5), (4.5, -0.5)]]),
    "S": (4, [[(4, 5), (3, 6), (1, 6), (0, 5), (0, 4), (1, 3), (3, 3), (4, 2), (4, 1), (3, 0),
               (1, 0), (0, 1)]]),
    "u": (3, [[(0, 4), (0, 1), (1, 0), (2, 0), (3, 1)], [(3, 4), (3, 0)]]),
    "e": (3, [[(0, 2), (3, 2), (3, 3), (2, 4), (1, 4), (0, 3), (0, 1), (1, 0), (3, 0)]]),
    "n": (3, [[(0, 0), (0, 4)], [(0, 3), (1, 4), (2, 4), (3, 3), (3, 0)]]),
    "t": (2.5, [[(1, 6), (1, 1), (2, 0), (2.5, 0)], [(0, 4), (2.5, 4)]]),
    "s": (3, [[(3, 4), (1, 4), (0, 3), (1, 2), (2, 2), (3, 1), (2, 0), (0, 0)]]),
    "o": (3, [[(1, 0), (0, 1), (0, 3), (1, 4), (2, 4), (3, 3), (3, 1), (2, 0), (1, 0)]]),
    "v": (3, [[(0, 4), (1.5, 0), (3, 4)]]),
    "r": (2.5, [[(0, 0), (0, 4)], [(0, 3), (1, 4), (2.5, 4)]]),
    " ": (1.5, []),
}
LETTER_GAP = 1.2
UNIT = 3.4  # pixels per grid unit
STROKE_PX = 2.4
NAME = "Quennets Sonvert"
NAME_COLOR = (0x00, 0x33, 0x66)


class BitWriter:
    def __init__(self):
        self.bits = []

    def ub(self, value, nbits):
        for i in reversed(range(nbits)):
            self.bits.append((value >> i) & 1)

    def sb(self, value, nbits):
        self.ub(value & ((1 << nbits) - 1), nbits)

    def data(self):
        while len(self.bits) % 8:
            self.bits.append(0)
        out = bytearray()
        for i in range(0, len(self.bits), 8):
            byte = 0
            for bit in self.bits[i:i + 8]:
                byte = (byte << 1) | bit
            out.append(byte)
        return bytes(out)


def signed_bits(*values):
    """Bits a signed field needs to hold every value."""
    need = 1
    for v in values:
        need = max(need, (v if v >= 0 else -v - 1).bit_length() + 1)
    return need


def rect(xmin, xmax, ymin, ymax):
    w = BitWriter()
    n = signed_bits(xmin, xmax, ymin, ymax)
    w.ub(n, 5)
    for v in (xmin, xmax, ymin, ymax):
        w.sb(v, n)
    return w.data()


def matrix(tx=0, ty=0):
    w = BitWriter()
    w.ub(0, 1)  # no scale
    w.ub(0, 1)  # no rotate
    n = signed_bits(tx, ty)
    w.ub(n, 5)
    w.sb(tx, n)
    w.sb(ty, n)
    return w.data()


def cxform_with_alpha(mult=(256, 256, 256, 256), add=(0, 0, 0, 0)):
    w = BitWriter()
    w.ub(1, 1)  # add terms
    w.ub(1, 1)  # mult terms
    n = signed_bits(*mult, *add)
    w.ub(n, 4)
    for v in mult + add:
        w.sb(v, n)
    return w.data()


def tag(code, body=b""):
    if len(body) < 0x3F:
        return struct.pack("<H", (code << 6) | len(body)) + body
    return struct.pack("<HI", (code << 6) | 0x3F, len(body)) + body


def shape_records(paths, num_fill_bits, num_line_bits, fill0=0, line=0):
    """Shape records for closed or open polylines in twips, all with one fill/line style."""
    w = BitWriter()
    w.ub(num_fill_bits, 4)
    w.ub(num_line_bits, 4)
    first = True
    x = y = 0
    for path in paths:
        (sx, sy), rest = path[0], path[1:]
        # Style change record with a move-to; styles are set once, on the first move.
        w.ub(0, 1)
        w.ub(0, 1)  # no new styles
        w.ub(1 if first and line else 0, 1)
        w.ub(0, 1)  # fill style 1
        w.ub(1 if first and fill0 else 0, 1)
        w.ub(1, 1)  # move to
        n = signed_bits(sx, sy)
        w.ub(n, 5)
        w.sb(sx, n)
        w.sb(sy, n)
        if first and fill0:
            w.ub(fill0, num_fill_bits)
        if first and line:
            w.ub(line, num_line_bits)
        first = False
        x, y = sx, sy
        for px, py in rest:
            dx, dy = px - x, py - y
            n = max(signed_bits(dx, dy), 2)
            w.ub(1, 1)  # edge
            w.ub(1, 1)  # straight
            w.ub(n - 2, 4)
            w.ub(1, 1)  # general line
            w.sb(dx, n)
            w.sb(dy, n)
            x, y = px, py
    w.ub(0, 6)  # end of shape
    return w.data()


def define_stroke_shape(shape_id, paths, width_twips, color):
    xs = [p[0] for path in paths for p in path]
    ys = [p[1] for path in paths for p in path]
    half = width_twips // 2 + 1
    bounds = rect(min(xs) - half, max(xs) + half, min(ys) - half, max(ys) + half)
    styles = bytes([0])  # no fill styles
    styles += bytes([1]) + struct.pack("<H", width_twips) + bytes(color)
    return tag(DEFINE_SHAPE, struct.pack("<H", shape_id) + bounds + styles +
               shape_records(paths, 0, 1, line=1))


def define_filled_rect(shape_id, w_twips, h_twips, color):
    bounds = rect(0, w_twips, 0, h_twips)
    styles = bytes([1, 0x00]) + bytes(color)  # one solid fill
    styles += bytes([0])  # no line styles
    outline = [[(0, 0), (w_twips, 0), (w_twips, h_twips), (0, h_twips), (0, 0)]]
    return tag(DEFINE_SHAPE, struct.pack("<H", shape_id) + bounds + styles +
               shape_records(outline, 1, 0, fill0=1))


def name_paths():
    """The product name as polylines in twips, origin at the left end of its baseline."""
    paths = []
    pen = 0.0
    for ch in NAME:
        advance, strokes = GLYPHS[ch]
        for stroke in strokes:
            paths.append([(round((pen + gx) * UNIT * TWIPS), round(-gy * UNIT * TWIPS))
                          for gx, gy in stroke])
        pen += advance + LETTER_GAP
    width_px = (pen - LETTER_GAP) * UNIT
    return paths, width_px


def action_get_url(url, target):
    body = url.encode("ascii") + b"\0" + target.encode("ascii") + b"\0"
    return bytes([ACTION_GET_URL]) + struct.pack("<H", len(body)) + body


def define_button(button_id, hit_shape_id, actions):
    record = bytes([0x08])  # hit-test state only: the button itself stays invisible
    record += struct.pack("<HH", hit_shape_id, 1) + matrix() + cxform_with_alpha()
    characters = record + b"\0"
    # One condition: released over the button (over-down to over-up).
    cond = struct.pack("<H", 0) + bytes([0x08, 0x00]) + actions + b"\0"
    body = struct.pack("<H", button_id) + b"\0" + struct.pack("<H", 2 + len(characters))
    return tag(DEFINE_BUTTON2, body + characters + cond)


def place(depth, char_id=None, tx=0, ty=0, cx=None):
    flags = 0x04  # matrix
    if char_id is None:
        flags |= 0x01  # move an existing character
    else:
        flags |= 0x02
    if cx is not None:
        flags |= 0x08
    body = bytes([flags]) + struct.pack("<H", depth)
    if char_id is not None:
        body += struct.pack("<H", char_id)
    body += matrix(tx, ty)
    if cx is not None:
        body += cx
    return tag(PLACE_OBJECT2, body)


def build(home_page):
    name_id, hit_id, button_id = 1, 2, 3
    paths, width_px = name_paths()
    rest_x = round((STAGE_W - width_px) / 2 * TWIPS)
    base_y = round((STAGE_H / 2 + 3 * UNIT) * TWIPS)

    frames = []
    # Slide in from beyond the left edge, easing out.
    slide = 12
    for i in range(slide):
        t = (i + 1) / slide
        eased = 1 - (1 - t) ** 3
        x = round(-width_px * TWIPS + (rest_x + width_px * TWIPS) * eased)
        frames.append((x, None))
    # Pulse towards white and back twice.
    pulse = 24
    for i in range(pulse):
        phase = (i % 12) / 12
        level = round(160 * (1 - abs(2 * phase - 1)))
        frames.append((rest_x, cxform_with_alpha(add=(level, level, level, 0))))
    # Fade out.
    fade = 12
    for i in range(fade):
        alpha = round(256 * (1 - (i + 1) / fade))
        frames.append((rest_x, cxform_with_alpha(mult=(256, 256, 256, alpha))))

    tags = [tag(SET_BACKGROUND_COLOR, bytes((0x99, 0xCC, 0xFF)))]
    tags.append(define_stroke_shape(name_id, paths, round(STROKE_PX * TWIPS), NAME_COLOR))
    tags.append(define_filled_rect(hit_id, STAGE_W * TWIPS, STAGE_H * TWIPS, (0xFF, 0xFF, 0xFF)))
    tags.append(define_button(button_id, hit_id, action_get_url(home_page, "_blank") + b"\0"))
    for index, (x, cx) in enumerate(frames):
        if index == 0:
            tags.append(place(1, name_id, x, base_y, cx))
            tags.append(place(2, button_id))
        else:
            tags.append(place(1, None, x, base_y, cx))
        tags.append(tag(SHOW_FRAME))
    tags.append(tag(END))

    header_rest = rect(0, STAGE_W * TWIPS, 0, STAGE_H * TWIPS)
    header_rest += struct.pack("<BBH", 0, FPS, len(frames))  # frame rate is 8.8 fixed point
    body = header_rest + b"".join(tags)
    return b"CWS" + bytes([VERSION]) + struct.pack("<I", 8 + len(body)) + zlib.compress(body, 9)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(build(sys.argv[2]))


if __name__ == "__main__":
    main()
