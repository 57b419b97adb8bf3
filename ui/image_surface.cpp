#include "image_surface.h"

#include <QFontMetrics>
#include <QPainter>

ImageSurface::ImageSurface()
    : image_(reinterpret_cast<uchar*>(bits()), kWidth, kHeight, kWidth * 4, QImage::Format_RGB32) {
  font_.setPixelSize(11);
  font_.setStyleStrategy(QFont::NoAntialias);  // exact colours, as every other pixel here
}

const QImage& ImageSurface::renderedText(const QString& text) {
  if (textCacheColor_ != penColor()) {
    textCache_.clear();
    textCacheColor_ = penColor();
  }
  auto found = textCache_.find(text);
  if (found != textCache_.end()) return *found;
  if (textCache_.size() > 512) textCache_.clear();  // labels of long sessions of stepping
  const QFontMetrics metrics(font_);
  QImage rendered(std::max(1, metrics.horizontalAdvance(text)), metrics.height(),
                  QImage::Format_RGB32);
  rendered.fill(Qt::white);
  QPainter painter(&rendered);
  painter.setFont(font_);
  painter.setPen(QColor(0x000000 | penColor()));
  painter.drawText(rendered.rect(), Qt::AlignLeft | Qt::AlignTop, text);
  painter.end();
  return *textCache_.insert(text, rendered);
}

void ImageSurface::textOut(int x, int y, const QString& text) {
  const QImage& rendered = renderedText(text);
  // Opaque: the text's box, white background included, is copied in, clipped at the surface.
  const int left = std::max(x, 0);
  const int right = std::min(x + rendered.width(), static_cast<int>(kWidth));
  if (left >= right) return;
  for (int row = std::max(y, 0); row < std::min(y + rendered.height(), static_cast<int>(kHeight));
       ++row) {
    const auto* source = reinterpret_cast<const uint32_t*>(rendered.constScanLine(row - y));
    std::copy(source + (left - x), source + (right - x), bits() + row * kWidth + left);
  }
}
