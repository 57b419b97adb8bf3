#pragma once

#include <QToolButton>
#include <QWidget>

/// An up-down control's two arrow buttons. The position, bounds and wrap live in UpDownLogic.
class UpDownWidget : public QWidget {
  Q_OBJECT
 public:
  UpDownWidget(const QString& objectName, const QString& accessibleStem, QWidget* parent);

 signals:
  void pressed(bool upperArrow);

 private:
  QToolButton* up_;
  QToolButton* down_;
};
