#include "image_surface.h"

#include <QFontMetrics>
#include <QPainter>

ImageSurface::ImageSurface()
    : image_(reinterpret_cast<uchar*>(bits()), kWidth, kHeight, kWidth * 4, QImage::Format_RGB32) {
  font_.setPixelSize(11);
  font_.setStyleStrategy(QFont::NoAntialias);  // exact colours, as every other pixel here
}

void ImageSurface::textOut(int x, int y, const QString& text) {
  QPainter painter(&image_);
  painter.setFont(font_);
  const QFontMetrics metrics(font_);
  const QRect box(x, y, metrics.horizontalAdvance(text), metrics.height());
  painter.fillRect(box, Qt::white);
  painter.setPen(QColor(0x000000 | penColor()));
  painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
}
