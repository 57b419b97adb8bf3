#pragma once

#include <QGroupBox>

/// The about panel `GBInfo`: a click or any mouse button released over it hides it, and so do
/// Return, Space and Escape while it has the keyboard focus.
class AboutPanel : public QGroupBox {
  Q_OBJECT
 public:
  explicit AboutPanel(QWidget* parent);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};
