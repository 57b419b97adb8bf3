#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <optional>
#include <utility>

#include "image_surface.h"
#include "monitor.h"

class TForm1;
class UpDownWidget;
class UserPrompts;

/// Shows the monitor's surface 1:1 and reports pointer moves, wheel notches and drags in surface
/// pixels. It takes the keyboard focus, shown by a frame in a margin around the picture; the Menu
/// key, Shift+F10 and a right click open its menu.
class MonitorCanvas : public QWidget {
  Q_OBJECT
 public:
  /// The margin that holds the focus frame, outside the picture.
  static constexpr int kFrame = 2;

  MonitorCanvas(ImageSurface& surface, QWidget* parent);
  QSize sizeHint() const override;
  /// "Fit scales to the data" in the picture's menu; its Ctrl+F also serves the whole window.
  QAction* fitAction() const { return fitAction_; }
  /// Draws the selected span over the picture, between two surface columns, with its duration;
  /// nothing: no span drawn.
  void showSelection(std::optional<std::pair<double, double>> columns, const QString& duration);

 signals:
  void pointerMoved(int x, int y);
  /// Whole wheel notches at surface column x, positive away from the user; `movesWindow` with
  /// Shift or a horizontal wheel.
  void wheelTurned(int x, int notches, bool movesWindow);
  /// The pointer moved `dx` surface pixels with the left button held.
  void dragged(int dx);
  void savePictureRequested();
  void savePictureWithLegendRequested();
  void fitScalesRequested();
  void statisticsRequested();
  /// Shift+drag: the span between two surface columns.
  void spanSelected(int fromX, int toX);
  /// A click without a drag, or Escape.
  void selectionCleared();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  ImageSurface& surface_;
  QMenu* menu_;
  QAction* fitAction_ = nullptr;
  QPointF toSurface(const QPointF& position) const;
  int wheelRest_ = 0;       ///< eighths of a degree not yet a whole notch (fine-grained wheels)
  double dragFromX_ = 0;    ///< surface column where the left button went down
  int dragReported_ = 0;    ///< whole pixels of the drag reported so far
  bool moved_ = false;      ///< the left button dragged since it went down
  bool selecting_ = false;  ///< the left button went down with Shift: a span, not a drag
  std::optional<std::pair<double, double>> selectionColumns_;
  QString selectionDuration_;
};

/// The monitor window: channel groups on the left, the surface, the bottom strip of controls.
class TForm2 : public QWidget, public MonitorWindow, public RecordListener {
  Q_OBJECT
 public:
  TForm2(TForm1& main, UserPrompts& prompts, QWidget* parent = nullptr);
  ~TForm2() override;

  Monitor& monitor() { return monitor_; }
  ImageSurface& surface() { return surface_; }

  /// The window's first show: size, interval caption, empty frame.
  void FormShow();
  /// Start of a run: show and restore, groups by the channel selection, recording mode.
  void startRun();
  /// The channel's unit in its group title (and channel 1's beside the cursor value).
  void showChannelUnit(int channel, const QString& unit);
  void BnPlotClick();
  void BnRemarkokClick();
  void setRemarkText(const QString& text);
  /// A press on an arrow of UpDown1..UpDown10.
  void pressUpDown(int control, bool upperArrow);
  void BnTimeplusClick();
  void BnTimeMinusClick();
  void ImScreenMouseMove(int x, int y);
  /// "Fit scales to the data" (menu of the picture, Ctrl+F).
  void fitScalesClick();
  /// Writes the surface, pixel for pixel, to a PNG file. Returns false on failure.
  bool savePicture(const QString& fileName) const;
  /// The picture pixel for pixel with a band below that names each shown channel (its colour,
  /// unit, scale and midpoint), the time window, the experiment, the file and the start time.
  QImage pictureWithLegend() const;
  /// A line of the legend; `channel` 0 for those that name no channel (no colour square).
  struct LegendLine {
    int channel;
    QString text;
  };
  /// The legend's lines: one per shown channel, then the time window, experiment, file, start.
  std::vector<LegendLine> legendLines() const;

  // MonitorWindow
  void setChannelGroupVisible(int channel, bool visible) override;
  void setRunGroupsVisible(bool visible) override;
  void bringUp() override;
  void viewChanged() override;

 signals:
  /// The time window moved or was redrawn, or the selection changed.
  void viewUpdated();
  /// "Statistics" in the picture's menu.
  void statisticsRequested();

 public:
  // RecordListener
  void recordReset() override;
  void rowStored() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void buildControls();
  void savePictureClick();
  void savePictureWithLegendClick();
  void savePictureTo(const QString& title, bool withLegend);
  QLabel* captionLabel(MonitorCaptions::Id id, const QString& objectName,
                       const QString& description, QWidget* parent);

  TForm1& main_;
  UserPrompts& prompts_;
  ImageSurface surface_;
  Monitor monitor_;
  bool shownOnce_ = false;

  MonitorCanvas* ImScreen = nullptr;
  std::array<QGroupBox*, kChannels + 1> GBCh{};
  QLabel* cursorUnit_ = nullptr;
  int dragRest_ = 0;  ///< dragged pixels not yet a whole step
  std::array<QLabel*, MonitorCaptions::Count> captionLabels_{};
  std::array<UpDownWidget*, 11> upDowns_{};
  QGroupBox* GBinterval = nullptr;
  QGroupBox* GbRemark = nullptr;
  QGroupBox* GBCurrnttime = nullptr;
  QPushButton* BnPlot = nullptr;
  QPushButton* BnFit = nullptr;
  QCheckBox* followData_ = nullptr;
  QLineEdit* EdRemark = nullptr;
};
