#!/usr/bin/env python3
"""Draws the default background picture res/Tessel.bmp: a hexagonal
tessellation in night-road blues and teals with a warm band like a horizon,
24-bit uncompressed BMP, sized to the main view's picture area.

Usage: scripts/make_tessel_bmp.py [OUTPUT] (default res/Tessel.bmp)
"""
import math
import struct
import sys

WIDTH, HEIGHT = 373, 147  # the picture area of a 382 x 277 view
HEX_RADIUS = 11.0


def hex_round(q, r):
    """Nearest hexagon (axial coordinates) by cube rounding."""
    x, z = q, r
    y = -x - z
    rx, ry, rz = round(x), round(y), round(z)
    dx, dy, dz = abs(rx - x), abs(ry - y), abs(rz - z)
    if dx > dy and dx > dz:
        rx = -ry - rz
    elif dy > dz:
        ry = -rx - rz
    else:
        rz = -rx - ry
    return rx, rz


def cell_noise(q, r):
    h = (q * 73856093) ^ (r * 19349663)
    h = (h ^ (h >> 13)) * 1274126177 & 0xFFFFFFFF
    return (h & 0xFFFF) / 65535.0


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def pixel(x, y):
    # Pointy-top hexagons.
    px, py = x - WIDTH / 2.0, y - HEIGHT * 0.62
    q = (math.sqrt(3) / 3 * px - py / 3) / HEX_RADIUS
    r = (2.0 / 3 * py) / HEX_RADIUS
    cq, cr = hex_round(q, r)
    # Centre of the cell and distance to it, to draw the grout between tiles.
    cx = HEX_RADIUS * math.sqrt(3) * (cq + cr / 2.0)
    cy = HEX_RADIUS * 1.5 * cr
    dx, dy = abs(px - cx), abs(py - cy)
    edge = max(dx * 2 / math.sqrt(3), dx / math.sqrt(3) + dy) / HEX_RADIUS

    t = y / (HEIGHT - 1)
    deep = (10, 18, 48)
    teal = (18, 120, 140)
    amber = (235, 150, 40)
    base = mix(deep, teal, 0.25 + 0.55 * t)
    # A warm horizon band behind the tiles.
    glow = math.exp(-((y - HEIGHT * 0.62) / (HEIGHT * 0.10)) ** 2)
    base = mix(base, amber, 0.55 * glow)
    shade = 0.70 + 0.45 * cell_noise(cq, cr)
    colour = tuple(c * shade for c in base)
    if edge > 0.88:  # grout
        colour = mix(colour, (4, 6, 14), 0.8)
    # Vignette keeps the edges quiet against the black window.
    vx = (x - WIDTH / 2.0) / (WIDTH / 2.0)
    vy = (y - HEIGHT / 2.0) / (HEIGHT / 2.0)
    v = max(0.0, 1.0 - 0.45 * (vx * vx + vy * vy))
    return tuple(max(0, min(255, int(c * v))) for c in colour)


def write_bmp(path):
    row_size = (WIDTH * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        pixels += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


if __name__ == "__main__":
    write_bmp(sys.argv[1] if len(sys.argv) > 1 else "res/Tessel.bmp")
