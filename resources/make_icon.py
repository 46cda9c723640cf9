#!/usr/bin/env python3
"""Draws the program icon, a small marble tile, and writes it as the Windows
icon group file (a 32x32 and a 16x16 sixteen-colour image and a 32x32
monochrome image) or as the desktop's PNG icons, from the same drawing.

Usage: make_icon.py [OUTPUT.ico]   (default: noise-animation.ico beside this script)
       make_icon.py --png FOLDER   (FOLDER/<N>x<N>/apps/noise-animation.png for
                                    every size in PNG_SIZES: a hicolor theme tree)
       make_icon.py --header FILE  (a C++ header with the WINDOW_ICON_SIZE icon
                                    as 0xAARRGGBB pixels, top row first, for a
                                    window's icon)

Standard library only; the ICO, BMP and PNG bytes are written by hand (PNG
through zlib). Each file is written to a temporary name first and renamed, so
a failed run leaves no half-written icon behind.
"""
import math
import os
import struct
import sys
import tempfile
import zlib

GREY_LEVELS = 16
# The native window's icon, as the window manager's _NET_WM_ICON takes it.
WINDOW_ICON_SIZE = 64
# The hicolor theme's usual application icon sizes, in pixels.
PNG_SIZES = (16, 32, 48, 64, 128, 256)


def palette_colour(shade):
    """The program's own palette: grey with a blue tint in the darker shades."""
    blue = round(255 * math.sqrt(shade / 255))
    return (shade, shade, blue)  # red, green, blue


def marble(x, y, size):
    """Marble intensity 0..1 at pixel (x, y) of a size x size tile: two
    crossed sine stripes bent by a few smooth waves, as in the animation."""
    u, v = (x + 0.5) / size, (y + 0.5) / size
    bend = (0.6 * math.sin(2 * math.pi * (0.7 * u + 0.4 * v) + 0.4)
            + 0.3 * math.sin(2 * math.pi * (1.3 * v - 0.6 * u) + 1.9)
            + 0.12 * math.sin(2 * math.pi * (2.6 * u + 2.1 * v) + 0.7))
    a = math.sin(2 * math.pi * (0.9 * v) + 1.8 * bend + 0.3)
    b = math.sin(2 * math.pi * (0.6 * u) + 1.8 * bend + 0.9)
    return abs(a * b)


def grey_index(x, y, size):
    """Index 0..15 into the sixteen-colour table; the outermost ring is dark."""
    if x in (0, size - 1) or y in (0, size - 1):
        return 1
    level = marble(x, y, size)
    return min(GREY_LEVELS - 1, 2 + int(level * (GREY_LEVELS - 2)))


def png_shade(x, y, size):
    """Shade 0..255 at pixel (x, y) of a size x size PNG icon: the marble in
    full grey levels inside a dark ring one thirty-second of the size wide,
    the ring the icon group's sixteen-colour images draw one pixel wide."""
    ring = max(1, size // 32)
    if min(x, y) < ring or max(x, y) >= size - ring:
        return round(255 / (GREY_LEVELS - 1))  # grey_index's ring colour, index 1
    first = 2 * 255 / (GREY_LEVELS - 1)  # grey_index's darkest marble colour, index 2
    return round(first + marble(x, y, size) * (255 - first))


def png_chunk(kind, data):
    """One PNG chunk: length, type, data and the CRC of type and data."""
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def build_png(size):
    """A size x size 8-bit RGB PNG of the icon, every row unfiltered."""
    rows = bytearray()
    for y in range(size):
        rows.append(0)  # filter type: none
        for x in range(size):
            rows += bytes(palette_colour(png_shade(x, y, size)))
    header = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)  # 8-bit RGB, not interlaced
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + png_chunk(b"IEND", b""))


def argb_pixels(size):
    """The size x size PNG icon as opaque 0xAARRGGBB values, top row first."""
    return [0xFF000000 | r << 16 | g << 8 | b
            for y in range(size) for x in range(size)
            for (r, g, b) in [palette_colour(png_shade(x, y, size))]]


def build_header(size):
    """C++ source declaring kWindowIconSide and kWindowIcon[] for the icon."""
    pixels = argb_pixels(size)
    lines = [", ".join(f"0x{p:08X}" for p in pixels[k:k + 8]) + "," for k in range(0, len(pixels), 8)]
    return ("// Drawn by resources/make_icon.py --header: the program's icon as 0xAARRGGBB\n"
            "// pixels, top row first. Do not edit.\n#pragma once\n\n#include <cstdint>\n\n"
            f"constexpr int kWindowIconSide = {size};\n"
            f"constexpr uint32_t kWindowIcon[{size} * {size}] = {{\n    " + "\n    ".join(lines) + "\n};\n")


def row_bytes(bits_per_row):
    """Bytes per bitmap row, padded to a multiple of four."""
    return (bits_per_row + 31) // 32 * 4


def pack_rows(size, bits, value_at):
    """Bottom-up rows of `bits`-per-pixel values, each padded to four bytes."""
    out = bytearray()
    for y in range(size - 1, -1, -1):  # bitmaps store the bottom row first
        row = bytearray(row_bytes(size * bits))
        for x in range(size):
            value = value_at(x, y)
            bit = x * bits
            shift = 8 - bits - (bit % 8)
            row[bit // 8] |= value << shift
        out += row
    return bytes(out)


def icon_image(size, bits, colours, value_at):
    """One icon image: header with doubled height, colour table, colour
    bits, then an all-opaque AND mask."""
    xor_bits = pack_rows(size, bits, value_at)
    and_bits = pack_rows(size, 1, lambda x, y: 0)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0,
                         len(xor_bits) + len(and_bits), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    return header + table + xor_bits + and_bits


def build_icon():
    greys = [palette_colour(round(i * 255 / (GREY_LEVELS - 1))) for i in range(GREY_LEVELS)]
    images = [
        # (width, colour count, bits per pixel, image bytes)
        (32, 16, 4, icon_image(32, 4, greys, lambda x, y: grey_index(x, y, 32))),
        (16, 16, 4, icon_image(16, 4, greys, lambda x, y: grey_index(x, y, 16))),
        (32, 2, 1, icon_image(32, 1, [(0, 0, 0), (255, 255, 255)],
                              lambda x, y: 1 if grey_index(x, y, 32) >= 9 else 0)),
    ]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, colour_count, bits, data in images:
        entries += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bits, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for (_, _, _, data) in images)


def write_file(target, data):
    """Writes DATA to TARGET through a temporary file in the same folder;
    returns False, after one line on stderr, when that fails."""
    folder = os.path.dirname(os.path.abspath(target))
    try:
        fd, temp = tempfile.mkstemp(dir=folder, suffix=".tmp")
    except OSError as e:
        print(f"make_icon.py: cannot write in {folder}: {e.strerror}", file=sys.stderr)
        return False
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.chmod(temp, 0o644)
        os.replace(temp, target)
    except OSError as e:
        os.unlink(temp)
        print(f"make_icon.py: cannot write {target}: {e.strerror}", file=sys.stderr)
        return False
    return True


def write_pngs(root):
    """The hicolor tree under ROOT; the folders are made as needed."""
    for size in PNG_SIZES:
        folder = os.path.join(root, f"{size}x{size}", "apps")
        try:
            os.makedirs(folder, exist_ok=True)
        except OSError as e:
            print(f"make_icon.py: cannot make {folder}: {e.strerror}", file=sys.stderr)
            return False
        if not write_file(os.path.join(folder, "noise-animation.png"), build_png(size)):
            return False
    return True


def main(argv):
    if len(argv) == 3 and argv[1] == "--png":
        return 0 if write_pngs(argv[2]) else 1
    if len(argv) == 3 and argv[1] == "--header":
        return 0 if write_file(argv[2], build_header(WINDOW_ICON_SIZE).encode()) else 1
    if len(argv) > 2 or (len(argv) == 2 and argv[1].startswith("-")):
        print("make_icon.py: expected one output path, --png FOLDER or --header FILE", file=sys.stderr)
        return 2
    target = argv[1] if len(argv) == 2 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         "noise-animation.ico")
    folder = os.path.dirname(os.path.abspath(target))
    if not os.path.isdir(folder):
        print(f"make_icon.py: output folder does not exist: {folder}", file=sys.stderr)
        return 1
    return 0 if write_file(target, build_icon()) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
