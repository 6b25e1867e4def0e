#!/usr/bin/env python3
"""Writes native documents of several record versions, field by field, for
the reader's tests: every stream is built here from the format's tables and
the streams are packed into compound files by an outside writer
(`gsf createole`).

Usage: make_documents.py OUTDIR            writes OUTDIR/v<N>.vmd
       make_documents.py --seeds CORPUSDIR  writes the raw streams as fuzz
                                            seeds (first byte: the stream kind)
"""
import os
import struct
import subprocess
import sys
import tempfile


class Writer:
    """One archive: primitives and the object framing with its indices."""

    def __init__(self):
        self.b = bytearray()
        self.next_index = 1
        self.classes = {}

    def u8(self, v): self.b += struct.pack('<B', v); return self
    def u16(self, v): self.b += struct.pack('<H', v); return self
    def i16(self, v): self.b += struct.pack('<h', v); return self
    def u32(self, v): self.b += struct.pack('<I', v); return self
    def i32(self, v): self.b += struct.pack('<i', v); return self

    def string(self, s):
        data = s.encode('latin-1')
        if len(data) < 255:
            self.u8(len(data))
        elif len(data) < 65534:
            self.u8(0xFF).u16(len(data))
        else:
            self.u8(0xFF).u16(0xFFFF).u32(len(data))
        self.b += data
        return self

    def short_string(self, s):
        data = s.encode('latin-1')
        self.u8(len(data))
        self.b += data
        return self

    def blob(self, data):
        self.u16(len(data))
        self.b += data
        return self

    def rect(self, xmin, xmax, ymin, ymax):
        return self.i32(xmin).i32(xmax).i32(ymin).i32(ymax)

    def matrix(self, a=0x10000, b=0, c=0, d=0x10000, tx=0, ty=0):
        for v in (a, b, c, d, tx, ty):
            self.i32(v)
        return self

    def null(self): return self.u16(0)

    def back_reference(self, index): return self.u16(index)

    def new_object(self, name, schema=1):
        """The framing of a new object of class name; returns its index."""
        if name in self.classes:
            self.u16(0x8000 | self.classes[name])
        else:
            self.u16(0xFFFF).u16(schema).u16(len(name))
            self.b += name.encode('ascii')
            self.classes[name] = self.next_index
            self.next_index += 1
        index = self.next_index
        self.next_index += 1
        return index


# ---- drawing objects -------------------------------------------------------------

def base(w, flags=0, children=(), centre=(0x80000000 - 2**32, 0x80000000 - 2**32)):
    w.u8(1).u8(flags)
    for child in children:
        child(w)
    w.null()
    w.i32(centre[0]).i32(centre[1])


def geometry_square(w, x, y, size, colour):
    """A filled square with a line, in graph units (twips * 256)."""
    w.u8(3).u32(4)
    w.u16(1).u32(colour).u8(0).u8(0)                       # one solid fill
    w.u16(1).u32(0xFF000000).i16(20).u16(0).u16(0)         # one line
    s = size * 256
    # start at (x, y): a triple (line 1, fill A 1, fill B 0) in bytes, deltas i32
    w.u8(0xC0 | 2 | 2 << 4).u8(1).u8(1).u8(0).i32(x * 256).i32(y * 256).i32(s).i32(0)
    w.u8(2 << 4).i32(0).i32(s)
    w.u8(2 << 4).i32(-s).i32(0)
    w.u8(2 << 4).i32(0).i32(-s)
    w.u8(0)


def shape(x, y, size, colour, flags=0, children=()):
    def write(w):
        w.new_object('CPicShape')
        base(w, flags, children)
        w.u8(1).matrix()
        geometry_square(w, x, y, size, colour)
    return write


def frame(length, children=(), tween=0, easing=0, action=None):
    def write(w):
        w.new_object('CPicFrame')
        base(w, 0, children)
        w.u8(1).matrix()
        w.u8(3).u32(0).u16(0).u16(0).u8(0)                # empty geometry
        w.u8(4).u16(length).u16(tween).i16(easing)
        kind, url, target, page, number = action or (0, '', '', '', 1)
        w.u8(0).u8(kind).string(url).string(target).string(page).u16(number)
    return write


def instance(symbol_id, first=0, mode=0, tx=0, ty=0):
    """A symbol instance (record version 2) that names its symbol by id."""
    def write(w):
        w.new_object('CPicSymbol')
        base(w)
        w.u8(2).matrix(tx=tx, ty=ty).u16(first).u16(mode).u32(symbol_id)
    return write


def button(symbol_id, action, version=2):
    """A button of record version 2 (the action record) or 0 and 1."""
    def write(w):
        w.new_object('CPicButton')
        base(w)
        w.u8(2).matrix().u16(0).u16(0).u32(symbol_id)
        kind, url, target, page, number = action
        if version == 2:
            w.u8(2).u8(0).u8(kind).string(url).string(target).string(page).u16(number)
        else:
            w.u8(version).u8(kind).string(url)
            if version == 1:
                w.string(target).string(page)
            w.u16(number).u16(0xEEEE)
    return write


def bitmap():
    """A 3 x 2 image of 8 bits with two colours, placed at (500, 600)."""
    def write(w):
        w.new_object('CPicBitmap')
        base(w)
        w.u8(0).matrix(tx=500, ty=600)
        w.u8(0).u8(3).u16(4).u16(3).u16(2).rect(0, 45, 0, 30)
        w.u16(2)
        w.u16(0xFFFF).u16(0).u16(0)                         # red
        w.u16(0).u16(0x80FF).u16(0xFFFF)                    # 0x80 green, blue
        w.b += bytes([0, 1, 0, 0, 1, 1, 0, 0])
    return write


def layer(name, kind, frames, colour=0):
    def write(w):
        w.new_object('CPicLayer')
        base(w, 0, frames)
        w.u8(2).string(name).u8(kind).u8(0).null().u8(colour)
    return write


def page_root(layers, next_layer):
    def write(w):
        w.new_object('CPicPage')
        base(w, 0, layers)
        w.u8(1).u16(next_layer)
    return write


def page_contents(layers, next_layer):
    w = Writer()
    w.u8(1)
    page_root(layers, next_layer)(w)
    return bytes(w.b)


def page_contents_form0():
    """An old single-frame page: one shape, one background child."""
    w = Writer()
    w.u8(0)
    shape(0, 0, 400, 0xFF0000FF,
          children=[shape(1000, 1000, 100, 0xFF00FF00, flags=0x0D),
                    shape(2000, 0, 100, 0xFFFF0000)])(w)
    return bytes(w.b)


# ---- the document record ---------------------------------------------------------

def page_record(w, version, stream, name, symbol_id=0, attribute=0):
    index = w.new_object('CDocumentPage')
    w.u8(version).short_string(stream).string(name)
    if version >= 2:
        w.u32(symbol_id)
    if version >= 3:
        w.u8(attribute)
    return index


def contents(version):
    """The document record of a version; returns (bytes, page streams)."""
    w = Writer()
    streams = {}
    w.u8(version)
    w.u16(0)                                            # no embedded items
    page_version = 3 if version >= 14 else 2
    first = page_record(w, page_version, 'Page 1', 'Intro', 0, 5)
    objects = [shape(100, 100, 500, 0xFF0000FF)]
    if version >= 14:
        # An instance and a button of "Star", an older button, a bitmap.
        objects += [instance(2, first=1, mode=1, tx=700, ty=800),
                    button(2, (9, 'http://x/', '_blank', '', 1)),
                    button(2, (8, 'old', 'win', 'Intro', 4), version=1),
                    bitmap()]
    streams['Page 1'] = page_contents(
        [layer('Top', 3, [frame(3, objects, tween=0x601, easing=-40,
                                action=(8, 'url', 'win', 'Intro', 2)), frame(2)], colour=4),
         layer('Bottom', 2, [frame(5)])], 3)
    page_record(w, page_version, 'Page 7', 'Old page')
    streams['Page 7'] = page_contents_form0()
    w.null()
    w.i16(9).i16(4)                                     # nextPageNumber, reservedCounter
    w.back_reference(first)                             # currentPage
    if version >= 14:
        page_record(w, 3, 'Symbol 2', 'Star', 2, 1)
        streams['Symbol 2'] = page_contents([layer('Layer 1', 3, [frame(1)])], 2)
        # A damaged symbol that contains an instance of itself.
        page_record(w, 3, 'Symbol 3', 'Twin', 3, 0)
        streams['Symbol 3'] = page_contents(
            [layer('Layer 1', 3, [frame(2, [instance(3), instance(2, tx=5)])])], 2)
        w.null()
        w.i16(4)                                        # nextSymbolId
    w.u8(3)                                             # gridFlags
    w.rect(-100, 5000, -200, 4000)                      # movieRect
    w.i32(0x2D0000)                                     # gridSpacing 720.0
    w.u8(2).u8(1).u8(1)                                 # viewQuality, rulers, page tabs
    if version >= 15:
        w.u8(0x35).u8(0)                                # viewOptionBits, discardPrinter
    for m in (100, 200, 300, 400):
        w.i32(m)
    w.u8(0).u8(1).u8(2).u8(1)                           # centre h/v, layout, no PostScript
    w.i32(0x8000)                                       # printScale 0.5
    w.blob(bytes(range(40))).blob(b'names\0')           # printer blocks
    if version >= 11:
        w.u32(0xFF102030).u32(0xFF405060)
    if version >= 13:
        w.i32(0x180000)                                 # 24 frames per second
    if version >= 16:
        w.u8(1).u8(1).u8(4).i32(240)
    return bytes(w.b), streams


def contents_v1():
    """Version 1: drawing objects straight after the version byte."""
    w = Writer()
    w.u8(1)
    shape(1000, 2000, 300, 0xFF0000FF)(w)
    shape(1500, 2500, 100, 0xFF00FF00)(w)
    w.null()
    return bytes(w.b), {}


def documents():
    docs = {1: contents_v1()}
    for version in (10, 11, 13, 14, 15, 16):
        docs[version] = contents(version)
    return docs


def pack(path, streams):
    with tempfile.TemporaryDirectory() as tmp:
        names = []
        for name, data in streams.items():
            with open(os.path.join(tmp, name), 'wb') as f:
                f.write(data)
            names.append(name)
        subprocess.run(['gsf', 'createole', os.path.abspath(path)] + names, cwd=tmp, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def carried_symbol():
    """A symbol as a copy carries it: name, length, attribute and root."""
    inner = Writer()
    inner.u8(2)
    page_root([layer('Layer 1', 3, [frame(2, [shape(0, 0, 200, 0xFF00FFFF)])])], 2)(inner)
    w = Writer()
    w.string('Star').u32(len(inner.b))
    w.b += inner.b
    w.string('Star').u32(0)
    return bytes(w.b)


def colour_lists():
    """The colour-list file: a solid list and a gradient list."""
    w = Writer()
    w.new_object('CColorList', 0)
    w.u16(2)
    for colour in (0xFF0000FF, 0xFF00FF00):
        w.new_object('CColorDef', 0)
        w.u8(3).u32(colour).u8(0).u8(0).i16(0).i16(239).i16(120)
    w.u8(0)
    w.new_object('CColorList', 0)
    w.u16(1)
    w.new_object('CColorDef', 0)
    w.u8(3).u32(0xFF000000).u8(0x12).u8(0).matrix().u8(2)
    w.u8(0).u32(0xFFFFFFFF).u8(255).u32(0xFF000000)
    w.i16(0).i16(0).i16(239)
    w.u8(0)
    return bytes(w.b)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == '--seeds':
        out = sys.argv[2]
        os.makedirs(out, exist_ok=True)
        with open(os.path.join(out, 'carried_symbol'), 'wb') as f:
            f.write(b'\2' + carried_symbol())
        with open(os.path.join(out, 'colour_lists'), 'wb') as f:
            f.write(b'\3' + colour_lists())
        for version, (record, streams) in documents().items():
            with open(os.path.join(out, 'contents_v%d' % version), 'wb') as f:
                f.write(b'\0' + record)
            for name, data in streams.items():
                seed = 'page_%s' % name.replace(' ', '_').lower()
                with open(os.path.join(out, seed), 'wb') as f:
                    f.write(b'\1' + data)
        return
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for version, (record, streams) in documents().items():
        pack(os.path.join(out, 'v%d.vmd' % version), dict(streams, Contents=record))


if __name__ == '__main__':
    main()
