// The scroll view base: a view that scrolls in device pixels. The drawing
// view maps its document to pixels itself and gives this class the
// scrollable size; the window scroll bars follow it (the range and page
// rules of the old system: a page of p pixels and a range 0..total-1 leave
// positions 0..total-p).
#pragma once

#include "platform/qt/frame.h"

class CSScrollView : public CView {
  VM_DECLARE_DYNAMIC(CSScrollView)

 public:
  CSScrollView() = default;

  // Stores the sizes (pixels) and, once the window exists, updates the bars.
  void SetScrollSizes(int totalCx, int totalCy, int pageCx, int pageCy, int lineCx, int lineCy);
  CPoint GetScrollPosition() const;
  void GetDeviceScrollSizes(CSize& total, CSize& page, CSize& line) const;
  // Clamped to the scroll limits (0 on an axis without a bar).
  void ScrollToPosition(CPoint pt);
  // Sets both positions as given and scrolls the contents by the change.
  void ScrollToDevicePosition(CPoint pt);
  // Sizes the parent frame so that the client area equals the total size
  // (with shrinkOnly never larger than now); its position stays.
  void ResizeParentToFit(bool shrinkOnly = true);
  // Shows, hides and sets the bars for the client and total sizes.
  void UpdateBars();

  // code: the horizontal action in the low byte, the vertical one in the
  // high byte (0xFF: none); pos: the thumb's position for thumb tracking.
  virtual bool OnScroll(UINT code, int pos, bool doScroll = true);
  // Moves by delta within the limits (not on an axis without a bar); false
  // when nothing moved; doScroll false only asks.
  virtual bool OnScrollBy(CSize delta, bool doScroll = true);

 protected:
  void OnSize(UINT type, int cx, int cy) override;
  void OnHScroll(UINT code, UINT pos, CWnd* scrollBar) override;
  void OnVScroll(UINT code, UINT pos, CWnd* scrollBar) override;

 private:
  CSize BarSizes() const;
  // The client size with the window scroll bars shown now taken away;
  // false when it is not larger than the bars.
  bool TrueClientSize(CSize& client) const;

  CSize m_total;
  CSize m_page;
  CSize m_line;
  bool m_inUpdate = false;
};
