// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QStringList>

#include <functional>

/// Scripted answers; every question asked is recorded.
class FakeDialogs : public Dialogs {
public:
    struct Message {
        QString text;
        Style style;
        Buttons buttons;
    };

    Answer messageBox(QWidget*, const QString& text, Style style, Buttons buttons) override
    {
        messages.append({text, style, buttons});
        if (whileShown)
            whileShown(); // a real box runs an event loop of its own while it waits
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }

    QString inputBox(QWidget*, const QString& caption, const QString& prompt, const QString& initial) override
    {
        inputs << (caption + QLatin1Char('|') + prompt + QLatin1Char('|') + initial);
        return inputAnswers.isEmpty() ? initial : inputAnswers.takeFirst();
    }

    std::optional<QString> openFileName(QWidget*, const QString& initialDir, const QString&) override
    {
        fileDialogDirs << initialDir;
        return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
    }

    std::optional<QString> saveFileName(QWidget*, const QString& initialDir, const QString&) override
    {
        fileDialogDirs << initialDir;
        return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
    }

    QList<Message> messages;
    std::function<void()> whileShown;          ///< runs while a message box waits for its answer
    QList<Answer> answers;                     ///< for Yes/No boxes; No when empty
    QStringList inputs;                        ///< caption|prompt|initial of each input box
    QStringList inputAnswers;                  ///< Cancel (the initial text) when empty
    QList<std::optional<QString>> fileAnswers; ///< cancelled when empty
    QStringList fileDialogDirs;
};
