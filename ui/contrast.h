#pragma once

#include <QColor>

/// The contrast of two colours as the accessibility guidelines define it (1 to 21).
double contrastRatio(const QColor& first, const QColor& second);
/// `hue`, or the nearest shade of it that reads at a contrast of at least 4.5:1 on `background`.
QColor readableColor(const QColor& hue, const QColor& background);
/// A grey that reads at a contrast of at least 4.5:1 on `background`.
QColor readableGrey(const QColor& background);
