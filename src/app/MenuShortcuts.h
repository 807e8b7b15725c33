// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QString>

#include <utility>

class QMenuBar;
class QWidget;

/// The keys of a window's menus. Each item names its key in the property "menuShortcut".
namespace MenuShortcuts {

/// The first item in menu order that names a key gets it; later items naming the same key
/// only show it. The keys work while the menus are closed, as the window's own.
void install(QWidget* window, QMenuBar* menus);

/// The keys the menus use (their Alt+letter included), each with the name of its item.
[[nodiscard]] QHash<QKeySequence, QString> used(const QMenuBar* menus);

/// The keys of the menus' items in menu order, each with the name of the item it reaches (a key
/// a later item only shows is listed once).
[[nodiscard]] QList<std::pair<QKeySequence, QString>> itemKeys(const QMenuBar* menus);

} // namespace MenuShortcuts
