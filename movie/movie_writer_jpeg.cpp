// CMovieWriter's JPEG records, through libjpeg's compression interface.
//
// libjpeg reports errors through its error manager's exit routine, which must
// not return. Ours jumps back (longjmp) to the C++ frame that called into the
// library, and the exception is raised there: nothing is ever thrown through
// libjpeg's C frames. Output reaches the writer through our destination
// manager; a file error met there is kept and raised the same way.
#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <exception>
#include <new>
#include <vector>

#include <jpeglib.h>

#include "movie/movie_writer.h"
#include "platform/core/exceptions.h"
#include "render/raster/dib.h"

// The compression object, our error manager and the destination manager with
// its buffer and the writer it feeds: one allocation.
struct JpegCompressor {
  static constexpr size_t kBufferSize = 512;

  jpeg_compress_struct cinfo{};
  jpeg_error_mgr error{};
  jpeg_destination_mgr dest{};
  JOCTET buffer[kBufferSize] = {};
  CMovieWriter* writer = nullptr;
  std::jmp_buf jump{};
  std::exception_ptr pending;  // a file error of the destination, raised after the jump

  static JpegCompressor* From(j_common_ptr cinfo) {
    return static_cast<JpegCompressor*>(cinfo->client_data);
  }
  static JpegCompressor* From(j_compress_ptr cinfo) {
    return static_cast<JpegCompressor*>(cinfo->client_data);
  }

  // Hands bytes to the writer. A failure is kept, to be raised once control is
  // back in C++ code; the catch handler has ended before the caller jumps.
  bool Put(const JOCTET* p, size_t n) noexcept {
    try {
      writer->PutBlock(p, n);
      return true;
    } catch (...) {
      pending = std::current_exception();
      return false;
    }
  }
};

namespace {

// ---- Error manager: the exit jumps back, messages are dropped ----------------------

void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(JpegCompressor::From(cinfo)->jump, 1);
}
void OutputMessage(j_common_ptr) {}
void EmitMessage(j_common_ptr, int) {}

// ---- Destination manager ------------------------------------------------------------

void InitDestination(j_compress_ptr cinfo) {
  JpegCompressor* c = JpegCompressor::From(cinfo);
  c->dest.next_output_byte = c->buffer;
  c->dest.free_in_buffer = JpegCompressor::kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  JpegCompressor* c = JpegCompressor::From(cinfo);
  if (!c->Put(c->buffer, JpegCompressor::kBufferSize)) std::longjmp(c->jump, 1);
  c->dest.next_output_byte = c->buffer;
  c->dest.free_in_buffer = JpegCompressor::kBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  JpegCompressor* c = JpegCompressor::From(cinfo);
  if (!c->Put(c->buffer, JpegCompressor::kBufferSize - c->dest.free_in_buffer))
    std::longjmp(c->jump, 1);
}

// Runs one call into libjpeg; false when it ended in the error exit. The
// frames skipped by the jump (libjpeg's and the step's) own nothing that
// needs destroying.
template <class Step>
bool JpegStep(JpegCompressor& c, Step&& step) {
  if (setjmp(c.jump)) return false;
  step();
  return true;
}

// After a failed step: resets the compressor for later use and raises the
// kept file error, or the memory exception for the library's own errors.
[[noreturn]] void RaiseJpegError(JpegCompressor& c) {
  jpeg_abort_compress(&c.cinfo);
  if (c.pending) {
    std::exception_ptr e = c.pending;
    c.pending = nullptr;
    std::rethrow_exception(e);
  }
  throw CMemoryException();
}

}  // namespace

void CMovieWriter::StartJpeg() {
  try {
    WriteJpegTables();
  } catch (...) {
    // Without its tables record the compressor is of no use: the next image
    // starts over with both.
    FreeJpeg();
    AbandonRecord();
    throw;
  }
}

void CMovieWriter::WriteJpegTables() {
  OpenTag(MT_JPEG_SHARED_TABLES, true);
  JpegCompressor* c = new (std::nothrow) JpegCompressor;
  if (!c) throw CMemoryException();
  c->writer = this;
  c->cinfo.err = jpeg_std_error(&c->error);
  c->error.error_exit = ErrorExit;
  c->error.output_message = OutputMessage;
  c->error.emit_message = EmitMessage;
  c->cinfo.client_data = c;
  if (!JpegStep(*c, [c] { jpeg_create_compress(&c->cinfo); })) {
    delete c;
    throw CMemoryException();
  }
  c->cinfo.client_data = c;
  m_jpeg = c;

  c->dest.init_destination = InitDestination;
  c->dest.empty_output_buffer = EmptyOutputBuffer;
  c->dest.term_destination = TermDestination;
  c->cinfo.dest = &c->dest;
  c->cinfo.input_components = 3;
  c->cinfo.in_color_space = JCS_RGB;
  const int quality = m_jpegQuality;
  if (!JpegStep(*c, [c, quality] {
        jpeg_set_defaults(&c->cinfo);
        jpeg_set_quality(&c->cinfo, quality, TRUE);
        jpeg_write_tables(&c->cinfo);
      }))
    RaiseJpegError(*c);
  CloseTag();
}

void CMovieWriter::FreeJpeg() {
  if (!m_jpeg) return;
  jpeg_destroy_compress(&m_jpeg->cinfo);
  delete m_jpeg;
  m_jpeg = nullptr;
}

void CMovieWriter::WriteJpegImage(uint16_t id, const CDib& bitmap) {
  if (!m_jpeg) StartJpeg();
  try {
    WriteJpegImageRecord(id, bitmap);
  } catch (...) {
    // The compressor is ready for the next image (a failed step has reset
    // it) and the file holds no part of this one.
    jpeg_abort_compress(&m_jpeg->cinfo);
    AbandonRecord();
    throw;
  }
}

void CMovieWriter::WriteJpegImageRecord(uint16_t id, const CDib& bitmap) {
  OpenTag(MT_JPEG_IMAGE, true);
  PutWord(id);

  JpegCompressor& c = *m_jpeg;
  // The stored width is even; the colour fetch clamps, so the padding column
  // repeats the last one.
  const int32_t width = bitmap.Width() > 0 ? (bitmap.Width() + 1) & ~1 : 0;
  const int32_t height = bitmap.Height() > 0 ? bitmap.Height() : 0;
  c.cinfo.image_width = static_cast<JDIMENSION>(width);
  c.cinfo.image_height = static_cast<JDIMENSION>(height);
  // Started without tables: the decoder keeps those of the shared record.
  if (!JpegStep(c, [&c] { jpeg_start_compress(&c.cinfo, FALSE); })) RaiseJpegError(c);

  std::vector<JSAMPLE> row;
  try {
    row.resize(static_cast<size_t>(width) * 3);
  } catch (const std::bad_alloc&) {
    jpeg_abort_compress(&c.cinfo);
    throw CMemoryException();
  }
  for (int32_t y = 0; y < height; ++y) {
    JSAMPLE* p = row.data();
    for (int32_t x = 0; x < width; ++x) {
      const Rgb rgb = bitmap.GetPixel(x, y);
      *p++ = rgb.red;
      *p++ = rgb.green;
      *p++ = rgb.blue;
    }
    JSAMPROW rows[1] = {row.data()};
    if (!JpegStep(c, [&c, &rows] { jpeg_write_scanlines(&c.cinfo, rows, 1); })) RaiseJpegError(c);
  }
  if (!JpegStep(c, [&c] { jpeg_finish_compress(&c.cinfo); })) RaiseJpegError(c);
  CloseTag();
}
