#!/usr/bin/env python3
# Draws discWren's XPM images: the app icon (a disc with a wren), the clear-text icon and the flag.

import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.join(HERE, "..", "ui", "images")

# Characters usable in pixel codes: printable ASCII without '"', '\\' and '?'
# (the last avoids accidental trigraphs); space is kept for the transparent colour.
CODE_CHARS = "".join(chr(c) for c in range(33, 127) if chr(c) not in '"\\?')


# ---------------------------------------------------------------- small math helpers

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    """Blend two RGB tuples (t = 0 gives c1, t = 1 gives c2)."""
    t = clamp(t)
    return tuple(lerp(p, q, t) for p, q in zip(c1, c2))


def scale(c, f):
    return tuple(v * f for v in c)


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3 - 2 * t)


def hsv(h, s, v):
    """HSV (all 0..1) to RGB in 0..255."""
    h = (h % 1.0) * 6
    i = int(h)
    f = h - i
    p, q, t = v * (1 - s), v * (1 - s * f), v * (1 - s * (1 - f))
    r, g, b = [(v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q)][i % 6]
    return (r * 255, g * 255, b * 255)


# ---------------------------------------------------------------- signed distance shapes
# Negative inside, positive outside, roughly in pixel units.

def sd_circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def sd_ellipse(x, y, cx, cy, rx, ry, angle=0.0):
    """Approximate distance to a rotated ellipse (good enough near the edge)."""
    ca, sa = math.cos(angle), math.sin(angle)
    dx, dy = x - cx, y - cy
    u, v = dx * ca + dy * sa, -dx * sa + dy * ca
    k = math.hypot(u / rx, v / ry)
    if k == 0:
        return -min(rx, ry)
    grad = math.hypot(u / (rx * rx), v / (ry * ry))
    return k * (k - 1) / grad if grad else -min(rx, ry)


def segment_param(x, y, ax, ay, bx, by):
    """Position t (0..1) of the closest point on segment a-b, and the distance to it."""
    vx, vy = bx - ax, by - ay
    t = clamp(((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy))
    return t, math.hypot(x - (ax + vx * t), y - (ay + vy * t))


def sd_capsule(x, y, ax, ay, bx, by, ra, rb=None):
    """Segment with rounded ends; the radius may taper from ra (at a) to rb (at b)."""
    t, d = segment_param(x, y, ax, ay, bx, by)
    return d - lerp(ra, ra if rb is None else rb, t)


def sd_triangle(x, y, pts):
    """Exact distance to a triangle given as three (x, y) points."""
    d = min(segment_param(x, y, *pts[i], *pts[(i + 1) % 3])[1] for i in range(3))
    signs = []
    for i in range(3):
        (ax, ay), (bx, by) = pts[i], pts[(i + 1) % 3]
        signs.append((bx - ax) * (y - ay) - (by - ay) * (x - ax) > 0)
    return -d if all(signs) or not any(signs) else d


# ---------------------------------------------------------------- rendering / output

def render(width, height, shade, samples=4):
    """Supersample shade(x, y) -> RGB or None (transparent) into a pixel grid.

    A pixel becomes transparent when fewer than half of its samples are opaque;
    otherwise it is the average of its opaque samples, so edges against other
    artwork are antialiased while edges against transparency stay hard.
    """
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc, n = [0.0, 0.0, 0.0], 0
            for sy in range(samples):
                for sx in range(samples):
                    c = shade(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                    if c is not None:
                        n += 1
                        for i in range(3):
                            acc[i] += c[i]
            row.append(None if n * 2 < samples * samples else tuple(a / n for a in acc))
        rows.append(row)
    return rows


def quantize(rows, step):
    def q(v):
        return int(clamp(round(round(v / step) * step), 0, 255))
    return [[None if c is None else tuple(q(v) for v in c) for c in row] for row in rows]


def count_colours(rows):
    return len({c for row in rows for c in row if c is not None})


def quantize_to_range(rows, lo, hi):
    """Pick the finest channel step that keeps the number of colours at or below hi."""
    step = 1.0
    while True:
        out = quantize(rows, step)
        n = count_colours(out)
        if n <= hi:
            if n < lo:
                print("warning: only %d colours" % n)
            return out
        step += 0.25


def code_for(index, cpp):
    code = ""
    for _ in range(cpp):
        code = CODE_CHARS[index % len(CODE_CHARS)] + code
        index //= len(CODE_CHARS)
    return code


def write_xpm(path, name, rows, cpp, palette=None):
    """Write rows of RGB tuples (None = transparent) as an XPM3 C array.

    palette optionally fixes the order of colours (and may list unused ones).
    """
    height, width = len(rows), len(rows[0])
    used = []
    seen = set()
    for row in rows:
        for c in row:
            if c not in seen:
                seen.add(c)
                used.append(c)
    if palette is None:
        colours = ([None] if None in seen else []) + sorted(c for c in used if c is not None)
    else:
        colours = list(palette)
        assert all(c in colours for c in used), "pixel colour missing from palette"
    codes = {}
    index = 0
    for c in colours:
        if c is None:
            codes[c] = " " * cpp
        else:
            codes[c] = code_for(index, cpp)
            index += 1
    lines = ["/* XPM */", "static const char* %s[] = {" % name,
             '"%d %d %d %d",' % (width, height, len(colours), cpp)]
    for c in colours:
        value = "None" if c is None else "#%02X%02X%02X" % c
        lines.append('"%s c %s",' % (codes[c], value))
    for i, row in enumerate(rows):
        end = "," if i < height - 1 else ""
        lines.append('"%s"%s' % ("".join(codes[c] for c in row), end))
    lines.append("};")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("%s: %dx%d, %d palette entries%s" % (
        os.path.relpath(path), width, height, len(colours),
        " (None plus %d colours)" % (len(colours) - 1) if None in colours else ""))


# ---------------------------------------------------------------- the application icon

DISC_CX, DISC_CY, DISC_R = 29.0, 29.0, 28.0
HOLE_R = 4.6
LIGHT_ANGLE = math.radians(-135)   # light comes from the upper left


def disc_colour(x, y):
    dx, dy = x - DISC_CX, y - DISC_CY
    r = math.hypot(dx, dy)
    if r > DISC_R or r < HOLE_R:
        return None
    a = math.atan2(dy, dx)
    light = 0.5 + 0.5 * math.cos(a - LIGHT_ANGLE)

    if r < 5.4:                                    # edge of the centre hole
        return mix((105, 110, 122), (150, 155, 166), light)
    if r < 10.6:                                   # clear plastic hub
        c = mix((196, 202, 212), (236, 239, 244), 1 - light)
        if abs(r - 8.0) < 0.55:                    # moulded stacking ring
            c = scale(c, 0.86)
        return c
    if r < 12.2:                                   # mirror band
        return mix((128, 136, 150), (178, 186, 198), light)

    # recorded area: silver, a rainbow sheen in two opposite wedges and a
    # white highlight across the other diagonal
    base = mix((162, 168, 180), (222, 226, 233), light)
    base = scale(base, 1 + 0.025 * math.sin(r * 5.0))
    rainbow = hsv(0.02 + (r - 12) / (DISC_R - 12) * 0.85, 0.55, 1.0)
    wedge = max(0.0, math.cos(2 * (a - math.radians(-20)))) ** 2
    c = mix(base, rainbow, 0.62 * wedge)
    shine = max(0.0, math.cos(2 * (a - math.radians(-110)))) ** 8
    c = mix(c, (255, 255, 255), 0.55 * shine * smoothstep(12, 20, r))
    rim = smoothstep(DISC_R - 1.6, DISC_R - 0.4, r)    # darker outer edge
    return mix(c, (118, 124, 138), rim)


# The wren faces left, standing on the lower right part of the disc.
HEAD = (36.0, 40.0, 6.7)
BODY = (45.5, 47.5, 10.5, 8.8, math.radians(-18))
WING = (47.5, 45.5, 7.0, 4.6, math.radians(-22))
TAIL = (53.0, 44.5, 59.8, 30.5, 2.4, 3.0)
BEAK = [(30.0, 38.6), (23.8, 41.2), (30.4, 42.4)]
EYE = (33.6, 39.0, 1.35)
BROW = (31.0, 36.6, 38.5, 36.0, 0.65)
LEGS = [(42.0, 54.0, 40.8, 60.6), (47.5, 54.5, 47.5, 60.6)]
FEET = [(38.2, 61.0, 43.4, 61.0), (45.0, 61.0, 50.4, 61.0)]

OUTLINE = (58, 34, 20)
BROWN = (150, 96, 56)
DARK_BROWN = (104, 62, 34)
BUFF = (222, 184, 132)
LEG = (140, 92, 70)


def sd_bird_parts(x, y):
    head = sd_circle(x, y, *HEAD)
    body = sd_ellipse(x, y, *BODY)
    tail = sd_capsule(x, y, *TAIL)
    beak = sd_triangle(x, y, BEAK)
    return head, body, tail, beak


def sd_bird(x, y):
    return min(sd_bird_parts(x, y))


def sd_legs(x, y):
    return min([sd_capsule(x, y, *s, 0.75) for s in LEGS] +
               [sd_capsule(x, y, *s, 0.6) for s in FEET])


def bird_colour(x, y):
    head, body, tail, beak = sd_bird_parts(x, y)
    d = min(head, body, tail, beak)
    if d > 0:
        return None
    if d > -1.0:
        return OUTLINE
    if beak < 0 and head > -0.6:
        return mix((92, 64, 44), (150, 112, 78), clamp((42.4 - y) / 3.8))
    # light from the upper left; belly and throat are paler buff
    shade = clamp(0.55 + 0.045 * ((x - 42) * -0.6 + (y - 44) * -0.8))
    c = mix(DARK_BROWN, BROWN, shade)
    belly = smoothstep(-1.0, 4.0, (y - 45.5) * 0.9 - (x - 45.0) * 0.35)
    if tail < -0.2 and body > -0.2:                # barred tail
        t, _ = segment_param(x, y, *TAIL[:4])
        c = scale(BROWN, 0.85 + 0.2 * (1 - t))
        if math.sin(t * 26) > 0.35:
            c = scale(c, 0.68)
        return c
    wing = sd_ellipse(x, y, *WING)
    if wing < 0:                                   # barred wing, edged darker
        if wing > -0.8:
            return scale(DARK_BROWN, 0.85)
        along = (x - WING[0]) * math.cos(WING[4]) + (y - WING[1]) * math.sin(WING[4])
        c = scale(c, 0.95)
        if math.sin(along * 1.9) > 0.45:
            c = scale(c, 0.7)
        return c
    if head < 0 and body > 0:
        c = mix(c, BUFF, smoothstep(38.5, 43.5, y) * 0.8)   # pale throat
    else:
        c = mix(c, BUFF, belly)
    if sd_circle(x, y, EYE[0] - 0.4, EYE[1] - 0.5, 0.5) < 0:
        return (250, 250, 250)
    if sd_circle(x, y, *EYE) < 0:
        return (22, 14, 10)
    if sd_capsule(x, y, *BROW) < 0:                # pale eyebrow stripe
        return mix(c, (238, 218, 180), 0.85)
    return c


def app_icon(x, y):
    c = bird_colour(x, y)
    if c is not None:
        return c
    if sd_legs(x, y) < 0:
        return LEG
    c = disc_colour(x, y)
    if c is None:
        return None
    # soft shadow of the bird on the disc, cast down and to the right
    s = min(sd_bird(x - 1.4, y - 1.6), sd_legs(x - 1.0, y - 1.0))
    return scale(c, lerp(0.72, 1.0, smoothstep(-1.2, 1.2, s)))


# ---------------------------------------------------------------- the clear-text icon

def clear_icon(x, y):
    cx = cy = 8.0
    d = sd_circle(x, y, cx, cy, 7.45)
    if d > 0:
        return None
    # grey button shaded from light (top) to dark (bottom), a darker rim
    c = mix((176, 176, 182), (104, 104, 112), clamp((y - 1.0) / 14.0))
    c = mix(c, (84, 84, 92), smoothstep(-1.2, -0.1, d))
    # the white cross
    u, v = x - cx, y - cy
    arm = min(abs(u - v), abs(u + v)) / math.sqrt(2)
    if arm < 0.95 and max(abs(u), abs(v)) < 3.4:
        return (255, 255, 255)
    return c


# ---------------------------------------------------------------- the flag

def flag_rows():
    white, blue, red = (255, 255, 255), (0, 0, 255), (255, 0, 0)
    edge, corner = (0x23, 0x23, 0x23), (0x16, 0x16, 0x16)
    rows = []
    for y in range(85):
        band = white if y < 28 else blue if y < 56 else red
        row = [edge if y == 84 else band] * 127
        row.append(corner if y == 84 else edge)
        rows.append(row)
    return rows


FLAG_PALETTE = [(255, 255, 255), (0, 0, 255), (255, 0, 0), (0x23, 0x23, 0x23),
                (0x16, 0x16, 0x16), (0x17, 0x02, 0xEA), (0xEA, 0xEA, 0xFF)]


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    icon = quantize_to_range(render(64, 64, app_icon), 400, 450)
    write_xpm(os.path.join(OUT_DIR, "app_icon.xpm"), "appIconXpm", icon, 2)
    clear = quantize_to_range(render(16, 16, clear_icon, samples=6), 60, 75)
    write_xpm(os.path.join(OUT_DIR, "clear_icon.xpm"), "clearIconXpm", clear, 1)
    write_xpm(os.path.join(OUT_DIR, "flag.xpm"), "flagXpm", flag_rows(), 1, FLAG_PALETTE)


if __name__ == "__main__":
    main()
