#include "surface.h"

#include <algorithm>
#include <cstdlib>

void Surface::mark(int x, int y, Rgb color, bool diagonal) {
  if (diagonal) {
    setPixel(x - 1, y - 1, color);
    setPixel(x + 1, y + 1, color);
    setPixel(x - 1, y + 1, color);
    setPixel(x + 1, y - 1, color);
  } else {
    setPixel(x, y - 1, color);
    setPixel(x, y + 1, color);
    setPixel(x - 1, y, color);
    setPixel(x + 1, y, color);
  }
  setPixel(x, y, colors::kBlack);
}

PixelSurface::PixelSurface() : pixels_(static_cast<size_t>(kWidth * kHeight), 0xFFFFFFFFu) {}

void PixelSurface::fillRect(int left, int top, int right, int bottom) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, kWidth);
  bottom = std::min(bottom, kHeight);
  for (int y = top; y < bottom; ++y) {
    std::fill(pixels_.begin() + y * kWidth + left, pixels_.begin() + y * kWidth + right,
              0xFFFFFFFFu);
  }
}

void PixelSurface::rectangle(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  fillRect(left + 1, top + 1, right - 1, bottom - 1);
  for (int x = left; x < right; ++x) {
    setPixel(x, top, penColor_);
    setPixel(x, bottom - 1, penColor_);
  }
  for (int y = top; y < bottom; ++y) {
    setPixel(left, y, penColor_);
    setPixel(right - 1, y, penColor_);
  }
}

void PixelSurface::line(SurfacePoint from, SurfacePoint to, int& patternIndex) {
  // Bresenham; the end point is left out, a dotted pen paints every other pixel.
  const int dx = std::abs(to.x - from.x);
  const int dy = -std::abs(to.y - from.y);
  const int stepX = from.x < to.x ? 1 : -1;
  const int stepY = from.y < to.y ? 1 : -1;
  int error = dx + dy;
  int x = from.x;
  int y = from.y;
  while (x != to.x || y != to.y) {
    if (!penDotted_ || patternIndex % 2 == 0) setPixel(x, y, penColor_);
    ++patternIndex;
    const int doubled = 2 * error;
    if (doubled >= dy) {
      error += dy;
      x += stepX;
    }
    if (doubled <= dx) {
      error += dx;
      y += stepY;
    }
  }
}

void PixelSurface::polyline(std::initializer_list<SurfacePoint> points) {
  int patternIndex = 0;
  const SurfacePoint* const begin = points.begin();
  for (size_t i = 1; i < points.size(); ++i) line(begin[i - 1], begin[i], patternIndex);
}

Rgb PixelSurface::pixel(int x, int y) const {
  if (static_cast<unsigned>(x) >= kWidth || static_cast<unsigned>(y) >= kHeight) {
    return colors::kWhite;
  }
  return pixels_[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] & 0xFFFFFFu;
}
