#include "about_panel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

AboutPanel::AboutPanel(QWidget* parent) : QGroupBox(QStringLiteral("About Velan"), parent) {
  setObjectName(QStringLiteral("GBInfo"));
  setAccessibleName(QStringLiteral("About Velan"));
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
  setStyleSheet(
      QStringLiteral("QGroupBox { background: white; border: 1px solid #7f7f9f; margin-top: 8px; }"
                     "QGroupBox::title { subcontrol-origin: margin; left: 8px; color: blue; "
                     "font-size: 13px; }"
                     "QLabel { color: blue; font-size: 13px; }"));
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
