// SPDX-License-Identifier: GPL-3.0-or-later
#include "MenuShortcuts.h"

#include <QAction>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace MenuShortcuts {

void install(QWidget* window, QMenuBar* menus)
{
    // The first item in menu order that carries a key gets it; later items only show it.
    // A disabled item then swallows the key, as its shortcut stays registered but inert.
    QList<QKeySequence> taken;
    for (QAction* top : menus->actions()) {
        QMenu* menu = top->menu();
        if (!menu)
            continue;
        for (QAction* item : menu->actions()) {
            const auto key = item->property("menuShortcut").value<QKeySequence>();
            if (key.isEmpty())
                continue;
            if (taken.contains(key)) {
                item->setText(item->text() + QLatin1Char('\t') + key.toString(QKeySequence::NativeText));
                continue;
            }
            taken << key;
            item->setShortcut(key);
            item->setShortcutContext(Qt::WindowShortcut);
            window->addAction(item); // keys work while the menu bar is closed too
        }
    }
}

namespace {

QString plain(const QString& text)
{
    return text.section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
}

} // namespace

QHash<QKeySequence, QString> used(const QMenuBar* menus)
{
    QHash<QKeySequence, QString> keys;
    for (QAction* top : menus->actions()) {
        const QString title = top->text();
        const qsizetype amp = title.indexOf(QLatin1Char('&'));
        if (amp >= 0 && amp + 1 < title.size())
            keys.insert(QKeySequence(QStringLiteral("Alt+") + title.at(amp + 1).toUpper()),
                        plain(title) + QStringLiteral(" menu"));
    }
    for (const auto& [key, name] : itemKeys(menus))
        if (!keys.contains(key))
            keys.insert(key, name);
    return keys;
}

QList<std::pair<QKeySequence, QString>> itemKeys(const QMenuBar* menus)
{
    QList<std::pair<QKeySequence, QString>> keys;
    QList<QKeySequence> seen;
    for (QAction* top : menus->actions()) {
        if (QMenu* menu = top->menu()) {
            for (QAction* item : menu->actions()) {
                const auto key = item->property("menuShortcut").value<QKeySequence>();
                if (key.isEmpty() || seen.contains(key))
                    continue;
                seen << key;
                keys.emplace_back(key, plain(item->text()));
            }
        }
    }
    return keys;
}

} // namespace MenuShortcuts
