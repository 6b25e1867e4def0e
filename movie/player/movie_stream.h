// CMovieStream: a movie being read as it arrives.
//
// The stream buffers the bytes of one movie file, parses the header once
// enough has arrived, and reads records one at a time: characters go into its
// dictionary (shapes, text, buttons and glyph sets are kept as offsets into
// the buffer and decoded when drawn; JPEG images are decoded at once),
// placements go to the attached display list. Seeking backwards replays the
// movie from its first record.
//
// The results of reading are those of MovieReadResult (movie_format.h):
// 0 done, 1 more data needed, 2 end of movie, -1 bad file, -2 out of memory,
// -3 no data. The errors -1 and -2 are sticky until Reset.
//
// Movie files come off the web: every read is bounded by the bytes buffered
// and by the end of the record that holds it, and every character keeps its
// record's end for decoding later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "geometry/fixed.h"
#include "geometry/pool.h"
#include "movie/movie_format.h"
#include "movie/player/tag_reader.h"

class CDib;
class CDisplayList;
class CMovieStream;
struct JpegDecoder;

// The largest file length a stream accepts; a larger declared length fails
// with kMovieNoMemory before anything is allocated.
constexpr uint32_t kMaxMovieLength = 64u << 20;
// Decoded JPEG images are capped per side and in pixels.
constexpr int32_t kMaxJpegSide = 8192;
constexpr int64_t kMaxJpegPixels = int64_t{4096} * 4096;
// Before the header is read the stage is 0 to 1440 twips both ways.
constexpr int32_t kDefaultStageTwips = 1440;

// Which reader the stream is. The editor's reader attaches glyph-set face
// records (code 13) to their fonts; the plug-in's dispatcher handles codes 0
// to 12 only and skips 13.
enum class MovieReaderMode { kEditor, kPlugin };

// One entry of the character dictionary.
struct MovieCharacter {
  MovieCharacter* next = nullptr;  // in the id's bucket
  CMovieStream* stream = nullptr;
  uint16_t id = 0;
  uint16_t type = kCharacterShape;
  // Where the character's data starts (shape: the styles; button: the parts;
  // font: the glyph offset table; text: the matrix) and the end of its record.
  uint32_t body_offset = 0;
  uint32_t body_end = 0;
  Rect32 bounds;             // shapes and text, twips; empty otherwise
  uint16_t widest_line = 0;  // shapes: the widest line style, twips
  CDib* bitmap = nullptr;    // bitmaps: the decoded image (owned)
  uint32_t face_offset = 0;  // fonts: the face data (after the id), 0 when none
  uint32_t face_end = 0;

  // A reader over the character's data, bounded by its record.
  CTagReader Reader() const;
};

// A frame script: an action list inside a record.
struct FrameScript {
  uint32_t offset = 0;
  uint32_t end = 0;
};

class CMovieStream {
 public:
  static constexpr int kBucketCount = 32;

  explicit CMovieStream(MovieReaderMode mode = MovieReaderMode::kEditor);
  ~CMovieStream();
  CMovieStream(const CMovieStream&) = delete;
  CMovieStream& operator=(const CMovieStream&) = delete;

  // Attaches the display list that receives placements (or none). Not owned:
  // it must outlive the stream (or be detached first), since resetting the
  // stream clears it and its items show the stream's characters.
  void SetDisplayList(CDisplayList* list) { m_displayList = list; }
  CDisplayList* GetDisplayList() const { return m_displayList; }
  MovieReaderMode Mode() const { return m_mode; }

  // Clears the display list, frees the dictionary, the decoder and the buffer;
  // the stream is empty again. The frame rectangle and rate keep their values.
  void Reset();
  // Appends arriving bytes; ignored once the error state is set. Bytes beyond
  // the declared length are dropped. Once the length is known, arriving bytes
  // only append: that path stays inline, and a single byte, as hosts may hand
  // them over one at a time, takes one bounds test.
  void PutData(const void* data, size_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (length == 1 && m_buffered < m_appendLimit) [[likely]] {
      m_buffer[m_buffered++] = *p;
      return;
    }
    if (m_declared >= 0 && !m_error)
      Append(p, length);
    else
      PutFirstData(data, length);
  }
  // 1 when the header is (or now gets) parsed; 0 while it cannot be yet or in
  // the error state.
  int ReadHeader();
  // Reads one record (results above).
  MovieReadResult ReadTag();
  // Seeks to frame f (0-based): replays from the start when f is before the
  // current frame, then reads records until frame f is complete. While the
  // reader waits for the rest of a record, reading on would stop at the same
  // place: a streamed movie is checked after every write, so that answer
  // stays inline.
  MovieReadResult GotoFrame(int32_t frame) {
    if (m_buffered < m_awaited && frame > m_currentFrame) return kMovieNeedData;
    return ReadToFrame(frame);
  }

  // ---- State ----
  MovieReadResult Error() const { return m_error; }
  bool HeaderParsed() const { return m_headerParsed; }
  bool AtEnd() const { return m_atEnd; }
  int32_t CurrentFrame() const { return m_currentFrame; }
  const Rect32& FrameRect() const { return m_frameRect; }
  Fixed FrameRate() const { return m_frameRate; }        // 16.16 frames per second
  int32_t FramePeriod() const { return m_framePeriod; }  // milliseconds
  int32_t FrameCount() const { return m_frameCount; }
  uint8_t Version() const { return m_version; }
  uint32_t BufferedBytes() const { return m_buffered; }  // after the prefix
  int64_t DeclaredLength() const { return m_declared; }  // length - 8; -1 until known
  bool Complete() const { return m_declared >= 0 && m_buffered == m_declared; }
  const uint8_t* Buffer() const { return m_buffer.get(); }

  // The scripts of the frame just completed (at most kMaxFrameScripts).
  int ScriptCount() const { return m_scriptCount; }
  const FrameScript& Script(int i) const { return m_scripts[i]; }
  // Forgets the scripts collected so far.
  void DropScripts() { m_scriptCount = 0; }

  // ---- Dictionary ----
  // The newest entry with this id, or null.
  MovieCharacter* FindCharacter(uint16_t id) const;

 private:
  MovieCharacter* AddCharacter(uint16_t id, uint16_t type);
  void DropCharacter(uint16_t id);
  void FreeCharacter(MovieCharacter* c);
  void FreeDictionary();
  void DispatchRecord(uint16_t code);
  MovieReadResult ReadToFrame(int32_t frame);
  // The record at the reader does not fit the buffered bytes: the movie ends
  // there when complete; otherwise nothing can be read before the record's
  // first `need` bytes (or the rest of the movie) are in.
  MovieReadResult AwaitRecord(uint64_t need);
  // The bytes before the declared length is known: the prefix, its checks and
  // the buffer's allocation, then the rest appended.
  void PutFirstData(const void* data, size_t length);
  // Appends up to the declared length (known, buffer allocated).
  void Append(const uint8_t* p, size_t length) {
    const uint64_t room = static_cast<uint64_t>(m_declared) - m_buffered;
    const size_t n = room < length ? static_cast<size_t>(room) : length;
    if (n) std::memcpy(m_buffer.get() + m_buffered, p, n);
    m_buffered += static_cast<uint32_t>(n);
  }
  // Enters the error state: reading stops and arriving bytes are dropped.
  void SetError(MovieReadResult error) {
    m_error = error;
    m_appendLimit = 0;
  }
  void ReadJpegTables();
  void ReadJpegImage();
  void FreeJpeg();
  void ClearStage();

  CTagReader m_reader;
  uint32_t m_tagEnd = 0;
  uint32_t m_firstRecord = 0;
  MovieReadResult m_error = kMovieDone;
  uint32_t m_buffered = 0;
  int64_t m_declared = -1;
  // Single bytes below this count append at once: the declared length while
  // appending is allowed, 0 before it is known and in the error state.
  uint32_t m_appendLimit = 0;
  // The reader cannot read on while fewer bytes are buffered (0: no wait):
  // set where it waits for a record, cleared when it goes back.
  uint32_t m_awaited = 0;
  Rect32 m_frameRect{0, kDefaultStageTwips, 0, kDefaultStageTwips};
  Fixed m_frameRate = 12 << 16;
  int32_t m_framePeriod = 83;
  int32_t m_frameCount = 0;
  uint8_t m_version = 0;
  int m_prefixCount = 0;
  uint8_t m_prefix[kMoviePrefixSize] = {};
  bool m_headerParsed = false;
  bool m_atEnd = false;
  bool m_frameDone = false;  // the last record was a frame break: scripts start over
  int32_t m_currentFrame = -1;
  JpegDecoder* m_jpeg = nullptr;
  CDisplayList* m_displayList = nullptr;
  FrameScript m_scripts[kMaxFrameScripts];
  int m_scriptCount = 0;
  MovieCharacter* m_buckets[kBucketCount] = {};
  // Dropped characters leave the dictionary at once but stay alive until the
  // stream is reset or rewound: items on the stage may still show them.
  MovieCharacter* m_dropped = nullptr;
  BlockPool m_pool;
  std::unique_ptr<uint8_t[]> m_buffer;
  MovieReaderMode m_mode;
};
