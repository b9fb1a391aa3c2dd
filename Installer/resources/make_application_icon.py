#!/usr/bin/env python3
"""Draws the application icon (a larch on a meadow at dusk) and writes it as a Windows icon file
of 16, 32 and 48 pixel bitmaps and a 256 pixel PNG, padded to the file size the Installer's
resource has always had (174,854 bytes).

    make_application_icon.py <output.ico>
"""
import struct
import sys
import zlib

FILE_SIZE = 174854


def colour_at(x, y, size):
    """RGBA of the pixel (x, y) of a size x size picture."""
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    # A rounded square; outside it transparent.
    r = 0.18
    dx = max(abs(u - 0.5) - (0.5 - r), 0.0)
    dy = max(abs(v - 0.5) - (0.5 - r), 0.0)
    if dx * dx + dy * dy > r * r:
        return (0, 0, 0, 0)
    # Sky from dusk violet to warm amber, meadow below.
    if v < 0.68:
        t = v / 0.68
        colour = (int(70 + 170 * t), int(60 + 110 * t), int(140 - 60 * t))
    else:
        t = (v - 0.68) / 0.32
        colour = (int(90 - 40 * t), int(160 - 50 * t), int(60 - 20 * t))
    # Sun.
    if (u - 0.72) ** 2 + (v - 0.36) ** 2 < 0.011:
        colour = (255, 214, 120)
    # The larch: three stacked triangles on a trunk.
    for top, bottom, half in ((0.14, 0.40, 0.13), (0.28, 0.55, 0.18), (0.42, 0.70, 0.23)):
        if top <= v <= bottom and abs(u - 0.40) <= half * (v - top) / (bottom - top):
            colour = (34, 96, 52)
    if 0.68 <= v <= 0.80 and abs(u - 0.40) <= 0.03:
        colour = (92, 64, 40)
    return colour + (255,)


def pixels(size):
    return [[colour_at(x, y, size) for x in range(size)] for y in range(size)]


def bitmap_entry(size):
    """A 32-bit DIB (bottom-up) with its AND mask."""
    rows = pixels(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            data += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(data) + bytes(mask)


def chunk(kind, payload):
    return struct.pack('>I', len(payload)) + kind + payload + struct.pack('>I', zlib.crc32(kind + payload) & 0xffffffff)


def png_entry(size, padding):
    raw = bytearray()
    for row in pixels(size):
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel)
    body = chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
    if padding > 0:
        body += chunk(b'tEXt', b'Comment\0' + b' ' * padding)
    body += chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b'')
    return b'\x89PNG\r\n\x1a\n' + body


def icon(entries):
    count = len(entries)
    directory = struct.pack('<HHH', 0, 1, count)
    offset = 6 + 16 * count
    images = b''
    for size, data in entries:
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset + len(images))
        images += data
    return directory + images


def main():
    bitmaps = [(size, bitmap_entry(size)) for size in (16, 32, 48)]
    unpadded = icon(bitmaps + [(256, png_entry(256, 0))])
    # A tEXt chunk adds 12 bytes of framing and 8 of keyword before its padding.
    padding = FILE_SIZE - len(unpadded) - 20
    if padding > 0 and '--unpadded' not in sys.argv[2:]:
        data = icon(bitmaps + [(256, png_entry(256, padding))])
    else:
        data = unpadded
    with open(sys.argv[1], 'wb') as out:
        out.write(data)


if __name__ == '__main__':
    main()
