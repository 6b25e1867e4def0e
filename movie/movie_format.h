// The movie file format (.vmp): the encodings shared by the movie writer and
// the movie readers.
//
// A movie is an 8-byte prefix ("QVX", version, u32 file length), a header
// (stage rectangle as a PackedRect, u16 frame rate in 8.8, u16 frame count)
// and a sequence of records. Multi-byte integers are little-endian; bit fields
// are packed most significant bit first; every bit-packed block starts and
// ends on a byte boundary. Coordinates are twips.
//
// A record starts with a u16: code << 6 | length. A length of 0..62 is the
// body length (short form); 63 means a u32 body length follows (long form).
#pragma once

#include <cstdint>

#include "geometry/edge_style.h"

// ---- Prefix and header -----------------------------------------------------------

constexpr uint8_t kMovieMagic[3] = {'Q', 'V', 'X'};
constexpr uint8_t kMovieVersion = 1;
constexpr int kMoviePrefixSize = 8;    // magic, version, u32 file length
constexpr int kMovieLengthOffset = 4;  // the file length inside the prefix
// A reader parses the header once more than this many bytes follow the prefix.
constexpr int kMovieHeaderBufferedAbove = 20;

// ---- Record framing ----------------------------------------------------------------

constexpr int kRecordCodeShift = 6;
constexpr uint16_t kRecordLengthMask = 0x3F;
constexpr uint16_t kRecordLongLength = 0x3F;  // a u32 body length follows
constexpr uint32_t kRecordShortMax = 62;      // the largest body of the short form
constexpr int kRecordShortHeaderSize = 2;
constexpr int kRecordLongHeaderSize = 6;

// Record codes.
enum MovieRecord : uint16_t {
  MT_END_OF_MOVIE = 0,
  MT_FRAME_BREAK = 1,
  MT_SHAPE_CHARACTER = 2,
  MT_DROP_CHARACTER = 3,
  MT_PUT_ON_STAGE = 4,
  MT_TAKE_OFF_STAGE = 5,
  MT_JPEG_IMAGE = 6,
  MT_BUTTON_CHARACTER = 7,
  MT_JPEG_SHARED_TABLES = 8,
  MT_STAGE_COLOR = 9,
  MT_GLYPH_SET_CHARACTER = 10,
  MT_TEXT_CHARACTER = 11,
  MT_FRAME_SCRIPT = 12,
  MT_GLYPH_SET_FACE = 13,
};
// Codes at or above this are skipped by every reader.
constexpr uint16_t kMovieRecordLimit = 14;

// Whether the writer frames a record in the long form. It uses the short form
// only for the records whose bodies are a few bytes.
constexpr bool MovieRecordIsLong(uint16_t code) {
  return !(code == MT_FRAME_BREAK || code == MT_PUT_ON_STAGE || code == MT_TAKE_OFF_STAGE ||
           code == MT_STAGE_COLOR);
}

// ---- Characters ----------------------------------------------------------------------

// Types of the characters in a reader's dictionary.
enum MovieCharacterType : uint16_t {
  kCharacterShape = 0,
  kCharacterBitmap = 1,
  kCharacterButton = 2,
  kCharacterFont = 3,
  kCharacterText = 4,
};

// A placed character is known on the stage by id << 16 | depth.
constexpr uint32_t StageKey(uint16_t id, uint16_t depth) {
  return static_cast<uint32_t>(id) << 16 | depth;
}

// ---- Shape styles ----------------------------------------------------------------------

constexpr uint8_t kMovieFillSolid = 0x00;
// Gradient fills carry their kind (GradientKind): kFillHasGradient is set.
constexpr uint8_t kMovieFillBitmapBit = 0x40;
constexpr uint8_t kMovieFillBitmap = 0x41;  // the kind the writer writes for bitmap fills
constexpr int kMovieGradientMaxEntries = 8;

// ---- Shape steps -------------------------------------------------------------------------

constexpr int kStepIndexWidthBits = 4;  // the fill- and line-index widths at the stream's start
constexpr int kStepFlagBits = 5;
constexpr int kStepCoordWidthBits = 5;  // width field of a move-to
constexpr int kStepDeltaWidthBits = 4;  // holds (delta width - 2)

// Setup-step flags; 0 is the end step.
constexpr uint8_t kStepMoveTo = 0x01;
constexpr uint8_t kStepFill0 = 0x02;  // the edge's left fill, in the direction written
constexpr uint8_t kStepFill1 = 0x04;  // the edge's right fill
constexpr uint8_t kStepLine = 0x08;

// The largest delta magnitude a straight or curved step can carry.
constexpr int32_t kStepDeltaLimit = 65535;

// Glyph sets: one fill, no line in each glyph's steps; at most 256 glyphs.
constexpr int kGlyphSetMaxGlyphs = 256;
constexpr int kGlyphOutlineHeight = 1024;  // twips; a run scales by height / 1024

// Glyph set face flags.
constexpr uint8_t kFaceWideCodes = 0x01;
constexpr uint8_t kFaceBold = 0x02;
constexpr uint8_t kFaceItalic = 0x04;
constexpr uint8_t kFaceAnsi = 0x10;
constexpr uint8_t kFaceShiftJis = 0x20;

// ---- Text runs ---------------------------------------------------------------------------

constexpr uint8_t kRunMark = 0x80;  // set in every run's flags; flags 0 ends the list
constexpr uint8_t kRunHasX = 0x01;
constexpr uint8_t kRunHasY = 0x02;
constexpr uint8_t kRunHasColor = 0x04;
constexpr uint8_t kRunHasFont = 0x08;  // font id and height
constexpr int kRunMaxGlyphs = 250;

// ---- Buttons -------------------------------------------------------------------------------

constexpr uint8_t kButtonUp = 0x01;
constexpr uint8_t kButtonOver = 0x02;
constexpr uint8_t kButtonDown = 0x04;
constexpr uint8_t kButtonHitArea = 0x08;

// ---- Actions ---------------------------------------------------------------------------------

enum MovieAction : uint8_t {
  ACT_END = 0,
  ACT_STEP_FORWARD = 4,
  ACT_STEP_BACK = 5,
  ACT_RESUME = 6,
  ACT_HALT = 7,
  ACT_SWITCH_QUALITY = 8,
  ACT_JUMP_TO_FRAME = 0x81,
  ACT_OPEN_URL = 0x83,
};
// Codes at or above this carry a u16 payload length and the payload.
constexpr uint8_t kActionHasPayload = 0x80;

// Frame scripts a reader keeps per frame.
constexpr int kMaxFrameScripts = 16;

// ---- Reader results ----------------------------------------------------------------------------

enum [[nodiscard]] MovieReadResult : int{
    kMovieDone = 0,      kMovieNeedData = 1,  kMovieEnd = 2,
    kMovieBadMagic = -1, kMovieNoMemory = -2, kMovieNoData = -3,
    kMovieNoHeader = -4,  // the whole file is too short to hold a header
};

// ---- Field widths ------------------------------------------------------------------------------

// The number of significant bits of an unsigned value (0 for 0).
constexpr int NumBits(uint32_t v) {
  int n = 0;
  while (v) {
    ++n;
    v >>= 1;
  }
  return n;
}

// The magnitude of a signed value, exact for INT32_MIN.
constexpr uint32_t Magnitude(int32_t v) {
  return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// Width of a signed field that holds values of at most this magnitude.
constexpr int SignedFieldWidth(uint32_t largest_magnitude) {
  return NumBits(largest_magnitude) + 1;
}

// The largest width a 5-bit width field can hold, and so the largest magnitude
// of a value in such a field.
constexpr int kMaxFieldWidth = 31;
constexpr int32_t kMaxFieldMagnitude = (1 << 30) - 1;
