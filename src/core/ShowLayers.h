// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SlotKeys.h"
#include "show/Board.h"
#include "songs/ButtonSettings.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class LayerPlayers;
class MediaPlayer;
class QTimer;
class ShowCore;

/// The sounds that play over the show's song: a press on a button whose song plays as a layer
/// starts it on a player of its own, beside the show's song, whose queue, play state and status
/// bar it never touches. Stop All, Pause and Fade All reach the layers; Stop Song and the tool
/// bar's Fade do not. Also the board's scaling of every player it plays on: the master level
/// times the dip of the sounds that duck the others.
class ShowLayers : public QObject {
    Q_OBJECT
public:
    /// The most layers that play at once; a press beyond it is refused.
    static constexpr int MaxLayers = 16;
    /// Topic of the news of a refused layer.
    static inline const QString FullNews = QStringLiteral("layers");
    /// The fade's volume step every half second at speed 1..5 (hundredths of a dB), and where
    /// a fade ends with the sound stopped.
    [[nodiscard]] static int fadeStep(int speed);
    static constexpr int FadedVolume = -6000;

    /// Without `players` no press plays as a layer.
    ShowLayers(ShowCore& show, LayerPlayers* players, MediaPlayer& showPlayer);
    ~ShowLayers() override;
    ShowLayers(const ShowLayers&) = delete;
    ShowLayers& operator=(const ShowLayers&) = delete;

    /// A plain press on `slot`, holding `file`, plays as a layer: its button says so, and its
    /// song is no CD track.
    [[nodiscard]] bool takesPress(SlotRef slot, const QString& file) const;
    /// The press on a layer button: its song starts over the show, or the layer it plays does
    /// what the button's mode says (restart, toggle stops it, hold restarts it).
    void press(SlotRef slot, const QString& file);
    /// The layer of `slot`, holding `file`, plays from `seconds` into it whatever its button's
    /// mode: started when none plays from it, else started again there.
    void playAt(SlotRef slot, const QString& file, double seconds);
    /// Pauses or resumes the layer of `slot` alone.
    void setPaused(SlotRef slot, bool paused);
    /// The press on `slot` was let go of: a hold button's layer stops. False when none did.
    bool release(SlotRef slot);
    /// Stops the layer `id`; false when none has it.
    bool stop(int id);
    /// Stops every layer; false when none played.
    bool stopAll();
    /// Pauses the layers that play; resumes those paused.
    void pauseAll();
    void resumeAll();
    /// Every layer that plays now fades out at `speed` 1..5 and stops at the end of its fade.
    void fadeAll(int speed);
    /// The layer of `slot` fades out at `speed` 1..5, as Fade All would fade it.
    void fadeAt(SlotRef slot, int speed);
    /// The speed 1..5 the layer of `slot` fades at; 0 while it does not fade (or none plays).
    [[nodiscard]] int fadeSpeedAt(SlotRef slot) const;
    /// The volume of the layer of `slot` (hundredths of a dB, 0 is full; a fade lowers it).
    [[nodiscard]] int volumeAt(SlotRef slot) const;
    void setVolumeAt(SlotRef slot, int volume);
    /// One step of the layers' fades, every half second while one fades.
    void fadeTick();

    [[nodiscard]] bool isEmpty() const { return m_layers.isEmpty(); }
    [[nodiscard]] bool anyPlaying() const;
    [[nodiscard]] bool anyPaused() const;
    /// A layer plays (or is paused) from `slot`.
    [[nodiscard]] bool playsFrom(SlotRef slot) const;
    /// The layers in the order they started.
    [[nodiscard]] QList<PlayingSound> sounds() const;

    /// Sets the mix gain of every player anew: after the master level moved (`masterMoved`, at
    /// once), or the sounds that duck changed (down in 0.3 s, back up in 1 s).
    void applyGains(bool masterMoved = false);
    /// The shutdown: every layer stops, and nothing more starts.
    void end();

    /// The operator's name of the output `settings` route to: empty for the show's output,
    /// "Preview", or the output's description, then its channels.
    [[nodiscard]] QString outputName(const ButtonSettings& settings) const;

private:
    struct Layer {
        int id = 0;
        SlotRef slot{-1, -1};
        QString file;
        QString title;
        QString output;
        ButtonSettings::Mode mode = ButtonSettings::Mode::Restart;
        double duckDb = 0.0;
        MediaPlayer* player = nullptr;
        double gain = 1.0; ///< the mix gain last given to the player
        int fadeStep = 0;  ///< the volume step of its fade; 0: it does not fade
    };

    /// Starts the song of `slot` as a new layer; refused beyond the most.
    void start(SlotRef slot, const QString& file, const ButtonSettings& settings, double from = 0.0);
    /// Plays the layer's song again from its start (or `from` seconds into it), at full volume.
    void restart(Layer& layer, double from = 0.0);
    [[nodiscard]] qsizetype indexOf(const MediaPlayer* player) const;
    [[nodiscard]] qsizetype indexAt(SlotRef slot) const;
    /// Takes the layer at `index` away: its player stops (unless it has) and goes.
    void remove(qsizetype index, bool stopPlayer);
    /// A layer's player reported a change: a stop is the end of its song.
    void playerChanged(MediaPlayer* player);
    /// The mix gain of the sound `except` (a layer's index; -1 the show's song) would have.
    [[nodiscard]] double gainFor(qsizetype except) const;
    /// Tells the show what plays changed, and the slot of `slot` its colour.
    void changed(SlotRef slot);

    ShowCore& f;
    LayerPlayers* m_players;
    MediaPlayer& m_showPlayer;
    QList<Layer> m_layers;
    QTimer* m_fadeTimer;
    int m_nextId = 1;
    double m_showGain = 1.0; ///< the mix gain last given to the show's player
    bool m_fullSaid = false;
    bool m_ended = false;
    QSet<QString> m_missingRoutes; ///< the routes said missing
};
