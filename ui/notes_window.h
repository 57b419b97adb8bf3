#pragma once

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
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
  void showNotes(const QStringList& lines) override;
  void showRestored() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  /// Changes the box from the lines shown to `lines` by removing and adding only the lines
  /// outside their common run; false when they have none.
  bool showByTheirDifference(const QStringList& lines);

  QPlainTextEdit* Memo1;
  QPushButton* BnHideMemo;
  QStringList shown_;       ///< what the last showNotes left in the box
  int shownRevision_ = -1;  ///< the document's revision then: another edit makes shown_ void
};
