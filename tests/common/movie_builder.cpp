#include "tests/common/movie_builder.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace moviebuild {

namespace {

void Signed(CMovieWriter& w, int32_t v, int n) {
  if (n > 0) w.WriteBits(static_cast<uint32_t>(v) & (n == 32 ? ~0u : (1u << n) - 1), n);
}

int DeltaWidth(std::initializer_list<int32_t> values) {
  uint32_t largest = 0;
  for (int32_t v : values) largest = std::max(largest, Magnitude(v));
  return std::max(SignedFieldWidth(largest), 2);
}

}  // namespace

void WriteSteps(CMovieWriter& w, const std::vector<Step>& steps, int fillCount, int lineCount) {
  const int fillBits = NumBits(static_cast<uint32_t>(fillCount));
  const int lineBits = NumBits(static_cast<uint32_t>(lineCount));
  w.AlignBits();
  w.WriteBits(static_cast<uint32_t>(fillBits), kStepIndexWidthBits);
  w.WriteBits(static_cast<uint32_t>(lineBits), kStepIndexWidthBits);
  Point32 pen{0, 0};
  for (const Step& s : steps) {
    if (s.kind == Step::kSetup) {
      const uint32_t flags = (s.move_to ? kStepMoveTo : 0) | (s.set_fill0 ? kStepFill0 : 0) |
                             (s.set_fill1 ? kStepFill1 : 0) | (s.set_line ? kStepLine : 0);
      w.WriteBits(0, 1);
      w.WriteBits(flags, kStepFlagBits);
      if (s.move_to) {
        const int n = SignedFieldWidth(std::max(Magnitude(s.to.x), Magnitude(s.to.y)));
        w.WriteBits(static_cast<uint32_t>(n), kStepCoordWidthBits);
        Signed(w, s.to.x, n);
        Signed(w, s.to.y, n);
        pen = s.to;
      }
      if (s.set_fill0) w.WriteBits(s.fill0, fillBits);
      if (s.set_fill1) w.WriteBits(s.fill1, fillBits);
      if (s.set_line) w.WriteBits(s.line, lineBits);
    } else if (s.kind == Step::kLine) {
      const int32_t dx = s.to.x - pen.x, dy = s.to.y - pen.y;
      const int n = DeltaWidth({dx, dy});
      w.WriteBits(1, 1);
      w.WriteBits(1, 1);
      w.WriteBits(static_cast<uint32_t>(n - 2), kStepDeltaWidthBits);
      if (dx != 0 && dy != 0) {
        w.WriteBits(1, 1);
        Signed(w, dx, n);
        Signed(w, dy, n);
      } else {
        w.WriteBits(0, 1);
        w.WriteBits(dx == 0 ? 1 : 0, 1);
        Signed(w, dx == 0 ? dy : dx, n);
      }
      pen = s.to;
    } else {
      const int32_t cx = s.control.x - pen.x, cy = s.control.y - pen.y;
      const int32_t ax = s.to.x - s.control.x, ay = s.to.y - s.control.y;
      const int n = DeltaWidth({cx, cy, ax, ay});
      w.WriteBits(1, 1);
      w.WriteBits(0, 1);
      w.WriteBits(static_cast<uint32_t>(n - 2), kStepDeltaWidthBits);
      Signed(w, cx, n);
      Signed(w, cy, n);
      Signed(w, ax, n);
      Signed(w, ay, n);
      pen = s.to;
    }
  }
  w.WriteBits(0, 1);
  w.WriteBits(0, kStepFlagBits);
  w.FlushBits();
}

MovieBuilder::MovieBuilder(Rect32 stage, Fixed rate) : writer_(&file_) {
  writer_.WriteHeader(stage, rate);
}

MovieBuilder& MovieBuilder::StageColor(uint32_t colour) {
  writer_.WriteStageColor(colour);
  return *this;
}

MovieBuilder& MovieBuilder::Shape(uint16_t id, const Rect32& bounds, const ShapeDef& shape,
                                  bool longForm) {
  CMovieWriter& w = writer_;
  w.OpenTag(MT_SHAPE_CHARACTER, longForm);
  w.PutWord(id);
  w.WritePackedRect(bounds);
  w.PutByte(static_cast<uint8_t>(shape.fills.size()));
  for (const FillDef& f : shape.fills) {
    w.PutByte(f.kind);
    if (f.kind & kFillHasGradient) {
      w.WritePackedMatrix(&f.matrix);
      w.PutByte(static_cast<uint8_t>(f.ramp.size()));
      for (auto [ratio, colour] : f.ramp) {
        w.PutByte(ratio);
        w.WriteColorRGB(colour);
      }
    } else if (f.kind & kMovieFillBitmapBit) {
      w.PutWord(f.bitmap_id);
      w.WritePackedMatrix(&f.matrix);
    } else {
      w.WriteColorRGB(f.colour);
    }
  }
  w.PutByte(static_cast<uint8_t>(shape.lines.size()));
  for (const LineDef& l : shape.lines) {
    w.PutWord(l.width);
    w.WriteColorRGB(l.colour);
  }
  WriteSteps(w, shape.steps, static_cast<int>(shape.fills.size()),
             static_cast<int>(shape.lines.size()));
  w.CloseTag();
  return *this;
}

MovieBuilder& MovieBuilder::BitmapShape(uint16_t id, uint16_t bitmapId, Fixed scale, int32_t width,
                                        int32_t height) {
  ShapeDef s;
  FillDef f;
  f.kind = kMovieFillBitmap;
  f.bitmap_id = bitmapId;
  f.matrix.a = f.matrix.d = scale;
  s.fills.push_back(f);
  s.Rect(0, 0, width, height, 1);
  return Shape(id, {0, width, 0, height}, s);
}

MovieBuilder& MovieBuilder::Place(uint16_t id, uint16_t depth, const Matrix2x3* m) {
  writer_.PlaceCharacter(id, depth, m);
  return *this;
}

MovieBuilder& MovieBuilder::Remove(uint16_t id, uint16_t depth) {
  writer_.RemoveCharacter(id, depth);
  return *this;
}

MovieBuilder& MovieBuilder::Frame() {
  writer_.ShowFrame();
  return *this;
}

MovieBuilder& MovieBuilder::Drop(uint16_t id) {
  writer_.OpenTag(MT_DROP_CHARACTER, false);
  writer_.PutWord(id);
  writer_.CloseTag();
  return *this;
}

MovieBuilder& MovieBuilder::Script(const Bytes& actions) {
  return Raw(MT_FRAME_SCRIPT, actions, true);
}

MovieBuilder& MovieBuilder::Button(uint16_t id, const std::vector<ButtonPart>& parts,
                                   const Bytes& actions) {
  CMovieWriter& w = writer_;
  w.OpenTag(MT_BUTTON_CHARACTER, true);
  w.PutWord(id);
  for (const ButtonPart& p : parts) {
    w.PutByte(p.states);
    w.PutWord(p.id);
    w.PutWord(p.depth);
    w.WritePackedMatrix(&p.matrix);
  }
  w.PutByte(0);
  w.PutBlock(actions.data(), actions.size());
  w.CloseTag();
  return *this;
}

MovieBuilder& MovieBuilder::GlyphSet(uint16_t id, const std::vector<ShapeDef>& glyphs) {
  // Each glyph's steps are written to a scratch file first to learn the offsets.
  std::vector<Bytes> bodies;
  for (const ShapeDef& g : glyphs) {
    CMemFile scratch;
    CMovieWriter sw(&scratch);
    WriteSteps(sw, g.steps, 1, 0);
    sw.Flush();
    auto d = scratch.GetData();
    bodies.emplace_back(d.begin(), d.end());
  }
  CMovieWriter& w = writer_;
  w.OpenTag(MT_GLYPH_SET_CHARACTER, true);
  w.PutWord(id);
  uint32_t offset = static_cast<uint32_t>(2 * glyphs.size());
  for (const Bytes& b : bodies) {
    w.PutWord(static_cast<uint16_t>(offset));
    offset += static_cast<uint32_t>(b.size());
  }
  for (const Bytes& b : bodies) w.PutBlock(b.data(), b.size());
  w.CloseTag();
  return *this;
}

MovieBuilder& MovieBuilder::Face(uint16_t fontId, const std::string& name,
                                 const std::vector<uint8_t>& codes) {
  CMovieWriter& w = writer_;
  w.OpenTag(MT_GLYPH_SET_FACE, true);
  w.PutWord(fontId);
  w.PutByte(static_cast<uint8_t>(name.size()));
  w.PutBlock(name.data(), name.size());
  w.PutByte(kFaceAnsi);
  w.PutBlock(codes.data(), codes.size());
  w.CloseTag();
  return *this;
}

MovieBuilder& MovieBuilder::Text(uint16_t id, const Rect32& bounds, const Matrix2x3& m,
                                 const std::vector<Run>& runs) {
  std::vector<uint16_t> indices;
  std::vector<int32_t> advances;
  for (const Run& r : runs)
    for (auto [g, a] : r.glyphs) {
      indices.push_back(static_cast<uint16_t>(g));
      advances.push_back(a);
    }
  const int glyphBits = TextGlyphBits(indices);
  const int advanceBits = TextAdvanceBits(advances);
  CMovieWriter& w = writer_;
  w.OpenTag(MT_TEXT_CHARACTER, true);
  w.PutWord(id);
  w.WritePackedRect(bounds);
  w.WritePackedMatrix(&m);
  w.PutByte(static_cast<uint8_t>(glyphBits));
  w.PutByte(static_cast<uint8_t>(advanceBits));
  for (const Run& r : runs) {
    w.PutByte(r.flags);
    if (r.flags & kRunHasFont) w.PutWord(r.font);
    if (r.flags & kRunHasColor) w.WriteColorRGB(r.colour);
    if (r.flags & kRunHasX) w.PutWord(static_cast<uint16_t>(r.x));
    if (r.flags & kRunHasY) w.PutWord(static_cast<uint16_t>(r.y));
    if (r.flags & kRunHasFont) w.PutWord(r.height);
    w.PutByte(static_cast<uint8_t>(r.glyphs.size()));
    w.AlignBits();
    for (auto [g, a] : r.glyphs) {
      if (glyphBits) w.WriteBits(g, glyphBits);
      Signed(w, a, advanceBits);
    }
    w.FlushBits();
  }
  w.PutByte(0);
  w.CloseTag();
  return *this;
}

MovieBuilder& MovieBuilder::Raw(uint16_t code, const Bytes& body, bool longForm) {
  writer_.OpenTag(code, longForm);
  writer_.PutBlock(body.data(), body.size());
  writer_.CloseTag();
  return *this;
}

Bytes MovieBuilder::Finish() {
  writer_.Finish();
  auto d = file_.GetData();
  return Bytes(d.begin(), d.end());
}

Bytes Actions(std::initializer_list<uint8_t> simple) {
  Bytes out(simple);
  out.push_back(ACT_END);
  return out;
}

Bytes OpenUrlAction(const std::string& url, const std::string& target) {
  Bytes out{ACT_OPEN_URL};
  const size_t length = url.size() + target.size() + 2;
  out.push_back(static_cast<uint8_t>(length));
  out.push_back(static_cast<uint8_t>(length >> 8));
  for (char c : url) out.push_back(static_cast<uint8_t>(c));
  out.push_back(0);
  for (char c : target) out.push_back(static_cast<uint8_t>(c));
  out.push_back(0);
  out.push_back(ACT_END);
  return out;
}

Bytes MovingShapesMovie(int frames, int shapes, int32_t minSide, int32_t sideRange) {
  MovieBuilder b({0, 11000, 0, 8000}, 24 << 16);
  b.StageColor(Colour(240, 240, 230));
  uint32_t seed = 12345;
  auto rnd = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(n));
  };
  for (int i = 0; i < shapes; ++i) {
    ShapeDef s;
    s.Fill(Colour(rnd(256), rnd(256), rnd(256))).Line(20 + rnd(60), Colour(rnd(128), 0, 0));
    const int32_t w = minSide + rnd(sideRange), h = minSide + rnd(sideRange);
    s.Start({0, 0}, 1, 0, 1).LineTo({w, 0}).CurveTo({w + w / 3, h / 2}, {w, h});
    s.CurveTo({w / 2, h + h / 3}, {0, h}).LineTo({0, 0});
    b.Shape(static_cast<uint16_t>(i + 1), {-60, w + w / 3 + 60, -60, h + h / 3 + 60}, s);
  }
  for (int f = 0; f < frames; ++f) {
    for (int i = 0; i < shapes; ++i) {
      const uint16_t id = static_cast<uint16_t>(i + 1);
      Matrix2x3 m;
      m.tx = (i * 1931 + f * (40 + i % 7 * 10)) % 10000;
      m.ty = (i * 977 + f * (25 + i % 5 * 8)) % 7000;
      if (f) b.Remove(id, id);
      b.Place(id, id, &m);
    }
    b.Frame();
  }
  return b.Finish();
}

void AddStateButton(MovieBuilder& b, const Rect32& box, uint16_t downDepth, const Bytes& actions) {
  ShapeDef up, over, down, hit;
  up.Fill(Colour(0, 200, 0)).Rect(box.xmin, box.ymin, box.xmax, box.ymax, 1);
  over.Fill(Colour(200, 200, 0)).Rect(box.xmin, box.ymin, box.xmax, box.ymax, 1);
  down.Fill(Colour(200, 0, 0)).Rect(box.xmin, box.ymin, box.xmax, box.ymax, 1);
  hit.Fill(Colour(0, 0, 0)).Rect(box.xmin, box.ymin, box.xmax, box.ymax, 1);
  b.Shape(10, box, up).Shape(11, box, over).Shape(12, box, down).Shape(13, box, hit);
  b.Button(20,
           {{kButtonUp, 10, 1, {}},
            {kButtonOver, 11, 1, {}},
            {kButtonDown, 12, downDepth, {}},
            {kButtonHitArea, 13, 1, {}}},
           actions);
}

Bytes KeptMovie(const std::string& path, const char* rewriteVariable, const Bytes& made) {
  if (std::getenv(rewriteVariable)) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(made.data()),
               static_cast<std::streamsize>(made.size()));
  }
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace moviebuild
