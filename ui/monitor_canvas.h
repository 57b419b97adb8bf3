#pragma once

#include <QAction>
#include <QMenu>
#include <QWidget>
#include <optional>
#include <utility>

#include "image_surface.h"

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
  /// "Show whole record" in the picture's menu; its Home also serves the whole window.
  QAction* wholeRecordAction() const { return wholeAction_; }
  /// Draws the selected span over the picture, between two surface columns, with its duration;
  /// nothing: no span drawn.
  void showSelection(std::optional<std::pair<double, double>> columns, const QString& duration);

 signals:
  void pointerMoved(int x, int y);
  /// Whole wheel notches at surface column x, positive away from the user; `movesWindow` with
  /// Shift or a horizontal wheel.
  void wheelTurned(int x, int notches, bool movesWindow);
  /// Ctrl+wheel: whole notches for channel 1's scale, whose values the axis labels give.
  void scaleWheelTurned(int notches);
  /// Ctrl+drag: a box between two surface columns, to zoom into.
  void boxDrawn(int fromX, int toX);
  void wholeRecordRequested();
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
  QAction* wholeAction_ = nullptr;
  std::optional<QRectF> box_;  ///< the Ctrl+drag's box in widget coordinates, while drawn
  QPointF toSurface(const QPointF& position) const;
  int wheelRest_ = 0;       ///< eighths of a degree not yet a whole notch (fine-grained wheels)
  double dragFromX_ = 0;    ///< surface column where the left button went down
  int dragReported_ = 0;    ///< whole pixels of the drag reported so far
  bool moved_ = false;      ///< the left button dragged since it went down
  bool selecting_ = false;  ///< the left button went down with Shift: a span, not a drag
  std::optional<std::pair<double, double>> selectionColumns_;
  QString selectionDuration_;
};
