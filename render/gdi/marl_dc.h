// A client context of a window with the application palette selected (in
// the foreground) and realised, for drawing on a view outside its paint
// handler; the previous palette is selected back at the end.
#pragma once

#include "platform/qt/dc.h"

class CWnd;

class CMarlDC : public CClientDC {
 public:
  explicit CMarlDC(CWnd* window);
  ~CMarlDC() override;

 private:
  bool m_selected = false;
  CPalette* m_previous = nullptr;  // null when none was selected
};
