#include "platform/qt/cursors.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPixmap>
#include <map>
#include <memory>
#include <set>

#include "platform/qt/resources.h"

#include "platform/qt/resources.h"

namespace {

struct CursorState {
  std::map<int, std::unique_ptr<CCursor>> standard;
  std::map<int, std::unique_ptr<CCursor>> program;
  std::set<HCURSOR> made;  // by CreateCursor, not yet destroyed
  HCURSOR current = nullptr;
  bool current_set = false;  // SetCursor was called since the last release
  bool override_active = false;
};

CursorState& State() {
  static CursorState* state = new CursorState;  // lives as long as the process
  return *state;
}

void Apply() {
  CursorState& s = State();
  if (!QGuiApplication::instance()) return;
  if (!s.current_set) {
    if (s.override_active) QGuiApplication::restoreOverrideCursor();
    s.override_active = false;
    return;
  }
  const QCursor want = s.current ? s.current->Cursor() : QCursor(Qt::BlankCursor);
  if (s.override_active) {
    QGuiApplication::changeOverrideCursor(want);
  } else {
    QGuiApplication::setOverrideCursor(want);
    s.override_active = true;
  }
}

}  // namespace

const QCursor& CCursor::Cursor() const {
  if (!m_picture.isNull() && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    m_cursor = QCursor(QPixmap::fromImage(m_picture), m_hotSpot.x, m_hotSpot.y);
    m_picture = QImage();
  }
  return m_cursor;
}

HCURSOR LoadStandardCursor(int id) {
  Qt::CursorShape shape;
  switch (id) {
    case IDC_ARROW:
      shape = Qt::ArrowCursor;
      break;
    case IDC_IBEAM:
      shape = Qt::IBeamCursor;
      break;
    case IDC_WAIT:
      shape = Qt::WaitCursor;
      break;
    case IDC_CROSS:
      shape = Qt::CrossCursor;
      break;
    case IDC_UPARROW:
      shape = Qt::UpArrowCursor;
      break;
    case IDC_SIZENWSE:
      shape = Qt::SizeFDiagCursor;
      break;
    case IDC_SIZENESW:
      shape = Qt::SizeBDiagCursor;
      break;
    case IDC_SIZEWE:
      shape = Qt::SizeHorCursor;
      break;
    case IDC_SIZENS:
      shape = Qt::SizeVerCursor;
      break;
    case IDC_SIZEALL:
      shape = Qt::SizeAllCursor;
      break;
    case IDC_NO:
      shape = Qt::ForbiddenCursor;
      break;
    case IDC_HAND:
      shape = Qt::PointingHandCursor;
      break;
    case IDC_APPSTARTING:
      shape = Qt::BusyCursor;
      break;
    default:
      return nullptr;
  }
  auto& slot = State().standard[id];
  if (!slot) slot = std::make_unique<CCursor>(QCursor(shape), id);
  return slot.get();
}

namespace {

// The picture of a resource cursor: AND 1 / XOR 0 transparent, 0 / 0 black,
// 0 / 1 white, 1 / 1 (the inverted screen) black. Null for masks too short.
QImage CursorImage(const CursorDef& def) {
  if (def.width <= 0 || def.height <= 0 || def.width > 256 || def.height > 256) return {};
  const size_t rowBytes = static_cast<size_t>(def.width + 7) / 8;
  const size_t need = rowBytes * static_cast<size_t>(def.height);
  if (def.and_mask.size() < need || def.xor_mask.size() < need) return {};
  QImage image(def.width, def.height, QImage::Format_ARGB32);
  for (int y = 0; y < def.height; ++y) {
    for (int x = 0; x < def.width; ++x) {
      const size_t at = static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x / 8);
      const int shift = 7 - x % 8;
      const bool a = def.and_mask[at] >> shift & 1, xr = def.xor_mask[at] >> shift & 1;
      image.setPixel(x, y, a && !xr ? 0u : (!a && xr ? 0xFFFFFFFFu : 0xFF000000u));
    }
  }
  return image;
}

}  // namespace

HCURSOR LoadCursor(int resourceId) {
  auto& table = State().program;
  auto it = table.find(resourceId);
  if (it != table.end()) return it->second.get();
  // Made once from the resource store's masks.
  if (const CursorDef* def = Resources().FindCursor(static_cast<UINT>(resourceId))) {
    const QImage image = CursorImage(*def);
    if (!image.isNull()) {
      RegisterProgramCursor(resourceId, image, def->hot_spot);
      return table[resourceId].get();
    }
  }
  return LoadStandardCursor(IDC_ARROW);
}

bool HasProgramCursor(int resourceId) {
  return State().program.count(resourceId) != 0;
}

void RegisterProgramCursor(int resourceId, const QImage& image, CPoint hotSpot) {
  auto cursor = std::make_unique<CCursor>(image, hotSpot, resourceId);
  CursorState& s = State();
  auto& slot = s.program[resourceId];
  if (slot && s.current == slot.get()) {
    s.current = cursor.get();
    slot = std::move(cursor);
    Apply();
    return;
  }
  slot = std::move(cursor);
}

HCURSOR CreateCursor(int hotX, int hotY, int width, int height, const uint8_t* andMask,
                     const uint8_t* xorMask) {
  if (width <= 0 || height <= 0 || width > 256 || height > 256 || !andMask || !xorMask)
    return nullptr;
  // Qt's masks: bitmap 1 and mask 1 black, 0 and 1 white, 0 and 0
  // transparent, 1 and 0 inverted.
  QImage bitmap(width, height, QImage::Format_Mono), mask(width, height, QImage::Format_Mono);
  bitmap.setColorTable({0xFFFFFFFFu, 0xFF000000u});
  mask.setColorTable({0xFFFFFFFFu, 0xFF000000u});
  const int rowBytes = (width + 15) / 16 * 2;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t at = static_cast<size_t>(y) * rowBytes + x / 8;
      const int shift = 7 - x % 8;
      const bool a = andMask[at] >> shift & 1, xr = xorMask[at] >> shift & 1;
      bitmap.setPixel(x, y, a == xr ? 1 : 0);
      mask.setPixel(x, y, a ? 0 : 1);
    }
  }
  auto* made =
      new CCursor(QCursor(QBitmap::fromImage(bitmap), QBitmap::fromImage(mask), hotX, hotY));
  State().made.insert(made);
  return made;
}

bool DestroyCursor(HCURSOR cursor) {
  CursorState& s = State();
  // Loaded cursors are shared; a cursor destroyed before is not touched.
  if (!cursor || s.made.erase(cursor) == 0) return false;
  if (s.current == cursor) {
    s.current = nullptr;
    s.current_set = false;
    Apply();
  }
  delete cursor;
  return true;
}

HCURSOR SetCursor(HCURSOR cursor) {
  CursorState& s = State();
  HCURSOR old = s.current;
  s.current = cursor;
  s.current_set = true;
  Apply();
  return old;
}

HCURSOR GetCursor() {
  return State().current;
}

void ReleaseCursorOverride() {
  State().current = nullptr;
  State().current_set = false;
  Apply();
}

bool IsCursorAlive(HCURSOR cursor) {
  if (!cursor) return false;
  const CursorState& s = State();
  if (s.made.count(cursor)) return true;
  for (const auto* table : {&s.standard, &s.program})
    for (const auto& [id, entry] : *table)
      if (entry.get() == cursor) return true;
  return false;
}
