// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QHash>
#include <QKeySequence>

class QLabel;
class QPushButton;

/// Catches the next key for a sound button. Keys the menus use and Shift alone are
/// refused with a message, and the dialog waits for another; Escape or Cancel gives up.
class TfrmAssignKey : public QDialog {
    Q_OBJECT
public:
    /// `reserved`: the keys the menus use, each with the name of what it does.
    TfrmAssignKey(QWidget* owner, const QString& songTitle, QHash<QKeySequence, QString> reserved);

    /// The key caught, without Shift; empty until one was.
    [[nodiscard]] QKeySequence key() const { return m_key; }

    QLabel* lblPrompt = nullptr;
    QLabel* lblMessage = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    bool event(QEvent* event) override;

private:
    void keyCaught(QKeyEvent* event);

    QHash<QKeySequence, QString> m_reserved;
    QKeySequence m_key;
    bool m_onlyShift = false; ///< Shift went down and nothing else since
};
