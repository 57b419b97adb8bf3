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
  void appendNotes(const QStringList& lines) override {
    // Into an empty window (a plot's redraw clears it first) the whole text is set at once.
    if (Memo1->document()->isEmpty()) {
      Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    } else {
      Memo1->appendPlainText(lines.join(QLatin1Char('\n')));
    }
  }
  void showRestored() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPlainTextEdit* Memo1;
  QPushButton* BnHideMemo;
};
