// The stream's JPEG records, through libjpeg's decompression interface.
//
// One decoder lives from the shared tables record (code 8) until the stream
// is reset or rewound; each image record (code 6) is an abbreviated
// datastream that uses its tables. The source manager reads the record body
// through the stream's tag reader, so the decoder never sees a byte past the
// record. libjpeg's errors jump back (longjmp) to the C++ frame that called
// into it: an image that fails defines nothing and leaves the decoder ready
// for the next one; nothing is thrown through libjpeg's C frames.
#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <new>
#include <vector>

#include <jpeglib.h>

#include "movie/player/movie_stream.h"
#include "render/raster/dib.h"

struct JpegDecoder {
  static constexpr size_t kBufferSize = 512;
  // A progressive image may not have more scans than this.
  static constexpr int kMaxScans = 256;
  // libjpeg's own working memory for one image.
  static constexpr long kMaxWorkingMemory = 64L << 20;

  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr error{};
  jpeg_source_mgr source{};
  jpeg_progress_mgr progress{};
  JOCTET buffer[kBufferSize] = {};
  CTagReader* reader = nullptr;  // the record being decoded
  std::jmp_buf jump{};

  static JpegDecoder* From(j_common_ptr cinfo) {
    return static_cast<JpegDecoder*>(cinfo->client_data);
  }
  static JpegDecoder* From(j_decompress_ptr cinfo) {
    return static_cast<JpegDecoder*>(cinfo->client_data);
  }

  // Starts reading a new record body.
  void Bind(CTagReader* in) {
    reader = in;
    source.next_input_byte = buffer;
    source.bytes_in_buffer = 0;
  }
};

namespace {

void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(JpegDecoder::From(cinfo)->jump, 1);
}
void OutputMessage(j_common_ptr) {}
void EmitMessage(j_common_ptr, int) {}
void FormatMessage(j_common_ptr, char* buffer) {
  buffer[0] = 0;
}
void ResetErrorManager(j_common_ptr) {}

void ProgressMonitor(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > JpegDecoder::kMaxScans)
    std::longjmp(JpegDecoder::From(cinfo)->jump, 1);
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// Copies up to a buffer of the record body; past its end, an end-of-image
// marker, so that a truncated image ends instead of stalling.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
  JpegDecoder* d = JpegDecoder::From(cinfo);
  uint32_t n = d->reader ? d->reader->GetBlock(d->buffer, JpegDecoder::kBufferSize) : 0;
  if (n == 0) {
    d->buffer[0] = 0xFF;
    d->buffer[1] = JPEG_EOI;
    n = 2;
  }
  d->source.next_input_byte = d->buffer;
  d->source.bytes_in_buffer = n;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  JpegDecoder* d = JpegDecoder::From(cinfo);
  size_t n = static_cast<size_t>(count);
  while (n > d->source.bytes_in_buffer) {
    n -= d->source.bytes_in_buffer;
    FillInputBuffer(cinfo);
  }
  d->source.next_input_byte += n;
  d->source.bytes_in_buffer -= n;
}

// Runs one call into libjpeg; false when it ended in the error exit. The
// frames skipped by the jump own nothing that needs destroying.
template <class Step>
bool JpegStep(JpegDecoder& d, Step&& step) {
  if (setjmp(d.jump)) return false;
  step();
  return true;
}

}  // namespace

void CMovieStream::FreeJpeg() {
  if (!m_jpeg) return;
  jpeg_destroy_decompress(&m_jpeg->cinfo);
  delete m_jpeg;
  m_jpeg = nullptr;
}

void CMovieStream::ReadJpegTables() {
  JpegDecoder* d = new (std::nothrow) JpegDecoder;
  if (!d) return;
  d->cinfo.err = jpeg_std_error(&d->error);
  d->error.error_exit = ErrorExit;
  d->error.output_message = OutputMessage;
  d->error.emit_message = EmitMessage;
  d->error.format_message = FormatMessage;
  d->error.reset_error_mgr = ResetErrorManager;
  d->cinfo.client_data = d;
  if (!JpegStep(*d, [d] { jpeg_create_decompress(&d->cinfo); })) {
    jpeg_destroy_decompress(&d->cinfo);
    delete d;
    return;
  }
  d->cinfo.client_data = d;
  d->cinfo.mem->max_memory_to_use = JpegDecoder::kMaxWorkingMemory;
  d->source.init_source = InitSource;
  d->source.fill_input_buffer = FillInputBuffer;
  d->source.skip_input_data = SkipInputData;
  d->source.resync_to_restart = jpeg_resync_to_restart;
  d->source.term_source = TermSource;
  d->cinfo.src = &d->source;
  d->progress.progress_monitor = ProgressMonitor;
  d->cinfo.progress = &d->progress;

  d->Bind(&m_reader);
  // A tables-only datastream: the header is read without requiring an image.
  const bool ok = JpegStep(*d, [d] { jpeg_read_header(&d->cinfo, FALSE); });
  d->Bind(nullptr);
  if (!ok) {
    jpeg_destroy_decompress(&d->cinfo);
    delete d;
    return;
  }
  // Whatever the datastream held, the decoder is back at its start state.
  jpeg_abort_decompress(&d->cinfo);
  m_jpeg = d;
}

void CMovieStream::ReadJpegImage() {
  const uint16_t id = m_reader.GetWord();
  if (m_reader.overrun) return;
  MovieCharacter* c = AddCharacter(id, kCharacterBitmap);
  if (!c) return;

  JpegDecoder& d = *m_jpeg;
  jpeg_decompress_struct& cinfo = d.cinfo;
  d.Bind(&m_reader);
  CDib* dib = nullptr;
  bool ok = JpegStep(d, [&cinfo] { jpeg_read_header(&cinfo, TRUE); });
  // Dimensions are checked before libjpeg or we allocate for the image.
  ok = ok && cinfo.image_width > 0 && cinfo.image_height > 0 &&
       cinfo.image_width <= static_cast<JDIMENSION>(kMaxJpegSide) &&
       cinfo.image_height <= static_cast<JDIMENSION>(kMaxJpegSide) &&
       int64_t{cinfo.image_width} * cinfo.image_height <= kMaxJpegPixels;
  if (ok) {
    // Always three bytes a pixel, whatever the image's own colour space.
    cinfo.out_color_space = JCS_RGB;
    ok = JpegStep(d, [&cinfo] { jpeg_start_decompress(&cinfo); }) && cinfo.output_components == 3 &&
         cinfo.output_width > 0 && cinfo.output_height > 0 &&
         cinfo.output_width <= static_cast<JDIMENSION>(kMaxJpegSide) &&
         cinfo.output_height <= static_cast<JDIMENSION>(kMaxJpegSide);
  }
  std::vector<JSAMPLE> row;
  if (ok) {
    dib = new (std::nothrow) CDib;
    const int32_t w = static_cast<int32_t>(cinfo.output_width);
    const int32_t h = static_cast<int32_t>(cinfo.output_height);
    ok = dib && dib->Create(kDib16Bit, w, h, nullptr);
    if (ok) {
      try {
        row.resize(static_cast<size_t>(w) * 3);
      } catch (const std::bad_alloc&) {
        ok = false;
      }
    }
    for (int32_t y = 0; ok && y < h; ++y) {
      JSAMPROW rows[1] = {row.data()};
      JDIMENSION got = 0;
      ok = JpegStep(d, [&] { got = jpeg_read_scanlines(&cinfo, rows, 1); }) && got == 1;
      if (!ok) break;
      uint8_t* out = dib->Bits() + static_cast<size_t>(y) * static_cast<size_t>(dib->Stride());
      const JSAMPLE* p = row.data();
      for (int32_t x = 0; x < w; ++x, p += 3) {
        const uint16_t v =
            static_cast<uint16_t>((p[0] & 0xF8) << 7 | (p[1] & 0xF8) << 2 | p[2] >> 3);
        out[2 * x] = static_cast<uint8_t>(v);
        out[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
    }
  }
  // The image is complete (or given up): back to the start state, keeping
  // the tables for the next image.
  jpeg_abort_decompress(&cinfo);
  d.Bind(nullptr);
  if (ok) {
    c->bitmap = dib;
    return;
  }
  delete dib;
  // The entry is the newest of its bucket: take it out again.
  MovieCharacter*& head = m_buckets[id & (kBucketCount - 1)];
  if (head == c) head = c->next;
  FreeCharacter(c);
}
