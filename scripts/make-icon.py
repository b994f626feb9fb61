#!/usr/bin/env python3
"""Draws the launcher's default icon, a plain application window, and writes
it as a Windows icon file with the usual sizes.

usage: make-icon.py OUTPUT.ico

Every frame is a PNG image (Windows reads them in icons at every size
since Vista): about 2 KB for all seven, where 32-bit bitmaps take 370 KB
and would make up a third of the launcher. bitmap_frame writes the older
form for a frame size up to BITMAP_LIMIT. The output depends only on this
script, so the committed file can be rebuilt byte for byte.
"""
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)
BITMAP_LIMIT = 0  # sizes up to this are written as bitmaps

FRAME = (72, 84, 96)        # outline of the window
TITLE = (70, 110, 160)      # title bar
BUTTON = (225, 230, 236)    # the buttons in the title bar
CLIENT = (250, 251, 252)    # the window's client area
LINE = (196, 204, 214)      # lines of "content" in the client area


def draw(size):
    """The window glyph as rows of (r, g, b, a), top row first."""
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]
    unit = size / 16.0
    margin = max(1, round(unit))
    left, top = margin, margin + round(unit)
    right, bottom = size - margin, size - margin - round(unit) // 2
    border = max(1, round(unit * 0.75))
    title_bottom = top + max(3, round(unit * 3))
    radius = max(0, round(unit * 1.2)) if size >= 32 else 0

    def inside(x, y, x0, y0, x1, y1, r):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        if r == 0:
            return True
        cx = min(max(x, x0 + r), x1 - 1 - r)
        cy = min(max(y, y0 + r), y1 - 1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    for y in range(size):
        for x in range(size):
            if not inside(x, y, left, top, right, bottom, radius):
                continue
            if not inside(x, y, left + border, top + border, right - border, bottom - border,
                          max(0, radius - border)):
                colour = FRAME
            elif y < title_bottom:
                colour = TITLE
            else:
                colour = CLIENT
            pixels[y][x] = colour + (255,)

    # Three buttons at the right end of the title bar.
    button = max(1, round(unit * 1.2))
    gap = max(1, round(unit * 0.6))
    by0 = top + border + (title_bottom - top - border - button) // 2
    bx = right - border - gap - button
    for _ in range(3 if size >= 24 else 1):
        for y in range(by0, by0 + button):
            for x in range(bx, bx + button):
                pixels[y][x] = BUTTON + (255,)
        bx -= button + gap

    # Lines of text in the client area, on the larger frames only.
    if size >= 32:
        thickness = max(1, round(unit * 0.7))
        step = thickness * 3
        x0 = left + border + round(unit * 1.5)
        y = title_bottom + round(unit * 1.5)
        widths = (0.75, 0.55, 0.65, 0.4)
        for i, share in enumerate(widths):
            if y + thickness > bottom - border - round(unit):
                break
            x1 = x0 + round((right - left - 2 * border - 3 * unit) * share)
            for yy in range(y, y + thickness):
                for x in range(x0, x1):
                    pixels[yy][x] = LINE + (255,)
            y += step
    return pixels


def bitmap_frame(pixels):
    """BITMAPINFOHEADER, bottom-up BGRA rows and the 1-bit AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def png_frame(pixels):
    size = len(pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def icon_file(sizes=SIZES):
    frames = [bitmap_frame(draw(s)) if s <= BITMAP_LIMIT else png_frame(draw(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(frames))
    offset = 6 + 16 * len(frames)
    for size, data in zip(sizes, frames):
        # A width or height of 256 is written as 0.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(frames)


def main():
    if len(sys.argv) != 2:
        print(next(line for line in __doc__.splitlines() if line.startswith("usage:")), file=sys.stderr)
        return 2
    with open(sys.argv[1], "wb") as out:
        out.write(icon_file())
    return 0


if __name__ == "__main__":
    sys.exit(main())
