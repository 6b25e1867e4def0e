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

CWindowSurface::CWindowSurface(QWidget* widget) : widget_(widget) {
  if (widget) {
    widget->setAttribute(Qt::WA_OpaquePaintEvent);
    widget->setAttribute(Qt::WA_NoSystemBackground);
    widget->installEventFilter(this);
    Resize(widget->width(), widget->height());
  }
}

CWindowSurface::~CWindowSurface() {
  if (widget_) widget_->removeEventFilter(this);
}

void CWindowSurface::Resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == image_.width() && height == image_.height() && !image_.isNull()) return;
  QImage next(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  next.fill(0xFFFFFFFF);
  if (width == 0 || height == 0) next = QImage(width, height, QImage::Format_RGB32);
  const int keepW = std::min(width, image_.width());
  const int keepH = std::min(height, image_.height());
  for (int y = 0; y < keepH; ++y) {
    std::memcpy(next.scanLine(y), image_.constScanLine(y), static_cast<size_t>(keepW) * 4);
  }
  QRegion fresh(0, 0, width, height);
  fresh -= QRegion(0, 0, keepW, keepH);
  image_ = std::move(next);
  invalid_ &= QRegion(0, 0, width, height);
  InvalidateRegion(fresh);
}

void CWindowSurface::Invalidate(const CRect& rect) {
  FollowWidget();
  InvalidateRegion(QRegion(ToQRect(rect)));
}

void CWindowSurface::InvalidateAll() {
  FollowWidget();
  InvalidateRegion(QRegion(image_.rect()));
}

void CWindowSurface::InvalidateRegion(const QRegion& region) {
  QRegion r = region & QRegion(image_.rect());
  if (r.isEmpty()) return;
  invalid_ += r;
  if (widget_) widget_->update(r);
}

void CWindowSurface::Validate(const CRect& rect) {
  invalid_ -= QRegion(ToQRect(rect));
}

void CWindowSurface::ValidateAll() {
  invalid_ = QRegion();
}

void CWindowSurface::UpdateNow() {
  if (!widget_ || invalid_.isEmpty()) return;
  widget_->repaint(invalid_);
}

void CWindowSurface::Flush(const CRect& changed) {
  FollowWidget();
  QRect r = ToQRect(changed) & image_.rect();
  if (r.isEmpty()) return;
  if (deferred_ > 0) {
    pending_ |= r;
    return;
  }
  Repaint(r);
}

void CWindowSurface::EndDeferFlush() {
  if (deferred_ > 0 && --deferred_ == 0 && !pending_.isEmpty()) {
    QRect r = pending_;
    pending_ = QRect();
    Repaint(r);
  }
}

void CWindowSurface::Repaint(const QRect& rect) {
  ++flushCount_;
  if (!widget_ || !widget_->isVisible()) return;
  ++flushing_;
  widget_->repaint(rect);
  --flushing_;
  // A synchronous repaint also takes Qt's pending updates; the paint handler
  // did not run for them, so they are asked for again.
  if (!invalid_.isEmpty()) widget_->update(invalid_);
}

void CWindowSurface::CopyToScreen(const QRegion& region) {
  if (!widget_) return;
  QPainter painter(widget_);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (const QRect& r : region) painter.drawImage(r.topLeft(), image_, r);
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
  const QRect s = scroll ? ToQRect(*scroll) & image_.rect() : image_.rect();
  const QRect c = clip ? ToQRect(*clip) & image_.rect() : image_.rect();
  QRegion uncovered = ScrollImagePixels(image_, dx, dy, s, c);
  // Invalid parts inside the scrolled area move with the pixels.
  QRegion inside = invalid_ & QRegion(s);
  if (!inside.isEmpty()) {
    invalid_ -= inside;
    invalid_ += inside.translated(dx, dy) & QRegion(s & c);
  }
  Flush(CRect(s.left(), s.top(), s.right() + 1, s.bottom() + 1));
  InvalidateRegion(uncovered);
  return uncovered;
}

bool CWindowSurface::eventFilter(QObject* watched, QEvent* event) {
  if (watched == widget_ && event->type() == QEvent::Resize) {
    const QSize size = static_cast<QResizeEvent*>(event)->size();
    Resize(size.width(), size.height());
  }
  return false;
}
