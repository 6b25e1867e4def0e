// The stored record of an image (a CImageRef: pixels, colours and bounds) in
// documents and copies. The raster core knows no archive: the record is
// written to and read from the small byte interfaces below, which the model
// puts over its archive.
//
// Record, little-endian: u8 version 0; u8 format code (0-5); u16 row stride;
// u16 width; u16 height; the bounds as four i32 (xmin, xmax, ymin, ymax);
// for formats 0-3 u16 colour count and per colour three u16 (red, green,
// blue, each the 8-bit value times 256 plus 255, 0 staying 0); then the rows,
// top row first, stride times height bytes. 16-bit pixels are stored high
// byte first, 32-bit pixels with their four bytes reversed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/raster/dib.h"

class CDibRecordWriter {
 public:
  virtual ~CDibRecordWriter() = default;
  // Writes the bytes or throws.
  virtual void Write(const void* bytes, size_t count) = 0;
};

class CDibRecordReader {
 public:
  virtual ~CDibRecordReader() = default;
  // Reads exactly count bytes or throws.
  virtual void Read(void* bytes, size_t count) = 0;
  // The bytes left to read (sizes are checked against it before allocating).
  virtual uint64_t Remaining() const = 0;
};

// Writes the record. Rows are swapped into stored order in a row buffer, so
// the image is never changed, even when a write throws midway. False
// (nothing written) for an image without pixels or wider or taller than
// 65535 pixels.
[[nodiscard]] bool WriteDibRecord(const CImageRef& image, CDibRecordWriter& out);

// Reads a record into image. The stored stride is replaced by the one that
// follows from format and width; colours past 256 (or past what the format
// indexes) are read and dropped. False with a reason in *error, image
// empty, for a version other than 0, a format above 5, a size of 0, rows
// longer than the bytes left, or no memory. Throws what the reader throws.
[[nodiscard]] bool ReadDibRecord(CDibRecordReader& in, CImageRef& image,
                                 const char** error = nullptr);
