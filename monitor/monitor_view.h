#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

/// Which part of the record is visible and where values land. Axis 0 is time, 1..4 channels.
struct MonitorView {
  std::array<double, 5> origin{};  ///< window start (min) / channel midpoint (mV)
  std::array<double, 5> span{};    ///< window length (min) / channel scale (mV)
  std::array<double, 5> factor{};  ///< px per second / px per mV (negative)
  uint8_t displayMode = 0;         ///< 0 idle, 1 recording, 2 plot
  int32_t firstVisibleRow = 0;
};

enum DisplayMode : uint8_t { kIdle = 0, kRecording = 1, kPlot = 2 };

inline constexpr uint16_t plotLeft = 35;
inline constexpr uint16_t plotRight = 635;
inline constexpr uint16_t plotTop = 10;
inline constexpr uint16_t plotBottom = 450;

/// The monitor's label captions. The view parameters live here as the texts the labels show;
/// defineworlds parses them back into MonitorView.
class MonitorCaptions : public QObject {
  Q_OBJECT
 public:
  enum Id {
    TimeStart,
    TimeScale,
    Scale1,
    Scale2,
    Scale3,
    Scale4,
    Mid1,
    Mid2,
    Mid3,
    Mid4,
    Interval,
    Runtime,
    Value1,
    Value2,
    Value3,
    Value4,
    CursorTime,
    CursorValue,
    Count
  };

  MonitorCaptions();
  const QString& text(Id id) const { return texts_[id]; }
  void setText(Id id, const QString& text);

  static Id scale(int channel) { return static_cast<Id>(Scale1 + channel - 1); }
  static Id mid(int channel) { return static_cast<Id>(Mid1 + channel - 1); }
  static Id value(int channel) { return static_cast<Id>(Value1 + channel - 1); }

 signals:
  void changed(int id, const QString& text);

 private:
  std::array<QString, Count> texts_;
};

/// The position, bounds and wrap of an up-down control. A press returns the direction to report,
/// or nothing when the position could not move.
class UpDownLogic {
 public:
  enum class Direction { Up, Down };
  UpDownLogic(int minimum, int maximum, int position, bool wrap)
      : minimum_(minimum), maximum_(maximum), position_(position), wrap_(wrap) {}
  std::optional<Direction> press(bool upperArrow);
  int position() const { return position_; }

 private:
  int minimum_;
  int maximum_;
  int position_;
  bool wrap_;
};

/// Decimals of a label whose scale is span s: 3 below 0.3, 2 below 3, 1 below 30, else 0.
int decimalsForSpan(double span);

/// The decimals `step` needs to be written exactly (a tenth of 2.5 min: 0.25 needs two), 12 at
/// most.
int exactDecimals(long double step);

/// Digits for a time written in full, never in exponent form (grid labels, a start to the pixel).
inline constexpr int kFullDigits = 15;
