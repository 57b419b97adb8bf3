#pragma once

#include <QLineEdit>

/// Selects the whole text of `field` when it gets the focus while it still holds its prompt
/// (a real text: a note made without typing holds it), so typing replaces the prompt.
void selectPromptOnFocus(QLineEdit* field);
