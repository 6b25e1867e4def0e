// CMovieWriter: the output object of the movie export.
//
// Packs bytes and bit fields into a 512-byte buffer over an output file,
// frames records and patches their lengths when they close, writes the movie
// header and patches the file length and frame count in Finish, and writes the
// format's compound values (rectangles, matrices, colours), shape records
// (styles and steps, walking the edge graph in chains), JPEG tables and
// images, and the placement records. The encodings are in movie_format.h.
//
// Failures: file errors throw CFileException from the write or seek; JPEG
// library errors throw CMemoryException. The file is left as written so far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "geometry/fixed.h"
#include "movie/movie_format.h"

class CDib;
class CFile;
struct EdgeGraph;
struct FillStyle;
struct HalfEdge;
struct JpegCompressor;
struct QuadCurve;

// A bitmap fill of a shape that is written to a movie has the kind
// kMovieFillBitmap and carries the bitmap character's id in the low 16 bits of
// its colour word; its matrix maps bitmap pixels to shape coordinates.
constexpr uint16_t BitmapFillId(uint32_t colour) {
  return static_cast<uint16_t>(colour);
}

class CMovieWriter {
 public:
  static constexpr size_t kBufferSize = 512;
  static constexpr int kDefaultJpegQuality = 40;

  explicit CMovieWriter(CFile* file = nullptr);
  ~CMovieWriter();
  CMovieWriter(const CMovieWriter&) = delete;
  CMovieWriter& operator=(const CMovieWriter&) = delete;

  // Binds the writer to an output file; empties the buffer and the bit
  // accumulator.
  void Bind(CFile* file);
  void SetJpegQuality(int quality) { m_jpegQuality = quality; }
  int GetJpegQuality() const { return m_jpegQuality; }

  // ---- Bytes ----
  // The file's position plus the bytes pending in the buffer.
  uint64_t GetPosition() const;
  // Flushes the buffer, then seeks the file to a position from its start.
  void Seek(uint64_t position);
  void PutByte(uint8_t v);
  void PutWord(uint16_t v);  // little-endian
  void PutLong(uint32_t v);  // little-endian
  // A block that would fill the buffer goes straight to the file.
  void PutBlock(const void* data, size_t size);
  void Flush();

  // ---- Bits ----
  // Appends the low n bits of value (n <= 32), most significant first.
  void WriteBits(uint32_t value, int n);
  // Starts a bit-packed block: the accumulator becomes empty.
  void AlignBits();
  // Ends a bit-packed block: puts the pending byte when any of its bits is used.
  void FlushBits();

  // ---- Records ----
  // Opens a record: remembers the code, position and form and writes a
  // placeholder header. Records do not nest.
  void OpenTag(uint16_t code, bool long_form);
  // Patches the open record's header with the body length.
  void CloseTag();

  // ---- Movie header and end ----
  // Prefix, stage rectangle, frame rate (16.16 frames per second, stored as
  // 8.8) and a frame count patched by Finish.
  void WriteHeader(const Rect32& frame, Fixed rate);
  // The end record; patches the file length and the frame count, flushes and
  // frees the JPEG compressor. The file position is left after the count.
  void Finish();
  // A frame break, counted.
  void ShowFrame();
  int GetFrameCount() const { return m_frameCount; }
  // The stage colour (a colour word, red in the low byte).
  void WriteStageColor(uint32_t colour);

  // ---- Compound values ----
  void WritePackedRect(const Rect32& r);
  // Null writes the identity.
  void WritePackedMatrix(const Matrix2x3* m);
  // Red, green, blue bytes of a colour word.
  void WriteColorRGB(uint32_t colour);

  // ---- Characters ----
  // A shape character: id, stroked bounds in twips, the style tables and the
  // steps of the graph.
  void WriteShape(uint16_t id, const EdgeGraph& graph);
  // The style tables of a shape.
  void WriteShapeStyles(const EdgeGraph& graph);
  // The steps of a graph: every edge once, in chains of equal styles.
  void WriteShapeSteps(const EdgeGraph& graph);
  // The shared JPEG tables (first time only), then the image as an abbreviated
  // datastream of an even width.
  void WriteJpegImage(uint16_t id, const CDib& bitmap);

  // ---- Stage ----
  void PlaceCharacter(uint16_t id, uint16_t depth, const Matrix2x3* m);
  void RemoveCharacter(uint16_t id, uint16_t depth);

 private:
  friend struct JpegCompressor;
  struct StepState;

  void PutBytesBuffered(const uint8_t* p, size_t n);
  // n-bit signed values sharing a 5-bit width field.
  void WriteSignedGroup(const int32_t* values, int count, bool zero_width_if_zero);
  void WriteFillStyle(const FillStyle& fill);
  void WriteHalfEdgeStep(StepState& state, const HalfEdge* h);
  void WriteCurveStep(StepState& state, const QuadCurve& c, int depth);
  // Makes the compressor and writes the shared tables record; on an
  // exception neither is left behind.
  void StartJpeg();
  void WriteJpegTables();
  void WriteJpegImageRecord(uint16_t id, const CDib& bitmap);
  void FreeJpeg();
  // After an exception: the open record is dropped (the file goes back to
  // where it began) and the bit accumulator emptied. Never throws.
  void AbandonRecord() noexcept;

  CFile* m_file = nullptr;
  uint8_t m_buffer[kBufferSize] = {};
  size_t m_pending = 0;
  uint8_t m_bitValue = 0;
  int m_bitsFree = 8;
  int m_tagCode = -1;  // -1: no record open
  uint64_t m_tagPosition = 0;
  bool m_tagLong = false;
  int m_jpegQuality = kDefaultJpegQuality;
  JpegCompressor* m_jpeg = nullptr;
  uint64_t m_lengthPosition = 0;
  uint64_t m_countPosition = 0;
  int m_frameCount = 0;
};

// Field widths of a text record: glyph bits hold the highest glyph index
// used; advance bits hold signed advances, so they are the width of the
// largest advance magnitude plus the sign bit.
int TextGlyphBits(std::span<const uint16_t> glyph_indices);
int TextAdvanceBits(std::span<const int32_t> advances);
