#pragma once

#include <QFont>
#include <QHash>
#include <QImage>

#include "surface.h"

/// The monitor's surface: a 640 x 480 pixel buffer shown as a QImage without copying; text is
/// rendered with QPainter, opaque on white.
class ImageSurface : public PixelSurface {
 public:
  ImageSurface();
  void textOut(int x, int y, const QString& text) override;
  /// The buffer as an image (shares the pixels).
  const QImage& image() const { return image_; }
  void setFont(const QFont& font) {
    font_ = font;
    textCache_.clear();
  }

 private:
  const QImage& renderedText(const QString& text);

  QImage image_;
  QFont font_;
  /// Rendered axis labels: the same few texts come back on every redraw.
  QHash<QString, QImage> textCache_;
  Rgb textCacheColor_ = colors::kBlack;
};
