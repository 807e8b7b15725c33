// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/MainState.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QTimer;
class ShowCore;
struct SlotRef;

/// Makes this board a backup of a main one: given what the main shows, state after state, it
/// plays what the main plays where the main plays it (the show's song and every layer, from
/// the main's position, paused as there, the show's song fading as there), with the main's
/// queue, shown sheet and master level. A state lost or a follower started mid-show converges
/// with the next state. While it follows, the show refuses this board's own presses but Stop
/// All, which ends the following. A main silent for a second is lost: the board plays on by
/// itself, its queue going on, and follows again only when asked to.
class BackupFollower : public QObject {
    Q_OBJECT
public:
    /// Milliseconds on this board's clock, as MainState::takenMs counts them.
    using Clock = std::function<qint64()>;

    /// A sound this far from the main's position (seconds) is in step, and left to play.
    static constexpr double Tolerance = 0.05;
    /// The song that follows the main's, this far into it here, has gone on before the main's
    /// ended: it plays on, for the main goes on into it as well (seconds).
    static constexpr double AheadAtJoin = 0.5;
    /// A song in step is measured against the main's over this many states; when it lies this
    /// far off them (seconds) by their median, it is nudged into place within its stream.
    static constexpr int NudgeAfter = 8;
    static constexpr double NudgeFrom = 0.003;
    /// The most it tells of how far behind it is (an hour): further is as far.
    static constexpr int MostBehindMs = 3'600'000;
    /// The main is lost after this long without a state.
    static constexpr int SilenceMs = 1000;
    /// Topic of the news of the link to the main board.
    static inline const QString LinkNews = QStringLiteral("main board");

    /// Without `clock`, the system's.
    explicit BackupFollower(ShowCore& show, Clock clock = {}, QObject* parent = nullptr);
    ~BackupFollower() override;

    /// What `show` shows now, for a backup of it to follow; taken at `takenMs`.
    [[nodiscard]] static MainState stateOf(const ShowCore& show, qint64 takenMs);

    /// Follows the main board from its next state on, whatever it did before.
    void follow();
    /// Follows no more: what plays plays on, and the board takes its own presses again.
    void stop();
    [[nodiscard]] bool following() const { return m_link == Link::Following; }
    /// The main board went silent while followed, and has not been followed again since.
    [[nodiscard]] bool mainLost() const { return m_link == Link::Lost || m_link == Link::Back; }
    /// The link's text for the status bar: "Backup in step", "Backup N ms behind", or empty
    /// while it does not follow.
    [[nodiscard]] const QString& linkText() const { return m_linkText; }
    /// How far behind the main it was at its last state, in milliseconds; 0 while in step.
    [[nodiscard]] int behindMs() const { return m_behindMs; }
    /// How long the main may be silent before it is lost (SilenceMs unless set).
    void setSilence(int ms);

public Q_SLOTS:
    /// The main board's state, just arrived.
    void take(const MainState& state);

Q_SIGNALS:
    void linkChanged(const QString& text);

private:
    enum class Link { Off, Following, Lost, Back };

    /// Makes the show match `main`; how far behind it the show was, in seconds.
    double converge(const MainState& main);
    double convergeSong(const MainState& main, double age);
    /// The queue after the song that plays here; `ahead`: that song is the main's next.
    void convergeQueue(const MainState& main, bool ahead);
    /// The show's song here is the main's next, just begun: this board's song ended first.
    [[nodiscard]] bool aheadByOneSong(const MainState& main) const;
    /// The show here already is `main`'s: the same sounds, each within Tolerance of its place,
    /// and the same queue. Following it again then moves nothing.
    [[nodiscard]] bool inStepWith(const MainState& main) const;
    double convergeLayers(const MainState& main, double age);
    /// Measures the show's song, in step `behind` the main's, and nudges it once the
    /// measures agree on how far.
    void lineUpSong(const QString& file, double behind);
    /// The show's song, its queue emptied first so that nothing follows it.
    void stopSong();
    void lost();
    void setLinkText(const QString& text);
    [[nodiscard]] QString fileAt(int sheet, int slot) const;

    ShowCore& f;
    Clock m_clock;
    QTimer* m_watchdog;
    Link m_link = Link::Off;
    QString m_linkText;
    int m_behindMs = 0;
    /// The main's song that would not play here: not tried again while the main plays it.
    std::optional<MainState::Slot> m_failedSong;
    /// How far behind the main's the show's song `m_lagsOf` was, by each state since it
    /// started or was last nudged.
    QList<double> m_lags;
    QString m_lagsOf;
};
