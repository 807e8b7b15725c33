// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QObject>

class PreviewControl;
class QAction;
class QFrame;
class QLabel;
class QStatusBar;
class QTimer;
class QToolButton;
class QWidget;
class ShowCore;

/// The window's Audition, over the show's switch: a checkable item on the tool bar and in the
/// Options menu (its key runs through the show, as the transport's keys do). Disabled with the
/// preview's hint while no preview output is chosen; switched off when the operator chooses
/// none. While it is on, a thick frame of its own colour lies around the button area (over it,
/// letting every click through) and the status bar says so.
class AuditionControl : public QObject {
    Q_OBJECT
public:
    /// Where it shows: the tool bar, the menu item it goes before, the button area, the status bar.
    struct Places {
        QWidget* toolBar = nullptr;
        QAction* nextMenuItem = nullptr; ///< the Options item it goes before
        QWidget* board = nullptr;
        QStatusBar* statusBar = nullptr;
    };

    static inline const QColor Colour{106, 63, 181};

    AuditionControl(ShowCore& show, PreviewControl& preview, const Places& places, QObject* parent);

    [[nodiscard]] QAction* action() const { return m_action; }
    [[nodiscard]] QToolButton* button() const { return m_button; }
    [[nodiscard]] QLabel* statusWord() const { return m_word; }
    [[nodiscard]] QFrame* boardFrame() const { return m_frame; }

protected:
    /// Keeps the frame on the button area's edges as the window is resized.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Shows the show's switch as it is now.
    void follow(bool on);
    /// Enabled while a preview can play, or while Audition is on (so that it can go off).
    void previewChanged();
    /// Its key pressed with no preview to play on: the hint, for a few seconds.
    void refused(const QString& command);
    /// The frame's and the word's looks, at their first showing: both are hidden at the start,
    /// and a style sheet costs the start a parse and a restyle each.
    void dress();

    ShowCore& m_show;
    PreviewControl& m_preview;
    QAction* m_action;
    QToolButton* m_button;
    QWidget* m_board;
    QFrame* m_frame;
    QLabel* m_word;
    QTimer* m_hintTimer;
    bool m_dressed = false;
};
