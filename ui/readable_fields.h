#pragma once

#include <QColor>
#include <QLineEdit>

/// Selects the whole text of `field` when it gets the focus while it still holds its prompt
/// (a real text: a note made without typing holds it), so typing replaces the prompt.
void selectPromptOnFocus(QLineEdit* field);

/// The contrast of two colours as the accessibility guidelines define it (1 to 21).
double contrastRatio(const QColor& first, const QColor& second);
/// A grey that reads at a contrast of at least 4.5:1 on `background`.
QColor readableGrey(const QColor& background);
