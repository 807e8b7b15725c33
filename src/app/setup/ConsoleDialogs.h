// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Dialogs.h"

/// The dialogs service for a program without windows: messages go to standard
/// error, and every question is answered with the choice that changes nothing.
class ConsoleDialogs : public Dialogs {
public:
    Answer messageBox(QWidget* parent, const QString& text, Style style, Buttons buttons) override;
    QString inputBox(QWidget* parent, const QString& caption, const QString& prompt,
                     const QString& initial) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& initialDir,
                                        const QString& filter) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& initialDir,
                                        const QString& filter) override;

    /// How many messages were shown; a failed save of the info file is one.
    [[nodiscard]] int messageCount() const { return m_messages; }
    /// The text of the last message; empty when none was shown.
    [[nodiscard]] const QString& lastMessage() const { return m_lastMessage; }

private:
    int m_messages = 0;
    QString m_lastMessage;
};
