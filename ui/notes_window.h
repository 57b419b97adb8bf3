#pragma once

#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include "monitor.h"

/// The notes window: every note of a run, or in plot mode the notes of the period shown.
/// It cannot be closed; a close request or "Hide" minimises it.
class TForm3 : public QWidget, public NotesSink {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* parent = nullptr);
  void BnHideMemoClick() { showMinimized(); }
  QPlainTextEdit* memo() const { return Memo1; }

  // NotesSink
  void clearNotes() override { Memo1->clear(); }
  void appendNote(const QString& line) override { Memo1->appendPlainText(line); }
  void showNotes(const QStringList& lines) override {
    // Unchanged (a scale stepped, the same rows shown): no new layout, the place kept.
    const QString text = lines.join(QLatin1Char('\n'));
    if (Memo1->toPlainText() != text) Memo1->setPlainText(text);
  }
  void showRestored() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPlainTextEdit* Memo1;
  QPushButton* BnHideMemo;
};
