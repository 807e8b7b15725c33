// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowFrame.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <optional>

namespace {

/// How long after a show to keep looking for the frame; window managers answer
/// within a few event loop turns.
constexpr int WatchMs = 3000;
constexpr int PollMs = 50;

/// Watches one window from each show until its frame is known, then fits it.
class FrameFitter : public QObject {
public:
    explicit FrameFitter(QWidget* window)
        : QObject(window)
        , m_window(window)
    {
        m_poll.setInterval(PollMs);
        connect(&m_poll, &QTimer::timeout, this, [this] { check(); });
        window->installEventFilter(this);
    }

    static FrameFitter* of(QWidget* window)
    {
        for (QObject* child : window->children())
            if (auto* fitter = dynamic_cast<FrameFitter*>(child))
                return fitter;
        return new FrameFitter(window);
    }

    void setOuter(QSize outer)
    {
        m_outer = outer;
        m_fitted = false;
        resizeClient(outer); // until the frame is known, the client takes the whole size
    }
    void setCentred()
    {
        m_centred = true;
        m_fitted = false;
        centreOnScreen();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Show && !m_fitted) {
            m_elapsed = 0;
            m_poll.start();
            check();
        } else if (watched == m_window && event->type() == QEvent::Hide) {
            m_poll.stop();
        }
        return false;
    }

private:
    void check()
    {
        m_elapsed += PollMs;
        if (m_elapsed > WatchMs)
            m_poll.stop();
        if (m_fitted || !m_window->isVisible())
            return;
        const QSize frame = m_window->frameGeometry().size();
        const QSize client = m_window->size();
        if (frame == client)
            return; // no frame (yet)
        m_fitted = true;
        m_poll.stop();
        m_margins = frame - client;
        if (m_outer)
            resizeClient(*m_outer - (frame - client));
        if (m_centred)
            centreOnScreen();
    }

    void resizeClient(QSize size)
    {
        if (m_window->minimumSize() == m_window->maximumSize())
            m_window->setFixedSize(size);
        else
            m_window->resize(size);
    }

    void centreOnScreen()
    {
        const QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
        if (screen == nullptr)
            return;
        const QRect area = screen->availableGeometry();
        // move() places the frame.
        const QSize whole = m_outer ? *m_outer : m_window->size() + m_margins;
        m_window->move(area.left() + (area.width() - whole.width()) / 2,
                       area.top() + (area.height() - whole.height()) / 2);
    }

    QPointer<QWidget> m_window;
    QTimer m_poll;
    int m_elapsed = 0;
    std::optional<QSize> m_outer;
    QSize m_margins{0, 0}; ///< what the frame adds to the client's size
    bool m_centred = false;
    bool m_fitted = false;
};

} // namespace

void WindowFrame::setOuterSize(QWidget* window, QSize outer)
{
    FrameFitter::of(window)->setOuter(outer);
}

void WindowFrame::centre(QWidget* window)
{
    FrameFitter::of(window)->setCentred();
}
