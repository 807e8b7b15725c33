// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QList>
#include <QPair>

/// The status bar's message panel: news that arrives by itself (an output unplugged, the
/// sound server lost, a queued song skipped). Each piece of news has a topic; it is said
/// once and stays until its topic is cleared, so nothing ever waits in a box for an answer.
/// The newest is shown; the tool tip lists them all. The panel hides while there is none.
class StatusNews : public QLabel {
    Q_OBJECT
public:
    explicit StatusNews(QWidget* parent = nullptr);

    /// Says `text` under `topic`, replacing what the topic said before.
    void say(const QString& topic, const QString& text);
    /// The topic no longer holds.
    void clear(const QString& topic);
    /// What `topic` says now; empty when nothing.
    [[nodiscard]] QString news(const QString& topic) const;

private:
    void showNewest();

    QList<QPair<QString, QString>> m_items; ///< topic and text, oldest first
};
