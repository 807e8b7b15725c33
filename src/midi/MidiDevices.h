// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/ControllerProfile.h"
#include "midi/MidiInputFilter.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <thread>
#include <vector>

class Board;
class MidiRemote;
class PadLights;
class QTimer;

/// The MIDI ports of the computer, through RtMidi: every input port is read into the remote,
/// ports plugged in later are found at the next look (every PollMs), and a controller a
/// profile knows gets its pads lit. The ALSA sequencer is taken when it is there; a JACK
/// server is asked for at every look until one answers, so that one started after the board
/// is found too (asked on a thread of its own, answered at the look after). Beside the ALSA sequencer only
/// JACK's own ports are read (those of JACK programs): its hardware ports and bridges carry what the
/// sequencer already gives. With neither, MIDI is off and the board runs as without it. RtMidi's errors stop
/// here.
class MidiDevices : public QObject {
    Q_OBJECT
public:
    enum class Api : quint8 { Automatic, Alsa, Jack, Off };
    static constexpr int PollMs = 1500;
    /// A controller's pads light this long after its port was opened.
    static constexpr int LightsAfterMs = 100;
    /// The client name our ports carry; ports of that name are never read.
    static inline const QString ClientName = QStringLiteral("Sonavex");

    MidiDevices(Board& board, MidiRemote& remote, QList<ControllerProfile> profiles,
                QObject* parent = nullptr);
    ~MidiDevices() override;

    /// Finds a back end and opens every input; false, with the reason in `why`, when MIDI is off.
    /// `Automatic` reads SONAVEX_MIDI ("alsa", "jack", "off") when it is set.
    bool start(Api api = Api::Automatic, QString* why = nullptr);
    /// Pads dark, ports closed.
    void stop();
    [[nodiscard]] bool running() const { return !m_backEnds.empty(); }
    [[nodiscard]] QString backEnd() const;
    [[nodiscard]] QStringList inputs() const;
    /// The assignments changed: the lit pads follow.
    void assignmentsChanged();
    /// Looks for ports plugged in or out since the last look, and for a JACK server.
    void poll();
    /// The controllers whose pads are lit, for the ports opened from now on.
    void setProfiles(QList<ControllerProfile> profiles) { m_profiles = std::move(profiles); }
    /// Only the ports `filter` accepts are read; the others close at once.
    void setFilter(const MidiInputFilter& filter);

    /// Starts opening RtMidi and JACK on a thread of their own, so that MIDI's start does not wait
    /// for them; returns at once.
    static void loadLibrariesSoon();

Q_SIGNALS:
    /// News of its own: a controller unplugged or found, a port that could not be opened.
    void news(const QString& text);

private:
    struct Input;
    struct BackEnd;

    struct JackLook;

    /// Null when RtMidi cannot reach it; any thread.
    static std::unique_ptr<BackEnd> makeBackEnd(Api api, bool ownPortsOnly);
    [[nodiscard]] bool has(Api api) const;
    /// Whether a JACK server started later may still be taken.
    [[nodiscard]] bool jackWanted() const;
    void lookForJack();
    /// A JACK server that stopped: its ports and back end go, so that the next look finds it again.
    void dropStoppedJack();
    void open(BackEnd& backEnd, const std::string& name);
    void light(Input& input);

    Board& m_board;
    MidiRemote& m_remote;
    QList<ControllerProfile> m_profiles;
    Api m_want = Api::Off;
    MidiInputFilter m_filter;
    std::vector<std::unique_ptr<BackEnd>> m_backEnds;
    std::shared_ptr<JackLook> m_jackFound; ///< the JACK server asked for on m_jackLook
    std::thread m_jackLook;
    std::vector<std::unique_ptr<Input>> m_inputs;
    QTimer* m_poll;
    int m_nextPort = 0;
    bool m_firstLook = true;
};
