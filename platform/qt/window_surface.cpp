#include "platform/qt/window_surface.h"

#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <cstring>

namespace {

QRect ToQRect(const CRect& r) {
  return QRect(r.left, r.top, r.Width(), r.Height());
}

}  // namespace

CWindowSurface::CWindowSurface(QWidget* widget) : m_widget(widget) {
  if (widget) {
    widget->setAttribute(Qt::WA_OpaquePaintEvent);
    widget->setAttribute(Qt::WA_NoSystemBackground);
    widget->installEventFilter(this);
    Resize(widget->width(), widget->height());
  }
}

CWindowSurface::~CWindowSurface() {
  if (m_widget) m_widget->removeEventFilter(this);
}

void CWindowSurface::Resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == m_image.width() && height == m_image.height() && !m_image.isNull()) return;
  QImage next(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  next.fill(0xFFFFFFFF);
  if (width == 0 || height == 0) next = QImage(width, height, QImage::Format_RGB32);
  const int keepW = std::min(width, m_image.width());
  const int keepH = std::min(height, m_image.height());
  for (int y = 0; y < keepH; ++y) {
    std::memcpy(next.scanLine(y), m_image.constScanLine(y), static_cast<size_t>(keepW) * 4);
  }
  QRegion fresh(0, 0, width, height);
  fresh -= QRegion(0, 0, keepW, keepH);
  m_image = std::move(next);
  m_invalid &= QRegion(0, 0, width, height);
  InvalidateRegion(fresh);
}

void CWindowSurface::Invalidate(const CRect& rect) {
  FollowWidget();
  InvalidateRegion(QRegion(ToQRect(rect)));
}

void CWindowSurface::InvalidateAll() {
  FollowWidget();
  InvalidateRegion(QRegion(m_image.rect()));
}

void CWindowSurface::InvalidateRegion(const QRegion& region) {
  QRegion r = region & QRegion(m_image.rect());
  if (r.isEmpty()) return;
  m_invalid += r;
  if (m_widget) m_widget->update(r);
}

void CWindowSurface::Validate(const CRect& rect) {
  m_invalid -= QRegion(ToQRect(rect));
}

void CWindowSurface::ValidateAll() {
  m_invalid = QRegion();
}

void CWindowSurface::UpdateNow() {
  if (!m_widget || m_invalid.isEmpty()) return;
  m_widget->repaint(m_invalid);
}

void CWindowSurface::Flush(const CRect& changed) {
  FollowWidget();
  QRect r = ToQRect(changed) & m_image.rect();
  if (r.isEmpty()) return;
  if (m_deferred > 0) {
    m_pending |= r;
    return;
  }
  Repaint(r);
}

void CWindowSurface::EndDeferFlush() {
  if (m_deferred > 0 && --m_deferred == 0 && !m_pending.isEmpty()) {
    QRect r = m_pending;
    m_pending = QRect();
    Repaint(r);
  }
}

void CWindowSurface::Repaint(const QRect& rect) {
  ++m_flushCount;
  if (!m_widget || !m_widget->isVisible()) return;
  ++m_flushing;
  m_widget->repaint(rect);
  --m_flushing;
  // A synchronous repaint also takes Qt's pending updates; the paint handler
  // did not run for them, so they are asked for again.
  if (!m_invalid.isEmpty()) m_widget->update(m_invalid);
}

void CWindowSurface::CopyToScreen(const QRegion& region) {
  if (!m_widget) return;
  QPainter painter(m_widget);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (const QRect& r : region) painter.drawImage(r.topLeft(), m_image, r);
}

QRegion ScrollImagePixels(QImage& image, int dx, int dy, const QRect& scroll, const QRect& clip) {
  const QRect area = scroll & clip & image.rect();
  if (area.isEmpty()) return QRegion();
  // Source pixels that land inside the area.
  QRect src = scroll.intersected(area.translated(-dx, -dy)) & image.rect();
  QRect dst = src.translated(dx, dy);
  QRegion uncovered(area);
  if (!src.isEmpty()) {
    const int bpp = image.depth() / 8;
    const int rowBytes = src.width() * bpp;
    // Copy rows in the order that never reads a row already overwritten.
    if (dy > 0) {
      for (int y = src.height() - 1; y >= 0; --y) {
        std::memmove(image.scanLine(dst.top() + y) + dst.left() * bpp,
                     image.constScanLine(src.top() + y) + src.left() * bpp, rowBytes);
      }
    } else {
      for (int y = 0; y < src.height(); ++y) {
        std::memmove(image.scanLine(dst.top() + y) + dst.left() * bpp,
                     image.constScanLine(src.top() + y) + src.left() * bpp, rowBytes);
      }
    }
    uncovered -= QRegion(dst);
  }
  return uncovered;
}

QRegion CWindowSurface::ScrollWindow(int dx, int dy, const CRect* scroll, const CRect* clip) {
  FollowWidget();
  const QRect s = scroll ? ToQRect(*scroll) & m_image.rect() : m_image.rect();
  const QRect c = clip ? ToQRect(*clip) & m_image.rect() : m_image.rect();
  QRegion uncovered = ScrollImagePixels(m_image, dx, dy, s, c);
  // Invalid parts inside the scrolled area move with the pixels.
  QRegion inside = m_invalid & QRegion(s);
  if (!inside.isEmpty()) {
    m_invalid -= inside;
    m_invalid += inside.translated(dx, dy) & QRegion(s & c);
  }
  Flush(CRect(s.left(), s.top(), s.right() + 1, s.bottom() + 1));
  InvalidateRegion(uncovered);
  return uncovered;
}

bool CWindowSurface::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_widget && event->type() == QEvent::Resize) {
    const QSize size = static_cast<QResizeEvent*>(event)->size();
    Resize(size.width(), size.height());
  }
  return false;
}
