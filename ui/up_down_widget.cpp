#include "up_down_widget.h"

#include <QVBoxLayout>

UpDownWidget::UpDownWidget(const QString& objectName, const QString& accessibleStem,
                           QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  setObjectName(objectName);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (QToolButton* button : {up_, down_}) {
    button->setFixedSize(17, 11);
    button->setAutoRepeat(true);
    layout->addWidget(button);
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  up_->setObjectName(objectName + QStringLiteral("Up"));
  down_->setObjectName(objectName + QStringLiteral("Down"));
  up_->setAccessibleName(accessibleStem + QStringLiteral(" up"));
  down_->setAccessibleName(accessibleStem + QStringLiteral(" down"));
  connect(up_, &QToolButton::clicked, this, [this] { emit pressed(true); });
  connect(down_, &QToolButton::clicked, this, [this] { emit pressed(false); });
}
