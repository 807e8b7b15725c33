// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsoleDialogs.h"

#include <cstdio>

Dialogs::Answer ConsoleDialogs::messageBox(QWidget*, const QString& text, Style, Buttons buttons)
{
    ++m_messages;
    m_lastMessage = text;
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
}

QString ConsoleDialogs::inputBox(QWidget*, const QString&, const QString&, const QString& initial)
{
    return initial;
}

std::optional<QString> ConsoleDialogs::openFileName(QWidget*, const QString&, const QString&)
{
    return std::nullopt;
}

std::optional<QString> ConsoleDialogs::saveFileName(QWidget*, const QString&, const QString&)
{
    return std::nullopt;
}
