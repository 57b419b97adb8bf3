#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

#include "channel_statistics.h"
#include "data_table.h"
#include "monitor_view.h"
#include "record_store.h"
#include "surface.h"

/// The colour of each channel's marks and value labels (index 0 unused).
inline constexpr std::array<Rgb, kChannels + 1> kChannelColors = {
    colors::kBlack, colors::kRed, colors::kBlue, colors::kGreen, colors::kPurple};
/// The colour of each channel group's heading: channel 4's is the lighter magenta.
inline constexpr std::array<Rgb, kChannels + 1> kChannelHeadingColors = {
    colors::kBlack, colors::kRed, colors::kBlue, colors::kGreen, colors::kMagenta};

class Recorder;

/// What the monitor needs from the notes window.
class NotesSink {
 public:
  virtual ~NotesSink() = default;
  virtual void clearNotes() = 0;
  virtual void appendNote(const QString& line) = 0;
  /// Shows exactly these lines (a full redraw in plot mode lists all its notes).
  virtual void showNotes(const QStringList& lines) {
    clearNotes();
    for (const QString& line : lines) appendNote(line);
  }
  /// Makes the window visible and restores it to its normal size.
  virtual void showRestored() = 0;
};

/// A stretch of a record's time, in seconds from its start.
struct TimeSpan {
  double from = 0;
  double to = 0;
};

/// What the monitor logic asks of its window.
class MonitorWindow {
 public:
  virtual ~MonitorWindow() = default;
  /// The time window moved, was redrawn, or the selection changed.
  virtual void viewChanged() {}
  virtual void setChannelGroupVisible(int channel, bool visible) = 0;
  /// The reading-interval, note and recording-time groups.
  virtual void setRunGroupsVisible(bool visible) = 0;
  /// Shows, restores and raises the window.
  virtual void bringUp() = 0;
};

/// The monitor's view state, drawing, plot mode, controls and cursor readout, against an abstract
/// surface. Its handlers carry the names of the controls that trigger them.
class Monitor : public RecordListener {
 public:
  using Direction = UpDownLogic::Direction;

  Monitor(RecordStore& store, DataTable& table, const RecordFields& fields, Recorder& recorder,
          Surface& surface);

  void setNotesSink(NotesSink* notes) { notes_ = notes; }
  void setWindow(MonitorWindow* window) { window_ = window; }

  MonitorView& view() { return view_; }
  const MonitorView& view() const { return view_; }
  MonitorCaptions& captions() { return captions_; }
  const MonitorCaptions& captions() const { return captions_; }
  Surface& surface() { return surface_; }
  void setDecimalSeparator(QChar separator) { separator_ = separator; }

  // View state and mapping
  void defineworlds();
  uint16_t timeToX(int row) const;
  uint16_t valueToY(int channel, double value) const;
  bool inVisibleRange(int channel, double value) const;
  QString stepSpanUp(const QString& text, int axis) const;
  QString stepSpanDown(const QString& text, int axis) const;

  // Drawing
  void drawAxes();
  void drawChannelMark(int channel, int x, int y);
  void drawNoteMarker(int x);
  void findFirstVisibleRow();
  /// The first row after the time window's start (the last row when none is).
  int firstRowAfterWindowStart() const;
  void redrawFrom(int row);
  void drawLatestRow();
  /// defineworlds, findFirstVisibleRow, redrawFrom(firstVisibleRow).
  /// Loads the view from the captions and redraws it whole; the cursor readout follows.
  void refreshView();

  // Plot mode
  void BnPlotClick();

  // Controls
  void scaleClick(int channel, Direction direction);
  void midpointClick(int channel, Direction direction);
  void UpDown9Click(Direction direction);
  void UpDown10Click(Direction direction);
  void BnTimeplusClick();
  void BnTimeMinusClick();
  /// A press on an arrow of UpDown1..UpDown10: bounds, wrap and the reported direction.
  void pressUpDown(int control, bool upperArrow);
  const UpDownLogic& upDown(int control) const { return upDowns_[control - 1]; }
  void FormShow();

  // Cursor readout
  void ImScreenMouseMove(int x, int y);

  // The mouse on the picture: the wheel steps the time range as "Time range" does, drags move
  // the window pixel by pixel; the start caption then keeps the digits a pixel needs.
  /// The wheel over surface column `x`: `notches`, positive away from the user. Steps the time
  /// range (away: shorter) keeping the time under the pointer where it is; with `movesWindow`
  /// (Shift, or a horizontal wheel) moves the window as "<" (away) and ">" (towards the user) do.
  void wheelOnPicture(int x, int notches, bool movesWindow);
  /// Home: the whole record in the window (from 0, the range Plot gives it), the mode as it was.
  void showWholeRecord();
  /// A box drawn between surface columns: its left edge becomes the window's start, and the
  /// shortest range of the series that holds it the window's range.
  void zoomToColumns(int fromX, int toX);
  /// The picture dragged `dx` surface pixels with the left button: the data follow the pointer.
  /// Drags add up exactly, so a drag there and back returns to the same start.
  void dragOnPicture(int dx);

  /// For every selected channel with values in the time window: the smallest scale of the
  /// 1-2.5-5 series, and the midpoint nearest the values' middle, that show all of them; then
  /// one full redraw. The captions are written as the controls write them.
  void fitScalesToData();
  /// While set, a channel whose newest value leaves its scale is fitted again at once (as
  /// fitScalesToData fits it), so the live display never stays blank.
  /// Checked again, it follows every channel again, those changed by hand too.
  void setFollowData(bool follow) {
    followData_ = follow;
    followPaused_.fill(false);
  }
  bool followData() const { return followData_; }

  // The selection: a span of the time window marked on the picture (Shift+drag)
  /// Selects the times between surface columns `fromX` and `toX` (either order, kept to the
  /// plot); a span of no width selects nothing.
  void selectSpan(int fromX, int toX);
  void clearSelection();
  /// The selection, of the record on show only: one made on another record is void.
  std::optional<TimeSpan> selection() const {
    return selectionRecord_ == store_.recordId ? selection_ : std::nullopt;
  }
  /// The surface column of a time; may lie outside the plot.
  double xAtSeconds(double seconds) const;
  /// The time window on show.
  TimeSpan visibleSpan() const;
  /// The rows a redraw draws for the time window: after its start, up to its end.
  RowSpan visibleRows() const;
  /// The time window back to the start, for the next part of a run.
  void restartTimeWindow();

  // RecordListener: a new run, a part or an opened file shows nothing of the record before it.
  /// A new run or part: and its start in the window when the old window does not show it.
  void recordReset() override;
  void recordReplaced() override { forgetRecord(); }
  void rowStored() override { drawLatestRow(); }

 private:
  double parse(MonitorCaptions::Id id) const;
  QString format(double value, int precision, int decimals) const;
  /// Written with three significant digits, or as many as moves by `step` need.
  void setTimeStart(long double minutes, long double step);
  /// The time range's steps from 1 min along its series (-8 to 12), the nearest one.
  int timeRangeSteps() const;
  /// The shortest time range of the arrows' series that holds `minutes` (at most 8 steps
  /// below 1 min). No redraw.
  void setTimeRangeHolding(long double minutes);
  /// No marks, values or selection of the record before; the view's captions stay.
  void forgetRecord();
  /// The time range's caption one step along the series; no redraw.
  void stepTimeRange(Direction direction);
  /// The start to the nearest half pixel or finer, not the controls' three digits.
  void setTimeStartToThePixel(long double minutes);
  /// Fits channel c's scale and midpoint to its values in the time window (firstVisibleRow
  /// found); false when it has none there or no scale shows them. No redraw.
  /// `finest`: no scale below it (0: the series' smallest).
  bool fitChannelToData(int c, double finest = 0);
  /// With followData: refits each channel whose newest value is off its scale and redraws;
  /// true when one was.
  bool followNewestRow();
  /// The time, in minutes, at surface column `x`.
  long double minutesAt(int x) const;

  RecordStore& store_;
  DataTable& table_;
  const RecordFields& fields_;
  Recorder& recorder_;
  Surface& surface_;
  NotesSink* notes_ = nullptr;
  MonitorWindow* window_ = nullptr;
  /// Where the pointer was last on the picture, so the readout follows a view change.
  std::optional<SurfacePoint> pointer_;
  MonitorView view_;
  MonitorCaptions captions_;
  QChar separator_ = QLatin1Char('.');
  std::array<UpDownLogic, 10> upDowns_;
  bool followData_ = false;
  std::optional<TimeSpan> selection_;
  /// Channels whose scale or midpoint the user set by hand: not refitted until "Follow the
  /// data" is checked again.
  std::array<bool, kChannels + 1> followPaused_{};
  uint32_t selectionRecord_ = 0;  ///< the record it was made on
  /// A drag is measured from its anchor, not summed from rounded starts. Anything else that
  /// moves the window (a button, the scroll, a new range) sets a new anchor.
  struct DragAnchor {
    long double origin = 0;  ///< the window start the drag measures from
    long double span = 0;    ///< the time range then
    int pixels = 0;          ///< dragged since
    QString writtenStart;    ///< the start caption the drag wrote last
  } drag_;
};
