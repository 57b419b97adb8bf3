// The full redraw: every row of the time window, its marks placed exactly as the mapping rules
// place them, fast.
#include <algorithm>
#include <cmath>

#include "monitor.h"

namespace {
constexpr double kUnitRoundoff = 0x1p-53;
constexpr double kRoundingShift = 0x1.8p52;  // adding and subtracting it rounds ties to even

constexpr int32_t kNotDrawn = -1;          // NaN or outside the channel's visible range
constexpr int32_t kExactPathDecides = -2;  // too near a tie for the double computation

// A coordinate computed in double rounds to the same pixel as the long double rule when it is
// farther from a half than both computations can be from the true value. `errorBound` bounds
// the double computation's error; the long double one's is 2^11 times smaller. Returns the
// pixel's low 16 bits, as the drawing routines take coordinates, or kExactPathDecides. Within
// +-2^30 the 32-bit conversion is exact; beyond (and for NaN) the exact path decides. Written
// without a branch, so that a loop of it runs without mispredictions and may be vectorised.
inline int32_t certainPixel(double coordinate, double errorBound) {
  const double rounded = (coordinate + kRoundingShift) - kRoundingShift;
  const bool certain = (std::fabs(coordinate) < 0x1p30) &
                       (std::fabs(std::fabs(coordinate - rounded) - 0.5) > errorBound);
  const int32_t pixel = static_cast<int32_t>(certain ? rounded : 0.0) & 0xFFFF;
  return certain ? pixel : kExactPathDecides;
}

// The smallest double not below x, and the largest not above it.
double doubleAtOrAbove(long double x) {
  double d = static_cast<double>(x);
  if (static_cast<long double>(d) < x) d = std::nextafter(d, INFINITY);
  return d;
}
double doubleAtOrBelow(long double x) {
  double d = static_cast<double>(x);
  if (static_cast<long double>(d) > x) d = std::nextafter(d, -INFINITY);
  return d;
}

// One channel of a full redraw, set up once: its visible range as the doubles it holds, and the
// double form of valueToY with a bound on how far it can stray from the long double form.
struct ChannelPass {
  double low = 0;
  double high = 0;
  double origin = 0;
  double half = 0;
  double factor = 0;
  double errorBound = 0;
  Rgb color = 0;
  bool selected = false;
  bool diagonal = false;
};

constexpr int kRedrawBlock = 512;

// The loops below are compiled twice, the second time for AVX2 processors, chosen at the first
// call. Besides the wider vectors this matters for speed: after the C library's AVX-512 memset
// and memcpy, plain SSE code runs several times slower on some processors, VEX code does not.
#if defined(__x86_64__) && defined(__ELF__)
#define VELAN_FOR_EVERY_X86 __attribute__((target_clones("avx2", "default")))
#else
#define VELAN_FOR_EVERY_X86
#endif

// The x pixel of each of `count` row times.
VELAN_FOR_EVERY_X86 void pixelColumns(const double* times, int count, double timeOrigin,
                                      double timeFactor, int32_t* xs) {
  for (int i = 0; i < count; ++i) {
    const double t = times[i];
    const double coordinate = (t - timeOrigin) * timeFactor + plotLeft;
    const double bound = 8 * kUnitRoundoff *
                         (std::fabs(coordinate) +
                          4 * std::fabs(timeFactor) * (std::fabs(t) + std::fabs(timeOrigin)) + 1);
    xs[i] = certainPixel(coordinate, bound);
  }
}

// The y pixel of each of `count` values of a channel, or kNotDrawn.
VELAN_FOR_EVERY_X86 void pixelRows(const ChannelPass& pass, const double* values, int count,
                                   int32_t* ys) {
  // Locals, so that the stores to `ys` do not make the compiler load them again each time.
  const double low = pass.low;
  const double high = pass.high;
  const double origin = pass.origin;
  const double half = pass.half;
  const double factor = pass.factor;
  const double bound = pass.errorBound;
  for (int i = 0; i < count; ++i) {
    const double v = values[i];
    const int32_t pixel = certainPixel(((v - origin) - half) * factor + plotTop, bound);
    const bool drawn = (low <= v) & (v <= high);  // NaN: not drawn
    ys[i] = drawn ? pixel : kNotDrawn;
  }
}
}  // namespace

namespace {
// Each channel's mapping for one redraw (its selection read once, not once per row).
std::array<ChannelPass, kChannels + 1> channelPasses(const MonitorView& view,
                                                     const RecordFields& fields) {
  // Every mark is placed by the long double mapping with ties to even; a double computation
  // gives the same pixel wherever it is certain to, and the rest take the exact path.
  std::array<ChannelPass, kChannels + 1> channels{};
  for (size_t c = 1; c < channels.size(); ++c) {
    ChannelPass& pass = channels[c];
    pass.selected = fields.channelSelected(static_cast<int>(c));
    const long double half = 0.5L * view.span[c];
    pass.low = doubleAtOrAbove(view.origin[c] - half);
    pass.high = doubleAtOrBelow(view.origin[c] + half);
    pass.origin = view.origin[c];
    pass.half = 0.5 * view.span[c];
    pass.factor = view.factor[c];
    // Values in range satisfy |v| <= |origin| + |half| and give y within the frame: four
    // roundings, each at most one unit of the largest magnitude involved, with room to spare.
    pass.errorBound =
        8 * kUnitRoundoff *
        (plotBottom + 8 * std::fabs(pass.factor) * (std::fabs(pass.origin) + std::fabs(pass.half)) +
         1);
    pass.color = kChannelColors[c];
    pass.diagonal = c == 1 || c == 3;
    if (!(pass.low <= pass.high) || !std::isfinite(pass.errorBound)) pass.errorBound = INFINITY;
  }
  return channels;
}

// The last row a redraw from `row` draws: the first whose successor lies beyond the window.
int lastRowDrawnFrom(const RecordStore& store, const MonitorView& view, int row) {
  const long double windowEnd = (static_cast<long double>(view.origin[0]) + view.span[0]) * 60;
  // A double time lies beyond the window's end exactly when it lies beyond this double.
  const double lastTimeInWindow = doubleAtOrBelow(windowEnd);
  // From `row` to the first whose successor lies beyond the window's end.
  if (row > store.rowCount) return std::min(row, store.rowCount + 1) - 1;
  int lastRow = row;
  while (lastRow < store.rowCount && store.time[lastRow + 1] <= lastTimeInWindow) ++lastRow;
  return lastRow;
}
}  // namespace

RowSpan Monitor::visibleRows() const {
  const int first = firstRowAfterWindowStart();
  const long double start = view_.origin[0] * 60.0L;
  const long double end = (static_cast<long double>(view_.origin[0]) + view_.span[0]) * 60;
  if (store_.rowCount == 0 || store_.time[first] <= start || store_.time[first] > end) return {};
  return {first, lastRowDrawnFrom(store_, view_, first)};
}

void Monitor::redrawFrom(int row) {
  if (store_.rowCount <= 0) return;
  const bool plotMode = view_.displayMode == kPlot;
  const std::array<ChannelPass, kChannels + 1> channels = channelPasses(view_, fields_);
  const double timeOrigin = view_.origin[0] * 60.0;
  const double timeFactor = view_.factor[0];
  auto* pixels = dynamic_cast<PixelSurface*>(&surface_);
  QStringList listedNotes;
  row = std::max(row, 0);
  const int lastRow = lastRowDrawnFrom(store_, view_, row);

  // In blocks: first the pixel coordinates, in straight loops without branches that the
  // processor overlaps (and the compiler may vectorise), then the marks in the rule's order.
  int32_t xs[kRedrawBlock];
  int32_t ys[kChannels + 1][kRedrawBlock];
  for (int first = row; first <= lastRow; first += kRedrawBlock) {
    const int count = std::min(kRedrawBlock, lastRow - first + 1);
    pixelColumns(store_.time.data() + first, count, timeOrigin, timeFactor, xs);
    for (int c = 1; c <= kChannels; ++c) {
      const ChannelPass& pass = channels[c];
      if (pass.selected) {
        pixelRows(pass, store_.value[c].data() + first, count, ys[c]);
      } else {
        std::fill_n(ys[c], count, kNotDrawn);
      }
    }
    for (int i = 0; i < count; ++i) {
      const int r = first + i;
      const int x = xs[i] == kExactPathDecides ? timeToX(r) : xs[i];
      for (int c = 1; c <= kChannels; ++c) {
        const int32_t code = ys[c][i];
        if (code == kNotDrawn) continue;
        const int y = code == kExactPathDecides ? valueToY(c, store_.value[c][r]) : code;
        if (pixels) {
          pixels->mark(x, y, channels[c].color, channels[c].diagonal);  // final: no virtual call
        } else {
          surface_.mark(x, y, channels[c].color, channels[c].diagonal);
        }
      }
      if (table_.rowHasNote(r)) {
        if (plotMode) listedNotes.append(table_.cell(DataTable::kNotesColumn, r));
        drawNoteMarker(x);
      }
    }
  }
  // All at once: the notes window lays its text out once, not once per note.
  if (plotMode && notes_) notes_->showNotes(listedNotes);
}
