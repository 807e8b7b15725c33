// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/SlotState.h"

#include <QList>
#include <QObject>
#include <QString>

/// What the player is doing, as the board last learned it.
enum class TPlayState : quint8 { psStopped = 0, psPaused = 1, psPlaying = 2 };

/// Where a press came from. The mouse and the slot keys are the operator's own hands at the
/// board; MIDI pads, OSC and the web page may be anywhere, and nobody may stand at the board.
enum class PressedBy : quint8 { Mouse, Key, Midi, Osc, Web };

/// A press from the board's own mouse or keys: a song that cannot play answers it with a box.
/// Any other press that fails is news, so that no box waits at a board nobody stands at.
[[nodiscard]] constexpr bool pressedAtBoard(PressedBy by)
{
    return by == PressedBy::Mouse || by == PressedBy::Key;
}

/// A press from the operator's own hands at the board, pads included: with Audition on, it
/// plays on the preview output only. OSC and web presses come from others and play as ever.
[[nodiscard]] constexpr bool pressedByOperator(PressedBy by)
{
    return by == PressedBy::Mouse || by == PressedBy::Key || by == PressedBy::Midi;
}

/// The song that plays: where it sits on the board (the first slot holding it), its title and
/// its path. Sheet and slot are -1 when no slot holds it any more.
struct NowPlaying {
    int sheet = -1;
    int slot = -1;
    QString title;
    QString path;

    friend bool operator==(const NowPlaying&, const NowPlaying&) = default;
};

/// One sound that plays (or is paused): the show's song, or a layer over it.
struct PlayingSound {
    /// 0 for the show's song; a layer's number, from 1, is never given again in a run.
    int id = 0;
    /// Where it was pressed; -1 when no slot holds it any more.
    int sheet = -1;
    int slot = -1;
    QString title;
    /// Seconds into it, and its length.
    double position = 0;
    double length = 0;
    bool paused = false;
    /// The output it plays on as the operator reads it; empty: the show's output.
    QString output;

    [[nodiscard]] bool isLayer() const { return id != 0; }
    [[nodiscard]] double left() const { return length > position ? length - position : 0.0; }

    friend bool operator==(const PlayingSound&, const PlayingSound&) = default;
};

/// The sound board as every input sees it: its commands as slots, what it shows as signals.
/// A mouse press, a slot key, and the remote controls to come all run the show through the
/// same commands, which do what the board's own buttons do, refusals included (Play with
/// nothing queued, Stop with nothing playing do nothing). Sheets and slots count from 0.
class Board : public QObject {
    Q_OBJECT
public:
    static constexpr int Sheets = 10;
    static constexpr int Slots = 36;
    /// The fade speeds, slowest first; 0 stands for the speed the operator chose.
    static constexpr int FadeSpeeds = 5;

    using QObject::QObject;
    ~Board() override = default;

    [[nodiscard]] virtual SlotState slotState(int sheet, int slot) const = 0;
    [[nodiscard]] virtual QString slotTitle(int sheet, int slot) const = 0;
    [[nodiscard]] virtual QString sheetName(int sheet) const = 0;
    [[nodiscard]] virtual int shownSheet() const = 0;
    [[nodiscard]] virtual TPlayState playState() const = 0;
    [[nodiscard]] virtual NowPlaying nowPlaying() const = 0;
    /// Seconds into the song that plays, its length, and what is left of it; 0 when idle.
    [[nodiscard]] virtual double position() const = 0;
    [[nodiscard]] virtual double length() const = 0;
    [[nodiscard]] double timeLeft() const;
    /// Audition is on: the operator's own presses play on the preview output only.
    [[nodiscard]] virtual bool audition() const = 0;
    /// Everything that plays or is paused: the show's song first (when one plays), then the
    /// layers in the order they started.
    [[nodiscard]] virtual QList<PlayingSound> playing() const = 0;
    /// The master level in dB, -60 to 0: it scales every sound but the preview.
    [[nodiscard]] virtual double masterLevel() const = 0;

public Q_SLOTS:
    /// A plain press: the slot's song plays at once, alone in the queue. A song that cannot
    /// play is told by pressFailed() before this returns.
    virtual void press(int sheet, int slot, PressedBy by) = 0;
    /// The plain press on a slot was let go of (the mouse button, key or pad): a button that
    /// plays while held stops its song; any other does nothing.
    virtual void release(int sheet, int slot, PressedBy by) = 0;
    /// A Shift+press: the slot's song joins the queue, or leaves it.
    virtual void queue(int sheet, int slot, PressedBy by) = 0;
    virtual void play() = 0;
    virtual void stopSong() = 0;
    virtual void stopAll() = 0;
    virtual void pause() = 0;
    /// Fades the song that plays out at `speed` 1..5, or at the chosen speed for 0.
    virtual void fade(int speed) = 0;
    virtual void showSheet(int sheet) = 0;
    /// Stops one sound of playing() (its id); 0 is the show's song, as Stop Song.
    virtual void stopSound(int id) = 0;
    /// Fades out everything that plays, the show's song and every layer, at `speed` 1..5, or
    /// at the chosen speed for 0.
    virtual void fadeAll(int speed) = 0;
    /// Sets the master level in dB, held within -60 and 0, and stores it.
    virtual void setMasterLevel(double db) = 0;

Q_SIGNALS:
    /// A slot's state or title changed.
    void slotChanged(int sheet, int slot, SlotState state, const QString& title);
    void sheetNameChanged(int sheet, const QString& name);
    void sheetShown(int sheet);
    void playStateChanged(TPlayState state);
    void nowPlayingChanged(const NowPlaying& song);
    /// At least four times a second while a song plays, and once when it stops.
    void timeChanged(double position, double length, double left);
    /// A press on a slot whose song cannot play (its file gone or unreadable); what played
    /// plays on. `message` is what the operator would read.
    void pressFailed(int sheet, int slot, const QString& message, PressedBy by);
    void auditionChanged(bool on);
    /// What plays changed: a sound started, stopped, paused or resumed; and at least four
    /// times a second while anything plays, with the positions.
    void playingChanged(const QList<PlayingSound>& sounds);
    void masterLevelChanged(double db);
};

/// What a remote's own press ran into: listens to the board's pressFailed() while it lives,
/// so that the remote that pressed can answer its sender.
class FailedPress {
public:
    explicit FailedPress(Board& board);
    ~FailedPress();
    FailedPress(const FailedPress&) = delete;
    FailedPress& operator=(const FailedPress&) = delete;

    /// Empty when the press did not fail.
    [[nodiscard]] const QString& message() const { return m_message; }

private:
    QMetaObject::Connection m_connection;
    QString m_message;
};
