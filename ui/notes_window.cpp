#include "notes_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Window),
      Memo1(new QPlainTextEdit(this)),
      BnHideMemo(new QPushButton(QStringLiteral("Hide"), this)) {
  setObjectName(QStringLiteral("TForm3"));
  setWindowTitle(QStringLiteral("Notes Velan"));
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setAccessibleName(QStringLiteral("Notes"));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  BnHideMemo->setObjectName(QStringLiteral("BnHideMemo"));
  BnHideMemo->setAccessibleName(QStringLiteral("Hide"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(Memo1, 1);
  layout->addWidget(BnHideMemo, 0, Qt::AlignHCenter);
  connect(BnHideMemo, &QPushButton::clicked, this, &TForm3::BnHideMemoClick);
  resize(257, 375);
  QPoint place(817, 117);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    // Pulled onto a screen too small for the usual place, never pushed elsewhere.
    const QRect area = screen->availableGeometry();
    place.setX(std::max(area.left(), std::min(place.x(), area.right() + 1 - width())));
    place.setY(std::max(area.top(), std::min(place.y(), area.bottom() + 1 - height())));
  }
  move(place);
}

void TForm3::showRestored() {
  setAttribute(Qt::WA_ShowWithoutActivating);  // the keyboard stays where the user is
  show();
  showNormal();
}

void TForm3::closeEvent(QCloseEvent* event) {
  event->ignore();
  showMinimized();
}
