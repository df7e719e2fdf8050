#!/usr/bin/env python3
"""Draws the program's icons (128, 134, 135) at 16 x 16 and 32 x 32 and writes them as PNG files
beside this script, and the application icon (128) also at the sizes a desktop shows it (48 to
256) and as a scalable SVG, for the installed program. Plain Python, so the pictures can be
redrawn anywhere:

    python3 res/icons/make_icons.py

Each picture is a list of filled shapes in a 0..1 square, painted in order and averaged over
sub-pixel samples, so the same drawing gives every size. The shapes of the application icon are
rectangles, which the SVG states exactly."""
import math
import os
import struct
import zlib

SAMPLES = 6  # per axis and pixel, at 16 and 32 px; larger pictures need fewer
APP_SIZES = (16, 32, 48, 64, 128, 256)


def rgba(hexcolour, alpha=255):
    v = int(hexcolour.lstrip("#"), 16)
    return ((v >> 16) & 255, (v >> 8) & 255, v & 255, alpha)


def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def rect(x0, y0, x1, y1):
    def inside(x, y):
        return x0 <= x <= x1 and y0 <= y <= y1
    inside.svg = (x0, y0, x1 - x0, y1 - y0)
    return inside


def ring(cx, cy, r_in, r_out):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def disc(cx, cy, r):
    return ring(cx, cy, 0.0, r)


def segment(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= (width / 2) ** 2
    return inside


def band(p0, p1, t0, t1, w0, w1):
    """The stretch t0..t1 of the axis p0 -> p1, w0 wide at t0 and w1 wide at t1."""
    ux, uy = p1[0] - p0[0], p1[1] - p0[1]
    length = math.hypot(ux, uy)
    nx, ny = -uy / length, ux / length

    def at(t, w):
        cx, cy = p0[0] + ux * t, p0[1] + uy * t
        return [(cx + nx * w / 2, cy + ny * w / 2), (cx - nx * w / 2, cy - ny * w / 2)]
    a, b = at(t0, w0), at(t1, w1)
    return polygon([a[0], b[0], b[1], a[1]])


def pencil(tip=(0.22, 0.78), end=(0.80, 0.20), width=0.21):
    """A green pencil from its point (lower left) to its eraser (upper right), outlined."""
    outline = rgba("#1b3b1f")
    grow = 0.07
    return [
        (band(tip, end, -0.02, 1.03, 0.0 + grow, width + grow), outline),
        (band(tip, end, 0.0, 0.26, 0.0, width), rgba("#f0cf98")),      # sharpened wood
        (band(tip, end, 0.0, 0.09, 0.0, width * 0.35), rgba("#303030")),  # lead
        (band(tip, end, 0.26, 0.82, width, width), rgba("#2fa83c")),    # body
        (band(tip, end, 0.26, 0.82, width * 0.30, width * 0.30), rgba("#7ad67f")),  # shine
        (band(tip, end, 0.82, 0.89, width, width), rgba("#b8b8b8")),    # metal band
        (band(tip, end, 0.89, 1.0, width, width), rgba("#e88fa0")),     # eraser
    ]


def app_icon():
    """Two pages, B over A, with rows of bytes; one row of B differs (red)."""
    ink = rgba("#38424f")
    shapes = [
        (rect(0.06, 0.04, 0.66, 0.80), ink),
        (rect(0.11, 0.09, 0.61, 0.75), rgba("#9fc4ee")),   # FILE A
        (rect(0.30, 0.20, 0.94, 0.96), ink),
        (rect(0.35, 0.25, 0.89, 0.91), rgba("#ffffff")),   # FILE B
    ]
    for i, y in enumerate((0.36, 0.52, 0.68, 0.82)):
        colour = rgba("#d8262b") if i == 1 else rgba("#8a96a6")
        shapes.append((rect(0.42, y - 0.045, 0.82, y + 0.045), colour))
    return shapes


def writable_icon():
    return [(disc(0.5, 0.5, 0.49), rgba("#ffffff", 0)),
            (ring(0.5, 0.5, 0.36, 0.48), rgba("#1f5fd1"))] + pencil()


def read_only_icon():
    red = rgba("#d42020")
    return pencil() + [
        (ring(0.5, 0.5, 0.35, 0.48), red),
        (segment(0.25, 0.25, 0.75, 0.75, 0.13), red),
    ]


def render(shapes, size):
    samples = max(2, min(SAMPLES, SAMPLES * 32 // size))
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    colour = (0, 0, 0, 0)
                    for inside, c in shapes:
                        if inside(x, y) and c[3]:
                            colour = c
                    a = colour[3] / 255.0
                    for k in range(3):
                        acc[k] += colour[k] * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha > 0:
                row += bytes(int(round(acc[k] / acc[3])) for k in range(3))
            else:
                row += b"\0\0\0"
            row.append(int(round(alpha * 255)))
        rows.append(bytes(row))
    return rows


def write_png(path, rows, size):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + r for r in rows)
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def write_svg(path, shapes):
    """The drawing in a 256-unit square; every shape must be a rectangle."""
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">']
    for inside, (r, g, b, a) in shapes:
        x, y, w, h = (round(v * 256, 2) for v in inside.svg)
        opacity = "" if a == 255 else f' fill-opacity="{a / 255:.3f}"'
        out.append(f'  <rect x="{x:g}" y="{y:g}" width="{w:g}" height="{h:g}" '
                   f'fill="#{r:02x}{g:02x}{b:02x}"{opacity}/>')
    out.append("</svg>")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for number, drawing, sizes in ((128, app_icon, APP_SIZES), (134, writable_icon, (16, 32)),
                                   (135, read_only_icon, (16, 32))):
        for size in sizes:
            write_png(os.path.join(here, f"icon{number}_{size}.png"), render(drawing(), size), size)
    write_svg(os.path.join(here, "icon128.svg"), app_icon())


if __name__ == "__main__":
    main()
