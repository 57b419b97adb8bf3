#include "notes_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
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

void TForm3::showNotes(const QStringList& lines) {
  // A step of the time window shares most of its notes with the one before: only the notes
  // that left or came are laid out, not the whole list on every redraw.
  QTextDocument* document = Memo1->document();
  if (document->revision() != shownRevision_ || !showByTheirDifference(lines)) {
    // Unchanged (a scale stepped, the same rows shown): no new layout, the place kept.
    const QString text = lines.join(QLatin1Char('\n'));
    if (Memo1->toPlainText() != text) Memo1->setPlainText(text);
  }
  shown_ = lines;
  shownRevision_ = document->revision();
}

bool TForm3::showByTheirDifference(const QStringList& lines) {
  if (shown_.isEmpty() || lines.isEmpty()) return false;
  if (lines == shown_) return true;  // a scale stepped, the same rows shown: the place kept
  // Line j of `lines` is line j + offset of shown_ over their common run.
  qsizetype offset = shown_.indexOf(lines.first());
  if (offset < 0) {
    const qsizetype at = lines.indexOf(shown_.first());
    if (at <= 0) return false;
    offset = -at;
  }
  const qsizetype from = std::max<qsizetype>(0, offset);
  const qsizetype to = std::min(shown_.size(), lines.size() + offset);
  if (to <= from) return false;
  for (qsizetype i = from; i < to; ++i) {
    if (shown_[i] != lines[i - offset]) return false;
  }
  QTextDocument* document = Memo1->document();
  document->setUndoRedoEnabled(false);  // as after setPlainText: no undo history piles up
  QTextCursor cursor(document);
  cursor.beginEditBlock();
  if (to < shown_.size()) {  // the tail, with the line break before it
    const QTextBlock last = document->findBlockByNumber(int(to - 1));
    cursor.setPosition(last.position() + last.length() - 1);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }
  if (from > 0) {  // the head, with the line break after it
    cursor.setPosition(0);
    cursor.setPosition(document->findBlockByNumber(int(from)).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }
  if (const qsizetype before = from - offset; before > 0) {
    cursor.setPosition(0);
    cursor.insertText(lines.mid(0, before).join(QLatin1Char('\n')) + QLatin1Char('\n'));
  }
  if (const qsizetype after = to - offset; after < lines.size()) {
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QLatin1Char('\n') + lines.mid(after).join(QLatin1Char('\n')));
  }
  cursor.endEditBlock();
  document->setUndoRedoEnabled(true);
  return true;
}
