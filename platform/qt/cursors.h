// Cursors: the system cursors by their ids, the program's own cursors by
// resource id (a table the resource store fills), cursors made from AND and
// XOR masks, the current cursor and the wait cursor.
//
// The current cursor is shown as the application's override cursor while
// one is set (the old system had one cursor for the whole screen, set by
// whichever window the mouse was over); ReleaseCursorOverride hands the
// cursor back to the widgets.
#pragma once

#include <QCursor>
#include <QImage>
#include <cstdint>

#include "platform/qt/win_types.h"

enum : int {
  IDC_ARROW = 32512,
  IDC_IBEAM = 32513,
  IDC_WAIT = 32514,
  IDC_CROSS = 32515,
  IDC_UPARROW = 32516,
  IDC_SIZENWSE = 32642,
  IDC_SIZENESW = 32643,
  IDC_SIZEWE = 32644,
  IDC_SIZENS = 32645,
  IDC_SIZEALL = 32646,
  IDC_NO = 32648,
  IDC_HAND = 32649,
  IDC_APPSTARTING = 32650,
};

class CCursor {
 public:
  explicit CCursor(QCursor cursor, int id = 0) : m_cursor(std::move(cursor)), m_id(id) {}
  // A cursor from a picture; it becomes a QCursor when first asked for with
  // a QGuiApplication running (pixmaps need one; resources may be
  // registered before it exists).
  CCursor(QImage picture, CPoint hotSpot, int id)
      : m_picture(std::move(picture)), m_hotSpot(hotSpot), m_id(id) {}
  const QCursor& Cursor() const;
  // The system or resource id it was loaded by (0 for made ones).
  int Id() const { return m_id; }

 private:
  mutable QCursor m_cursor;
  mutable QImage m_picture;  // until made into m_cursor
  CPoint m_hotSpot;
  int m_id;
};
using HCURSOR = CCursor*;

// A system cursor (IDC_...); null for unknown ids. Lives for the process.
HCURSOR LoadStandardCursor(int id);
// The program's cursor with that resource id: from the table, else made
// once from the resource store's cursor of that id; an id neither has gives
// the arrow (so a missing picture never hides the pointer). Lives for the
// process.
HCURSOR LoadCursor(int resourceId);
bool HasProgramCursor(int resourceId);
// Fills the program's table: a picture (transparent where alpha is 0) and
// its hot spot. Replaces an entry of the same id.
void RegisterProgramCursor(int resourceId, const QImage& image, CPoint hotSpot);
// A cursor from one-bit masks (rows padded to 16 bits, most significant bit
// first): AND 0 / XOR 0 black, 0 / 1 white, 1 / 0 transparent, 1 / 1 the
// screen inverted. The caller destroys it.
HCURSOR CreateCursor(int hotX, int hotY, int width, int height, const uint8_t* andMask,
                     const uint8_t* xorMask);
bool DestroyCursor(HCURSOR cursor);

// Makes the cursor current (null hides the pointer) and returns the
// previous one.
HCURSOR SetCursor(HCURSOR cursor);
// The cursor last set; null when none is set (or the pointer is hidden).
HCURSOR GetCursor();
// Drops the override: widgets show their own cursors again (the arrow
// unless a widget has its own); GetCursor answers null.
void ReleaseCursorOverride();
// False for null, destroyed and never-made handles (a remembered cursor may
// have been destroyed meanwhile).
bool IsCursorAlive(HCURSOR cursor);
