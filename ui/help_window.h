#pragma once

#include <QPlainTextEdit>
#include <QWidget>

/// The help window with the fixed help text; a close request hides it.
class TForm4 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm4(QWidget* parent = nullptr);
  QPlainTextEdit* text() const { return Mehelp; }
  /// The help text shown in the window.
  static QString helpText();

 private:
  QPlainTextEdit* Mehelp;
};
