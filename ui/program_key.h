#pragma once

#include <QAction>
#include <QKeySequence>

/// Shows `key` beside a menu item whose key the program binds once for every window: bound to
/// the item only while its menu has the keyboard, so the two never make the key ambiguous.
inline void showProgramKey(QAction* item, const QKeySequence& key) {
  item->setShortcut(key);
  item->setShortcutContext(Qt::WidgetShortcut);
}
