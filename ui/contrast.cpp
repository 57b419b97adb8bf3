#include "contrast.h"

#include <algorithm>
#include <cmath>

double contrastRatio(const QColor& first, const QColor& second) {
  const auto luminance = [](const QColor& color) {
    const auto linear = [](double channel) {
      return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
  };
  const double a = luminance(first) + 0.05;
  const double b = luminance(second) + 0.05;
  return std::max(a, b) / std::min(a, b);
}

QColor readableColor(const QColor& hue, const QColor& background) {
  if (contrastRatio(hue, background) >= 4.5) return hue;
  // The same hue, darkened (lightened on a dark background) just enough to be read.
  const QColor hsl = hue.toHsl();
  const int step = background.lightness() >= 128 ? -1 : 1;
  for (int level = hsl.lightness(); level >= 0 && level <= 255; level += step) {
    const QColor shade = QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), level);
    if (contrastRatio(shade, background) >= 4.5) return shade;
  }
  return step < 0 ? QColor(Qt::black) : QColor(Qt::white);
}

QColor readableGrey(const QColor& background) {
  return readableColor(QColor(128, 128, 128), background);
}
