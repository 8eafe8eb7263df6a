#!/usr/bin/env python3
"""Draws the program's own pictures and writes them without any imaging library:
kwnlogo.bmp (About page, 400x300), kwnico.ico (application icon, 32x32) and
help/steps.jpg (the picture on the help start page, baseline JPEG), and the
desktop icon in every theme size under dist/icons/ (PNG).

Run from anywhere: python3 programfolder/tools/make_images.py
The outputs are committed; the build only copies them."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
DIST = os.path.join(os.path.dirname(ROOT), "dist")
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)

# 5x7 capitals, digits and a few signs; each row is 5 bits, leftmost = 0x10.
FONT = {
    'A': [0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11], 'B': [0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E],
    'C': [0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E], 'D': [0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E],
    'E': [0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F], 'F': [0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10],
    'G': [0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F], 'H': [0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11],
    'I': [0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E], 'J': [0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C],
    'K': [0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11], 'L': [0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F],
    'M': [0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11], 'N': [0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11],
    'O': [0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E], 'P': [0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10],
    'Q': [0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D], 'R': [0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11],
    'S': [0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E], 'T': [0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04],
    'U': [0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E], 'V': [0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04],
    'W': [0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A], 'X': [0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11],
    'Y': [0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04], 'Z': [0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F],
    '0': [0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E], '1': [0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E],
    '2': [0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F], '3': [0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E],
    '4': [0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02], '5': [0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E],
    ' ': [0, 0, 0, 0, 0, 0, 0], '.': [0, 0, 0, 0, 0, 0x0C, 0x0C], '-': [0, 0, 0, 0x1F, 0, 0, 0],
    '/': [0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10], '>': [0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08],
}


class Canvas:
    def __init__(self, w, h, colour=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[colour] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def blend(self, x, y, c, a):
        if 0 <= x < self.w and 0 <= y < self.h:
            o = self.px[y][x]
            self.px[y][x] = tuple(int(o[i] + (c[i] - o[i]) * a) for i in range(3))

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1)):
            row = self.px[y]
            for x in range(max(0, x0), min(self.w, x1)):
                row[x] = c

    def vgradient(self, top, bottom):
        for y in range(self.h):
            t = y / max(1, self.h - 1)
            c = tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
            self.px[y] = [c] * self.w

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r - 1), int(cy + r + 2)):
            for x in range(int(cx - r - 1), int(cx + r + 2)):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if d <= r - 0.5:
                    self.put(x, y, c)
                elif d < r + 0.5:
                    self.blend(x, y, c, r + 0.5 - d)

    def glow(self, cx, cy, r, c, strength=0.8):
        for y in range(int(cy - r), int(cy + r + 1)):
            for x in range(int(cx - r), int(cx + r + 1)):
                d = math.hypot(x - cx, y - cy)
                if d < r:
                    self.blend(x, y, c, strength * (1 - d / r) ** 2)

    def ray(self, cx, cy, angle, spread, length, c, strength=0.35):
        # a soft wedge of light from (cx, cy)
        for y in range(max(0, int(cy - length)), min(self.h, int(cy + length))):
            for x in range(max(0, int(cx - length)), min(self.w, int(cx + length))):
                dx, dy = x - cx, y - cy
                d = math.hypot(dx, dy)
                if d < 2 or d > length:
                    continue
                off = abs((math.atan2(dy, dx) - angle + math.pi) % (2 * math.pi) - math.pi)
                if off < spread:
                    self.blend(x, y, c, strength * (1 - off / spread) * (1 - d / length))

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(max(0, int(min(ys))), min(self.h, int(max(ys)) + 1)):
            yc = y + 0.5
            xs = []
            for i in range(len(pts)):
                (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % len(pts)]
                if (y0 <= yc < y1) or (y1 <= yc < y0):
                    xs.append(x0 + (yc - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(int(round(a)), int(round(b))):
                    self.put(x, y, c)

    def text(self, x, y, s, scale, c, shadow=None):
        if shadow:
            self.text(x + max(1, scale // 2), y + max(1, scale // 2), s, scale, shadow)
        for ch in s:
            rows = FONT[ch.upper()]
            for ry, bits in enumerate(rows):
                for rx in range(5):
                    if bits & (0x10 >> rx):
                        self.rect(x + rx * scale, y + ry * scale, x + (rx + 1) * scale,
                                  y + (ry + 1) * scale, c)
            x += 6 * scale

    @staticmethod
    def text_width(s, scale):
        return len(s) * 6 * scale - scale


def beacon(cv, cx, base, height, scale=1.0):
    """A small lighthouse: striped tower, lamp room and light."""
    s = scale
    top = base - height
    half_b, half_t = 14 * s, 8 * s
    bands = 5
    for i in range(bands):
        y0 = base - (i + 1) * height * 0.8 / bands
        y1 = base - i * height * 0.8 / bands
        t0 = (base - y0) / height
        t1 = (base - y1) / height
        w0 = half_b + (half_t - half_b) * t0
        w1 = half_b + (half_t - half_b) * t1
        col = (214, 40, 40) if i % 2 == 0 else (245, 245, 240)
        cv.polygon([(cx - w1, y1), (cx + w1, y1), (cx + w0, y0), (cx - w0, y0)], col)
    lamp_y = base - height * 0.8
    cv.rect(int(cx - 11 * s), int(lamp_y - 3 * s), int(cx + 11 * s), int(lamp_y), (40, 40, 50))
    cv.rect(int(cx - 7 * s), int(lamp_y - 15 * s), int(cx + 7 * s), int(lamp_y - 3 * s), (255, 236, 140))
    cv.polygon([(cx - 10 * s, lamp_y - 15 * s), (cx + 10 * s, lamp_y - 15 * s), (cx, top)], (40, 40, 50))
    return cx, lamp_y - 9 * s


def make_logo():
    cv = Canvas(400, 300)
    cv.vgradient((8, 22, 64), (36, 92, 150))
    # stars
    seed = 12345
    for _ in range(70):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        x = seed % 400
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        y = seed % 150
        cv.blend(x, y, (255, 255, 255), 0.5 + (seed % 50) / 100)
    # sea
    for y in range(215, 300):
        t = (y - 215) / 85
        c = (int(10 + 10 * t), int(50 + 20 * t), int(90 + 20 * t))
        cv.px[y] = [c] * 400
    for y in range(220, 300, 7):
        for x in range(0, 400):
            if (x // 9 + y // 7) % 3 == 0:
                cv.blend(x, y, (120, 170, 210), 0.35)
    # rock and tower
    cv.polygon([(40, 225), (70, 200), (130, 196), (165, 225)], (58, 52, 48))
    lx, ly = beacon(cv, 102, 202, 140, 1.3)
    for ang, spread in ((-0.15, 0.10), (math.pi + 0.15, 0.10)):
        cv.ray(lx, ly, ang, spread, 300, (255, 240, 160), 0.45)
    cv.glow(lx, ly, 34, (255, 245, 190), 0.9)
    # name and tag line
    cv.text(182, 78, "LINK", 6, (255, 255, 255), shadow=(0, 0, 0))
    cv.text(182, 128, "BEACON", 6, (255, 214, 90), shadow=(0, 0, 0))
    cv.text(184, 184, "SITE SUBMISSION", 2, (220, 230, 245))
    cv.text(184, 202, "SOFTWARE", 2, (220, 230, 245))
    cv.text(12, 282, "VERSION 1.0", 1, (200, 215, 235))
    return cv


def make_icon(size=32):
    """The round beacon badge; drawn at each size rather than scaled, so small
    sizes stay crisp and large ones smooth. 32 gives kwnico.ico."""
    k = size / 32
    cv = Canvas(size, size, (0, 0, 0))
    alpha = [[0] * size for _ in range(size)]
    art = Canvas(size, size, (20, 60, 120))
    c = size / 2
    art.disc(c, c, c - 0.5, (30, 80, 150))
    art.glow(c, 11 * k, 12 * k, (255, 240, 170), 0.7)
    beacon(art, c, 29 * k, 24 * k, 0.42 * k)
    for y in range(size):
        for x in range(size):
            d = math.hypot(x + 0.5 - c, y + 0.5 - c)
            a = 1.0 if d <= c - 0.5 else max(0.0, c + 0.5 - d)
            alpha[y][x] = int(255 * min(1.0, a))
            cv.px[y][x] = art.px[y][x]
    return cv, alpha


def make_help_picture():
    cv = Canvas(528, 136)
    cv.vgradient((236, 242, 250), (200, 214, 236))
    steps = [("1", "SITE INFO"), ("2", "SESSION"), ("3", "SUBMIT"), ("4", "RESULTS")]
    x, box = 14, 112
    for i, (num, label) in enumerate(steps):
        cv.rect(x + 3, 33, x + box + 3, 103, (150, 160, 180))
        cv.rect(x, 30, x + box, 100, (24, 70, 140))
        cv.rect(x + 3, 33, x + box - 3, 97, (44, 104, 186))
        cv.text(x + box // 2 - Canvas.text_width(num, 5) // 2, 40, num, 5, (255, 214, 90))
        cv.text(x + box // 2 - Canvas.text_width(label, 2) // 2, 82, label, 2, (255, 255, 255))
        if i < 3:
            a = x + box + 2
            cv.polygon([(a, 58), (a + 8, 58), (a + 8, 52), (a + 16, 65),
                        (a + 8, 78), (a + 8, 72), (a, 72)], (214, 40, 40))
        x += box + 20
    cv.text(14, 10, "FROM SITE DESCRIPTION TO REPORT", 2, (24, 40, 80))
    cv.text(14, 114, "STEP TABS OF THE MAIN WINDOW", 2, (24, 40, 80))
    return cv


def write_bmp(path, cv):
    row_bytes = (cv.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(cv.h - 1, -1, -1):
        row = bytearray()
        for r, g, b in cv.px[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_ico(path, cv, alpha):
    xor = bytearray()
    for y in range(cv.h - 1, -1, -1):
        for x in range(cv.w):
            r, g, b = cv.px[y][x]
            xor += bytes((b, g, r, alpha[y][x]))
    mask_row = ((cv.w + 31) // 32) * 4
    andmask = bytearray()
    for y in range(cv.h - 1, -1, -1):
        row = bytearray(mask_row)
        for x in range(cv.w):
            if alpha[y][x] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        andmask += row
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    image = info + xor + andmask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", cv.w, cv.h, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


def write_png(path, cv, alpha):
    raw = bytearray()
    for y in range(cv.h):
        raw.append(0)
        for x in range(cv.w):
            r, g, b = cv.px[y][x]
            raw += bytes((r, g, b, alpha[y][x]))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    head = struct.pack(">IIBBBBB", cv.w, cv.h, 8, 6, 0, 0, 0)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
                + chunk(b"IEND", b""))


# --- baseline JPEG (JFIF, 4:4:4, standard tables) ---------------------------

ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,
          6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45,
          38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63]
LUMA_Q = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57, 69, 56, 14,
          17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92, 49,
          64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
CHROMA_Q = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99, 99, 99,
            47, 66, 99, 99, 99, 99, 99, 99] + [99] * 32
DC_LUMA_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_CHROMA_BITS = [0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0]
DC_VALUES = list(range(12))
AC_LUMA_BITS = [0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D]
AC_LUMA_VALUES = bytes.fromhex(
    "01020300041105122131410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a"
    "3435363738393a434445464748494a535455565758595a636465666768696a737475767778797a838485868788898a929394"
    "95969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8"
    "e9eaf1f2f3f4f5f6f7f8f9fa")
AC_CHROMA_BITS = [0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77]
AC_CHROMA_VALUES = bytes.fromhex(
    "000102031104052131061241510761711322328108144291a1b1c109233352f0156272d10a162434e125f11718191a262728"
    "292a35363738393a434445464748494a535455565758595a636465666768696a737475767778797a82838485868788898a92"
    "939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7"
    "e8e9eaf2f3f4f5f6f7f8f9fa")


def huffman_codes(bits, values):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[values[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


def scaled_table(table, quality):
    scale = 5000 / quality if quality < 50 else 200 - 2 * quality
    return [min(255, max(1, int((q * scale + 50) // 100))) for q in table]


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def write(self, code, length):
        self.acc = (self.acc << length) | code
        self.n += length
        while self.n >= 8:
            self.n -= 8
            byte = (self.acc >> self.n) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)
        self.acc &= (1 << self.n) - 1

    def flush(self):
        if self.n:
            self.write((1 << (8 - self.n)) - 1, 8 - self.n)


COS = [[math.cos((2 * x + 1) * u * math.pi / 16) for x in range(8)] for u in range(8)]


def fdct(block):
    tmp = [[0.0] * 8 for _ in range(8)]
    for y in range(8):
        for u in range(8):
            cu = math.sqrt(0.5) if u == 0 else 1.0
            tmp[y][u] = 0.5 * cu * sum(block[y][x] * COS[u][x] for x in range(8))
    out = [0.0] * 64
    for u in range(8):
        for v in range(8):
            cv = math.sqrt(0.5) if v == 0 else 1.0
            out[v * 8 + u] = 0.5 * cv * sum(tmp[y][u] * COS[v][y] for y in range(8))
    return out


def magnitude(v):
    n = abs(v).bit_length()
    return n, (v if v >= 0 else v + (1 << n) - 1)


def write_jpeg(path, cv, quality=90):
    qtabs = [scaled_table(LUMA_Q, quality), scaled_table(CHROMA_Q, quality)]
    dc = [huffman_codes(DC_LUMA_BITS, DC_VALUES), huffman_codes(DC_CHROMA_BITS, DC_VALUES)]
    ac = [huffman_codes(AC_LUMA_BITS, AC_LUMA_VALUES), huffman_codes(AC_CHROMA_BITS, AC_CHROMA_VALUES)]
    planes = [[[0.0] * cv.w for _ in range(cv.h)] for _ in range(3)]
    for y in range(cv.h):
        for x in range(cv.w):
            r, g, b = cv.px[y][x]
            planes[0][y][x] = 0.299 * r + 0.587 * g + 0.114 * b - 128
            planes[1][y][x] = -0.168736 * r - 0.331264 * g + 0.5 * b
            planes[2][y][x] = 0.5 * r - 0.418688 * g - 0.081312 * b
    bw = BitWriter()
    prev = [0, 0, 0]
    for by in range(0, cv.h, 8):
        for bx in range(0, cv.w, 8):
            for comp in range(3):
                t = 0 if comp == 0 else 1
                block = [[planes[comp][min(cv.h - 1, by + y)][min(cv.w - 1, bx + x)] for x in range(8)]
                         for y in range(8)]
                coef = fdct(block)
                q = [int(round(coef[ZIGZAG[i]] / qtabs[t][ZIGZAG[i]])) for i in range(64)]
                diff = q[0] - prev[comp]
                prev[comp] = q[0]
                n, bits = magnitude(diff)
                bw.write(*dc[t][n])
                if n:
                    bw.write(bits, n)
                run = 0
                for i in range(1, 64):
                    if q[i] == 0:
                        run += 1
                        continue
                    while run > 15:
                        bw.write(*ac[t][0xF0])
                        run -= 16
                    n, bits = magnitude(q[i])
                    bw.write(*ac[t][(run << 4) | n])
                    bw.write(bits, n)
                    run = 0
                if run:
                    bw.write(*ac[t][0x00])
    bw.flush()

    def segment(marker, payload):
        return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload

    out = bytearray(b"\xFF\xD8")
    out += segment(0xE0, b"JFIF\0" + struct.pack(">BBBHHBB", 1, 1, 0, 1, 1, 0, 0))
    for t in range(2):
        out += segment(0xDB, bytes([t]) + bytes(qtabs[t][ZIGZAG[i]] for i in range(64)))
    sof = struct.pack(">BHHB", 8, cv.h, cv.w, 3)
    for cid in range(3):
        sof += bytes([cid + 1, 0x11, 0 if cid == 0 else 1])
    out += segment(0xC0, sof)
    for cls, tid, bits, vals in ((0, 0, DC_LUMA_BITS, DC_VALUES), (1, 0, AC_LUMA_BITS, AC_LUMA_VALUES),
                                 (0, 1, DC_CHROMA_BITS, DC_VALUES), (1, 1, AC_CHROMA_BITS, AC_CHROMA_VALUES)):
        out += segment(0xC4, bytes([(cls << 4) | tid]) + bytes(bits) + bytes(vals))
    out += segment(0xDA, bytes([3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0]))
    out += bw.out + b"\xFF\xD9"
    with open(path, "wb") as f:
        f.write(out)


def main():
    write_bmp(os.path.join(ROOT, "kwnlogo.bmp"), make_logo())
    icon, alpha = make_icon()
    write_ico(os.path.join(ROOT, "kwnico.ico"), icon, alpha)
    write_jpeg(os.path.join(ROOT, "help", "steps.jpg"), make_help_picture())
    # The desktop icon theme sizes, from the same drawing as kwnico.ico.
    for size in ICON_SIZES:
        icon, alpha = make_icon(size)
        write_png(os.path.join(DIST, "icons", "hicolor", "%dx%d" % (size, size), "apps", "linkbeacon.png"),
                  icon, alpha)


if __name__ == "__main__":
    main()
