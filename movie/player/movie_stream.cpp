#include "movie/player/movie_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "movie/player/display_list.h"
#include "movie/player/player_render.h"
#include "render/raster/dib.h"

CTagReader MovieCharacter::Reader() const {
  return CTagReader(stream->Buffer(), body_offset, body_end);
}

CMovieStream::CMovieStream(MovieReaderMode mode) : m_mode(mode) {
  m_pool.Init(sizeof(MovieCharacter), 32, 0, 0x66666666, alignof(MovieCharacter));
  Reset();
}

CMovieStream::~CMovieStream() {
  Reset();
  m_pool.FreeAll();
}

void CMovieStream::ClearStage() {
  if (m_displayList) m_displayList->Clear();
}

void CMovieStream::Reset() {
  ClearStage();
  FreeDictionary();
  FreeJpeg();
  m_buffer.reset();
  m_reader = CTagReader();
  m_tagEnd = 0;
  m_firstRecord = 0;
  m_error = kMovieDone;
  m_buffered = 0;
  m_declared = -1;
  m_appendLimit = 0;
  m_awaited = 0;
  m_version = 0;
  m_prefixCount = 0;
  std::memset(m_prefix, 0, sizeof m_prefix);
  m_headerParsed = false;
  m_atEnd = false;
  m_frameDone = false;
  m_currentFrame = -1;
  m_scriptCount = 0;
  m_frameCount = 0;
}

// ---- Intake ------------------------------------------------------------------

void CMovieStream::PutFirstData(const void* data, size_t length) {
  if (m_error) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (m_declared < 0) {
    while (length > 0 && m_prefixCount < kMoviePrefixSize) {
      m_prefix[m_prefixCount++] = *p++;
      --length;
    }
    if (m_prefixCount < kMoviePrefixSize) return;
    if (std::memcmp(m_prefix, kMovieMagic, sizeof kMovieMagic) != 0) {
      SetError(kMovieBadMagic);
      return;
    }
    m_version = m_prefix[3];
    const uint32_t total = uint32_t{m_prefix[kMovieLengthOffset]} |
                           uint32_t{m_prefix[kMovieLengthOffset + 1]} << 8 |
                           uint32_t{m_prefix[kMovieLengthOffset + 2]} << 16 |
                           uint32_t{m_prefix[kMovieLengthOffset + 3]} << 24;
    // A length that does not even cover the prefix leaves no room for a
    // header; one past the cap is refused before allocating.
    if (total < static_cast<uint32_t>(kMoviePrefixSize)) {
      SetError(kMovieNoHeader);
      return;
    }
    if (total > kMaxMovieLength) {
      SetError(kMovieNoMemory);
      return;
    }
    const uint32_t rest = total - kMoviePrefixSize;
    // At least one byte, so that an empty movie still has a buffer.
    m_buffer.reset(new (std::nothrow) uint8_t[std::max<uint32_t>(rest, 1)]);
    if (!m_buffer) {
      SetError(kMovieNoMemory);
      return;
    }
    m_declared = rest;
    m_appendLimit = rest;
    m_buffered = 0;
  }
  Append(p, length);
}

int CMovieStream::ReadHeader() {
  if (m_error) return 0;
  if (m_headerParsed) return 1;
  if (!m_buffer) return 0;
  // A header never exceeds 21 bytes; a complete file may hold fewer.
  if (m_buffered <= static_cast<uint32_t>(kMovieHeaderBufferedAbove) && !Complete()) return 0;
  CTagReader in(m_buffer.get(), 0, m_buffered);
  Rect32 frame;
  in.GetRect(frame);
  const uint16_t rate = in.GetWord();
  const uint16_t count = in.GetWord();
  if (in.overrun) {
    // The whole file has arrived and still holds no header.
    SetError(kMovieNoHeader);
    return 0;
  }
  m_frameRect = frame;
  m_frameRate = static_cast<Fixed>(uint32_t{rate} << 8);
  // A rate of 0 would divide by zero: such a movie is shown at one frame a
  // second.
  m_framePeriod = rate ? static_cast<int32_t>(65536000u / (uint32_t{rate} << 8)) : 1000;
  m_frameCount = count;
  m_firstRecord = in.pos;
  m_reader = CTagReader(m_buffer.get(), in.pos, m_buffered);
  m_currentFrame = -1;
  m_headerParsed = true;
  return 1;
}

// ---- Records -----------------------------------------------------------------

MovieReadResult CMovieStream::ReadTag() {
  if (m_error) return m_error;
  if (!m_buffer) return kMovieNoData;
  if (!ReadHeader()) return m_error ? m_error : kMovieNeedData;
  if (m_atEnd) return kMovieEnd;

  const uint32_t start = m_reader.pos;
  const uint64_t have = m_buffered > start ? m_buffered - start : 0;
  if (have < static_cast<uint64_t>(kRecordShortHeaderSize))
    return AwaitRecord(uint64_t{start} + kRecordShortHeaderSize);
  const uint8_t* b = m_buffer.get() + start;
  const uint16_t header = static_cast<uint16_t>(b[0] | b[1] << 8);
  const uint16_t code = header >> kRecordCodeShift;
  uint64_t length = header & kRecordLengthMask;
  uint64_t headerSize = kRecordShortHeaderSize;
  if (length == kRecordLongLength) {
    if (have < static_cast<uint64_t>(kRecordLongHeaderSize))
      return AwaitRecord(uint64_t{start} + kRecordLongHeaderSize);
    length = uint64_t{b[2]} | uint64_t{b[3]} << 8 | uint64_t{b[4]} << 16 | uint64_t{b[5]} << 24;
    headerSize = kRecordLongHeaderSize;
  }
  if (have < headerSize + length) return AwaitRecord(start + headerSize + length);
  const uint32_t bodyStart = start + static_cast<uint32_t>(headerSize);
  m_tagEnd = bodyStart + static_cast<uint32_t>(length);

  if (m_frameDone) {
    // The first record after a frame break starts the next frame's scripts.
    m_scriptCount = 0;
    m_frameDone = false;
  }
  m_reader = CTagReader(m_buffer.get(), bodyStart, m_tagEnd);
  DispatchRecord(code);
  // Whatever the handler read, the next record starts after this body.
  m_reader = CTagReader(m_buffer.get(), m_tagEnd, m_buffered);
  return m_error;
}

MovieReadResult CMovieStream::AwaitRecord(uint64_t need) {
  // When the whole file is here and a record does not fit, nothing more will
  // come: the movie ends there.
  if (Complete()) {
    m_atEnd = true;
    return kMovieEnd;
  }
  m_awaited = static_cast<uint32_t>(std::min<uint64_t>(need, static_cast<uint64_t>(m_declared)));
  return kMovieNeedData;
}

void CMovieStream::DispatchRecord(uint16_t code) {
  CTagReader& in = m_reader;
  switch (code) {
    case MT_END_OF_MOVIE:
      m_atEnd = true;
      break;
    case MT_FRAME_BREAK:
      ++m_currentFrame;
      m_frameDone = true;
      break;
    case MT_SHAPE_CHARACTER:
    case MT_TEXT_CHARACTER: {
      const uint16_t id = in.GetWord();
      Rect32 bounds;
      in.GetRect(bounds);
      if (in.overrun) break;
      MovieCharacter* c =
          AddCharacter(id, code == MT_SHAPE_CHARACTER ? kCharacterShape : kCharacterText);
      if (!c) break;
      c->bounds = bounds;
      c->body_offset = in.pos;
      if (code == MT_SHAPE_CHARACTER) c->widest_line = ShapeWidestLine(c->Reader());
      break;
    }
    case MT_BUTTON_CHARACTER:
    case MT_GLYPH_SET_CHARACTER: {
      const uint16_t id = in.GetWord();
      if (in.overrun) break;
      MovieCharacter* c =
          AddCharacter(id, code == MT_BUTTON_CHARACTER ? kCharacterButton : kCharacterFont);
      if (c) c->body_offset = in.pos;
      break;
    }
    case MT_DROP_CHARACTER: {
      const uint16_t id = in.GetWord();
      if (!in.overrun) DropCharacter(id);
      break;
    }
    case MT_PUT_ON_STAGE: {
      const uint16_t id = in.GetWord();
      const uint16_t depth = in.GetWord();
      if (in.overrun) break;
      MovieCharacter* c = FindCharacter(id);
      if (!c) break;
      Matrix2x3 m;
      in.ReadMatrix(m);
      // A stage that cannot take the object would show wrong frames from
      // here on: the movie stops as out of memory.
      if (m_displayList && !m_displayList->PlaceObject(c, StageKey(id, depth), m))
        SetError(kMovieNoMemory);
      break;
    }
    case MT_TAKE_OFF_STAGE: {
      const uint16_t id = in.GetWord();
      const uint16_t depth = in.GetWord();
      if (!in.overrun && m_displayList) m_displayList->RemoveObject(StageKey(id, depth));
      break;
    }
    case MT_JPEG_IMAGE:
      if (m_jpeg) ReadJpegImage();
      break;
    case MT_JPEG_SHARED_TABLES:
      if (!m_jpeg) ReadJpegTables();
      break;
    case MT_STAGE_COLOR: {
      const uint32_t colour = in.GetPackedColor();
      if (!in.overrun && m_displayList) m_displayList->SetBackgroundColor(colour, 1);
      break;
    }
    case MT_FRAME_SCRIPT:
      if (m_scriptCount < kMaxFrameScripts) m_scripts[m_scriptCount++] = {in.pos, m_tagEnd};
      break;
    case MT_GLYPH_SET_FACE: {
      if (m_mode == MovieReaderMode::kPlugin) break;
      const uint16_t id = in.GetWord();
      if (in.overrun) break;
      MovieCharacter* c = FindCharacter(id);
      if (c && c->type == kCharacterFont) {
        c->face_offset = in.pos;
        c->face_end = m_tagEnd;
      }
      break;
    }
    default:
      break;  // unknown codes are skipped by their length
  }
}

MovieReadResult CMovieStream::ReadToFrame(int32_t frame) {
  if (m_error) return m_error;
  if (!ReadHeader()) return m_error ? m_error : kMovieNeedData;
  if (frame < m_currentFrame) {
    ClearStage();
    FreeDictionary();
    FreeJpeg();
    m_currentFrame = -1;
    m_atEnd = false;
    m_frameDone = false;
    m_scriptCount = 0;
    m_awaited = 0;
    m_reader = CTagReader(m_buffer.get(), m_firstRecord, m_buffered);
  }
  MovieReadResult result = kMovieDone;
  while (m_currentFrame < frame) {
    result = ReadTag();
    if (result != kMovieDone) break;
  }
  return result;
}

// ---- Dictionary ----------------------------------------------------------------

MovieCharacter* CMovieStream::FindCharacter(uint16_t id) const {
  for (MovieCharacter* c = m_buckets[id & (kBucketCount - 1)]; c; c = c->next)
    if (c->id == id) return c;
  return nullptr;
}

MovieCharacter* CMovieStream::AddCharacter(uint16_t id, uint16_t type) {
  void* block = m_pool.Alloc();
  if (!block) return nullptr;
  MovieCharacter* c = new (block) MovieCharacter;
  c->stream = this;
  c->id = id;
  c->type = type;
  c->body_offset = m_reader.pos;
  c->body_end = m_tagEnd;
  MovieCharacter*& head = m_buckets[id & (kBucketCount - 1)];
  c->next = head;
  head = c;
  return c;
}

void CMovieStream::DropCharacter(uint16_t id) {
  MovieCharacter** link = &m_buckets[id & (kBucketCount - 1)];
  while (MovieCharacter* c = *link) {
    if (c->id == id) {
      *link = c->next;
      c->next = m_dropped;
      m_dropped = c;
    } else {
      link = &c->next;
    }
  }
}

void CMovieStream::FreeCharacter(MovieCharacter* c) {
  delete c->bitmap;
  c->~MovieCharacter();
  m_pool.Free(c);
}

void CMovieStream::FreeDictionary() {
  for (MovieCharacter*& head : m_buckets) {
    while (MovieCharacter* c = head) {
      head = c->next;
      FreeCharacter(c);
    }
  }
  while (MovieCharacter* c = m_dropped) {
    m_dropped = c->next;
    FreeCharacter(c);
  }
}
