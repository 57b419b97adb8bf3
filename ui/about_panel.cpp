#include "about_panel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "contrast.h"

AboutPanel::AboutPanel(QWidget* parent) : QGroupBox(QStringLiteral("About Velan"), parent) {
  setObjectName(QStringLiteral("GBInfo"));
  setAccessibleName(QStringLiteral("About Velan"));
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
  // The palette's text background, and blue as dark or light as it needs to be read on it.
  const QString blue = readableColor(Qt::blue, palette().color(QPalette::Base)).name();
  setStyleSheet(QStringLiteral("QGroupBox { background: palette(base); border: 1px solid #7f7f9f; "
                               "margin-top: 8px; }"
                               "QGroupBox::title { subcontrol-origin: margin; left: 8px; color: "
                               "%1; font-size: 13px; }"
                               "QLabel { color: %1; font-size: 13px; }")
                    .arg(blue));
  auto* about = new QVBoxLayout(this);
  about->setContentsMargins(16, 20, 12, 8);
  for (const QString& line :
       {QStringLiteral("Data Recording with ADC16"), QStringLiteral("Version of 7 December 2026"),
        QStringLiteral("Four channels of the ADC-16 converter,"),
        QStringLiteral("live display, notes and .vln files.")}) {
    about->addWidget(new QLabel(line, this));
  }
  about->addStretch(1);
  about->addWidget(new QLabel(QStringLiteral("(Click to close)"), this), 0, Qt::AlignRight);
}

void AboutPanel::mouseReleaseEvent(QMouseEvent* event) {
  QGroupBox::mouseReleaseEvent(event);
  hide();
}

void AboutPanel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Escape:
      hide();
      return;
    default:
      QGroupBox::keyPressEvent(event);
  }
}
