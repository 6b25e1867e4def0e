// A window's backing surface: a 32-bit image that holds every pixel of the
// window. Device contexts draw into it; the window's paint event copies it to
// the screen. Drawing outside a paint event is shown at once by a synchronous
// repaint of the changed rectangle, so immediate and XOR feedback drawing
// reaches the screen as it is drawn.
//
// The surface also keeps the window's invalid region (what its paint handler
// still has to draw). The window's paint event does:
//
//   if (surface.NeedsPaint() && !surface.Flushing()) { run the paint handler,
//     which draws through a CPaintDC (clipped to the invalid region, which it
//     validates) }
//   surface.CopyToScreen(event->region());
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include "platform/qt/win_types.h"

class CWindowSurface : public QObject {
 public:
  // A surface of the widget's size, following its resizes (the new area is
  // white and invalid). The widget is marked opaque: the surface paints all
  // of it. The widget must outlive nothing here; a destroyed widget leaves a
  // surface that draws but never repaints.
  explicit CWindowSurface(QWidget* widget);
  ~CWindowSurface() override;
  CWindowSurface(const CWindowSurface&) = delete;
  CWindowSurface& operator=(const CWindowSurface&) = delete;

  QWidget* Widget() const { return m_widget; }
  // The pixels (QImage::Format_RGB32). Tests read the window's picture here.
  QImage& Image() {
    FollowWidget();
    return m_image;
  }
  int Width() {
    FollowWidget();
    return m_image.width();
  }
  int Height() {
    FollowWidget();
    return m_image.height();
  }
  // Sets the size (done by itself when the widget's size changed); the pixels
  // that stay keep their place, new pixels are white and invalid.
  void Resize(int width, int height);

  // The invalid region: added to by Invalidate, cleared by Validate (a
  // CPaintDC validates what it was clipped to when it ends).
  void Invalidate(const CRect& rect);
  void InvalidateAll();
  void InvalidateRegion(const QRegion& region);
  void Validate(const CRect& rect);
  void ValidateAll();
  const QRegion& InvalidRegion() const { return m_invalid; }
  bool NeedsPaint() const { return !m_invalid.isEmpty(); }
  // Asks Qt to deliver a paint event for the invalid region now (the old
  // UpdateWindow): the paint handler runs before this returns when the
  // widget is visible.
  void UpdateNow();

  // Shows the changed rectangle now (a synchronous repaint that only copies
  // pixels). Inside a deferral (below) the rectangle is collected and shown
  // when the outermost deferral ends.
  void Flush(const CRect& changed);
  // True while Flush repaints: the paint event must only copy pixels.
  bool Flushing() const { return m_flushing > 0; }
  // Collects flushes until the matching EndDeferFlush (nestable).
  void BeginDeferFlush() { ++m_deferred; }
  void EndDeferFlush();

  // Copies the backing pixels of the region to the widget. Call it from the
  // widget's paint event only.
  void CopyToScreen(const QRegion& region);

  // Moves the pixels of scroll (default: the whole surface) by (dx, dy),
  // keeping them inside clip (default: the whole surface); the invalid region
  // inside scroll moves with them; the area left uncovered is invalidated and
  // returned. The moved pixels are shown at once.
  QRegion ScrollWindow(int dx, int dy, const CRect* scroll = nullptr, const CRect* clip = nullptr);

  // How many synchronous repaints Flush asked for (tests).
  int FlushCount() const { return m_flushCount; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Repaint(const QRect& rect);
  // Qt holds back resize events of hidden widgets: the size is compared on
  // every access as well.
  void FollowWidget() {
    if (m_widget && m_widget->size() != m_image.size())
      Resize(m_widget->width(), m_widget->height());
  }

  QPointer<QWidget> m_widget;
  QImage m_image;
  QRegion m_invalid;
  QRect m_pending;
  int m_deferred = 0;
  int m_flushing = 0;
  int m_flushCount = 0;
};

// Scrolls the pixels of an image inside `scroll` by (dx, dy), keeping the
// destination inside `clip` (both already cut to the image). Returns the part
// of scroll & clip that no moved pixel covers.
QRegion ScrollImagePixels(QImage& image, int dx, int dy, const QRect& scroll, const QRect& clip);

// Defers the surface's flushes for a scope.
class CDeferFlush {
 public:
  explicit CDeferFlush(CWindowSurface* surface) : m_surface(surface) {
    if (m_surface) m_surface->BeginDeferFlush();
  }
  ~CDeferFlush() {
    if (m_surface) m_surface->EndDeferFlush();
  }
  CDeferFlush(const CDeferFlush&) = delete;
  CDeferFlush& operator=(const CDeferFlush&) = delete;

 private:
  CWindowSurface* m_surface;
};
