#pragma once

#include <QString>
#include <cstdint>
#include <initializer_list>
#include <vector>

/// A colour as 0xRRGGBB.
using Rgb = uint32_t;

namespace colors {
inline constexpr Rgb kBlack = 0x000000;
inline constexpr Rgb kWhite = 0xFFFFFF;
inline constexpr Rgb kGrid = 0xCCCCCC;
inline constexpr Rgb kRed = 0xFF0000;
inline constexpr Rgb kBlue = 0x0000FF;
inline constexpr Rgb kGreen = 0x008000;
inline constexpr Rgb kPurple = 0x800080;
inline constexpr Rgb kMagenta = 0xFF00FF;
}  // namespace colors

struct SurfacePoint {
  int x;
  int y;
};

/// The drawing operations the monitor needs. Rectangles are given by their corners with the right
/// and bottom edges exclusive; a line's end point is not painted. The brush is always white.
class Surface {
 public:
  static constexpr int kWidth = 640;
  static constexpr int kHeight = 480;

  virtual ~Surface() = default;
  /// Fills (left, top)-(right, bottom) with the brush.
  virtual void fillRect(int left, int top, int right, int bottom) = 0;
  /// A 1-pixel outline in the pen colour, the interior filled with the brush.
  virtual void rectangle(int left, int top, int right, int bottom) = 0;
  /// Connected segments in the pen colour and style; the last point is not painted.
  virtual void polyline(std::initializer_list<SurfacePoint> points) = 0;
  virtual void setPixel(int x, int y, Rgb color) = 0;
  /// A channel mark: four neighbours of (x, y) in `color` (the diagonal ones when `diagonal`,
  /// else the orthogonal ones), then (x, y) itself in black.
  virtual void mark(int x, int y, Rgb color, bool diagonal);
  /// Text with its top-left corner at (x, y), opaque on the brush colour.
  virtual void textOut(int x, int y, const QString& text) = 0;
  virtual Rgb penColor() const = 0;
  virtual void setPenColor(Rgb color) = 0;
  virtual void setPenDotted(bool dotted) = 0;
  /// Places the surface in its window's client area.
  virtual void place(int left, int top, int width, int height) = 0;
};

/// A surface over a 640 x 480 buffer of 0xFFRRGGBB pixels, written directly (no per-pixel
/// painter calls). Text is left to a subclass that has a font rasterizer.
class PixelSurface : public Surface {
 public:
  PixelSurface();
  void fillRect(int left, int top, int right, int bottom) override;
  void rectangle(int left, int top, int right, int bottom) override;
  void polyline(std::initializer_list<SurfacePoint> points) override;
  void setPixel(int x, int y, Rgb color) override {
    if (static_cast<unsigned>(x) < kWidth && static_cast<unsigned>(y) < kHeight) {
      pixels_[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] = 0xFF000000u | color;
    }
  }
  Rgb penColor() const override { return penColor_; }
  void setPenColor(Rgb color) override { penColor_ = color; }
  void setPenDotted(bool dotted) override { penDotted_ = dotted; }
  /// The window lays the surface out at its fixed place and size; nothing to do here.
  void place(int, int, int, int) override {}

  /// Written straight into the buffer; the same pixels as Surface::mark.
  void mark(int x, int y, Rgb color, bool diagonal) final {
    if (static_cast<unsigned>(x - 1) < kWidth - 2 && static_cast<unsigned>(y - 1) < kHeight - 2) {
      uint32_t* centre = pixels_.data() + static_cast<size_t>(y) * kWidth + x;
      const uint32_t pixel = 0xFF000000u | color;
      if (diagonal) {
        centre[-kWidth - 1] = centre[-kWidth + 1] = centre[kWidth - 1] = centre[kWidth + 1] = pixel;
      } else {
        centre[-kWidth] = centre[kWidth] = centre[-1] = centre[1] = pixel;
      }
      *centre = 0xFF000000u;
    } else {
      Surface::mark(x, y, color, diagonal);  // near or beyond the edges: clipped pixel by pixel
    }
  }
  /// The colour of one pixel as 0xRRGGBB (white outside the surface).
  Rgb pixel(int x, int y) const;
  uint32_t* bits() { return pixels_.data(); }
  const uint32_t* bits() const { return pixels_.data(); }

 private:
  void line(SurfacePoint from, SurfacePoint to, int& patternIndex);
  std::vector<uint32_t> pixels_;
  Rgb penColor_ = colors::kBlack;
  bool penDotted_ = false;
};

/// A surface that discards text, for drawing without a window system.
class TextlessPixelSurface : public PixelSurface {
 public:
  void textOut(int x, int y, const QString& text) override {
    texts.push_back(text);
    textPlaces.push_back({x, y});
  }
  std::vector<QString> texts;
  std::vector<SurfacePoint> textPlaces;
};
