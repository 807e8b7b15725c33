// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoardControl.h"

#include "app/PlayLogic.h"
#include "app/frmMain.h"
#include "platform/Guard.h"
#include "songs/SongStruc.h"

#include <QTabBar>
#include <QTimer>
#include <QToolButton>

static_assert(Board::Sheets == SheetCount && Board::Slots == SlotCount);

namespace {
/// How often the time is told while a song plays.
constexpr int TickMs = 250;
} // namespace

BoardControl::BoardControl(TMainForm& form, QObject* parent)
    : Board(parent)
    , m_form(form)
    , m_clock(new QTimer(this))
{
    m_clock->setInterval(TickMs);
    connectGuarded(m_clock, &QTimer::timeout, this, &BoardControl::tick);
    // Told once the handler that changed the board is done: a press sounds first, and a burst
    // of changes is told as one.
    connect(&m_form, &TMainForm::songPressFailed, this, &Board::pressFailed);
    connectGuarded(&m_form, &TMainForm::boardChanged, this, [this] {
        if (m_followPending)
            return;
        m_followPending = true;
        QTimer::singleShot(0, this, [this] {
            m_followPending = false;
            guard([this] { follow(); });
        });
    });
    follow();
}

bool BoardControl::validSlot(int sheet, int slot) const
{
    return sheet >= 0 && sheet < Sheets && slot >= 0 && slot < Slots;
}

SlotState BoardControl::slotState(int sheet, int slot) const
{
    if (!validSlot(sheet, slot))
        return SlotState::Empty;
    TSongRecord rec;
    if (!m_form.songInfo().GetSong(sheet, slot, rec))
        return SlotState::Empty;
    return slotStateOf(m_form.songInfo().fileName(sheet, slot), m_form.queueView());
}

QString BoardControl::slotTitle(int sheet, int slot) const
{
    if (!validSlot(sheet, slot))
        return EmptyTitle;
    return m_form.songInfo().title(sheet, slot);
}

QString BoardControl::sheetName(int sheet) const
{
    return sheet >= 0 && sheet < Sheets ? m_form.tabCaption(sheet) : QString();
}

int BoardControl::shownSheet() const
{
    return m_form.shownTab();
}

TPlayState BoardControl::playState() const
{
    return m_form.PlayState;
}

NowPlaying BoardControl::nowPlaying() const
{
    NowPlaying now;
    if (m_form.PlayState == TPlayState::psStopped)
        return now;
    now.path = m_form.playLogic().currentSong();
    if (now.path.isEmpty())
        return now;
    // The slot it was pressed or queued from while that slot still holds it, else the first
    // slot that holds it, sheet by sheet.
    const TSongInfo& songs = m_form.songInfo();
    if (const auto pressed = m_form.pressedSlotOf(now.path);
        pressed &&
        songs.fileName(pressed->sheet, pressed->slot).compare(now.path, Qt::CaseInsensitive) == 0) {
        now.sheet = pressed->sheet;
        now.slot = pressed->slot;
        now.title = songs.title(pressed->sheet, pressed->slot);
        return now;
    }
    for (int sheet = 0; sheet < Sheets && now.slot < 0; ++sheet) {
        for (int slot = 0; slot < Slots; ++slot) {
            if (songs.fileName(sheet, slot).compare(now.path, Qt::CaseInsensitive) == 0) {
                now.sheet = sheet;
                now.slot = slot;
                now.title = songs.title(sheet, slot);
                break;
            }
        }
    }
    return now;
}

double BoardControl::position() const
{
    return m_form.PlayState == TPlayState::psStopped ? 0.0 : m_form.playLogic().position();
}

double BoardControl::length() const
{
    return m_form.PlayState == TPlayState::psStopped ? 0.0 : m_form.playLogic().length();
}

void BoardControl::press(int sheet, int slot, PressedBy by)
{
    if (validSlot(sheet, slot))
        m_form.SlotPressed({sheet, slot}, false, by);
}

void BoardControl::release(int sheet, int slot)
{
    if (validSlot(sheet, slot))
        m_form.SlotReleased({sheet, slot});
}

void BoardControl::queue(int sheet, int slot)
{
    if (validSlot(sheet, slot))
        m_form.SlotKeyPressed({sheet, slot}, true);
}

void BoardControl::play()
{
    if (m_form.btnPlay->isEnabled())
        m_form.btnPlayClick();
}

void BoardControl::stopSong()
{
    if (m_form.btnStop->isEnabled())
        m_form.btnStopClick();
}

void BoardControl::stopAll()
{
    if (m_form.mnuStopAll->isEnabled())
        m_form.mnuStopAllClick();
}

void BoardControl::pause()
{
    if (m_form.btnPause->isEnabled())
        m_form.btnPauseClick();
}

void BoardControl::fade(int speed)
{
    if (!m_form.btnFade->isEnabled() || speed < 0 || speed > FadeSpeeds)
        return;
    if (speed > 0)
        m_form.FadeSetting = speed;
    m_form.btnFadeClick();
}

void BoardControl::showSheet(int sheet)
{
    if (sheet >= 0 && sheet < Sheets)
        m_form.Tabs->setCurrentIndex(sheet);
}

void BoardControl::follow()
{
    for (int sheet = 0; sheet < Sheets; ++sheet) {
        const QString name = sheetName(sheet);
        if (name != m_sheetNames[static_cast<std::size_t>(sheet)]) {
            m_sheetNames[static_cast<std::size_t>(sheet)] = name;
            Q_EMIT sheetNameChanged(sheet, name);
        }
        for (int slot = 0; slot < Slots; ++slot) {
            const Shown now{slotState(sheet, slot), slotTitle(sheet, slot)};
            Shown& told = m_slots[static_cast<std::size_t>(sheet * Slots + slot)];
            if (now.state != told.state || now.title != told.title) {
                told = now;
                Q_EMIT slotChanged(sheet, slot, now.state, now.title);
            }
        }
    }
    if (shownSheet() != m_shownSheet) {
        m_shownSheet = shownSheet();
        Q_EMIT sheetShown(m_shownSheet);
    }
    if (playState() != m_playState) {
        m_playState = playState();
        Q_EMIT playStateChanged(m_playState);
        if (m_playState == TPlayState::psPlaying)
            m_clock->start();
        else
            m_clock->stop();
        tick();
    }
    if (const NowPlaying now = nowPlaying(); !(now == m_nowPlaying)) {
        m_nowPlaying = now;
        Q_EMIT nowPlayingChanged(now);
        tick();
    }
}

void BoardControl::tick()
{
    Q_EMIT timeChanged(position(), length(), timeLeft());
}
