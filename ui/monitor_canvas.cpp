#include "monitor_canvas.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QWheelEvent>

#include "monitor_view.h"
#include "program_key.h"

MonitorCanvas::MonitorCanvas(ImageSurface& surface, QWidget* parent)
    : QWidget(parent), surface_(surface), menu_(new QMenu(this)) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  menu_->setObjectName(QStringLiteral("PictureMenu"));
  menu_->setTitle(QStringLiteral("Picture"));
  menu_->setAccessibleName(QStringLiteral("Picture"));
  QAction* save = menu_->addAction(QStringLiteral("Save picture as..."), this,
                                   &MonitorCanvas::savePictureRequested);
  save->setObjectName(QStringLiteral("SavePicture1"));
  QAction* legend = menu_->addAction(QStringLiteral("Save picture with legend..."), this,
                                     &MonitorCanvas::savePictureWithLegendRequested);
  legend->setObjectName(QStringLiteral("SavePictureWithLegend1"));
  fitAction_ = menu_->addAction(QStringLiteral("Fit scales to the data"), this,
                                &MonitorCanvas::fitScalesRequested);
  fitAction_->setObjectName(QStringLiteral("FitScales1"));
  fitAction_->setShortcut(QKeySequence(QStringLiteral("Ctrl+F")));
  fitAction_->setShortcutContext(Qt::WindowShortcut);
  wholeAction_ = menu_->addAction(QStringLiteral("Show whole record"), this,
                                  &MonitorCanvas::wholeRecordRequested);
  wholeAction_->setObjectName(QStringLiteral("WholeRecord1"));
  wholeAction_->setShortcut(QKeySequence(Qt::Key_Home));
  wholeAction_->setShortcutContext(Qt::WindowShortcut);
  QAction* statistics =
      menu_->addAction(QStringLiteral("Statistics"), this, &MonitorCanvas::statisticsRequested);
  statistics->setObjectName(QStringLiteral("PictureStatistics1"));
  showProgramKey(statistics, QKeySequence(Qt::CTRL | Qt::Key_4));
}

void MonitorCanvas::showSelection(std::optional<std::pair<double, double>> columns,
                                  const QString& duration) {
  if (columns == selectionColumns_ && duration == selectionDuration_) return;
  selectionColumns_ = columns;
  selectionDuration_ = duration;
  update();
}

QSize MonitorCanvas::sizeHint() const {
  // 640 x 480 device-independent pixels: as large on a scaled screen as on any other.
  return QSize(Surface::kWidth + 2 * kFrame, Surface::kHeight + 2 * kFrame);
}

void MonitorCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The frame's margin: the window's colour, or the focus colour while the plot has the focus.
  const QColor margin =
      hasFocus() ? palette().color(QPalette::Highlight) : palette().color(QPalette::Window);
  painter.fillRect(rect(), margin);
  // Scaled by the screen's pixel ratio with nearest-neighbour sampling (no smooth transform):
  // every picture pixel stays the exact pixel of the drawing rules, only larger.
  painter.drawImage(QRect(kFrame, kFrame, Surface::kWidth, Surface::kHeight), surface_.image());
  const QRectF plot(kFrame + plotLeft, kFrame + plotTop, plotRight - plotLeft,
                    plotBottom - plotTop);
  const auto [from, to] = selectionColumns_.value_or(std::pair<double, double>{});
  const QRectF span =
      QRectF(QPointF(kFrame + from, plot.top()), QPointF(kFrame + to, plot.bottom()))
          .intersected(plot);
  // Only the part in view: a selection beyond the time window draws nothing, not its label.
  if (box_) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
    painter.drawRect(box_->normalized().intersected(plot));
  }
  if (selectionColumns_ && span.width() > 0) {
    // Over the picture, never in it: a saved picture shows the data alone.
    QColor shade = palette().color(QPalette::Highlight);
    shade.setAlpha(50);
    painter.fillRect(span, shade);
    painter.setPen(palette().color(QPalette::Highlight));
    painter.drawLine(span.topLeft(), span.bottomLeft());
    painter.drawLine(span.topRight(), span.bottomRight());
    painter.setPen(Qt::black);
    painter.drawText(span.adjusted(3, 3, 300, 0).topLeft() + QPointF(0, fontMetrics().ascent()),
                     selectionDuration_);
  }
}

QPointF MonitorCanvas::toSurface(const QPointF& position) const {
  return position - QPointF(kFrame, kFrame);  // one picture pixel per device-independent pixel
}

void MonitorCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    dragFromX_ = toSurface(event->position()).x();
    dragReported_ = 0;
    moved_ = false;
    selecting_ = event->modifiers() & Qt::ShiftModifier;
    if (event->modifiers() & Qt::ControlModifier) box_ = QRectF(event->position(), QSizeF());
  }
  QWidget::mousePressEvent(event);
}

void MonitorCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && box_) {
    const QRectF box = box_->normalized();
    box_.reset();
    update();
    // A click is no box: a zoom into a few pixels is never meant.
    if (box.width() >= 3) {
      emit boxDrawn(static_cast<int>(toSurface(box.topLeft()).x()),
                    static_cast<int>(toSurface(box.topRight()).x()));
    }
  } else if (event->button() == Qt::LeftButton && !selecting_ && !moved_) {
    emit selectionCleared();
  }
  selecting_ = false;
  QWidget::mouseReleaseEvent(event);
}

void MonitorCanvas::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  const bool horizontal = delta.y() == 0 && delta.x() != 0;
  wheelRest_ += horizontal ? delta.x() : delta.y();
  const int notches = wheelRest_ / QWheelEvent::DefaultDeltasPerStep;
  wheelRest_ %= QWheelEvent::DefaultDeltasPerStep;
  if (notches != 0 && (event->modifiers() & Qt::ControlModifier)) {
    emit scaleWheelTurned(notches);
  } else if (notches != 0) {
    emit wheelTurned(static_cast<int>(toSurface(event->position()).x()), notches,
                     horizontal || (event->modifiers() & Qt::ShiftModifier));
  }
  event->accept();
}

void MonitorCanvas::mouseMoveEvent(QMouseEvent* event) {
  const QPointF pointed = toSurface(event->position());
  if ((event->buttons() & Qt::LeftButton) && box_) {
    box_->setBottomRight(event->position());
    update();
  } else if ((event->buttons() & Qt::LeftButton) && selecting_) {
    emit spanSelected(static_cast<int>(dragFromX_), static_cast<int>(pointed.x()));
  } else if (event->buttons() & Qt::LeftButton) {
    // Measured from where the button went down: moves of a fraction of a pixel (fractional
    // scaling) add up instead of each being cut to nothing.
    const int dragged = static_cast<int>(pointed.x() - dragFromX_);
    moved_ = moved_ || dragged != 0;
    if (dragged != dragReported_) emit this->dragged(dragged - dragReported_);
    dragReported_ = dragged;
  }
  emit pointerMoved(static_cast<int>(pointed.x()), static_cast<int>(pointed.y()));
}

void MonitorCanvas::contextMenuEvent(QContextMenuEvent* event) {
  // From the keyboard (the Menu key) the menu opens over the picture's top left corner.
  const QPoint where = event->reason() == QContextMenuEvent::Mouse
                           ? event->globalPos()
                           : mapToGlobal(QPoint(2 * kFrame, 2 * kFrame));
  menu_->exec(where);
}

void MonitorCanvas::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
    const QPoint corner(2 * kFrame, 2 * kFrame);
    QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, corner, mapToGlobal(corner));
    contextMenuEvent(&menuEvent);
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    emit selectionCleared();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MonitorCanvas::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void MonitorCanvas::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}
