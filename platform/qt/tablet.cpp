#include "platform/qt/tablet.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QScreen>
#include <QTabletEvent>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "platform/qt/input.h"

struct TabletContext {
  HWND hwnd = nullptr;
  LOGCONTEXTA context{};
  bool enabled = true;
  std::deque<PACKET> queue;
};

namespace {

bool g_present = false;
bool g_inProximity = true;
PACKET g_last{};  // the newest packet made from an event
std::vector<std::unique_ptr<TabletContext>> g_contexts;

TabletContext* Find(HCTX ctx) {
  for (auto& c : g_contexts) {
    if (c.get() == ctx) return c.get();
  }
  return nullptr;
}

LOGCONTEXTA DefaultSystemContext() {
  LOGCONTEXTA c{};
  std::strncpy(c.lcName, "Default", sizeof(c.lcName) - 1);
  QScreen* screen = QGuiApplication::primaryScreen();
  int w = screen != nullptr ? screen->geometry().width() : 1024;
  int h = screen != nullptr ? screen->geometry().height() : 768;
  c.lcPktData = kTabletPacketData;
  c.lcBtnDnMask = 0xFFFFFFFFu;
  c.lcBtnUpMask = 0xFFFFFFFFu;
  c.lcInExtX = c.lcOutExtX = w * kTabletUnitsPerPixel;
  c.lcInExtY = c.lcOutExtY = h * kTabletUnitsPerPixel;
  c.lcSysExtX = w;
  c.lcSysExtY = h;
  return c;
}

UINT Copy(void* out, const void* data, size_t size) {
  if (out != nullptr) std::memcpy(out, data, size);
  return static_cast<UINT>(size);
}

int Take(HCTX ctx, int maxPackets, void* packets, bool remove) {
  TabletContext* c = Find(ctx);
  if (c == nullptr || maxPackets <= 0 || packets == nullptr) return 0;
  int n = std::min(maxPackets, static_cast<int>(c->queue.size()));
  auto* out = static_cast<PACKET*>(packets);
  std::copy_n(c->queue.begin(), n, out);
  if (remove) c->queue.erase(c->queue.begin(), c->queue.begin() + n);
  return n;
}

}  // namespace

UINT WTInfoA(UINT category, UINT index, void* output) {
  if (!g_present) return 0;
  if (category == WTI_DEFSYSCTX) {
    LOGCONTEXTA c = DefaultSystemContext();
    return Copy(output, &c, sizeof(c));
  }
  if (category == WTI_DEVICES) {
    if (index == DVC_PKTDATA || index == DVC_CSRDATA) {
      uint32_t mask = index == DVC_PKTDATA ? kTabletPacketData : 0;
      return Copy(output, &mask, sizeof(mask));
    }
    if (index == DVC_NPRESSURE) {
      AXIS a{0, kTabletMaxPressure, 0, 0};
      return Copy(output, &a, sizeof(a));
    }
    if (index == DVC_ORIENTATION) {
      // Azimuth and altitude in tenths of a degree, no twist.
      const AXIS axes[3] = {{0, 3600, 0, 0}, {-900, 900, 0, 0}, {0, 0, 0, 0}};
      return Copy(output, axes, sizeof(axes));
    }
    return 0;
  }
  if (category >= WTI_CURSORS && category < WTI_CURSORS + 3 && index == CSR_SYSBTNMAP) {
    // Button 0 clicks (an odd action), button 1 double-clicks, the rest nothing.
    uint8_t map[32] = {1, 3};
    return Copy(output, map, sizeof(map));
  }
  return 0;
}

HCTX WTOpenA(HWND hwnd, LOGCONTEXTA* context, BOOL enable) {
  if (!g_present || context == nullptr) return nullptr;
  auto c = std::make_unique<TabletContext>();
  c->hwnd = hwnd;
  c->context = *context;
  c->enabled = enable != 0;
  g_contexts.push_back(std::move(c));
  return g_contexts.back().get();
}

BOOL WTClose(HCTX context) {
  auto it = std::find_if(g_contexts.begin(), g_contexts.end(),
                         [context](const auto& c) { return c.get() == context; });
  if (it == g_contexts.end()) return 0;
  g_contexts.erase(it);
  return 1;
}

int WTPacketsGet(HCTX context, int maxPackets, void* packets) {
  return Take(context, maxPackets, packets, true);
}

int WTPacketsPeek(HCTX context, int maxPackets, void* packets) {
  return Take(context, maxPackets, packets, false);
}

BOOL WTGetA(HCTX context, LOGCONTEXTA* out) {
  TabletContext* c = Find(context);
  if (c == nullptr || out == nullptr) return 0;
  *out = c->context;
  return 1;
}

void SetTabletPresent(bool present) {
  g_present = present;
}
bool IsTabletPresent() {
  return g_present;
}

bool TabletHasPressure() {
  if (!g_present) return false;
  LOGCONTEXTA context{};
  if (WTInfoA(WTI_DEFSYSCTX, 0, &context) == 0) return false;
  const UINT device = WTI_DEVICES + context.lcDevice;
  uint32_t packetData = 0;
  uint32_t cursorData = 0;
  WTInfoA(device, DVC_PKTDATA, &packetData);
  WTInfoA(device, DVC_CSRDATA, &cursorData);
  return ((packetData | cursorData) & PK_NORMAL_PRESSURE) != 0;
}

PACKET TabletPacketFromEvent(const QTabletEvent& e, uint32_t time, int screenHeight) {
  PACKET p{};
  p.pkStatus = g_inProximity ? 0 : TPS_PROXIMITY;
  p.pkTime = time;
  const bool eraser = e.pointerType() == QPointingDevice::PointerType::Eraser;
  p.pkCursor = eraser ? kTabletCursorEraser : kTabletCursorPen;
  const Qt::MouseButtons b = e.buttons();
  p.pkButtons = ((b & Qt::LeftButton) ? 1u : 0u) | ((b & Qt::RightButton) ? 2u : 0u) |
                ((b & Qt::MiddleButton) ? 4u : 0u);
  const QPointF g = e.globalPosition();
  p.pkX = static_cast<int32_t>(std::lround(g.x() * kTabletUnitsPerPixel));
  p.pkY = static_cast<int32_t>(std::lround((screenHeight - g.y()) * kTabletUnitsPerPixel));
  const double pressure = std::clamp(e.pressure(), 0.0, 1.0);
  p.pkNormalPressure = static_cast<uint32_t>(std::lround(pressure * kTabletMaxPressure));
  // The pen's angle from the vertical from its two tilts (degrees):
  // tan^2 of it is the sum of the tilts' tan^2.
  constexpr double kDegrees = 3.14159265358979323846 / 180.0;
  const double tx = std::tan(std::clamp(e.xTilt(), -89.0, 89.0) * kDegrees);
  const double ty = std::tan(std::clamp(e.yTilt(), -89.0, 89.0) * kDegrees);
  const double fromVertical = std::atan(std::hypot(tx, ty)) / kDegrees;
  int32_t altitude = static_cast<int32_t>(std::lround((90.0 - fromVertical) * 10.0));
  altitude = std::clamp(altitude, 0, 900);
  p.pkOrientation.orAltitude = eraser ? -std::max(altitude, 1) : altitude;
  return p;
}

void TabletNoteEvent(const QTabletEvent& e, const QScreen* screen) {
  SetTabletPresent(true);
  g_inProximity = true;  // an event comes only from a pen near the tablet
  const int screenH = screen != nullptr ? screen->geometry().height() : 0;
  g_last = TabletPacketFromEvent(e, GetInputSource().GetTickCount(), screenH);
  TabletQueuePacket(g_last);
}

void TabletNoteProximity(bool inProximity) {
  if (inProximity) {
    SetTabletPresent(true);
    g_inProximity = true;
    return;
  }
  g_inProximity = false;
  if (!g_present) return;
  PACKET p = g_last;
  p.pkStatus = TPS_PROXIMITY;
  p.pkTime = GetInputSource().GetTickCount();
  p.pkButtons = 0;
  p.pkNormalPressure = 0;
  TabletQueuePacket(p);
}

bool IsTabletInProximity() {
  return g_present && g_inProximity;
}

namespace {

class ProximityFilter : public QObject {
 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (obj == qApp) {
      if (e->type() == QEvent::TabletEnterProximity) TabletNoteProximity(true);
      if (e->type() == QEvent::TabletLeaveProximity) TabletNoteProximity(false);
    }
    return false;
  }
};

}  // namespace

void InstallTabletProximityFilter() {
  static ProximityFilter* filter = nullptr;
  if (filter != nullptr || qApp == nullptr) return;
  filter = new ProximityFilter;
  filter->setParent(qApp);  // goes with the application
  qApp->installEventFilter(filter);
}

void TabletQueuePacket(const PACKET& packet) {
  for (auto& c : g_contexts) {
    if (!c->enabled) continue;
    if (c->queue.size() >= kTabletQueueSize) c->queue.pop_front();
    c->queue.push_back(packet);
  }
}

void UnloadWintab() {
  g_contexts.clear();
  g_present = false;
  g_inProximity = true;
  g_last = PACKET{};
}
