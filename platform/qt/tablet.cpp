#include "platform/qt/tablet.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

struct TabletContext {
  HWND hwnd = nullptr;
  LOGCONTEXTA context{};
  bool enabled = true;
  std::deque<PACKET> queue;
};

namespace {

bool g_present = false;
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
}
