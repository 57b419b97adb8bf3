#pragma once

#include <QLabel>

/// A one-line label that never cuts a word: a text wider than the label ends in "…", and the
/// whole text stays the label's text (its accessible name and tool tip say it in full).
class ElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;
  /// The elided form as drawn at the label's width.
  QString shownText() const;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
