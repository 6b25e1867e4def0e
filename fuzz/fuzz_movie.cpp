// Movie files come off the web: feed arbitrary and mutated movie bytes
// through the player engine as a player does: intake in chunks, every frame
// read and rendered, buttons hit-tested and tracked, seeks back and forth.
//
// The first byte chooses how: bit 0 the plug-in's reader, bit 1
// anti-aliasing, bit 2 patch the declared length to the data's, bits 4-7 the
// chunk size. The rest is the movie.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "render/raster/offscreen_bitmap.h"

namespace {

void Interact(CDisplayList& list, int32_t w, int32_t h) {
  for (Point32 p : {Point32{w / 2, h / 2}, Point32{3, 4}, Point32{w - 2, h - 3}}) {
    DisplayItem* button = list.HitTestButton(p);
    list.SetTrackedButton(button, kStateOver);
    list.SetTrackedButton(button, kStateDown);
  }
  list.SetTrackedButton(nullptr, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  std::vector<uint8_t> movie(data + 1, data + size);
  if ((control & 4) && movie.size() >= 8) {
    const uint32_t n = static_cast<uint32_t>(movie.size());
    for (int i = 0; i < 4; ++i) movie[4 + i] = static_cast<uint8_t>(n >> (8 * i));
  }
  const size_t chunk = size_t{1} << (control >> 4 & 7) | (control >> 7);
  const bool antiAlias = (control & 2) != 0;
  constexpr int32_t kWidth = 64, kHeight = 48;

  CDisplayList list;
  CMovieStream stream((control & 1) ? MovieReaderMode::kPlugin : MovieReaderMode::kEditor);
  stream.SetDisplayList(&list);
  COffscreenBitmap bitmap;
  if (!bitmap.CreateDepth(32, nullptr, kWidth, kHeight, false)) return 0;
  list.SetBitmap(&bitmap);
  auto show = [&] {
    list.SetViewTransform(stream.FrameRect(), WinRect{0, 0, kWidth, kHeight}, antiAlias, 0);
    list.Render();
  };

  int32_t last = -1;
  for (size_t at = 0; at < movie.size();) {
    const size_t n = std::min(chunk, movie.size() - at);
    stream.PutData(movie.data() + at, n);
    at += n;
    while (stream.GotoFrame(stream.CurrentFrame() + 1) == kMovieDone) {
      show();
      Interact(list, kWidth, kHeight);
      list.Render();
      last = stream.CurrentFrame();
    }
  }
  if (last >= 0) {
    static_cast<void>(stream.GotoFrame(0));
    show();
    static_cast<void>(stream.GotoFrame(last));
    show();
    static_cast<void>(stream.GotoFrame(last / 2));
    show();
  }
  list.SetBitmap(nullptr);
  stream.Reset();
  return 0;
}
