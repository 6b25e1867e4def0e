// CPlayerCore: playing, pacing, scripts, buttons, zoom, panning, menus and
// the print render of one movie.
#include "movie/player/player_core.h"

#include <algorithm>

#include "movie/player/tag_reader.h"

namespace {

WinRect ToWinRect(const Rect32& r) {
  // Rect32 keeps its last row and column; WinRect ends after them.
  return {r.xmin, r.ymin, Clamp32(int64_t{r.xmax} + 1), Clamp32(int64_t{r.ymax} + 1)};
}

bool IsEmpty(const WinRect& r) {
  return r.right <= r.left || r.bottom <= r.top;
}

WinRect Intersect(const WinRect& a, const WinRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

WinRect Offset(const WinRect& r, int32_t dx, int32_t dy) {
  return {Clamp32(int64_t{r.left} + dx), Clamp32(int64_t{r.top} + dy),
          Clamp32(int64_t{r.right} + dx), Clamp32(int64_t{r.bottom} + dy)};
}

// Reads the zero-terminated string at `at` inside a payload of `end`
// bytes; false when no terminator lies inside it or it is longer than
// `limit` (0: no limit).
bool ReadActionString(const uint8_t* data, uint32_t& at, uint32_t end, size_t limit,
                      std::string& out) {
  out.clear();
  for (uint32_t i = at; i < end; ++i) {
    if (data[i] == 0) {
      at = i + 1;
      return limit == 0 || out.size() <= limit;
    }
    out.push_back(static_cast<char>(data[i]));
  }
  return false;
}

// The actions of a list, read before any of them runs: running one may
// rewind the movie and free the character that holds them.
std::vector<ActionRecord> ReadActions(CTagReader in) {
  std::vector<ActionRecord> actions;
  ActionRecord a;
  while (NextAction(in, a)) actions.push_back(a);
  return actions;
}

int32_t JumpTarget(const uint8_t* data, const ActionRecord& a) {
  if (a.payload_length < 2) return -1;
  return data[a.payload] | data[a.payload + 1] << 8;
}

}  // namespace

PlayerOptions PlayerOptions::Editor() {
  PlayerOptions o;
  o.menu_multi = 569;
  o.menu_single = 570;
  o.menu_not_loaded = 571;
  o.id_zoom_in = 33195;
  o.id_zoom_in_context = 33194;
  o.id_zoom_out = 33188;
  o.id_show_all = 33189;
  o.id_high_quality = 33187;
  o.id_play = 33081;
  o.id_loop = 33190;
  o.id_rewind = 33191;
  o.id_forward = 33193;
  o.id_back = 33192;
  o.id_about = 33196;
  o.id_not_loaded = 0;
  o.zoom_in_at_menu_point = false;
  o.fixed_zoom_factor = true;
  o.redraw2PaintsNow = false;
  o.button_watch = true;
  o.cursor_button = 123;
  o.cursor_zoomed = 32647;
  o.max_url = 0;
  o.max_target = 0;
  o.cube_levels = {0, 51, 102, 153, 204, 255};
  return o;
}

CPlayerCore::CPlayerCore(IPlayerSite& site, MovieReaderMode mode, PlayerOptions options)
    : m_site(site), m_options(std::move(options)), m_movie(mode) {
  RectSetEmpty(m_zoom);
  m_movie.SetDisplayList(&m_display);
  m_display.SetBitmap(&m_bitmap);
}

CPlayerCore::~CPlayerCore() {
  m_site.StopTimer(kFrameTimer);
  if (m_options.button_watch) m_site.StopTimer(kButtonWatchTimer);
  // The movie's characters are shown by the display list's items: clear the
  // stage before the dictionary goes.
  m_movie.Reset();
  m_movie.SetDisplayList(nullptr);
  m_display.SetBitmap(nullptr);
}

// ---- Intake ---------------------------------------------------------------------------

void CPlayerCore::ResetMovie() {
  Stop();
  m_movie.Reset();
  m_loaded = false;
}

bool CPlayerCore::CheckLoaded() {
  bool now = m_movie.GotoFrame(0) == kMovieDone;
  // Every declared byte counts only for a movie read without error: a bad
  // signature never loads.
  if (!now && m_movie.Error() == 0 && m_movie.HeaderParsed() && m_movie.Complete()) now = true;
  if (now) {
    m_loaded = true;
    if (m_movie.FrameCount() < 2) {
      if (autoQuality) highQuality = true;
    } else if (playOnLoad) {
      Play();
    }
  }
  UpdateView(2);
  return now;
}

// ---- Window ---------------------------------------------------------------------------

void CPlayerCore::WindowChanging() {
  FreeOffscreen();
  m_resume = !m_paused;
  Stop();
}

void CPlayerCore::WindowChanged() {
  if (m_resume && m_site.HasWindow()) Play();
  m_resume = false;
}

void CPlayerCore::FreeOffscreen() {
  m_bitmap.Free();
  m_display.UpdateBitmapBounds();
}

// ---- Playing --------------------------------------------------------------------------

void CPlayerCore::Play() {
  const int32_t last = m_movie.FrameCount() - 1;
  if (!loop && m_movie.CurrentFrame() >= last) GotoFrame(0);
  m_stopped = false;
  m_paused = false;
  m_nextDue = 0;
  m_site.StartTimer(kFrameTimer, static_cast<uint32_t>(std::max(m_movie.FramePeriod(), 1)));
}

void CPlayerCore::Stop() {
  m_paused = true;
  m_stopped = true;
  m_site.StopTimer(kFrameTimer);
}

void CPlayerCore::GotoFrame(int32_t frame) {
  frame = std::max(frame, 0);
  Stop();
  if (frame == m_movie.CurrentFrame()) return;
  // Only the target frame's scripts run, not those of the frames passed.
  (void)m_movie.GotoFrame(frame - 1);
  m_movie.DropScripts();
  (void)m_movie.GotoFrame(frame);
  if (m_movie.ScriptCount() > 0) DoFrameActions();
  InvalidateDirty();
}

void CPlayerCore::OnTimer(bool onlyIfDue) {
  if (m_paused || m_actionDepth > 0) return;
  if (m_framesBehind >= 2) {
    m_framesBehind = 0;
    return;
  }
  const uint32_t now = Now();
  // Times are 31-bit: "before" is a difference in the lower half.
  if (onlyIfDue && ((m_nextDue - now) & kClockMask) != 0 &&
      ((m_nextDue - now) & kClockMask) < (1u << 30))
    return;
  const int32_t current = m_movie.CurrentFrame();
  int result = m_movie.GotoFrame(current + 1);
  if (result == kMovieNeedData) return;
  if (result < 0) {
    Stop();
    return;
  }
  if (result == kMovieEnd) {
    if (loop && current != 0) {
      // The loop wraps by seeking the movie; the timer keeps running.
      result = m_movie.GotoFrame(0);
      if (result < 0) {
        Stop();
        return;
      }
    } else {
      m_paused = true;  // the timer runs on, idle
      return;
    }
  }
  DoFrameActions();
  DrawDirty();
  const int32_t period = m_movie.FramePeriod();
  m_nextDue = (now + static_cast<uint32_t>(period)) & kClockMask;
  if (autoQuality) {
    const int32_t t = static_cast<int32_t>((Now() - now) & kClockMask);
    if (period < t) ++m_lateFrames;
    if (t < period / 4) ++m_earlyFrames;
    ++m_framesCounted;
    if (m_framesCounted > 4 && m_framesSinceSwitch > 10) {
      bool change = false;
      if (highQuality) {
        change = int64_t{m_lateFrames} * 3 > m_framesCounted;
      } else {
        change = int64_t{m_earlyFrames} * 3 > m_framesCounted;
      }
      if (change) {
        highQuality = !highQuality;
        m_framesSinceSwitch = 0;
        UpdateView(2);
      }
    }
    ++m_framesSinceSwitch;
  }
  const uint32_t late = (Now() - m_nextDue) & kClockMask;
  if (late < (1u << 30)) {
    ++m_framesBehind;
  } else if (--m_framesBehind < 0) {
    m_framesBehind = 0;
  }
}

void CPlayerCore::OnButtonWatch() {
  if (!m_display.TrackedButton()) {
    m_site.StopTimer(kButtonWatchTimer);
    return;
  }
  Point32 p;
  (void)m_site.PollMouse(p);
  const WinRect client = m_site.ClientRect();
  // The client's edges count as inside.
  const bool inside =
      p.x >= client.left && p.x <= client.right && p.y >= client.top && p.y <= client.bottom;
  if (!inside && m_display.SetTrackedButton(nullptr, kStateUp)) DrawDirty();
}

void CPlayerCore::DoFrameActions() {
  ++m_actionDepth;
  bool play = false, stop = false;
  int32_t target = -1;
  const uint8_t* data = m_movie.Buffer();
  std::vector<std::vector<ActionRecord>> lists;
  for (int i = 0; i < m_movie.ScriptCount(); ++i) {
    const FrameScript& s = m_movie.Script(i);
    lists.push_back(ReadActions(CTagReader(data, s.offset, s.end)));
  }
  m_movie.DropScripts();
  for (const auto& list : lists) {
    for (const ActionRecord& a : list) {
      switch (a.code) {
        case ACT_RESUME:
          play = true;
          break;
        case ACT_HALT:
          stop = true;
          break;
        case ACT_JUMP_TO_FRAME:
          if (const int32_t t = JumpTarget(data, a); t >= 0) target = t;
          break;
        case ACT_OPEN_URL:
          RunUrlAction(a);
          break;
        default:
          break;
      }
    }
  }
  if (target >= 0 && target != m_movie.CurrentFrame()) {
    (void)m_movie.GotoFrame(target - 1);
    m_movie.DropScripts();
    (void)m_movie.GotoFrame(target);
    if (m_actionDepth > kMaxActionDepth) {
      m_movie.DropScripts();
    } else if (m_movie.ScriptCount() > 0) {
      DoFrameActions();
    }
  }
  if (play) {
    Play();
  } else if (stop) {
    Stop();
  }
  --m_actionDepth;
}

void CPlayerCore::RunUrlAction(const ActionRecord& a) {
  const uint8_t* data = m_movie.Buffer();
  uint32_t at = a.payload;
  const uint32_t end = a.payload + a.payload_length;
  std::string url, target;
  if (!ReadActionString(data, at, end, m_options.max_url, url) ||
      !ReadActionString(data, at, end, m_options.max_target, target))
    return;  // unterminated or too long: dropped
  if (target.empty()) target = "_self";
  m_site.GetUrl(url, target);
}

// ---- View -----------------------------------------------------------------------------

void CPlayerCore::UpdateView(int redraw) {
  const WinRect client = m_site.ClientRect();
  const Rect32 stage = Zoomed() ? m_zoom : m_movie.FrameRect();
  m_display.SetViewTransform(stage, client, highQuality, scaleFlags);
  m_display.SetMoving(m_movie.FrameCount() >= 2 && !best);
  if (redraw == 1 || (redraw == 2 && m_options.redraw2PaintsNow)) {
    DrawDirty();
  } else if (redraw == 2) {
    InvalidateDirty();
  }
}

Matrix2x3 CPlayerCore::PixelTransform() const {
  Matrix2x3 m = m_display.ViewTransform();
  if (m_display.AntiAlias()) {
    // The anti-aliased view maps into quarter pixels.
    Matrix2x3 quarter;
    MatrixSetScale(quarter, kFixedOne / 4, kFixedOne / 4);
    Matrix2x3 out;
    MatrixConcat(m, quarter, out);
    m = out;
  }
  return m;
}

void CPlayerCore::Zoom(bool in, const Point32* windowPoint) {
  Matrix2x3 inverse;
  MatrixInvert(PixelTransform(), inverse);
  const WinRect client = m_site.ClientRect();
  Rect32 visible;
  MatrixTransformCorners(inverse, client, visible);
  Point32 centre{static_cast<int32_t>((int64_t{visible.xmin} + visible.xmax) / 2),
                 static_cast<int32_t>((int64_t{visible.ymin} + visible.ymax) / 2)};
  if (windowPoint) MatrixTransformPoint(inverse, *windowPoint, centre);
  int64_t w = int64_t{visible.xmax} - visible.xmin;
  int64_t h = int64_t{visible.ymax} - visible.ymin;
  if (m_options.fixed_zoom_factor) {
    const Fixed factor = in ? 0x8000 : 0x20000;
    w = FixedMul(factor, Clamp32(w));
    h = FixedMul(factor, Clamp32(h));
  } else if (in) {
    w /= 2;
    h /= 2;
  } else {
    w *= 2;
    h *= 2;
  }
  // At most one twip per pixel.
  w = std::max<int64_t>(w, int64_t{client.right} - client.left);
  h = std::max<int64_t>(h, int64_t{client.bottom} - client.top);
  SetZoomRect(centre, w, h);
}

void CPlayerCore::SetZoomRect(const Point32& centre, int64_t width, int64_t height) {
  const Rect32& frame = m_movie.FrameRect();
  int64_t x0 = centre.x - width / 2, x1 = x0 + width;
  int64_t y0 = centre.y - height / 2, y1 = y0 + height;
  // Back inside the frame on each side, then cut to it.
  if (x0 < frame.xmin) x1 += frame.xmin - x0, x0 = frame.xmin;
  if (x1 > frame.xmax) x0 -= x1 - frame.xmax, x1 = frame.xmax;
  if (y0 < frame.ymin) y1 += frame.ymin - y0, y0 = frame.ymin;
  if (y1 > frame.ymax) y0 -= y1 - frame.ymax, y1 = frame.ymax;
  x0 = std::max<int64_t>(x0, frame.xmin);
  y0 = std::max<int64_t>(y0, frame.ymin);
  if (x0 >= x1 || y0 >= y1 ||
      (x0 <= frame.xmin && x1 >= frame.xmax && y0 <= frame.ymin && y1 >= frame.ymax)) {
    ShowAll();
    return;
  }
  m_zoom = {Clamp32(x0), Clamp32(x1), Clamp32(y0), Clamp32(y1)};
  UpdateView(1);
}

void CPlayerCore::ShowAll() {
  RectSetEmpty(m_zoom);
  UpdateView(2);
}

void CPlayerCore::ToggleQuality() {
  autoQuality = false;
  highQuality = !highQuality;
  UpdateView(2);
}

// ---- Painting -------------------------------------------------------------------------

bool CPlayerCore::PrepareOffscreen() {
  if (!m_bitmap.IsValid()) {
    if (!m_site.HasWindow()) return false;
    const WinRect client = m_site.ClientRect();
    if (IsEmpty(client)) return true;
    Rect32 size;
    RectFromCorners(size, client);
    if (!m_bitmap.Create(size)) return false;
    UpdateView(0);
    m_display.RecalcAll();
  }
  m_display.Render();
  return true;
}

void CPlayerCore::Paint(IPlayerPaintTarget& target, const WinRect& clip) {
  if (IsEmpty(clip)) return;
  if (PrepareOffscreen() && m_bitmap.IsValid()) {
    const WinRect area = Intersect(clip, {0, 0, m_bitmap.Width(), m_bitmap.Height()});
    if (!IsEmpty(area)) target.CopyBitmap(m_bitmap, area);
    if (m_dragShown) target.XorFrame(m_dragFrame);
  } else {
    target.FillColor(clip, m_display.BackgroundColor());
  }
}

WinRect CPlayerCore::DirtyArea() {
  Rect32 dirty;
  m_display.GetDirtyRect(dirty);
  const Rect32 refresh = m_display.TakeRefreshRect();
  if (dirty.IsEmpty())
    dirty = refresh;
  else if (!refresh.IsEmpty())
    RectUnion(dirty, refresh, dirty);
  return dirty.IsEmpty() ? WinRect{} : ToWinRect(dirty);
}

void CPlayerCore::InvalidateDirty() {
  const WinRect area = DirtyArea();
  if (!IsEmpty(area) && m_site.HasWindow()) m_site.Invalidate(area);
}

void CPlayerCore::DrawDirty() {
  const WinRect area = DirtyArea();
  if (IsEmpty(area) || !m_site.HasWindow()) return;
  m_site.PaintNow(area);
  // The paint copied what it rendered: nothing of it is left to copy.
  static_cast<void>(m_display.TakeRefreshRect());
}

// ---- Mouse ----------------------------------------------------------------------------

void CPlayerCore::OnMouseMove(const Point32& p) {
  DisplayItem* button = m_display.HitTestButton(p);
  if (m_display.SetTrackedButton(button, kStateOver)) DrawDirty();
  m_site.ShowStatus(m_display.TrackedButton() ? m_display.StatusUrl() : "");
  if (m_movie.Version() > kMovieVersion) m_site.ShowStatus(m_options.newer_version_notice);
  if (m_options.button_watch && m_display.TrackedButton())
    m_site.StartTimer(kButtonWatchTimer, kButtonWatchMs);
}

void CPlayerCore::OnLButtonDown(const Point32& p) {
  DisplayItem* hit = m_display.HitTestButton(p);
  if (m_display.SetTrackedButton(hit, kStateDown)) DrawDirty();
  if (DisplayItem* button = m_display.TrackedButton()) {
    m_site.ShowStatus(m_display.StatusUrl());
    const uint32_t key = button->key;
    Point32 q = p;
    while (m_site.PollMouse(q)) {
      DisplayItem* tracked = m_display.TrackedButton();
      if (tracked && tracked->key == key) {
        const uint16_t state = m_display.HitTestButton(q) == tracked ? kStateDown : kStateOver;
        if (m_display.SetTrackedButton(tracked, state)) DrawDirty();
      }
      OnTimer(true);
    }
    DisplayItem* tracked = m_display.TrackedButton();
    if (tracked && tracked->key == key && m_display.TrackedState() == kStateDown) {
      CTagReader in = tracked->character->Reader();
      SkipButtonParts(in);
      RunButtonActions(ReadActions(in));
    }
    OnMouseMove(q);
    if (m_display.TrackedButton()) return;
  } else if (Zoomed()) {
    DragPan(p);
  }
}

void CPlayerCore::RunButtonActions(const std::vector<ActionRecord>& actions) {
  const uint8_t* data = m_movie.Buffer();
  for (const ActionRecord& a : actions) {
    switch (a.code) {
      case ACT_STEP_FORWARD:
        GotoFrame(m_movie.CurrentFrame() + 1);
        break;
      case ACT_STEP_BACK:
        GotoFrame(m_movie.CurrentFrame() - 1);
        break;
      case ACT_RESUME:
        Play();
        break;
      case ACT_HALT:
        Stop();
        break;
      case ACT_SWITCH_QUALITY:
        ToggleQuality();
        break;
      case ACT_JUMP_TO_FRAME:
        if (const int32_t t = JumpTarget(data, a); t >= 0) GotoFrame(t);
        break;
      case ACT_OPEN_URL:
        RunUrlAction(a);
        break;
      default:
        break;
    }
  }
}

bool CPlayerCore::DrawDragRect(const WinRect* frame) {
  if (frame && m_dragShown && *frame == m_dragFrame) return false;
  // XOR twice erases: the old frame goes, the new one comes.
  if (m_dragShown) (void)m_site.XorFrameNow(m_dragFrame);
  m_dragShown = frame != nullptr;
  if (frame) {
    m_dragFrame = *frame;
    (void)m_site.XorFrameNow(m_dragFrame);
  }
  return true;
}

void CPlayerCore::DragPan(const Point32& start) {
  Matrix2x3 inverse;
  MatrixInvert(PixelTransform(), inverse);
  Rect32 frame;
  MatrixTransformRect(PixelTransform(), m_movie.FrameRect(), frame);
  const WinRect client = m_site.ClientRect();
  // How far the view may move: not past the frame's edges.
  const int64_t minX = int64_t{frame.xmin} - client.left, maxX = int64_t{frame.xmax} - client.right;
  const int64_t minY = int64_t{frame.ymin} - client.top, maxY = int64_t{frame.ymax} - client.bottom;
  auto clampAxis = [](int64_t v, int64_t lo, int64_t hi) {
    if (lo > hi) return int64_t{0};
    return std::clamp(v, lo, hi);
  };
  auto apply = [&](int32_t dx, int32_t dy) {
    Rect32 zoom;
    MatrixTransformCorners(inverse, Offset(client, dx, dy), zoom);
    m_zoom = zoom;
    UpdateView(1);
  };
  int32_t dx = 0, dy = 0;
  uint32_t lastMove = Now();
  bool settled = true;
  Point32 q = start;
  while (m_site.PollMouse(q)) {
    dx = static_cast<int32_t>(clampAxis(int64_t{start.x} - q.x, minX, maxX));
    dy = static_cast<int32_t>(clampAxis(int64_t{start.y} - q.y, minY, maxY));
    WinRect shown = Offset(client, -dx, -dy);
    shown = {shown.left + 2, shown.top + 2, shown.right - 2, shown.bottom - 2};
    if (DrawDragRect(&shown)) {
      lastMove = Now();
      settled = false;
    } else if (!settled && ((Now() - lastMove) & kClockMask) >= kPanSettleMs) {
      apply(dx, dy);
      settled = true;
    }
    OnTimer(true);
  }
  DrawDragRect(nullptr);
  apply(dx, dy);
}

int CPlayerCore::CursorId() const {
  if (m_display.TrackedButton()) return m_options.cursor_button;
  if (Zoomed()) return m_options.cursor_zoomed;
  return 0;
}

// ---- Menu -----------------------------------------------------------------------------

int CPlayerCore::PopupMenu(const Point32& p) {
  m_menuPoint = p;
  if (!m_movie.HeaderParsed()) return m_options.menu_not_loaded;
  return m_movie.FrameCount() > 1 ? m_options.menu_multi : m_options.menu_single;
}

PlayerCommand CPlayerCore::CommandOf(int id) const {
  const PlayerOptions& o = m_options;
  if (id == 0) return PlayerCommand::kNone;
  const std::pair<int, PlayerCommand> table[] = {
      {o.id_zoom_in, PlayerCommand::kZoomIn},
      {o.id_zoom_in_context, PlayerCommand::kZoomInContext},
      {o.id_zoom_out, PlayerCommand::kZoomOut},
      {o.id_show_all, PlayerCommand::kShowAll},
      {o.id_high_quality, PlayerCommand::kHighQuality},
      {o.id_play, PlayerCommand::kPlay},
      {o.id_loop, PlayerCommand::kLoop},
      {o.id_rewind, PlayerCommand::kRewind},
      {o.id_forward, PlayerCommand::kForward},
      {o.id_back, PlayerCommand::kBack},
      {o.id_about, PlayerCommand::kAbout},
      {o.id_not_loaded, PlayerCommand::kNotLoaded},
  };
  for (const auto& [key, command] : table)
    if (key == id) return command;
  return PlayerCommand::kNone;
}

PlayerMenuItemState CPlayerCore::MenuItem(int id) const {
  PlayerMenuItemState s;
  const bool many = m_loaded && m_movie.FrameCount() > 1;
  const int32_t current = m_movie.CurrentFrame();
  s.present = true;
  s.enabled = true;
  switch (CommandOf(id)) {
    case PlayerCommand::kNone:
      return {};
    case PlayerCommand::kHighQuality:
      s.checked = highQuality;
      break;
    case PlayerCommand::kZoomOut:
    case PlayerCommand::kShowAll:
      s.enabled = Zoomed();
      break;
    case PlayerCommand::kPlay:
      s.enabled = many;
      s.checked = !m_paused;
      break;
    case PlayerCommand::kLoop:
      s.enabled = many;
      s.checked = loop;
      break;
    case PlayerCommand::kRewind:
    case PlayerCommand::kBack:
      s.enabled = current > 0;
      break;
    case PlayerCommand::kForward:
      s.enabled = m_loaded && current < m_movie.FrameCount() - 1;
      break;
    default:
      break;
  }
  return s;
}

bool CPlayerCore::OnCommand(int id) {
  switch (CommandOf(id)) {
    case PlayerCommand::kNone:
    case PlayerCommand::kNotLoaded:
      return false;
    case PlayerCommand::kZoomIn:
      Zoom(true, m_options.zoom_in_at_menu_point ? &m_menuPoint : nullptr);
      break;
    case PlayerCommand::kZoomInContext:
      Zoom(true, &m_menuPoint);
      break;
    case PlayerCommand::kZoomOut:
      Zoom(false, nullptr);
      break;
    case PlayerCommand::kShowAll:
      ShowAll();
      break;
    case PlayerCommand::kHighQuality:
      ToggleQuality();
      break;
    case PlayerCommand::kPlay:
      if (m_paused) {
        Play();
      } else {
        Stop();
      }
      break;
    case PlayerCommand::kLoop:
      loop = !loop;
      break;
    case PlayerCommand::kRewind:
      GotoFrame(0);
      break;
    case PlayerCommand::kForward:
      GotoFrame(m_movie.CurrentFrame() + 1);
      break;
    case PlayerCommand::kBack:
      GotoFrame(m_movie.CurrentFrame() - 1);
      break;
    case PlayerCommand::kAbout:
      m_site.GetUrl(m_options.about_url, "_top");
      break;
  }
  return true;
}

// ---- Printing -------------------------------------------------------------------------

bool CPlayerCore::RenderForPrint(int64_t& width, int64_t& height, int printerBits,
                                 COffscreenBitmap& out) {
  const bool mono = printerBits == 1;
  width = std::max<int64_t>(width, 1);
  height = std::max<int64_t>(height, 1);
  // Saturated: a print area of the whole 32-bit range would overflow the product.
  auto bytes = [&] {
    const int64_t pixels = width > INT64_MAX / height ? INT64_MAX : width * height;
    return mono ? pixels / 8 : pixels > INT64_MAX / 3 ? INT64_MAX : pixels * 3;
  };
  while (bytes() >= kMaxPrintBytes && (width > 1 || height > 1)) {
    width = std::max<int64_t>(width / 2, 1);
    height = std::max<int64_t>(height / 2, 1);
  }
  FreeOffscreen();
  if (!m_movie.HeaderParsed()) return false;
  if (!out.CreateDepth(mono ? 1 : 24, nullptr, static_cast<int32_t>(width),
                       static_cast<int32_t>(height), false))
    return false;
  m_display.SetBitmap(&out);
  m_display.SetViewTransform(m_movie.FrameRect(),
                             {0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)},
                             true, scaleFlags);
  m_display.SetMoving(false);
  m_display.Render();
  (void)m_display.TakeRefreshRect();
  // Back to the screen's bitmap, rebuilt by the next paint.
  m_display.SetBitmap(&m_bitmap);
  UpdateView(0);
  return true;
}

// ---- Free functions -------------------------------------------------------------------

std::vector<uint32_t> PlayerCubeColors(const uint8_t levels[6]) {
  std::vector<uint32_t> out;
  out.reserve(226);
  for (uint32_t g = 0; g < 240; g += 16) out.push_back(g | g << 8 | g << 16);
  out.push_back(0xFFFFFF);
  for (int b = 0; b < 6; ++b)
    for (int g = 0; g < 6; ++g)
      for (int r = 0; r < 6; ++r) {
        if (r == g && g == b) continue;
        out.push_back(uint32_t{levels[r]} | uint32_t{levels[g]} << 8 | uint32_t{levels[b]} << 16);
      }
  return out;
}

int32_t StreamByteBudget(uint32_t now, uint32_t arrival, uint32_t limit, uint64_t received) {
  const uint64_t elapsed = (now - arrival) & CPlayerCore::kClockMask;
  const int64_t allowed = static_cast<int64_t>(elapsed / 100 * limit / 10);
  const int64_t budget = allowed - static_cast<int64_t>(received);
  return static_cast<int32_t>(std::clamp<int64_t>(budget, 0, INT32_MAX));
}

std::string ResolvePlayerUrl(const std::string& base, bool hasBase, const std::string& url) {
  const size_t counted = hasBase ? url.size() + base.size() : url.size() + 1;
  if (counted > 1023) return {};
  if (url.find(':') != std::string::npos || !hasBase) return url;
  // A base of a scheme and host alone ("http://h.example") has no path to
  // cut: the address goes after the host, never in its place.
  const size_t authority = base.find("://");
  const size_t slash = base.rfind('/');
  if (authority != std::string::npos && slash < authority + 3) return base + "/" + url;
  return (slash == std::string::npos ? std::string() : base.substr(0, slash + 1)) + url;
}
