#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <optional>
#include <utility>

#include "image_surface.h"
#include "monitor.h"
#include "monitor_canvas.h"

class TForm1;
class UpDownWidget;
class UserPrompts;

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
  /// Where the monitor (of size `monitor`) goes so that it covers nothing of the main window's
  /// frame `main` on the screen's `area`: beside it, right or left, else below or above; where
  /// none fits, the screen's top left corner.
  static QPoint placeBeside(const QRect& main, const QSize& monitor, const QRect& area);
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
  /// "Save picture as..." and "Save picture with legend...": a dialog, then the picture.
  void savePictureClick();
  void savePictureWithLegendClick();
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
  void recordReplaced() override;
  void rowStored() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void buildControls();
  /// Whole wheel notches for channel `channel`'s scale, as its arrows step it.
  void wheelOnScale(int channel, int notches);
  QVBoxLayout* buildChannelStrip();
  void buildPicture();  ///< ImScreen and what it reports
  /// Plot, the time window, the interval, the note, the run time and the cursor.
  QHBoxLayout* buildBottomStrip();
  QGroupBox* stripGroup(const QString& title, const QString& name);
  QList<QGroupBox*> buildTimeGroups();  ///< time start, time range, reading interval
  QList<QGroupBox*> buildRunGroups();   ///< note, recording time, cursor
  void savePictureTo(const QString& title, bool withLegend);
  QLabel* captionLabel(MonitorCaptions::Id id, const QString& objectName,
                       const QString& description, QWidget* parent);

  TForm1& main_;
  QString pictureDirectory_;  ///< where the last picture went
  UserPrompts& prompts_;
  ImageSurface surface_;
  Monitor monitor_;
  bool shownOnce_ = false;

  MonitorCanvas* ImScreen = nullptr;
  std::array<QGroupBox*, kChannels + 1> GBCh{};
  QLabel* cursorUnit_ = nullptr;
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
