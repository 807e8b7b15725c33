// SPDX-License-Identifier: GPL-3.0-or-later
#include "AuditionControl.h"

#include "app/PreviewControl.h"
#include "core/ShowCore.h"
#include "platform/Guard.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

namespace {
constexpr int HintMs = 5000;
constexpr int FrameWidth = 6;
const QString Word = QStringLiteral("AUDITION: your presses play on the preview output only");

/// The tool bar's Audition button: a thin frame in Audition's colour, filled with it while on.
/// Drawn here rather than by a style sheet, the one the window would otherwise parse and
/// restyle for before it can show.
class AuditionButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const bool on = isChecked();
        p.setPen(QColor(0, 100, 100));
        p.setBrush(on ? QBrush(AuditionControl::Colour) : QBrush(Qt::NoBrush));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        QFont bold = font();
        bold.setBold(true);
        p.setFont(bold);
        p.setPen(
            on ? QColor(Qt::white)
               : palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        p.drawText(rect().adjusted(6, 2, -6, -2), Qt::AlignCenter | Qt::TextShowMnemonic, text());
    }
};
} // namespace

AuditionControl::AuditionControl(ShowCore& show, PreviewControl& preview, const Places& places,
                                 QObject* parent)
    : QObject(parent)
    , m_show(show)
    , m_preview(preview)
    , m_action(new QAction(QStringLiteral("&Audition"), this))
    , m_button(new AuditionButton(places.toolBar))
    , m_board(places.board)
    , m_frame(new QFrame(places.board))
    , m_word(new QLabel(places.statusBar))
    , m_hintTimer(new QTimer(this))
{
    m_action->setObjectName(QStringLiteral("mnuAudition"));
    m_action->setCheckable(true);
    if (places.nextMenuItem)
        for (QObject* owner : places.nextMenuItem->associatedObjects())
            if (auto* menu = qobject_cast<QMenu*>(owner))
                menu->insertAction(places.nextMenuItem, m_action);

    // Beside the transport, where the tool bar has room.
    m_button->setObjectName(QStringLiteral("btnAudition"));
    m_button->setDefaultAction(m_action);
    m_button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_button->setGeometry(300, 6, 80, 34);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCursor(Qt::PointingHandCursor);

    m_frame->setObjectName(QStringLiteral("AuditionFrame"));
    m_frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_frame->setFocusPolicy(Qt::NoFocus);
    m_frame->hide();
    if (m_board)
        m_board->installEventFilter(this);

    m_word->setObjectName(QStringLiteral("AuditionWord"));
    m_word->hide();
    if (places.statusBar)
        places.statusBar->addPermanentWidget(m_word);
    m_hintTimer->setSingleShot(true);
    m_hintTimer->setInterval(HintMs);
    connectGuarded(m_hintTimer, &QTimer::timeout, this, [this] { follow(m_show.audition()); });

    connectGuarded(m_action, &QAction::triggered, this, [this](bool on) {
        m_show.setAudition(on);
        follow(m_show.audition()); // refused without a preview: it stays off
    });
    connectGuarded(&m_show, &Board::auditionChanged, this, &AuditionControl::follow);
    // The show view's tiles come to the front when they show: the frame goes back above them.
    QObject::connect(
        &m_show, &ShowCore::showViewChanged, m_frame,
        [this] {
            if (m_frame->isVisible())
                m_frame->raise();
        },
        Qt::QueuedConnection);
    connectGuarded(&m_show, &ShowCore::commandRefused, this, &AuditionControl::refused);
    connectGuarded(&m_preview, &PreviewControl::availabilityChanged, this, &AuditionControl::previewChanged);
    follow(m_show.audition());
}

void AuditionControl::follow(bool on)
{
    m_hintTimer->stop();
    m_action->setChecked(on);
    if (on)
        dress();
    m_word->setText(Word);
    m_word->setVisible(on);
    if (m_board) {
        QEvent resized(QEvent::Resize);
        eventFilter(m_board, &resized);
        m_frame->setVisible(on);
        m_frame->raise();
    }
    previewChanged();
}

void AuditionControl::dress()
{
    if (m_dressed)
        return;
    m_dressed = true;
    m_frame->setStyleSheet(QStringLiteral("QFrame { border: %1px solid %2; background: transparent; }")
                               .arg(FrameWidth)
                               .arg(Colour.name()));
    m_word->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: white; font-weight: bold; padding: 0 6px; }")
            .arg(Colour.name()));
}

bool AuditionControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_board && event->type() == QEvent::Resize) {
        // Below the tabs, around the page of buttons.
        const auto* tabs = m_board->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly);
        m_frame->setGeometry(m_board->rect().adjusted(0, tabs ? tabs->height() - 1 : 0, 0, 0));
    }
    return QObject::eventFilter(watched, event);
}

void AuditionControl::previewChanged()
{
    const QString why = m_preview.unavailable();
    // No preview output chosen any more is the operator's choice: Audition ends with it. One
    // that went away keeps it on, so that a press never reaches the house unasked.
    if (m_show.audition() && m_preview.output().isEmpty()) {
        m_show.setAudition(false); // told back through follow()
        return;
    }
    m_action->setEnabled(why.isEmpty() || m_show.audition());
    const QString hint = why.isEmpty()
                             ? QStringLiteral("Your own presses (mouse, keys, MIDI pads) play on the "
                                              "preview output only, never in the house")
                             : why;
    m_action->setToolTip(hint);
    m_action->setStatusTip(hint);
}

void AuditionControl::refused(const QString& command)
{
    if (command != QLatin1String("audition"))
        return;
    dress();
    m_word->setText(QStringLiteral("Audition: ") + m_preview.unavailable());
    m_word->show();
    m_hintTimer->start();
}
