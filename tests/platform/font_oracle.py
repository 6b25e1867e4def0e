"""Reference values for the font service tests, read with fontTools.

font_oracle.py metrics FILE SIZE...   ascent descent avg, then widths of 0-255 (cp1252)
font_oracle.py kern FILE SIZE         pairs 'first second amount' in cp1252 codes
font_oracle.py glyf FILE CHAR...      per contour: 'C' then 'x y on' lines
font_oracle.py cubic FILE CHAR N      N points on every segment, scaled to 2048 units per em
font_oracle.py area FILE CHAR         the signed area of the glyph at 2048 units per em
font_oracle.py codepage PAGE          256 lines: the code point of each byte, or -1
"""
import sys
from fontTools.ttLib import TTFont
from fontTools.pens.basePen import BasePen
from fontTools.pens.areaPen import AreaPen


def rnd(v):
    return int(v + 0.5) if v >= 0 else -int(-v + 0.5)


def scaled(units, size, upem):
    # Exact rational rounding, halves away from zero.
    p = units * size
    q = (abs(p) + upem // 2) // upem
    return q if p >= 0 else -q


def cp1252_cmap(font):
    cmap = font.getBestCmap()
    out = {}
    for b in range(256):
        try:
            u = ord(bytes([b]).decode('cp1252'))
        except UnicodeDecodeError:
            u = b if b < 0x80 or 0xA0 <= b else None
        if u is not None and u in cmap:
            out[b] = cmap[u]
        else:
            out[b] = '.notdef' if '.notdef' in font.getGlyphOrder() else font.getGlyphOrder()[0]
    return out


def main():
    cmd = sys.argv[1]
    if cmd == 'codepage':
        page = 'cp' + sys.argv[2]
        for b in range(256):
            try:
                print(ord(bytes([b]).decode(page)))
            except UnicodeDecodeError:
                print(-1)
        return
    font = TTFont(sys.argv[2])
    upem = font['head'].unitsPerEm
    if cmd == 'metrics':
        os2 = font['OS/2']
        m = cp1252_cmap(font)
        hmtx = font['hmtx']
        for s in sys.argv[3:]:
            size = int(s)
            print(scaled(os2.usWinAscent, size, upem), scaled(os2.usWinDescent, size, upem),
                  scaled(os2.xAvgCharWidth, size, upem))
            print(' '.join(str(scaled(hmtx[m[b]][0], size, upem)) for b in range(256)))
    elif cmd == 'kern':
        size = int(sys.argv[3])
        m = cp1252_cmap(font)
        codes = {}
        for b, g in m.items():
            codes.setdefault(g, []).append(b)
        pairs = {}
        for t in font['kern'].kernTables:
            if getattr(t, 'format', 0) != 0:
                continue
            for (a, b), v in t.kernTable.items():
                pairs[(a, b)] = pairs.get((a, b), 0) + v
        out = []
        for (a, b), v in pairs.items():
            amount = scaled(v, size, upem)
            if amount == 0:
                continue
            for x in codes.get(a, []):
                for y in codes.get(b, []):
                    if a == '.notdef' or b == '.notdef':
                        continue
                    out.append((x, y, amount))
        for x, y, v in sorted(out):
            print(x, y, v)
    elif cmd == 'glyf':
        cmap = font.getBestCmap()
        glyf = font['glyf']
        for ch in sys.argv[3:]:
            g = glyf[cmap[ord(ch)]]
            coords, ends, flags = g.getCoordinates(glyf)
            start = 0
            for e in ends:
                print('C')
                for i in range(start, e + 1):
                    print(coords[i][0], coords[i][1], flags[i] & 1)
                start = e + 1
    elif cmd == 'cubic' or cmd == 'area':
        gs = font.getGlyphSet()
        name = font.getBestCmap()[ord(sys.argv[3])]
        scale = 2048.0 / upem
        if cmd == 'area':
            pen = AreaPen(gs)
            gs[name].draw(pen)
            print(repr(pen.value * scale * scale))
            return
        n = int(sys.argv[4])

        class Sampler(BasePen):
            def __init__(self):
                super().__init__(gs)
                self.cur = None

            def _moveTo(self, p):
                self.cur = p

            def _lineTo(self, p):
                for i in range(n + 1):
                    t = i / n
                    self.out(self.cur[0] + (p[0] - self.cur[0]) * t, self.cur[1] + (p[1] - self.cur[1]) * t)
                self.cur = p

            def _curveToOne(self, a, b, c):
                p0 = self.cur
                for i in range(n + 1):
                    t = i / n
                    u = 1 - t
                    x = u**3 * p0[0] + 3 * u * u * t * a[0] + 3 * u * t * t * b[0] + t**3 * c[0]
                    y = u**3 * p0[1] + 3 * u * u * t * a[1] + 3 * u * t * t * b[1] + t**3 * c[1]
                    self.out(x, y)
                self.cur = c

            def _qCurveToOne(self, a, b):
                p0 = self.cur
                for i in range(n + 1):
                    t = i / n
                    u = 1 - t
                    self.out(u * u * p0[0] + 2 * u * t * a[0] + t * t * b[0],
                             u * u * p0[1] + 2 * u * t * a[1] + t * t * b[1])
                self.cur = b

            def _closePath(self):
                pass

            def out(self, x, y):
                print(repr(x * scale), repr(y * scale))

        gs[name].draw(Sampler())


main()
