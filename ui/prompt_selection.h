#pragma once

#include <QAction>
#include <QKeySequence>
#include <QLineEdit>

/// Shows `key` beside a menu item whose key the program binds once for every window: bound to
/// the item only while its menu has the keyboard, so the two never make the key ambiguous.
inline void showProgramKey(QAction* item, const QKeySequence& key) {
  item->setShortcut(key);
  item->setShortcutContext(Qt::WidgetShortcut);
}

/// Selects the whole text of `field` when it gets the focus while it still holds its prompt
/// (a real text: a note made without typing holds it), so typing replaces the prompt.
void selectPromptOnFocus(QLineEdit* field);
